// The application manifest (RT_MANIFEST 1) that every packaged Windows
// executable gets: the privileges it asks for, DPI awareness, the Windows
// versions it was tested on, long paths, the Common Controls 6 look and,
// when asked, UTF-8 as the process's ANSI code page.
#ifndef XOQPACK_MANIFEST_H_
#define XOQPACK_MANIFEST_H_

#include <string>

namespace xoq {

struct ManifestOptions {
  std::string executionLevel = "asInvoker";  // or highestAvailable, requireAdministrator
  bool dpiAware = true;                      // per monitor
  bool utf8CodePage = false;
};

/// True for the three levels Windows knows.
bool isExecutionLevel(const std::string& level);

/// The manifest's XML text, UTF-8.
std::string applicationManifest(const ManifestOptions& options);

}  // namespace xoq

#endif  // XOQPACK_MANIFEST_H_
