#include "device/ApduFields.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "device/ApduText.h"
#include "platform/TextRules.h"

namespace tessaly {
namespace {

constexpr std::size_t kShortDataLimit = 255;
constexpr std::size_t kExtendedDataLimit = 65535;
constexpr std::uint32_t kShortLeLimit = 0xFF;
constexpr std::uint32_t kExtendedLeLimit = 0xFFFF;

[[noreturn]] void Refuse(ApduField field, const std::string& message) {
  throw EApduInputError(field, std::string(ApduFieldName(field)) + ": " + message);
}

// A hexadecimal number of at most limit; the text of the field is quoted in the messages.
std::uint32_t ParseNumber(ApduField field, std::string_view text, std::uint32_t limit, const char* range) {
  const std::string_view digits = Trim(text);
  if (digits.empty()) Refuse(field, "a value is needed (" + std::string(range) + ")");
  std::uint32_t value = 0;
  bool tooLarge = false;
  for (const char character : digits) {
    const int digit = HexDigitValue(character);
    if (digit < 0) Refuse(field, "\"" + std::string(digits) + "\" is not hexadecimal");
    value = value * 16 + static_cast<std::uint32_t>(digit);
    tooLarge = tooLarge || value > limit;
    value = std::min(value, limit + 1);  // keeps long texts from overflowing
  }
  if (tooLarge) Refuse(field, std::string(digits) + " is out of range (" + range + ")");
  return value;
}

std::uint8_t ParseByte(ApduField field, std::string_view text) {
  return static_cast<std::uint8_t>(ParseNumber(field, text, 0xFF, "one byte, 00 to FF"));
}

std::vector<std::uint8_t> ParseData(std::string_view text, bool extendedLength) {
  HexScan scan = ScanHexBytes(text, kTypedHexSyntax);
  if (scan.Stray)
    Refuse(ApduField::Data, "'" + std::string(1, text[*scan.Stray]) + "' is not a hexadecimal digit");
  if (scan.HalfByte) Refuse(ApduField::Data, "an odd number of digits; every byte takes two");
  const std::size_t limit = extendedLength ? kExtendedDataLimit : kShortDataLimit;
  if (scan.Bytes.size() > limit) {
    Refuse(ApduField::Data, std::to_string(scan.Bytes.size()) + " bytes are too many (" +
                                (extendedLength ? "at most 65535" : "more than 255 need extended length") +
                                ")");
  }
  return std::move(scan.Bytes);
}

void AppendBigEndian16(std::vector<std::uint8_t>& command, std::size_t value) {
  command.push_back(static_cast<std::uint8_t>(value >> 8));
  command.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

}  // namespace

const char* ApduFieldName(ApduField field) {
  switch (field) {
    case ApduField::Cla:
      return "CLA";
    case ApduField::Ins:
      return "INS";
    case ApduField::P1:
      return "P1";
    case ApduField::P2:
      return "P2";
    case ApduField::Data:
      return "Data";
    case ApduField::Le:
      return "Le";
  }
  return "";
}

std::optional<std::uint8_t> FieldByte(const std::string& text) {
  try {
    return ParseByte(ApduField::Cla, text);
  } catch (const EApduInputError&) {
    return std::nullopt;
  }
}

std::vector<std::uint8_t> BuildCommand(const ApduFieldTexts& fields, bool extendedLength) {
  std::vector<std::uint8_t> command = {
      ParseByte(ApduField::Cla, fields.Cla), ParseByte(ApduField::Ins, fields.Ins),
      ParseByte(ApduField::P1, fields.P1), ParseByte(ApduField::P2, fields.P2)};
  const std::vector<std::uint8_t> data = ParseData(fields.Data, extendedLength);
  const bool hasLe = !Trim(fields.Le).empty();
  const std::uint32_t le =
      hasLe ? ParseNumber(ApduField::Le, fields.Le, extendedLength ? kExtendedLeLimit : kShortLeLimit,
                          extendedLength ? "0000 to FFFF" : "00 to FF; 00 asks for 256 bytes")
            : 0;
  if (!extendedLength) {
    if (!data.empty()) command.push_back(static_cast<std::uint8_t>(data.size()));
    command.insert(command.end(), data.begin(), data.end());
    if (hasLe) command.push_back(static_cast<std::uint8_t>(le));
    return command;
  }
  // Extended length: a zero byte, then two-byte Lc and Le; Le follows Lc without a second zero byte.
  if (data.empty() && !hasLe) return command;
  command.push_back(0x00);
  if (!data.empty()) {
    AppendBigEndian16(command, data.size());
    command.insert(command.end(), data.begin(), data.end());
  }
  if (hasLe) AppendBigEndian16(command, le);
  return command;
}

ApduFieldTexts FieldsOf(const TAPDUPreferences& defaultApdu) {
  ApduFieldTexts fields{defaultApdu.Cla, defaultApdu.Ins,    defaultApdu.P1,
                        defaultApdu.P2,  defaultApdu.DataIn, defaultApdu.Le};
  if (Trim(fields.Data).empty() && Trim(fields.Le).empty()) fields.Le = defaultApdu.P3;
  return fields;
}

}  // namespace tessaly
