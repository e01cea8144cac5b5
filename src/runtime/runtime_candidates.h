// The runtimes that one search method finds, and the choice among them: the
// newest that `minjre` and `maxjre` accept, its version read from the
// runtime's release file without starting it, a runtime with the preferred
// virtual machine before one without.
#ifndef XOQ_RUNTIME_RUNTIME_CANDIDATES_H_
#define XOQ_RUNTIME_RUNTIME_CANDIDATES_H_

#include <string>
#include <vector>

namespace xoq {

class ConfigStore;

struct RuntimeCandidate {
  std::string library;  // the virtual machine library
  std::string version;  // JAVA_VERSION of the runtime's release file; empty when unknown
  std::string origin;   // where the method found it, for the trace
  std::string same;     // the library with its links resolved, to know a runtime found twice
};

/// What decides among the candidates: the bounds and the preferred virtual
/// machine (more than one character: the name of its folder).
struct RuntimeBounds {
  std::string minJre;
  std::string maxJre;
  std::string preferredVm;
};

class RuntimeCandidates {
 public:
  /// Candidates of the search method `method`, chosen by `bounds`.
  RuntimeCandidates(char method, RuntimeBounds bounds);

  /// The bounds of `config`.
  static RuntimeBounds boundsOf(ConfigStore& config);

  /// Adds the runtime whose folder is `home` (any layout that
  /// locateJvmInDirectory knows), found at `origin`; false when `home`
  /// holds no virtual machine library.
  bool addHome(const std::string& home, const std::string& origin);

  /// Adds the library `library`, found at `origin`; nothing when it is
  /// empty. A runtime that another candidate already names (the same
  /// library once links are resolved, the same version) is left out.
  void addLibrary(const std::string& library, const std::string& origin);

  const std::vector<RuntimeCandidate>& all() const { return candidates_; }

  /// The library of the chosen runtime, or empty when there is none or the
  /// bounds refuse every one. Runtimes whose version is unknown stay
  /// acceptable (the running virtual machine's version is checked later
  /// anyway) but come after every runtime whose version the bounds accept.
  /// The trace says what was seen and why the choice fell as it did.
  std::string choose() const;

 private:
  char method_;
  RuntimeBounds bounds_;
  std::vector<RuntimeCandidate> candidates_;
};

}  // namespace xoq

#endif  // XOQ_RUNTIME_RUNTIME_CANDIDATES_H_
