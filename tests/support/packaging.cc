#include "support/packaging.h"

#include <cstdio>
#include <sstream>

#include "support/files.h"

namespace xoq {
namespace testing {

std::string binDirectory() { return XOQ_BIN_DIR; }

std::string xoqpackPath() { return binDirectory() + "/xoqpack"; }

std::string templatePath(Target target) {
  switch (target) {
    case Target::kLinux:
      return binDirectory() + "/xoq-launcher";
    case Target::kWindows:
      return binDirectory() + "/xoq-launcher.exe";
    case Target::kWindowsConsole:
      return binDirectory() + "/xoq-launcher-console.exe";
  }
  return std::string();
}

ProcessResult runXoqpack(const std::vector<std::string>& arguments, const std::vector<std::string>& shellLimits,
                         int timeoutSeconds) {
  std::vector<std::string> command = {xoqpackPath()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  RunOptions options;
  options.timeoutSeconds = timeoutSeconds;
  options.shellLimits = shellLimits;
  return runProcess(command, options);
}

std::string xoqpackExePath() { return binDirectory() + "/xoqpack.exe"; }

ProcessResult runXoqpackExe(const std::vector<std::string>& arguments, RunOptions options) {
  std::vector<std::string> command = {XOQ_WINE_PROGRAM, xoqpackExePath()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  if (options.setEnv.find("LC_ALL") == options.setEnv.end()) options.setEnv["LC_ALL"] = "C.UTF-8";
  // Wine's own words (the wine32 hint, its err: lines) stay out of the
  // standard error that the tests compare with the Linux xoqpack's: ctest
  // hands gtest_discover_tests only the first of the ENVIRONMENT entries.
  options.setEnv["WINEDEBUG"] = "-all";
  options.setEnv["WINEDLLOVERRIDES"] = "mscoree,mshtml=";
  options.timeoutSeconds = 120;
  return runProcess(command, options);
}

std::string packageExecutable(Target target, const std::string& output, const std::string& config,
                              const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<std::string> arguments;
  for (const auto& file : files) {
    arguments.push_back("--add");
    arguments.push_back(file.first + "=" + file.second);
  }
  return packageWith(target, output, config, arguments);
}

std::string packageWith(Target target, const std::string& output, const std::string& config,
                        const std::vector<std::string>& xoqpackArguments) {
  const std::string configPath = output + ".xoqpack-input.cfg";
  writeFile(configPath, config);
  std::vector<std::string> arguments = {"--template", templatePath(target), "--config", configPath, "--output", output};
  arguments.insert(arguments.end(), xoqpackArguments.begin(), xoqpackArguments.end());
  const ProcessResult result = runXoqpack(arguments);
  std::remove(configPath.c_str());
  if (result.exitCode != 0) {
    fprintf(stderr, "xoqpack failed (%d): %s\n", result.exitCode, result.err.c_str());
    return std::string();
  }
  return output;
}

std::string testAppClasses(const std::string& name) {
  return std::string(XOQ_BUILD_DIR) + "/test-apps/" + name + "/classes";
}

std::string testAppJar(const std::string& name) {
  return std::string(XOQ_BUILD_DIR) + "/test-apps/" + name + "/" + name + ".jar";
}

ProcessResult runExecutable(Target target, const std::string& executable, const std::vector<std::string>& arguments,
                            RunOptions options) {
  if (options.setEnv.find("XOQ_TRACE") == options.setEnv.end()) options.setEnv["XOQ_TRACE"] = "1";
  std::vector<std::string> command;
  if (target != Target::kLinux) command.push_back(XOQ_WINE_PROGRAM);
  command.push_back(executable);
  command.insert(command.end(), arguments.begin(), arguments.end());
  return runProcess(command, options);
}

std::string launcherPath(Target target, const std::string& path) {
  if (target == Target::kLinux) return path;
  std::string windows = "Z:" + path;
  for (char& c : windows) {
    if (c == '/') c = '\\';
  }
  return windows;
}

std::vector<std::string> traceLines(const ProcessResult& result) {
  std::vector<std::string> lines;
  std::istringstream in(result.err);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("[xoq", 0) == 0) lines.push_back(line);
  }
  return lines;
}

bool traced(const ProcessResult& result, const std::string& text) {
  for (const std::string& line : traceLines(result)) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

}  // namespace testing
}  // namespace xoq
