#include "atr/InfoLineList.h"

#include <algorithm>

namespace tessaly {
namespace {

std::string FoldCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; });
  return text;
}

}  // namespace

void InfoLineList::Item(const std::string& name, const std::string& value) {
  std::string unique = name;
  for (int number = 2; !folded_names_.insert(FoldCase(unique)).second; ++number) {
    unique = name + " " + std::to_string(number);
  }
  lines_.push_back(unique + "=" + value);
}

}  // namespace tessaly
