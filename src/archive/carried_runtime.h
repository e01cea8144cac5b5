// The Java runtime that an executable carries (xoqpack --embed-runtime):
// method p of the runtime search. It is unpacked into the user's cache,
// <cache>/xoq/runtimes/<digest>, on the first start of any program that
// carries it, and loaded from there by every later start.
#ifndef XOQ_ARCHIVE_CARRIED_RUNTIME_H_
#define XOQ_ARCHIVE_CARRIED_RUNTIME_H_

#include <string>

#include "runtime/runtime_search.h"

namespace xoq {

/// The folder under which carried runtimes are unpacked, one per digest.
extern const char kRuntimeCacheKind[];

/// Method p's source (setCarriedRuntimeSource): true with the folder of
/// the runtime this executable carries, unpacked when it is not yet; false
/// when it carries none, or with `failure` set when it cannot be used.
bool carriedRuntimeFolder(std::string& folder, CarriedRuntimeFailure& failure);

}  // namespace xoq

#endif  // XOQ_ARCHIVE_CARRIED_RUNTIME_H_
