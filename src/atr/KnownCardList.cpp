#include "atr/KnownCardList.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>

#include "platform/HexText.h"
#include "platform/TextFile.h"
#include "platform/TextRules.h"

namespace tessaly {
namespace {

// A pattern of plain hex digits and "." wildcards, compared nibble by nibble under a mask.
struct MaskPattern {
  std::vector<std::uint8_t> Value;
  std::vector<std::uint8_t> Mask;
  std::size_t Entry = 0;

  bool Matches(std::span<const std::uint8_t> atr) const {
    for (std::size_t i = 0; i < atr.size(); ++i) {
      if ((atr[i] & Mask[i]) != Value[i]) return false;
    }
    return true;
  }
};

// A pattern with other regular-expression syntax, matched against the ATR as "3B 8F ..." text; the literal
// text before its first special character is compared first, which rules out most ATRs cheaply.
struct RegexPattern {
  std::regex Expression;
  std::string LiteralPrefix;
  std::size_t Entry = 0;
};

int NibbleOf(char c) {
  if (c == '.') return -1;
  const int value = HexDigitValue(c);
  return value >= 0 ? value : -2;
}

std::optional<MaskPattern> CompileMask(const std::string& pattern) {
  if ((pattern.size() + 1) % 3 != 0) return std::nullopt;
  MaskPattern compiled;
  for (std::size_t i = 0; i < pattern.size(); i += 3) {
    if (i + 2 < pattern.size() && pattern[i + 2] != ' ') return std::nullopt;
    const int high = NibbleOf(pattern[i]);
    const int low = NibbleOf(pattern[i + 1]);
    if (high == -2 || low == -2) return std::nullopt;
    compiled.Value.push_back(static_cast<std::uint8_t>((high < 0 ? 0 : high << 4) | (low < 0 ? 0 : low)));
    compiled.Mask.push_back(static_cast<std::uint8_t>((high < 0 ? 0 : 0xF0) | (low < 0 ? 0 : 0x0F)));
  }
  return compiled;
}

// "3B 02 14 50|3B 02 14 51": alternatives outside any group and character class, each of which must match
// the whole ATR.
bool HasOuterAlternatives(const std::string& pattern) {
  int depth = 0;
  bool inClass = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\') {
      ++i;
    } else if (inClass) {
      inClass = c != ']';
    } else if (c == '[') {
      inClass = true;
    } else if (c == '(' || c == ')') {
      depth += c == '(' ? 1 : -1;
    } else if (c == '|' && depth == 0) {
      return true;
    }
  }
  return false;
}

// The text every ATR the pattern matches starts with.
std::string LiteralPrefixOf(const std::string& pattern) {
  if (HasOuterAlternatives(pattern)) return {};
  const std::size_t special = pattern.find_first_of(".[]()*+?{}|\\^$");
  return ToAsciiUpper(std::string_view(pattern).substr(0, special));
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

}  // namespace

struct KnownCardList::Index {
  std::string FileName;
  std::vector<std::vector<std::string>> Descriptions;   // one per entry, in the order of the file
  std::vector<std::vector<MaskPattern>> MasksByLength;  // index: ATR length in bytes
  std::vector<RegexPattern> Regexes;

  void AddPattern(const std::string& pattern, const std::string& where) {
    const std::size_t entry = Descriptions.size();
    Descriptions.emplace_back();
    if (std::optional<MaskPattern> mask = CompileMask(pattern)) {
      mask->Entry = entry;
      const std::size_t length = mask->Value.size();
      if (MasksByLength.size() <= length) MasksByLength.resize(length + 1);
      MasksByLength[length].push_back(std::move(*mask));
      return;
    }
    try {
      Regexes.push_back(
          {std::regex(pattern, std::regex::ECMAScript | std::regex::icase | std::regex::optimize),
           LiteralPrefixOf(pattern), entry});
    } catch (const std::regex_error& error) {
      throw EKnownCardListError(where + ": the ATR pattern \"" + pattern + "\" is no valid expression (" +
                                error.what() + ")");
    }
  }

