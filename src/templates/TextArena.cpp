#include "templates/TextArena.h"

#include <algorithm>

namespace tessaly {

std::string_view TTextArena::Store(std::string_view text) {
  if (text.empty()) return {};
  if (blocks_.empty() || blocks_.back().Size - used_ < text.size()) {
    // A text longer than a block gets a block of its own.
    const std::size_t size = std::max(kBlockSize, text.size());
    blocks_.push_back(TBlock{std::make_unique_for_overwrite<char[]>(size), size});
    used_ = 0;
  }
  char* copy = blocks_.back().Data.get() + used_;
  std::copy(text.begin(), text.end(), copy);
  used_ += text.size();
  return {copy, text.size()};
}

void TTextArena::Clear() {
  if (blocks_.size() > 1) blocks_.resize(1);
  used_ = 0;
}

}  // namespace tessaly
