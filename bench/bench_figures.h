// What every benchmark reads its figures with: the median of runs and the
// launcher's trace (XOQ_TRACE lines "[xoq  12 ms] ...").
#ifndef XOQ_BENCH_BENCH_FIGURES_H_
#define XOQ_BENCH_BENCH_FIGURES_H_

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace xoq_bench {

// The median of `values`, or -1 when there are none.
inline double median(std::vector<double> values) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The milliseconds of the first trace line that contains `text`, or -1.
inline double tracedAt(const std::string& err, const std::string& text) {
  const size_t at = err.find(text);
  if (at == std::string::npos) return -1;
  const size_t open = err.rfind("[xoq", at);
  return open == std::string::npos ? -1 : atof(err.c_str() + open + 4);
}

// The number after `text` in the trace, or -1.
inline double tracedValue(const std::string& err, const std::string& text) {
  const size_t at = err.find(text);
  return at == std::string::npos ? -1 : atof(err.c_str() + at + text.size());
}

}  // namespace xoq_bench

#endif  // XOQ_BENCH_BENCH_FIGURES_H_
