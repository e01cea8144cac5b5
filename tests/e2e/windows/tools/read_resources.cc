// read_resources FILE: prints what the Windows API finds in the resources of
// another program, the way Explorer, the taskbar and the launcher itself
// reach them, one "what: value" line each:
//   icon WIDTHxHEIGHT: the size of the group icon 1 as LoadIconA (system
//     size) and LoadImageA (16 and 256 pixels) give it;
//   version NAME: each string of the version information (GetFileVersionInfoA,
//     VerQueryValueA), fixed and translation for its binary parts;
//   bitmap 100, rcdata 100, manifest 1: FindResourceA's size, the bitmap's
//     size as LoadImageA reads it, the manifest's execution level;
//   string 1: the launcher's first message, through LoadStringA.
// A test tool, not shipped. Exit code 0 when the file could be loaded.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void printIcon(const char* what, HICON icon) {
  ICONINFO info;
  BITMAP bitmap;
  if (icon == nullptr || !GetIconInfo(icon, &info)) {
    printf("%s: none\n", what);
    return;
  }
  GetObjectA(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
  printf("%s: %ldx%ld\n", what, bitmap.bmWidth, bitmap.bmHeight);
  if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
  if (info.hbmMask != nullptr) DeleteObject(info.hbmMask);
}

void printIcons(HMODULE module) {
  printIcon("icon LoadIconA", LoadIconA(module, MAKEINTRESOURCEA(1)));
  for (int size : {16, 256}) {
    const std::string what = "icon LoadImageA " + std::to_string(size);
    HANDLE icon = LoadImageA(module, MAKEINTRESOURCEA(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR);
    printIcon(what.c_str(), static_cast<HICON>(icon));
    if (icon != nullptr) DestroyIcon(static_cast<HICON>(icon));
  }
}

void printVersion(const char* file) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(file, &ignored);
  std::string data(size, '\0');
  if (size == 0 || !GetFileVersionInfoA(file, 0, size, &data[0])) {
    printf("version: none\n");
    return;
  }
  void* value = nullptr;
  UINT length = 0;
  if (VerQueryValueA(data.data(), "\\", &value, &length) && length >= sizeof(VS_FIXEDFILEINFO)) {
    const VS_FIXEDFILEINFO* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    printf("version fixed: %lu.%lu.%lu.%lu %lu.%lu.%lu.%lu\n", fixed->dwFileVersionMS >> 16,
           fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16, fixed->dwFileVersionLS & 0xFFFF,
           fixed->dwProductVersionMS >> 16, fixed->dwProductVersionMS & 0xFFFF, fixed->dwProductVersionLS >> 16,
           fixed->dwProductVersionLS & 0xFFFF);
  }
  if (VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) && length >= 4) {
    const WORD* words = static_cast<const WORD*>(value);
    printf("version translation: %04x %u\n", words[0], words[1]);
  }
  for (const char* name : {"CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                           "OriginalFilename", "ProductName", "ProductVersion"}) {
    const std::string path = std::string("\\StringFileInfo\\040904B0\\") + name;
    if (VerQueryValueA(data.data(), path.c_str(), &value, &length)) {
      printf("version %s: %s\n", name, static_cast<const char*>(value));
    }
  }
}

void printFound(HMODULE module, const char* what, WORD id, const char* type) {
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
  if (found == nullptr) {
    printf("%s: none\n", what);
    return;
  }
  const DWORD size = SizeofResource(module, found);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(module, found)));
  printf("%s: %lu bytes", what, size);
  if (type == RT_MANIFEST && bytes != nullptr) {
    const std::string text(bytes, size);
    const size_t level = text.find("requestedExecutionLevel level=\"");
    if (level != std::string::npos) {
      const size_t start = level + std::strlen("requestedExecutionLevel level=\"");
      printf(", level %s", text.substr(start, text.find('"', start) - start).c_str());
    }
  }
  if (type == RT_BITMAP) {
    HANDLE bitmap = LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR);
    BITMAP info;
    if (bitmap != nullptr && GetObjectA(bitmap, sizeof info, &info) != 0) {
      printf(", %ldx%ld", info.bmWidth, info.bmHeight);
      DeleteObject(bitmap);
    }
  }
  printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: read_resources FILE\n");
    return 1;
  }
  HMODULE module = LoadLibraryExA(argv[1], nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    fprintf(stderr, "cannot load %s: error %lu\n", argv[1], GetLastError());
    return 2;
  }
  printf("acp: %u\n", GetACP());
  printIcons(module);
  printVersion(argv[1]);
  printFound(module, "bitmap 100", 100, RT_BITMAP);
  printFound(module, "rcdata 100", 100, RT_RCDATA);
  printFound(module, "manifest 1", 1, RT_MANIFEST);
  char message[256] = "";
  LoadStringA(module, 1, message, sizeof message);
  printf("string 1: %s\n", message);
  FreeLibrary(module);
  fflush(stdout);
  return 0;
}
