#include <windows.h>

#include <shellapi.h>

#include <cstdio>

#include "platform/user_message.h"

namespace xoq {
namespace platform {

namespace {

constexpr UINT kFatalBoxStyle = MB_OK | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST;
static_assert(kFatalBoxStyle == 0x50030, "the fatal message box style");

// The subsystem field of the running image's own PE header: the GUI and the
// console launcher are the same code linked twice, and this is what tells
// them apart.
WORD ownSubsystem() {
  const auto* base = reinterpret_cast<const BYTE*>(GetModuleHandleA(nullptr));
  if (base == nullptr) return 0;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return 0;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return 0;
  return nt->OptionalHeader.Subsystem;
}

}  // namespace

bool isConsoleProgram() {
  static const bool console = ownSubsystem() == IMAGE_SUBSYSTEM_WINDOWS_CUI;
  return console;
}

void showMessageBox(const std::string& text, const std::string& caption, void* owner) {
  if (isConsoleProgram()) {
    fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    fflush(stderr);
    return;
  }
  // The owner may have ended since it was named (a splash that closed just
  // then); the box is shown without one rather than not at all.
  if (MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), kFatalBoxStyle) == 0 && owner != nullptr) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), kFatalBoxStyle);
  }
}

bool askYesNo(const std::string& text, const std::string& caption, void* owner) {
  if (isConsoleProgram()) {
    showMessageBox(text, caption, owner);
    return false;
  }
  constexpr UINT kQuestionStyle = MB_YESNO | MB_ICONWARNING | MB_SETFOREGROUND | MB_TOPMOST;
  int answer = MessageBoxA(static_cast<HWND>(owner), text.c_str(), caption.c_str(), kQuestionStyle);
  if (answer == 0 && owner != nullptr) answer = MessageBoxA(nullptr, text.c_str(), caption.c_str(), kQuestionStyle);
  return answer == IDYES;
}

bool openWebAddress(const std::string& address) {
  // ShellExecuteA reports success with a value above 32.
  const HINSTANCE result = ShellExecuteA(nullptr, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32;
}

bool findOwnResource(int type, int name, const uint8_t*& data, size_t& size) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(name), MAKEINTRESOURCEA(type));
  if (found == nullptr) return false;
  const DWORD length = SizeofResource(module, found);
  HGLOBAL loaded = LoadResource(module, found);
  const void* locked = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (locked == nullptr) return false;
  data = static_cast<const uint8_t*>(locked);
  size = length;
  return true;
}

}  // namespace platform
}  // namespace xoq
