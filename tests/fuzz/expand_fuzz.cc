// Value expansion: references of every form, closed or not, with names of
// any length, in narrow and UTF-8 output.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "config/config_store.h"
#include "config/expand.h"
#include "config/registry_reference.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static xoq::ConfigStore* config = [] {
    // A few names the references can find, so that substitution happens.
    setenv("XOQ_FUZZ", "value with % and $ and %XOQ_FUZZ%", 1);
    setenv("A", "", 1);
    auto* store = new xoq::ConfigStore();
    store->setPaths("/opt/app/app", "/tmp");
    return store;
  }();
  if (size == 0) return 0;
  const bool utf8Output = (data[0] & 1) != 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string expanded = xoq::expandReferences(text, utf8Output, config);
  // Expansion is one pass: a text without references comes back unchanged.
  if (text.find_first_of(std::string("%$\0", 3)) == std::string::npos && expanded != text) std::abort();

  const xoq::RegistryReference reference = xoq::parseRegistryReference(text);
  std::string value;
  xoq::readRegistryReference(text, config, value);
  (void)reference;
  return 0;
}
