// The configuration text, as an external file or a payload block may hold
// it: any bytes in any of the accepted encodings, then every key read back
// through its getter and its values expanded.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/config_store.h"
#include "config/string_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  xoq::ConfigStore config;
  config.setPaths("/opt/app/app", "/tmp");
  // Two sources, as an external file and a block are: the first byte says
  // where the input is cut, so that each part has its own encoding.
  size_t cut = 0;
  if (size > 0) {
    cut = data[0] < size ? data[0] : size - 1;
    ++data;
    --size;
  }
  config.appendText(reinterpret_cast<const char*>(data), cut);
  config.appendText(reinterpret_cast<const char*>(data) + cut, size - cut);

  xoq::StringList values;
  config.argvValues(values);
  config.messageValues(values);
  config.javaClassPathValues(values);
  config.classPathValues(values);
  config.options(values);
  config.properties(values);
  config.exports(values);
  std::string text = config.mainClass() + config.wildcard() + config.splash() + config.splashTitle() +
                     config.singleInstance() + config.forceCwd() + config.stdoutTarget() + config.stderrTarget() +
                     config.jreOrder() + config.jre() + config.jvmDll() + config.preferredVmName() + config.minJre() +
                     config.maxJre();
  text += config.asSystemClassLoader() ? "1" : "0";
  text += config.compatible() ? "1" : "0";
  text += config.disableExternal() ? "1" : "0";
  text += config.splashCloseOnWindow() ? "1" : "0";
  return 0;
}
