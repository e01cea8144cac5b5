// An append-only list of NUL-terminated strings kept in one character buffer
// with a table of start offsets: multi-valued configuration keys, rebuilt
// program arguments and class path pieces all collect into one.
#ifndef XOQ_CONFIG_STRING_LIST_H_
#define XOQ_CONFIG_STRING_LIST_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace xoq {

class StringList {
 public:
  void append(const char* text, size_t length) {
    offsets_.push_back(static_cast<int32_t>(buffer_.size()));
    buffer_.append(text, length);
    buffer_ += '\0';
  }
  void append(const std::string& text) { append(text.data(), text.size()); }

  size_t size() const { return offsets_.size(); }
  bool empty() const { return offsets_.empty(); }

  /// The i-th string, NUL-terminated; valid until the next append.
  const char* at(size_t i) const { return buffer_.data() + offsets_[i]; }
  /// Its length, without the terminator.
  size_t lengthAt(size_t i) const {
    const size_t end = i + 1 < offsets_.size() ? static_cast<size_t>(offsets_[i + 1]) : buffer_.size();
    return end - static_cast<size_t>(offsets_[i]) - 1;
  }
  std::string str(size_t i) const { return std::string(at(i), lengthAt(i)); }

  void clear() {
    buffer_.clear();
    offsets_.clear();
  }

 private:
  std::string buffer_;
  std::vector<int32_t> offsets_;
};

}  // namespace xoq

#endif  // XOQ_CONFIG_STRING_LIST_H_
