// stdin_sink FILE: copies its standard input, up to its end, into FILE, so
// that a test can see what a command started by the launcher received. The
// data goes to FILE.part first and is renamed to FILE at the end: FILE
// appears only once the input has ended.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string part = std::string(argv[1]) + ".part";
  FILE* out = fopen(part.c_str(), "wb");
  if (out == nullptr) return 3;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  char buffer[65536];
  DWORD count = 0;
  while (ReadFile(input, buffer, sizeof buffer, &count, nullptr) && count > 0) fwrite(buffer, 1, count, out);
  fclose(out);
  return MoveFileExA(part.c_str(), argv[1], MOVEFILE_REPLACE_EXISTING) ? 0 : 4;
}
