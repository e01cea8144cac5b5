// Telling the user something: the modal message box of a GUI program, or
// standard error where there is no box, and the executable's own resources
// that hold the texts.
#ifndef XOQ_PLATFORM_USER_MESSAGE_H_
#define XOQ_PLATFORM_USER_MESSAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace xoq {
namespace platform {

/// True when the running executable is a console program: on Windows when
/// its own PE header names the console subsystem; always on Linux.
bool isConsoleProgram();

/// Shows `text` under `caption` and waits until the user has dismissed it:
/// in a Windows GUI program a message box owned by `owner` (a window handle
/// or null) with OK, the warning icon, topmost and in the foreground; in a
/// console program and on Linux the line "caption: text" on standard error.
void showMessageBox(const std::string& text, const std::string& caption, void* owner);

/// Asks the yes-or-no question `text` under `caption` and waits for the
/// answer: in a Windows GUI program a message box owned by `owner` with Yes
/// and No, the warning icon, topmost and in the foreground; true for Yes.
/// Where there is no box (a console program, Linux) it prints "caption:
/// text" on standard error, as showMessageBox does, and answers No.
bool askYesNo(const std::string& text, const std::string& caption, void* owner);

/// Opens the web address `address` with the program the user chose for it
/// (ShellExecuteA, "open"); false when the system could not. Always false on
/// Linux, where the launcher prints addresses instead of opening them.
bool openWebAddress(const std::string& address);

/// The raw data of resource `name` (an integer identifier) of type `type`
/// in the executable's own module, language chosen by the system. False
/// when there is none; always false on Linux, which has no resources.
bool findOwnResource(int type, int name, const uint8_t*& data, size_t& size);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_USER_MESSAGE_H_
