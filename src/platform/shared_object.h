// Linux only: the per-user shared memory objects that stand for the Windows
// image section and named mutex of an executable path. Only the user who
// runs the executable may open them; an object of the same name that
// someone else made, or that others may open, is refused.
#ifndef XOQ_PLATFORM_SHARED_OBJECT_H_
#define XOQ_PLATFORM_SHARED_OBJECT_H_

#include <string>

namespace xoq {
namespace platform {

/// "/xoq-<uid>-<path>" + `suffix`, with '/' and '%' in the path written as
/// %2F and %25 so that different paths give different names; a name too long
/// for the system holds the SHA-256 of the path instead.
std::string sharedObjectName(const std::string& path, const char* suffix);

/// Opens the object `name`, creating it with mode 0600 when missing. Returns
/// the descriptor (close-on-exec), or -1 with errno set and the reason in
/// `error`; errno is EPERM when the object belongs to another user or
/// others may open it.
int openUserSharedObject(const std::string& name, std::string& error);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_SHARED_OBJECT_H_
