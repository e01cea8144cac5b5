#include "platform/output_filter.h"

namespace xoq {
namespace platform {

struct OutputFilter::State {};

OutputFilter::OutputFilter(const char* /*dropped*/) : state_(nullptr) {}

OutputFilter::~OutputFilter() {}

}  // namespace platform
}  // namespace xoq
