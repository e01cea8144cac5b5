#include "platform/user_secret.h"

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>
#include <sddl.h>
#include <cstdio>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace xoq {
namespace platform {
namespace {

TEST(UserSecret, IsMadeOnceAndThenReadFromAFileOnlyItsUserMayRead) {
  testing::TempDir dir;
  const std::string folder = dir.file("keys");
  UserSecret first{};
  UserSecret again{};
  std::string error;
  ASSERT_TRUE(loadUserSecretIn(folder, first, error)) << error;
  ASSERT_TRUE(loadUserSecretIn(folder, again, error)) << error;
  EXPECT_EQ(first, again);
  EXPECT_NE(first, UserSecret{});
  const std::string path = folder + "/instance.key";
  EXPECT_EQ(testing::readFile(path), std::string(first.begin(), first.end()));
  testing::TempDir elsewhere;
  UserSecret other{};
  ASSERT_TRUE(loadUserSecretIn(elsewhere.file("keys"), other, error)) << error;
  EXPECT_NE(first, other) << "random for each key made";
#ifdef _WIN32
  // Nobody but the user may do anything with it (Wine, which cannot keep
  // the descriptor itself, shows the system account beside the user; a
  // file made without it lets everyone read it there, and on Windows
  // inherits the folder's entries for administrators and others).
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  unsigned char user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD length = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &length));
  CloseHandle(token);
  PSID userSid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
  unsigned char system[SECURITY_MAX_SID_SIZE];
  DWORD systemSize = sizeof system;
  ASSERT_TRUE(CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize));
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &acl,
                                  nullptr, &descriptor),
            static_cast<DWORD>(ERROR_SUCCESS));
  ASSERT_NE(acl, nullptr);
  bool userMayReadIt = false;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    void* ace = nullptr;
    ASSERT_TRUE(GetAce(acl, i, &ace));
    ASSERT_EQ(static_cast<ACE_HEADER*>(ace)->AceType, ACCESS_ALLOWED_ACE_TYPE);
    const ACCESS_ALLOWED_ACE* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    PSID sid = const_cast<DWORD*>(&allowed->SidStart);
    EXPECT_TRUE(EqualSid(sid, userSid) || EqualSid(sid, system)) << "entry " << i << " is for someone else";
    userMayReadIt = userMayReadIt || (EqualSid(sid, userSid) && (allowed->Mask & FILE_READ_DATA) != 0);
  }
  EXPECT_TRUE(userMayReadIt);
  LocalFree(descriptor);
#else
  struct stat info;
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(folder.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  // Refused: a key others may read, one of another size, a folder others
  // may enter.
  ASSERT_EQ(chmod(path.c_str(), 0644), 0);
  EXPECT_FALSE(loadUserSecretIn(folder, again, error));
  EXPECT_NE(error.find("may be read by others"), std::string::npos) << error;
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  testing::writeFile(path, "short");
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  EXPECT_FALSE(loadUserSecretIn(folder, again, error));
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  EXPECT_FALSE(loadUserSecretIn(folder, again, error));
  if (geteuid() == 0) {
    ASSERT_EQ(chmod(folder.c_str(), 0700), 0);
    ASSERT_TRUE(loadUserSecretIn(folder, again, error)) << error;
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(loadUserSecretIn(folder, again, error)) << "a key that another user made";
  }
#endif
}

}  // namespace
}  // namespace platform
}  // namespace xoq
