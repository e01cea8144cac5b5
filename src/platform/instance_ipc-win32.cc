#include <windows.h>

#include <string>
#include <vector>

#include "platform/instance_block.h"
#include "platform/instance_ipc.h"

namespace xoq {
namespace platform {

namespace {

// The instance block: a section of the image of its own, shared by every
// process that runs this file, readable, writable and initialised data,
// 3072 bytes that are all zero in the file (the name fills the eight
// characters a section name may have).
InstanceBlock theSharedBlock __attribute__((section(".SHMMESS"), shared)) = {};

constexpr DWORD kInstanceProcessAccess = SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_DUP_HANDLE;

HANDLE asHandle(void* handle) { return static_cast<HANDLE>(handle); }

void closeHandle(void*& handle) {
  if (handle != nullptr) CloseHandle(asHandle(handle));
  handle = nullptr;
}

// Duplicates the handle value `published` of `owner` into this process.
void* duplicateFrom(const InstanceProcess& owner, uint64_t published) {
  if (!owner.isOpen() || published == 0) return nullptr;
  HANDLE duplicate = nullptr;
  const HANDLE source = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(published));
  if (!DuplicateHandle(asHandle(owner.handle()), source, GetCurrentProcess(), &duplicate, 0, FALSE,
                       DUPLICATE_SAME_ACCESS)) {
    return nullptr;
  }
  return duplicate;
}

uint64_t handleValue(void* handle) { return static_cast<uint64_t>(reinterpret_cast<uintptr_t>(handle)); }

// The user of a process's token, copied into `sid` (at most `size` bytes).
bool tokenUser(HANDLE process, BYTE* sid, DWORD size) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return false;
  BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD length = 0;
  const bool read = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length) != 0;
  CloseHandle(token);
  if (!read) return false;
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
  return IsValidSid(user) && CopySid(size, sid, user);
}

// The path of the file a process runs; empty when it cannot be told.
std::wstring imageOf(HANDLE process) {
  std::vector<wchar_t> path(32768);
  DWORD length = static_cast<DWORD>(path.size());
  return QueryFullProcessImageNameW(process, 0, path.data(), &length) ? std::wstring(path.data(), length)
                                                                      : std::wstring();
}

// A process that this one may not open: another user's, since the block is
// shared by every process running this file, whatever its user. It runs,
// and is another instance, when the little that may be asked of it says so;
// when not even that may be asked it counts as running too, so that the
// instances of two users never take the first role from each other (each
// would count the other as ended, and claims of the buffer would stop being
// exclusive).
bool foreignInstanceRuns(int32_t id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  const std::wstring image = running ? imageOf(process) : std::wstring();
  CloseHandle(process);
  // A process id that has passed to another program is not an instance.
  static const std::wstring* own = new std::wstring(imageOf(GetCurrentProcess()));
  return running && (image.empty() || own->empty() ||
                     CompareStringOrdinal(image.c_str(), -1, own->c_str(), -1, TRUE) == CSTR_EQUAL);
}

}  // namespace

SharedInstanceBlock::~SharedInstanceBlock() = default;

bool SharedInstanceBlock::open(const std::string& /*executablePath*/, std::string& /*error*/) {
  block_ = &theSharedBlock;
  return true;
}

int32_t currentProcessId() { return static_cast<int32_t>(GetCurrentProcessId()); }

bool isInstanceProcessAlive(int32_t id) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_DUP_HANDLE, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED && foreignInstanceRuns(id);
  DWORD code = 0;
  const bool alive = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return alive;
}

bool runsAsSameUser(int32_t id) {
  static BYTE own[SECURITY_MAX_SID_SIZE];
  static const bool ownKnown = tokenUser(GetCurrentProcess(), own, sizeof own);
  if (!ownKnown) return false;
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return false;
  BYTE other[SECURITY_MAX_SID_SIZE];
  const bool same = tokenUser(process, other, sizeof other) && EqualSid(own, other);
  CloseHandle(process);
  return same;
}

// --- InstanceProcess ---------------------------------------------------------

InstanceProcess::~InstanceProcess() { close(); }

bool InstanceProcess::open(int32_t id, InstanceBlock* /*block*/) {
  close();
  handle_ = OpenProcess(kInstanceProcessAccess, FALSE, static_cast<DWORD>(id));
  return handle_ != nullptr;
}

void InstanceProcess::close() { closeHandle(handle_); }

bool InstanceProcess::isOpen() const { return handle_ != nullptr; }

bool InstanceProcess::isRunning() const {
  DWORD code = 0;
  return handle_ != nullptr && GetExitCodeProcess(asHandle(handle_), &code) && code == STILL_ACTIVE;
}

// --- Transport objects -------------------------------------------------------

bool TransportObject::attach(const InstanceProcess& owner, InstanceBlock* /*block*/, uint64_t published) {
  close();
  handle_ = duplicateFrom(owner, published);
  value_ = handleValue(handle_);
  return handle_ != nullptr;
}

void TransportObject::close() {
  closeHandle(handle_);
  value_ = 0;
}

// Handles name the objects on Windows; the block offsets mean nothing here.
TransferMutex::TransferMutex() : TransportObject(0) {}

bool TransferMutex::create(InstanceBlock* /*block*/, uint64_t& published) {
  close();
  handle_ = CreateMutexA(nullptr, FALSE, nullptr);
  value_ = handleValue(handle_);
  published = value_;
  return handle_ != nullptr;
}

bool TransferMutex::lock(int timeoutMillis) {
  if (handle_ == nullptr) return false;
  const DWORD result = WaitForSingleObject(asHandle(handle_), static_cast<DWORD>(timeoutMillis));
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void TransferMutex::unlock() {
  if (handle_ != nullptr) ReleaseMutex(asHandle(handle_));
}

ChangeEvent::ChangeEvent() : TransportObject(0) {}

bool ChangeEvent::create(InstanceBlock* /*block*/, uint64_t& published) {
  close();
  handle_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  value_ = handleValue(handle_);
  published = value_;
  return handle_ != nullptr;
}

void ChangeEvent::pulse() {
  if (handle_ != nullptr) PulseEvent(asHandle(handle_));
}

void ChangeEvent::wait(int32_t /*seen*/, const InstanceProcess* first, int timeoutMillis) {
  const DWORD timeout = static_cast<DWORD>(timeoutMillis);
  DWORD result;
  if (handle_ != nullptr && first != nullptr && first->isOpen()) {
    const HANDLE both[2] = {asHandle(handle_), asHandle(first->handle())};
    result = WaitForMultipleObjects(2, both, FALSE, timeout);
  } else if (handle_ != nullptr) {
    result = WaitForSingleObject(asHandle(handle_), timeout);
  } else {
    result = WAIT_FAILED;
  }
  // A handle that is not waitable (a value duplicated while the first
  // instance was still publishing its own) fails at once; sleeping keeps
  // the caller from spinning until it attaches again.
  if (result == WAIT_FAILED) Sleep(timeout);
}

}  // namespace platform
}  // namespace xoq
