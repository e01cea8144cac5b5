// The version information resource (VS_VERSIONINFO) that Explorer shows on
// a file's Details tab: the fixed file and product versions, and US English
// strings in UTF-16 (translation 0409, code page 1200).
#ifndef XOQPACK_VERSION_INFO_H_
#define XOQPACK_VERSION_INFO_H_

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace xoq {

using VersionNumber = std::array<uint16_t, 4>;

/// Reads "1", "1.4", "1.4.2" or "1.4.2.0" (missing numbers are 0); false
/// with `error` when a part is not a number from 0 to 65535 or there are
/// more than four.
bool parseVersionNumber(const std::string& text, VersionNumber& version, std::string& error);

/// The resource: `fileVersion` and `productVersion` in the fixed part,
/// `strings` (name and UTF-8 value, such as "ProductName") in that order.
std::string versionInfoResource(const VersionNumber& fileVersion, const VersionNumber& productVersion,
                                const std::vector<std::pair<std::string, std::string>>& strings);

}  // namespace xoq

#endif  // XOQPACK_VERSION_INFO_H_
