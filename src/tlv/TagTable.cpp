#include "tlv/TagTable.h"

#include <algorithm>

#include "platform/HexText.h"
#include "platform/TextRules.h"
#include "tlv/ShippedTagTable.h"
#include "tlv/TagBytes.h"

namespace tessaly {
namespace {

// Scopes beside a parent's tag: no tag is 0 (00 is padding) and none has four bytes.
constexpr std::uint32_t kAnyScope = 0;
constexpr std::uint32_t kTopLevelScope = 0xFFFFFFFF;

std::uint64_t KeyOf(std::uint32_t scope, std::uint32_t tag) {
  return (std::uint64_t{scope} << 32) | tag;
}

struct ParsedTag {
  std::uint32_t Value = 0;
  std::size_t Size = 0;
};

// A tag written in hexadecimal, when its bytes make exactly one tag.
std::optional<ParsedTag> ParseTag(std::string_view text) {
  const HexReading hex = ReadHexBytes(text, "");
  if (!hex.Complete() || hex.Bytes.empty() || hex.Bytes.size() > kMaxTagSize) return std::nullopt;
  const TagReading tag = ReadTag(hex.Bytes);
  if (tag.Result != TagReading::Outcome::Complete || tag.Size != hex.Bytes.size()) return std::nullopt;
  return ParsedTag{tag.Value, tag.Size};
}

std::optional<ValueExplanation> ExplanationNamed(std::string_view name) {
  if (name.empty()) return ValueExplanation::None;
  if (name == "file-descriptor") return ValueExplanation::FileDescriptor;
  if (name == "life-cycle-status") return ValueExplanation::LifeCycleStatus;
  return std::nullopt;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (std::size_t start = 0;;) {
    const std::size_t end = text.find(separator, start);
    parts.push_back(TrimControls(text.substr(start, end - start)));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

// The scopes a key names before the "/" of its tag: "62,6F" gives both parents, nothing the top level.
std::optional<std::vector<std::uint32_t>> ParseScopes(std::string_view scopes) {
  if (scopes.empty()) return std::vector<std::uint32_t>{kTopLevelScope};
  std::vector<std::uint32_t> parents;
  for (const std::string_view text : Split(scopes, ',')) {
    const std::optional<ParsedTag> parent = ParseTag(text);
    if (!parent || !IsConstructedTag(parent->Value, parent->Size)) return std::nullopt;
    parents.push_back(parent->Value);
  }
  return parents;
}

}  // namespace

TagTable TagTable::Parse(std::string_view text) {
  TagTable table;
  std::size_t lineNumber = 0;
  for (const std::string_view line : LineRange(text)) {
    ++lineNumber;
    const std::string_view trimmed = TrimControls(line);
    if (!trimmed.empty() && trimmed.front() != '#') table.AddLine(trimmed, lineNumber);
  }
  std::stable_sort(table.entries_.begin(), table.entries_.end(),
                   [](const auto& left, const auto& right) { return left.first < right.first; });
  const auto repeated =
      std::adjacent_find(table.entries_.begin(), table.entries_.end(),
                         [](const auto& left, const auto& right) { return left.first == right.first; });
  if (repeated != table.entries_.end())
    table.problems_.push_back("the tag of \"" + std::next(repeated)->second.Name +
                              "\" is named twice in one scope");
  return table;
}

void TagTable::AddLine(std::string_view line, std::size_t lineNumber) {
  const std::vector<std::string_view> fields = Split(line, '|');
  const std::string where = "line " + std::to_string(lineNumber) + ": ";
  if (fields.size() < 2 || fields.size() > 3 || fields[1].empty()) {
    problems_.push_back(where + "not KEY | NAME [| EXPLAINED AS]");
    return;
  }
  const std::size_t slash = fields[0].find('/');
  const std::optional<ParsedTag> tag =
      ParseTag(slash == std::string_view::npos ? fields[0] : fields[0].substr(slash + 1));
  const auto scopes = slash == std::string_view::npos ? std::optional(std::vector<std::uint32_t>{kAnyScope})
                                                      : ParseScopes(fields[0].substr(0, slash));
  const std::optional<ValueExplanation> explained = ExplanationNamed(fields.size() == 3 ? fields[2] : "");
  if (!tag || !scopes) {
    problems_.push_back(where + "\"" + std::string(fields[0]) +
                        "\" is not a tag, or its parent not a constructed tag");
  } else if (!explained) {
    problems_.push_back(where + "\"" + std::string(fields[2]) + "\" is no explanation this program knows");
  } else {
    for (const std::uint32_t scope : *scopes)
      entries_.emplace_back(KeyOf(scope, tag->Value), TagEntry{std::string(fields[1]), *explained});
  }
}

const TagTable& TagTable::Shipped() {
  static const TagTable table = Parse(ShippedTagTableFiles().front().Text);
  return table;
}

const TagEntry* TagTable::Find(std::uint32_t tag, std::optional<std::uint32_t> parent) const {
  const TagEntry* scoped = FindKey(KeyOf(parent.value_or(kTopLevelScope), tag));
  return scoped != nullptr ? scoped : FindKey(KeyOf(kAnyScope, tag));
}

const TagEntry* TagTable::FindKey(Key key) const {
  const auto found = std::lower_bound(entries_.begin(), entries_.end(), key,
                                      [](const auto& entry, Key wanted) { return entry.first < wanted; });
  return found != entries_.end() && found->first == key ? &found->second : nullptr;
}

}  // namespace tessaly
