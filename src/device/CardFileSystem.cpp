#include "device/CardFileSystem.h"

#include <algorithm>
#include <array>

namespace tessaly {
namespace {

constexpr std::uint8_t kDescriptorDf = 0x38;
constexpr std::uint8_t kDescriptorTransparent = 0x01;
constexpr std::uint8_t kDescriptorLinearVariable = 0x04;
constexpr std::uint8_t kLifeCycleOperational = 0x05;

void AppendTlv(std::vector<std::uint8_t>& out, std::uint8_t tag, std::span<const std::uint8_t> value) {
  out.push_back(tag);
  out.push_back(static_cast<std::uint8_t>(value.size()));
  out.insert(out.end(), value.begin(), value.end());
}

std::uint8_t DescriptorOf(CardFileKind kind) {
  switch (kind) {
    case CardFileKind::Dedicated:
      return kDescriptorDf;
    case CardFileKind::Transparent:
      return kDescriptorTransparent;
    case CardFileKind::Records:
      return kDescriptorLinearVariable;
  }
  return 0;
}

std::array<std::uint8_t, 2> BigEndian(std::size_t value) {
  return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

}  // namespace

std::vector<std::uint8_t> BytesOf(std::string_view text) {
  return {text.begin(), text.end()};
}

CardFileSystem::CardFileSystem() {
  const auto mf = Add({.Id = kMasterFileId, .Kind = CardFileKind::Dedicated});
  Add({.Id = 0x2F01,
       .Parent = mf,
       .Content = BytesOf("Tessaly Easy virtual card by Orvane. Serial number 0000 0001.")});
  const auto application = Add({.Id = 0x5000,
                                .Kind = CardFileKind::Dedicated,
                                .Parent = mf,
                                .Name = {0xF0, 'T', 'E', 'S', 'S', 'A', 'L', 'Y'}});
  // Longer than one short response, so that reads past 256 bytes and at offsets are exercised.
  Add({.Id = 0x5001,
       .Parent = application,
       .Content = BytesOf(
           "This is the text file of the Tessaly application on the virtual card. It is readable by "
           "anyone and can be changed with UPDATE BINARY after the PIN has been verified. The card keeps "
           "its files in memory only, so every start of the program begins with this same text again. "
           "It is long enough to need two short READ BINARY commands."),
       .UpdateNeedsPin = true});
  Add({.Id = 0x5002,
       .Kind = CardFileKind::Records,
       .Parent = application,
       .Records = {BytesOf("Holder=Virtual Card Holder"), BytesOf("Issuer=Orvane"),
                   BytesOf("Valid until=2030-12-31")}});
}

std::size_t CardFileSystem::Add(CardFile file) {
  files_.push_back(std::move(file));
  return files_.size() - 1;
}

void CardFileSystem::SelectMaster() {
  currentDf_ = 0;
  currentEf_.reset();
}

void CardFileSystem::Select(std::size_t file) {
  if (files_[file].Kind == CardFileKind::Dedicated) {
    currentDf_ = file;
    currentEf_.reset();
  } else {
    currentDf_ = *files_[file].Parent;
    currentEf_ = file;
  }
}

CardFile* CardFileSystem::CurrentElementaryFile() {
  return currentEf_ ? &files_[*currentEf_] : nullptr;
}

std::optional<std::size_t> CardFileSystem::FindChildOf(std::size_t parent, std::uint16_t id) const {
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (files_[i].Parent == parent && files_[i].Id == id) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> CardFileSystem::FindNear(std::uint16_t id) const {
  if (id == kMasterFileId) return 0;
  if (files_[currentDf_].Id == id) return currentDf_;
  if (auto child = FindChildOf(currentDf_, id)) return child;
  const auto parent = files_[currentDf_].Parent;
  if (!parent) return std::nullopt;
  if (files_[*parent].Id == id) return parent;
  return FindChildOf(*parent, id);
}

std::optional<std::size_t> CardFileSystem::FindChild(std::uint16_t id,
                                                     std::optional<CardFileKind> kind) const {
  const auto child = FindChildOf(currentDf_, id);
  const bool isDf = child && files_[*child].Kind == CardFileKind::Dedicated;
  if (!child || (kind && isDf != (*kind == CardFileKind::Dedicated))) return std::nullopt;
  return child;
}

std::optional<std::size_t> CardFileSystem::FindParent() const {
  return files_[currentDf_].Parent;
}

std::optional<std::size_t> CardFileSystem::FindByName(std::span<const std::uint8_t> name) const {
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (!files_[i].Name.empty() && std::ranges::equal(files_[i].Name, name)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> CardFileSystem::FindByPath(std::size_t from,
                                                      std::span<const std::uint8_t> path) const {
  std::optional<std::size_t> file = from;
  for (std::size_t i = 0; file && i + 1 < path.size(); i += 2) {
    if (files_[*file].Kind != CardFileKind::Dedicated) return std::nullopt;
    file = FindChildOf(*file, static_cast<std::uint16_t>((path[i] << 8) | path[i + 1]));
  }
  return file;
}

std::vector<std::uint8_t> CardFileSystem::ControlParameters(std::size_t index) const {
  const CardFile& file = files_[index];
  std::vector<std::uint8_t> body;
  const std::uint8_t descriptor = DescriptorOf(file.Kind);
  AppendTlv(body, 0x82, {&descriptor, 1});
  AppendTlv(body, 0x83, BigEndian(file.Id));
  if (file.Kind == CardFileKind::Transparent) AppendTlv(body, 0x80, BigEndian(file.Content.size()));
  if (!file.Name.empty()) AppendTlv(body, 0x84, file.Name);
  AppendTlv(body, 0x8A, {&kLifeCycleOperational, 1});
  std::vector<std::uint8_t> fcp;
  AppendTlv(fcp, 0x62, body);
  return fcp;
}

}  // namespace tessaly
