#include <windows.h>
// After windows.h, which it needs.
#include <ntsecapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "platform/user_secret.h"

namespace xoq {
namespace platform {

namespace {

constexpr const wchar_t* kKeyFile = L"\\instance.key";

// A security descriptor that grants the process's user, alone, everything;
// nothing is inherited from the folder above, so that no group of the
// profile's default ACL (nor an administrator's inheritable entry) can read
// the key.
class PrivateSecurity {
 public:
  bool make() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD length = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &length);
    user_.resize(length);
    const bool read = length > 0 && GetTokenInformation(token, TokenUser, user_.data(), length, &length);
    CloseHandle(token);
    if (!read) return false;
    PSID sid = reinterpret_cast<TOKEN_USER*>(user_.data())->User.Sid;
    acl_.resize(sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid));
    ACL* acl = reinterpret_cast<ACL*>(acl_.data());
    if (!InitializeAcl(acl, static_cast<DWORD>(acl_.size()), ACL_REVISION) ||
        !AddAccessAllowedAceEx(acl, ACL_REVISION, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, GENERIC_ALL, sid) ||
        !InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED)) {
      return false;
    }
    attributes_.nLength = sizeof attributes_;
    attributes_.lpSecurityDescriptor = &descriptor_;
    attributes_.bInheritHandle = FALSE;
    return true;
  }
  SECURITY_ATTRIBUTES* attributes() { return &attributes_; }

 private:
  std::vector<unsigned char> user_;
  std::vector<unsigned char> acl_;
  SECURITY_DESCRIPTOR descriptor_;
  SECURITY_ATTRIBUTES attributes_;
};

std::string describe(const std::wstring& path, const char* what) {
  std::string narrow;
  for (wchar_t c : path) narrow += c < 128 ? static_cast<char>(c) : '?';
  return narrow + ": " + what + " (error " + std::to_string(GetLastError()) + ")";
}

bool readKey(const std::wstring& path, UserSecret& secret, std::string& error) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = describe(path, "cannot be read");
    return false;
  }
  LARGE_INTEGER size;
  DWORD read = 0;
  const bool whole = GetFileSizeEx(file, &size) && size.QuadPart == static_cast<LONGLONG>(secret.size()) &&
                     ReadFile(file, secret.data(), static_cast<DWORD>(secret.size()), &read, nullptr) &&
                     read == secret.size();
  CloseHandle(file);
  if (!whole) error = describe(path, "not a key of 32 bytes");
  return whole;
}

// Writes a new key under a name of its own and then moves it to the key's
// name without replacing one that is there: nobody ever reads half a key,
// and of two processes making it at once one wins and both use its key.
bool makeKey(const std::wstring& path, PrivateSecurity& security, std::string& error) {
  UserSecret fresh;
  if (!RtlGenRandom(fresh.data(), static_cast<ULONG>(fresh.size()))) {
    error = describe(path, "no random bytes");
    return false;
  }
  const std::wstring temporary = path + L"." + std::to_wstring(GetCurrentProcessId()) + L".new";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, security.attributes(), CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = describe(temporary, "cannot be made");
    return false;
  }
  DWORD written = 0;
  const bool whole =
      WriteFile(file, fresh.data(), static_cast<DWORD>(fresh.size()), &written, nullptr) && written == fresh.size();
  CloseHandle(file);
  const bool moved = whole && (MoveFileExW(temporary.c_str(), path.c_str(), 0) ||
                               GetLastError() == ERROR_ALREADY_EXISTS || GetLastError() == ERROR_FILE_EXISTS);
  if (!moved) error = describe(path, "cannot be made");
  DeleteFileW(temporary.c_str());
  return moved;
}

bool loadFrom(const std::wstring& directory, UserSecret& secret, std::string& error) {
  PrivateSecurity security;
  if (!security.make()) {
    error = "the user's security descriptor cannot be made (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  if (!CreateDirectoryW(directory.c_str(), security.attributes()) && GetLastError() != ERROR_ALREADY_EXISTS) {
    error = describe(directory, "cannot be made");
    return false;
  }
  const std::wstring path = directory + kKeyFile;
  if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES && !makeKey(path, security, error)) return false;
  return readKey(path, secret, error);
}

}  // namespace

bool loadUserSecretIn(const std::string& directory, UserSecret& secret, std::string& error) {
  const int length = MultiByteToWideChar(CP_ACP, 0, directory.c_str(), -1, nullptr, 0);
  if (length <= 0) {
    error = directory + ": not a path";
    return false;
  }
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, directory.c_str(), -1, &wide[0], length);
  wide.resize(static_cast<size_t>(length - 1));
  return loadFrom(wide, secret, error);
}

bool loadUserSecret(UserSecret& secret, std::string& error) {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, MAX_PATH);
  std::wstring base;
  if (length > 0 && length < MAX_PATH) {
    base.assign(buffer, length);
  } else if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) {
    base = buffer;
  } else {
    error = "the user has no local application data folder for the key of instance messages";
    return false;
  }
  return loadFrom(base + L"\\xoq", secret, error);
}

}  // namespace platform
}  // namespace xoq