  void AddLine(const std::string& line, const std::string& where) {
    if (line.empty() || line[0] == '#') return;
    if (line[0] == '\t') {
      if (Descriptions.empty())
        throw EKnownCardListError(where + ": a description comes before any ATR pattern");
      const std::string_view description = TrimLeading(line, "\t");
      if (!description.empty()) Descriptions.back().emplace_back(TrimTrailing(description));
      return;
    }
    const std::string pattern(TrimTrailing(line));
    if (!pattern.empty()) AddPattern(pattern, where);
  }
};

KnownCardList::KnownCardList() : index_(std::make_unique<Index>()) {}
KnownCardList::~KnownCardList() = default;
KnownCardList::KnownCardList(KnownCardList&&) noexcept = default;
KnownCardList& KnownCardList::operator=(KnownCardList&&) noexcept = default;

KnownCardList KnownCardList::Load(const std::string& fileName) {
  std::vector<std::string> lines;
  try {
    lines = ReadTextFileLines(fileName);
  } catch (const ETessalyError& error) {
    throw EKnownCardListError("The list of known cards " + fileName + " cannot be read: " + error.what());
  }
  KnownCardList list;
  list.index_->FileName = fileName;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    list.index_->AddLine(lines[i], fileName + ", line " + std::to_string(i + 1));
  }
  return list;
}

std::vector<std::filesystem::path> KnownCardList::SearchPlaces() {
  constexpr const char* kFileName = "smartcard_list.txt";
  const std::string home = EnvironmentValue("HOME");
  const std::string cache = EnvironmentValue("XDG_CACHE_HOME");
  std::vector<std::filesystem::path> places;
  if (!cache.empty()) {
    places.push_back(std::filesystem::path(cache) / kFileName);
  } else if (!home.empty()) {
    places.push_back(std::filesystem::path(home) / ".cache" / kFileName);
  }
  if (!home.empty()) places.push_back(std::filesystem::path(home) / ".smartcard_list.txt");
  for (const char* folder : {"/usr/local/pcsc", "/usr/share/pcsc", "/usr/local/share/pcsc"})
    places.push_back(std::filesystem::path(folder) / kFileName);
  return places;
}

std::optional<KnownCardList> KnownCardList::LoadDefault() {
  for (const std::filesystem::path& place : SearchPlaces()) {
    std::error_code error;
    if (std::filesystem::exists(place, error)) return Load(place.string());
  }
  return std::nullopt;
}

std::vector<std::string> KnownCardList::Describe(std::span<const std::uint8_t> atr) const {
  if (!index_) return {};
  std::vector<std::size_t> entries;
  if (atr.size() < index_->MasksByLength.size()) {
    for (const MaskPattern& mask : index_->MasksByLength[atr.size()]) {
      if (mask.Matches(atr)) entries.push_back(mask.Entry);
    }
  }
  if (!index_->Regexes.empty()) {
    const std::string text = HexText(atr);
    for (const RegexPattern& regex : index_->Regexes) {
      if (text.compare(0, regex.LiteralPrefix.size(), regex.LiteralPrefix) != 0) continue;
      if (std::regex_match(text, regex.Expression)) entries.push_back(regex.Entry);
    }
    std::sort(entries.begin(), entries.end());
  }
  std::vector<std::string> descriptions;
  for (const std::size_t entry : entries) {
    const std::vector<std::string>& lines = index_->Descriptions[entry];
    descriptions.insert(descriptions.end(), lines.begin(), lines.end());
  }
  return descriptions;
}

const std::string& KnownCardList::FileName() const {
  static const std::string kNoFile;
  return index_ ? index_->FileName : kNoFile;
}

std::size_t KnownCardList::EntryCount() const {
  return index_ ? index_->Descriptions.size() : 0;
}

}  // namespace tessaly
