// Whether the process runs with administrator rights.
#ifndef XOQ_PLATFORM_ELEVATION_H_
#define XOQ_PLATFORM_ELEVATION_H_

namespace xoq {
namespace platform {

/// 0 when the process counts as elevated, 1 when it does not, E_FAIL
/// (0x80004005) when that cannot be told; `out`, when not null, receives 1
/// for elevated and 0 for not on the first two paths. Windows: the token's
/// elevation (before Vista every process counts as elevated); Linux: an
/// effective user id of 0.
long queryElevation(int* out);

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_ELEVATION_H_
