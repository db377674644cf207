#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/TessalyError.h"

namespace tessaly {

// A list of known cards that cannot be read or makes no sense; the message names the file.
class EKnownCardListError : public ETessalyError {
 public:
  using ETessalyError::ETessalyError;
};

// The list of known cards in the format of pcsc-tools' smartcard_list.txt: an ATR pattern at the start of a
// line (hex bytes, "." for any digit, some patterns regular expressions), its descriptions on the lines
// below, each indented by a tab; "#" starts a comment line. Read once and matched in memory.
class KnownCardList {
 public:
  KnownCardList();
  ~KnownCardList();
  KnownCardList(KnownCardList&&) noexcept;
  KnownCardList& operator=(KnownCardList&&) noexcept;

  // Throws EKnownCardListError when the file is missing, unreadable or malformed.
  static KnownCardList Load(const std::string& fileName);
  // Where pcsc-tools' ATR_analysis looks for the list, in its order: the copy its update keeps in
  // $XDG_CACHE_HOME (~/.cache when unset), ~/.smartcard_list.txt, then the system's folders.
  static std::vector<std::filesystem::path> SearchPlaces();
  // The list at the first of those places where a file is; none when there is none. A broken file throws.
  static std::optional<KnownCardList> LoadDefault();

  // The descriptions of every entry whose pattern matches, in the order of the file.
  std::vector<std::string> Describe(std::span<const std::uint8_t> atr) const;
  std::size_t EntryCount() const;
  // The file the list was read from.
  const std::string& FileName() const;

 private:
  struct Index;
  std::unique_ptr<Index> index_;
};

}  // namespace tessaly
