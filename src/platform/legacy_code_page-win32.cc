#include <windows.h>

#include "platform/legacy_code_page.h"
#include "platform/text_encoding.h"

namespace xoq {
namespace platform {

namespace {

// The system locale's own ANSI code page, as GetACP gives it to a program
// without a manifest of its own.
UINT legacyCodePage() {
  DWORD codePage = 0;
  if (GetLocaleInfoW(GetSystemDefaultLCID(), LOCALE_IDEFAULTANSICODEPAGE | LOCALE_RETURN_NUMBER,
                     reinterpret_cast<LPWSTR>(&codePage), sizeof codePage / sizeof(WCHAR)) == 0) {
    return CP_ACP;
  }
  return codePage;
}

}  // namespace

bool narrowFormIsNotLegacy() {
  const UINT legacy = legacyCodePage();
  return legacy != CP_ACP && legacy != GetACP();
}

bool narrowToLegacyCodePage(const std::string& narrow, std::string& out) {
  const std::wstring wide = narrowToWide(narrow);
  out.clear();
  if (wide.empty()) return narrow.empty();
  const UINT codePage = legacyCodePage();
  BOOL lost = FALSE;
  const int length = static_cast<int>(wide.size());
  const int needed =
      WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, nullptr, 0, nullptr, &lost);
  if (needed <= 0 || lost) return false;
  out.resize(static_cast<size_t>(needed));
  WideCharToMultiByte(codePage, WC_NO_BEST_FIT_CHARS, wide.data(), length, &out[0], needed, nullptr, &lost);
  return !lost;
}

std::string shortPathOf(const std::string& narrow) {
  const std::wstring wide = narrowToWide(narrow);
  const DWORD needed = GetShortPathNameW(wide.c_str(), nullptr, 0);
  if (needed == 0) return std::string();
  std::wstring shortened(needed, L'\0');
  const DWORD length = GetShortPathNameW(wide.c_str(), &shortened[0], needed);
  if (length == 0 || length >= needed) return std::string();
  shortened.resize(length);
  return wideToNarrow(shortened);
}

}  // namespace platform
}  // namespace xoq
