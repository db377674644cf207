#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

namespace tessaly {

// Keeps copies of texts in large blocks that never move, so that views of them stay valid until Clear.
// Saves an allocation per stored text.
class TTextArena {
 public:
  std::string_view Store(std::string_view text);

  // Forgets every text. The blocks stay for the texts that come next, so that reloading a table of the
  // same size takes no new memory; a text that needed a block of its own gives it back.
  void Clear();

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  std::vector<std::unique_ptr<char[]>> blocks_;  // each kBlockSize long
  std::vector<std::unique_ptr<char[]>> largeTexts_;
  std::size_t current_ = 0;  // the block being filled, when there is one
  std::size_t used_ = 0;     // bytes taken in that block
};

}  // namespace tessaly
