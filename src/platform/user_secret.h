// The user's secret: 32 random bytes in a file that only the user may read,
// made by the first process that needs it. It keys the tags of the chunks
// that instances hand each other (instances/chunk_tag.h), so it is kept out
// of the memory they share.
//
// Windows: %LOCALAPPDATA%\xoq\instance.key, made with a security descriptor
// that grants the user alone access to it and to its folder.
// Linux: instance.key in the user's private object directory when there is
// one (platform/shared_object.h), else in ~/.cache/xoq; mode 0600 in a
// folder of mode 0700, and refused when it belongs to someone else or
// others may read it.
#ifndef XOQ_PLATFORM_USER_SECRET_H_
#define XOQ_PLATFORM_USER_SECRET_H_

#include <array>
#include <cstdint>
#include <string>

namespace xoq {
namespace platform {

using UserSecret = std::array<uint8_t, 32>;

/// Reads the user's secret, making it first when there is none yet. False,
/// with the reason in `error`, when it can be neither read nor made.
bool loadUserSecret(UserSecret& secret, std::string& error);

/// The same with the key file in `directory` (made when missing): tests.
bool loadUserSecretIn(const std::string& directory, UserSecret& secret, std::string& error);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_USER_SECRET_H_
