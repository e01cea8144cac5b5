// What a module's compiled descriptor (module-info.class) says about it,
// read from a jmod file: which JDK version and which platform a folder of
// jmods belongs to, checked before jlink is asked to link them.
#ifndef XOQPACK_MODULE_INFO_H_
#define XOQPACK_MODULE_INFO_H_

#include <string>

namespace xoq {

struct ModuleInfo {
  std::string name;            // "java.base"
  std::string version;         // "17.0.15"; empty when the descriptor records none
  std::string targetPlatform;  // "linux-amd64", "windows-amd64"; empty for a portable module
};

/// Reads the Module and ModuleTarget attributes of a module-info.class.
/// False when the bytes are not a class file with a Module attribute.
bool parseModuleInfo(const std::string& classFile, ModuleInfo& info);

/// Reads the descriptor of the jmod file at `path` (its
/// classes/module-info.class). False with a one-line `error` otherwise.
bool readJmodModuleInfo(const std::string& path, ModuleInfo& info, std::string& error);

}  // namespace xoq

#endif  // XOQPACK_MODULE_INFO_H_
