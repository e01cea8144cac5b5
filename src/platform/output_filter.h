// Keeping one known line of the runtime's start-up chatter away from the
// application's users, while everything else it prints passes unchanged.
#ifndef XOQ_PLATFORM_OUTPUT_FILTER_H_
#define XOQ_PLATFORM_OUTPUT_FILTER_H_

namespace xoq {
namespace platform {

/// While it lives, standard output and standard error pass through a filter
/// that drops every line containing `dropped` and forwards every other byte
/// as it was written. Linux only: a Windows GUI program has no standard
/// streams to keep clean, so there it does nothing.
class OutputFilter {
 public:
  explicit OutputFilter(const char* dropped);
  ~OutputFilter();
  OutputFilter(const OutputFilter&) = delete;
  OutputFilter& operator=(const OutputFilter&) = delete;

 private:
  struct State;
  State* state_;
};

}  // namespace platform
}  // namespace xoq

#endif  // XOQ_PLATFORM_OUTPUT_FILTER_H_
