// Sizes of the launcher templates that xoqpack copies into every packaged
// program:
//   1. each template as shipped (stripped) next to the linker's output with
//      its symbols and debugging sections (kept in <build>/windows/unstripped);
//   2. what each library adds to the Windows template, summed from the link
//      map: above all the static C++ runtime (libstdc++, libgcc and
//      winpthread), the price of a program that needs no DLL beside it;
//   3. for scale, the JDK's own launcher on this machine (bin/java and the
//      libjli.so it needs), which leans on shared system libraries instead.
// It prints figures; it is not a test. Run: ninja -C build template_size_bench
// && build/template_size_bench
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/jdks.h"

namespace {

using xoq::testing::readFile;

double kilobytes(size_t bytes) { return static_cast<double>(bytes) / 1024.0; }

bool isHex(const std::string& token) { return token.size() > 2 && token.compare(0, 2, "0x") == 0; }

// Who contributed an input section, by the file the linker took it from.
std::string libraryOf(const std::string& file) {
  if (file.find("libstdc++") != std::string::npos) return "C++ runtime: libstdc++";
  if (file.find("libgcc") != std::string::npos) return "C++ runtime: libgcc (unwinder, helpers)";
  if (file.find("libwinpthread") != std::string::npos) return "C++ runtime: winpthread (threads)";
  if (file.find("libz.a") != std::string::npos) return "zlib";
  if (file.find("xoq_core") != std::string::npos || file.find("CMakeFiles") != std::string::npos) return "xoq";
  return "mingw-w64 C runtime and import stubs";
}

// Sums the input sections of a GNU ld map by library, over the output
// sections that reach the file (not .bss, debugging or discarded ones).
std::map<std::string, size_t> sizesByLibrary(const std::string& map) {
  std::map<std::string, size_t> sizes;
  std::istringstream lines(map.substr(map.find("Linker script and memory map")));
  std::string line;
  bool counted = false;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    std::istringstream in(line);
    std::vector<std::string> tokens;
    for (std::string token; in >> token;) tokens.push_back(token);
    if (line[0] != ' ') {
      const std::string& section = tokens[0];
      counted = section[0] == '.' && section != ".bss" && section.find("debug") == std::string::npos &&
                section.compare(0, 5, ".stab") != 0;
      continue;
    }
    if (!counted || tokens.empty()) continue;
    // " .text$name 0xADDRESS 0xSIZE FILE", or the same without the name on
    // the line after a long one; "*fill*" is alignment.
    size_t at = isHex(tokens[0]) ? 0 : 1;
    if (tokens.size() < at + 3 || !isHex(tokens[at]) || !isHex(tokens[at + 1])) {
      if (tokens[0] == "*fill*" && tokens.size() >= 3) sizes["alignment fill"] += std::stoul(tokens[2], nullptr, 16);
      continue;
    }
    sizes[libraryOf(tokens[at + 2])] += std::stoul(tokens[at + 1], nullptr, 16);
  }
  return sizes;
}

}  // namespace

int main() {
  const std::string bin = XOQ_BIN_DIR;
  const std::string unstripped = std::string(XOQ_BUILD_DIR) + "/windows/unstripped/";
  printf("Launcher templates (KB)          shipped   with symbols   saved\n");
  for (const char* name : {"xoq-launcher.exe", "xoq-launcher-console.exe"}) {
    const size_t shipped = readFile(bin + "/" + name).size();
    const size_t full = readFile(unstripped + name).size();
    if (shipped == 0 || full == 0) {
      fprintf(stderr, "build the Windows templates first (ninja -C build)\n");
      return 1;
    }
    printf("  %-30s %8.1f %14.1f %6.0f%%\n", name, kilobytes(shipped), kilobytes(full),
           100.0 * static_cast<double>(full - shipped) / static_cast<double>(full));
  }
  printf("  %-30s %8.1f\n", "xoq-launcher (Linux)", kilobytes(readFile(bin + "/xoq-launcher").size()));

  const std::string map = readFile(unstripped + "xoq-launcher.map");
  const size_t shipped = readFile(bin + "/xoq-launcher.exe").size();
  size_t runtime = 0;
  printf("\nWhat the Windows GUI template holds (KB, from the link map)\n");
  for (const auto& entry : sizesByLibrary(map)) {
    printf("  %-42s %8.1f %5.1f%%\n", entry.first.c_str(), kilobytes(entry.second),
           100.0 * static_cast<double>(entry.second) / static_cast<double>(shipped));
    if (entry.first.compare(0, 11, "C++ runtime") == 0) runtime += entry.second;
  }
  printf("  static C++ runtime in all: %.1f KB, %.0f%% of the shipped template\n", kilobytes(runtime),
         100.0 * static_cast<double>(runtime) / static_cast<double>(shipped));

  printf("\nThe JDK's own launcher, for scale (it needs the system's shared C library)\n");
  for (const std::string& home : xoq::testing::installedJdkHomes()) {
    const size_t java = readFile(home + "/bin/java").size();
    const size_t jli = readFile(home + "/lib/libjli.so").size();
    printf("  %-42s %8.1f KB (bin/java %.1f + lib/libjli.so %.1f); xoq's GUI template is %.1fx that\n", home.c_str(),
           kilobytes(java + jli), kilobytes(java), kilobytes(jli),
           static_cast<double>(shipped) / static_cast<double>(java + jli));
  }
  return 0;
}
