#include "runtime/runtime_candidates.h"

#include <utility>

#include "base/trace.h"
#include "config/config_store.h"
#include "platform/platform.h"
#include "runtime/runtime_layout.h"
#include "runtime/runtime_release.h"
#include "runtime/runtime_search.h"
#include "runtime/vm_context.h"

namespace xoq {

namespace {

// The name of the folder that holds `library`: "server" for
// .../bin/server/jvm.dll.
std::string libraryFolderName(const std::string& library) {
  const size_t file = library.find_last_of(kPathSeparators);
  if (file == std::string::npos || file == 0) return std::string();
  const size_t folder = library.find_last_of(kPathSeparators, file - 1);
  const size_t start = folder == std::string::npos ? 0 : folder + 1;
  return library.substr(start, file - start);
}

const char* describeVersion(const RuntimeCandidate& candidate) {
  return candidate.version.empty() ? "version unknown" : candidate.version.c_str();
}

}  // namespace

RuntimeCandidates::RuntimeCandidates(char method, RuntimeBounds bounds) : method_(method), bounds_(std::move(bounds)) {}

RuntimeBounds RuntimeCandidates::boundsOf(ConfigStore& config) {
  RuntimeBounds bounds;
  bounds.minJre = config.minJre();
  bounds.maxJre = config.maxJre();
  bounds.preferredVm = config.preferredVmName();
  return bounds;
}

bool RuntimeCandidates::addHome(const std::string& home, const std::string& origin) {
  const std::string library = locateJvmInDirectory(home, bounds_.preferredVm);
  if (library.empty()) {
    trace("runtime method %c: no runtime in %s (%s)", method_, home.c_str(), origin.c_str());
    return false;
  }
  addLibrary(library, origin);
  return true;
}

void RuntimeCandidates::addLibrary(const std::string& library, const std::string& origin) {
  if (library.empty()) return;
  RuntimeCandidate candidate;
  candidate.library = library;
  candidate.origin = origin;
  candidate.same = platform::resolveLinks(library);
  if (candidate.same.empty()) candidate.same = library;
  candidate.version = readRuntimeRelease(library).version;
  // One runtime reached twice (/usr/lib/jvm/default-java and the folder it
  // links to, a version key and CurrentVersion's) is one candidate. The
  // release file is read beside the path as found, so a folder of links
  // with a release file of its own counts as a runtime of its own.
  for (const RuntimeCandidate& known : candidates_) {
    if (sameFileName(known.same, candidate.same) && known.version == candidate.version) {
      trace("runtime method %c: %s (%s) is %s again", method_, library.c_str(), origin.c_str(), known.library.c_str());
      return;
    }
  }
  trace("runtime method %c: saw %s (%s) at %s", method_, candidate.library.c_str(), describeVersion(candidate),
        origin.c_str());
  candidates_.push_back(std::move(candidate));
}

std::string RuntimeCandidates::choose() const {
  const bool bounded = !bounds_.minJre.empty() || !bounds_.maxJre.empty();
  const bool vmPreferred = bounds_.preferredVm.size() > 1;
  const RuntimeCandidate* best = nullptr;
  bool bestHasVm = false;
  size_t accepted = 0;
  for (const RuntimeCandidate& candidate : candidates_) {
    if (!candidate.version.empty() && checkVersionRange(candidate.version, bounds_.minJre, bounds_.maxJre) != 0) {
      trace("runtime method %c: %s (%s) is outside minjre \"%s\" and maxjre \"%s\"", method_, candidate.library.c_str(),
            candidate.version.c_str(), bounds_.minJre.c_str(), bounds_.maxJre.c_str());
      continue;
    }
    ++accepted;
    const bool hasVm = vmPreferred && sameFileName(libraryFolderName(candidate.library), bounds_.preferredVm);
    // Ranked by: the preferred virtual machine, a known version, the newer
    // version; on a tie the one found first stays.
    bool better = best == nullptr;
    if (!better && hasVm != bestHasVm) {
      better = hasVm;
    } else if (!better && candidate.version.empty() != best->version.empty()) {
      better = best->version.empty();
    } else if (!better) {
      better = compareJavaVersions(candidate.version, best->version) > 0;
    }
    if (better) {
      best = &candidate;
      bestHasVm = hasVm;
    }
  }
  if (best == nullptr) {
    if (candidates_.empty()) {
      trace("runtime method %c: found no runtime", method_);
    } else {
      trace("runtime method %c: none of the %u runtimes found fits the bounds", method_,
            static_cast<unsigned>(candidates_.size()));
    }
    return std::string();
  }
  std::string why = accepted == 1 ? "the only runtime" : "the newest of " + std::to_string(accepted) + " runtimes";
  why += bounded ? " that minjre \"" + bounds_.minJre + "\" and maxjre \"" + bounds_.maxJre + "\" accept" : " found";
  if (vmPreferred)
    why +=
        bestHasVm ? ", with the preferred " + bounds_.preferredVm : ", none with the preferred " + bounds_.preferredVm;
  trace("runtime method %c: chose %s (%s, at %s): %s", method_, best->library.c_str(), describeVersion(*best),
        best->origin.c_str(), why.c_str());
  return best->library;
}

}  // namespace xoq
