// Linux only: the per-user objects that stand for the Windows image section
// and named mutex of an executable path. They live in a directory of the
// user's own: the private runtime directory when the user has one (nobody
// else can even see the names there), otherwise /dev/shm. Only the user who
// runs the executable may open them; an object of the same name that
// someone else made, or that others may open, is refused.
#ifndef XOQ_PLATFORM_SHARED_OBJECT_H_
#define XOQ_PLATFORM_SHARED_OBJECT_H_

#include <string>

namespace xoq {
namespace platform {

/// Where this user's objects are kept.
struct UserObjectDirectory {
  int fd = -1;             // opened once, without following a link at its end
  std::string path;        // for messages and tests
  bool isPrivate = false;  // true: only the user may enter it
};

/// "/xoq-<uid>-<path>" + `suffix`, with '/' and '%' in the path written as
/// %2F and %25 so that different paths give different names; a name too long
/// for the system holds the SHA-256 of the path instead.
std::string sharedObjectName(const std::string& path, const char* suffix);

/// The folder "xoq" in `runtimeDirectory` (made when missing), when both
/// belong to this user, are directories reached without following a link at
/// their end, and nobody else may enter them; otherwise /dev/shm, which
/// everyone may write (isPrivate false). fd is -1 when neither opens.
UserObjectDirectory openUserObjectDirectory(const std::string& runtimeDirectory);

/// This process's directory, chosen once: openUserObjectDirectory of
/// $XDG_RUNTIME_DIR when that is set, else of /run/user/<uid>, the same
/// place on systems that give users one (so that a launch without the
/// variable, from cron or sudo for example, still finds the others).
const UserObjectDirectory& userObjectDirectory();

/// The full path of object `name` in userObjectDirectory().
std::string sharedObjectPath(const std::string& name);

/// Opens the object `name`, creating it with mode 0600 when missing. Returns
/// the descriptor (close-on-exec), or -1 with errno set and the reason in
/// `error`; errno is EPERM when the object belongs to another user, others
/// may open it or it is not a plain file.
int openUserSharedObject(const std::string& name, std::string& error);

/// True when `fd` is the object that `name` names right now.
bool isSharedObjectNamed(int fd, const std::string& name);

/// Removes the name of object `name`.
void removeSharedObject(const std::string& name);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_SHARED_OBJECT_H_
