#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace tessaly {

enum class CardFileKind { Dedicated, Transparent, Records };

struct CardFile {
  std::uint16_t Id = 0;
  CardFileKind Kind = CardFileKind::Transparent;
  std::optional<std::size_t> Parent{};  // none for the MF
  std::vector<std::uint8_t> Name{};     // the AID of an application DF
  std::vector<std::uint8_t> Content{};  // a transparent EF's bytes
  std::vector<std::vector<std::uint8_t>> Records{};
  bool UpdateNeedsPin = false;
};

// The virtual card's files and what is selected. Files are kept by index; index 0 is the MF.
class CardFileSystem {
 public:
  static constexpr std::uint16_t kMasterFileId = 0x3F00;

  // MF 3F00 { EF 2F01 text; DF 5000 (AID F0 "TESSALY") { EF 5001 text, EF 5002 records } }.
  CardFileSystem();

  void SelectMaster();
  void Select(std::size_t file);
  CardFile& File(std::size_t file) { return files_[file]; }
  CardFile* CurrentElementaryFile();

  // Lookups as SELECT sees them; nothing when no such file exists.
  std::optional<std::size_t> FindNear(std::uint16_t id) const;  // current DF, its children, parent, siblings
  std::optional<std::size_t> FindChild(std::uint16_t id, std::optional<CardFileKind> kind) const;
  std::optional<std::size_t> FindParent() const;
  std::optional<std::size_t> FindByName(std::span<const std::uint8_t> name) const;
  std::optional<std::size_t> FindByPath(std::size_t from, std::span<const std::uint8_t> path) const;
  std::size_t CurrentDedicatedFile() const { return currentDf_; }

  // The FCP template (tag 62) of a file: descriptor, identifier, size or name, life cycle.
  std::vector<std::uint8_t> ControlParameters(std::size_t file) const;

 private:
  std::size_t Add(CardFile file);
  std::optional<std::size_t> FindChildOf(std::size_t parent, std::uint16_t id) const;

  std::vector<CardFile> files_;
  std::size_t currentDf_ = 0;
  std::optional<std::size_t> currentEf_;
};

std::vector<std::uint8_t> BytesOf(std::string_view text);

}  // namespace tessaly
