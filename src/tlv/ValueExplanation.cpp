#include "tlv/ValueExplanation.h"

#include <algorithm>
#include <array>

namespace tessaly {
namespace {

std::string FileKind(std::uint8_t descriptor) {
  static constexpr std::array<const char*, 8> kEfStructures = {"no structure information",
                                                               "transparent",
                                                               "linear fixed",
                                                               "linear fixed, TLV records",
                                                               "linear variable",
                                                               "linear variable, TLV records",
                                                               "cyclic",
                                                               "cyclic, TLV records"};
  const std::string sharing = (descriptor & 0x40) != 0 ? "shareable" : "not shareable";
  const unsigned kind = (descriptor >> 3) & 0x07;
  const unsigned structure = descriptor & 0x07;
  if (kind == 0x07) {
    if (structure == 0) return "DF, " + sharing;
    if (structure == 1) return "EF of BER-TLV structure, " + sharing;
    if (structure == 2) return "EF of SIMPLE-TLV structure, " + sharing;
    return "reserved file kind";
  }
  const char* efKind = kind == 0 ? "working EF" : kind == 1 ? "internal EF" : "proprietary EF";
  return std::string(efKind) + ", " + sharing + ", " + kEfStructures[structure];
}

std::string DataCoding(std::uint8_t coding) {
  static constexpr std::array<const char*, 4> kWriting = {"one-time write", "proprietary write", "write OR",
                                                          "write AND"};
  const unsigned unitPower = coding & 0x0F;  // the data unit holds 2 to this power quartets
  const std::string unit =
      unitPower == 0 ? "half-byte data units" : std::to_string(1u << (unitPower - 1)) + "-byte data units";
  const std::string tagStart = (coding & 0x10) != 0 ? ", FF valid as a tag's first byte" : "";
  return std::string(kWriting[(coding >> 5) & 0x03]) + ", " + unit + tagStart;
}

std::size_t BigEndian(std::span<const std::uint8_t> bytes) {
  std::size_t value = 0;
  for (const std::uint8_t byte : bytes) value = (value << 8) | byte;
  return value;
}

// Bytes 3 to 6: the record size in one or two bytes, then the record count in one or two.
std::string Records(std::span<const std::uint8_t> bytes) {
  const std::size_t sizeBytes = bytes.size() == 1 ? 1 : 2;
  std::string text = "records of up to " + std::to_string(BigEndian(bytes.first(sizeBytes))) + " bytes";
  if (bytes.size() > sizeBytes)
    text += ", " +
            std::to_string(
                BigEndian(bytes.subspan(sizeBytes, std::min<std::size_t>(bytes.size() - sizeBytes, 2)))) +
            " records";
  return text;
}

std::string FileDescriptor(std::span<const std::uint8_t> value) {
  if ((value[0] & 0x80) != 0) return "proprietary file descriptor";
  std::string text = FileKind(value[0]);
  if (value.size() >= 2) text += "; data coding: " + DataCoding(value[1]);
  if (value.size() >= 3) text += "; " + Records(value.subspan(2));
  return text;
}

std::string LifeCycleStatus(std::uint8_t status) {
  if (status >= 0x10) return "proprietary";
  if (status >= 0x0C) return "termination state";
  if (status >= 0x04 && status <= 0x07)
    return (status & 0x01) != 0 ? "operational state, activated" : "operational state, deactivated";
  switch (status) {
    case 0x00:
      return "no information given";
    case 0x01:
      return "creation state";
    case 0x03:
      return "initialisation state";
    default:
      return "reserved";
  }
}

}  // namespace

std::string ExplainValue(ValueExplanation kind, std::span<const std::uint8_t> value) {
  if (value.empty()) return {};
  switch (kind) {
    case ValueExplanation::FileDescriptor:
      return FileDescriptor(value);
    case ValueExplanation::LifeCycleStatus:
      return LifeCycleStatus(value[0]);
    case ValueExplanation::None:
      break;
  }
  return {};
}

}  // namespace tessaly
