#pragma once

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace tessaly {

// Keeps copies of texts in large blocks that never move, so that views of them stay valid until Clear.
// Saves an allocation per stored text.
class TextArena {
 public:
  std::string_view Store(std::string_view text) {
    // Inline for the common case, a short text that fits in the current block.
    if (text.empty()) return {};
    if (blocks_.empty() || kBlockSize - used_ < text.size()) return StoreInNewBlock(text);
    char* copy = blocks_[current_].get() + used_;
    std::copy(text.begin(), text.end(), copy);
    used_ += text.size();
    return {copy, text.size()};
  }

  // Forgets every text. The blocks stay for the texts that come next, so that reloading a table of the
  // same size takes no new memory; a text that needed a block of its own gives it back.
  void Clear();

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  std::string_view StoreInNewBlock(std::string_view text);

  std::vector<std::unique_ptr<char[]>> blocks_;  // each kBlockSize long
  std::vector<std::unique_ptr<char[]>> largeTexts_;
  std::size_t current_ = 0;  // the block being filled, when there is one
  std::size_t used_ = 0;     // bytes taken in that block
};

}  // namespace tessaly
