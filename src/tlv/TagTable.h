#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessaly {

// Values the decoder explains in words besides naming their tag.
enum class ValueExplanation { None, FileDescriptor, LifeCycleStatus };

struct TagEntry {
  std::string Name;
  ValueExplanation Explained = ValueExplanation::None;
};

// Tag names, some of them only for a tag inside a given constructed object or at the top level, read from
// text in the format tlv/tags/tag-names.txt describes.
class TagTable {
 public:
  // Reads the text; a line it cannot read is skipped and described in Problems().
  static TagTable Parse(std::string_view text);
  // The table built into the program, read on first use.
  static const TagTable& Shipped();

  // The entry for the tag inside the constructed object parent, or at the top level when there is none: the
  // line for that parent (or for the top level) before the tag's plain line; nullptr when neither exists.
  const TagEntry* Find(std::uint32_t tag, std::optional<std::uint32_t> parent) const;
  const std::vector<std::string>& Problems() const { return problems_; }
  std::size_t Size() const { return entries_.size(); }

 private:
  using Key = std::uint64_t;  // the scope in the high half, the tag in the low half

  void AddLine(std::string_view line, std::size_t lineNumber);
  const TagEntry* FindKey(Key key) const;

  std::vector<std::pair<Key, TagEntry>> entries_;  // sorted by key once read
  std::vector<std::string> problems_;
};

}  // namespace tessaly
