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

  // Forgets every text; the first block stays for the texts that come next.
  void Clear();

 private:
  static constexpr std::size_t kBlockSize = 64 * 1024;

  struct TBlock {
    std::unique_ptr<char[]> Data;
    std::size_t Size;
  };

  std::vector<TBlock> blocks_;
  std::size_t used_ = 0;  // bytes taken in the last block
};

}  // namespace tessaly
