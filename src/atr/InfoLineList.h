#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace tessaly {

// Builds card-information lines: a heading is a line without "=", an item is "name=value". The monitor shows
// every item whose name repeats (in any case) with the first one's value, so a repeated name gets a number.
class InfoLineList {
 public:
  void Heading(const std::string& text) { lines_.push_back(text); }
  void Item(const std::string& name, const std::string& value);
  std::vector<std::string> Take() { return std::move(lines_); }

 private:
  std::vector<std::string> lines_;
  std::unordered_set<std::string> folded_names_;
};

}  // namespace tessaly
