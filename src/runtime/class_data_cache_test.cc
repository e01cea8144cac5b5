#include "runtime/class_data_cache.h"

#include <gtest/gtest.h>

#include <string>

namespace xoq {
namespace {

StringList listOf(std::initializer_list<const char*> values) {
  StringList list;
  for (const char* value : values) list.append(value);
  return list;
}

TEST(ClassDataCache, StepsAsideForTheUsersOwnArchivesAndAgents) {
  EXPECT_FALSE(optionsDecideClassData(listOf({})));
  EXPECT_FALSE(optionsDecideClassData(listOf({"-Xmx512m", "-Dx=-Xshare:off", "-Xlog:cds=info"})));
  for (const char* option :
       {"-XX:SharedArchiveFile=a.jsa", "-XX:ArchiveClassesAtExit=a.jsa", "-XX:+AutoCreateSharedArchive", "-Xshare:off",
        "-XX:AOTCache=app.aot", "-javaagent:agent.jar", "-agentlib:jdwp=transport=dt_socket", "-agentpath:/x.so"}) {
    EXPECT_TRUE(optionsDecideClassData(listOf({"-Xmx1g", option}))) << option;
  }
}

TEST(ClassDataCache, OneArchiveNamePerIdentity) {
  const std::string name = classDataArchiveName("/opt/tool/tool", "identity");
  EXPECT_EQ(name.rfind("tool-", 0), 0u) << name;
  EXPECT_EQ(name.size(), std::string("tool-").size() + 24 + std::string(".jsa").size()) << name;
  EXPECT_EQ(classDataArchiveName("/elsewhere/tool", "identity"), name);
  EXPECT_NE(classDataArchiveName("/opt/tool/tool", "identity2"), name);
  EXPECT_EQ(classDataArchiveName("C:\\Apps\\Tool.exe", "identity").rfind("Tool.exe-", 0), 0u);
}

}  // namespace
}  // namespace xoq
