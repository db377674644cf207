#include "templates/TextArena.h"

#include <algorithm>

namespace tessaly {

std::string_view TextArena::StoreInNewBlock(std::string_view text) {
  char* copy;
  if (text.size() > kBlockSize) {
    copy = largeTexts_.emplace_back(std::make_unique_for_overwrite<char[]>(text.size())).get();
  } else {
    const std::size_t next = blocks_.empty() ? 0 : current_ + 1;
    if (next == blocks_.size()) blocks_.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
    current_ = next;
    copy = blocks_[current_].get();
    used_ = text.size();
  }
  std::copy(text.begin(), text.end(), copy);
  return {copy, text.size()};
}

void TextArena::Clear() {
  largeTexts_.clear();
  current_ = 0;
  used_ = 0;
}

}  // namespace tessaly
