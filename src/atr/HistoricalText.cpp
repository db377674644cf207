#include "atr/HistoricalText.h"

#include <algorithm>
#include <array>

#include "platform/HexText.h"
#include "platform/TextRules.h"

namespace tessaly {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::array<std::uint8_t, 5> kPcscRid = {0xA0, 0x00, 0x00, 0x03, 0x06};
constexpr std::uint8_t kApplicationIdentifierTag = 0x4F;

// Names of the bits that are set, from bit 8 down, given one name per bit (empty: not named).
std::string SetBits(std::uint8_t value, const std::array<const char*, 8>& names) {
  std::string text;
  for (int bit = 7; bit >= 0; --bit) {
    if ((value & (1u << bit)) == 0 || *names[7 - bit] == '\0') continue;
    text += (text.empty() ? "" : ", ") + std::string(names[7 - bit]);
  }
  return text.empty() ? "nothing indicated" : text;
}

std::string CardServiceText(std::uint8_t value) {
  static constexpr std::array<const char*, 8> kBits = {"selection by full DF name",
                                                       "selection by partial DF name",
                                                       "data objects in EF.DIR",
                                                       "data objects in EF.ATR",
                                                       "",
                                                       "",
                                                       "",
                                                       "card without MF"};
  static constexpr std::array<const char*, 8> kAccess = {"READ RECORD", "", "GET DATA", "",
                                                         "READ BINARY", "", "",         ""};
  const std::uint8_t access = (value >> 1) & 0x07;
  const std::string how = *kAccess[access] != '\0' ? kAccess[access] : "reserved access";
  return SetBits(value, kBits) + "; EF.DIR and EF.ATR by " + how;
}

std::string CapabilitiesText(Bytes value) {
  static constexpr std::array<const char*, 8> kSelection = {
      "DF by full name", "DF by partial name",  "by path",       "by file identifier",
      "implicit DF",     "short EF identifier", "record number", "record identifier"};
  static constexpr std::array<const char*, 8> kChaining = {
      "command chaining", "extended Lc and Le", "extended length in EF.ATR", "", "", "", "", ""};
  std::string text = "selection " + SetBits(value[0], kSelection);
  if (value.size() > 1) {
    text += "; data unit " + std::to_string(1 << (value[1] & 0x0F)) + " quartets";
    if ((value[1] & 0x80) != 0) text += ", TLV EFs";
  }
  if (value.size() > 2) {
    if ((value[2] & 0xE0) != 0) text += "; " + SetBits(value[2], kChaining);
    text += "; " + std::to_string((value[2] & 0x07) + 1) + " logical channels";
  }
  return text;
}

std::string LifeCycleText(std::uint8_t lcs) {
  if (lcs == 0x00) return "no information";
  if (lcs == 0x01) return "creation";
  if (lcs == 0x03) return "initialisation";
  if ((lcs & 0xFD) == 0x05) return "operational, activated";
  if ((lcs & 0xFD) == 0x04) return "operational, deactivated";
  if ((lcs & 0xFC) == 0x0C) return "termination";
  return lcs >= 0x10 ? "proprietary" : "reserved";
}

std::string StatusText(Bytes value) {
  if (value.size() == 1) return "life cycle " + HexText(value[0]) + " (" + LifeCycleText(value[0]) + ")";
  if (value.size() == 2) return "SW1 SW2 = " + HexText(value);
  if (value.size() == 3) return StatusText(value.first(1)) + ", " + StatusText(value.subspan(1));
  return HexText(value) + " (unexpected length)";
}

void AddCompactObject(std::uint8_t tag, Bytes value, InfoLineList& lines) {
  const std::string hex = value.empty() ? "empty" : HexText(value);
  switch (tag) {
    case 0x1:
      return lines.Item("Country code", hex);
    case 0x2:
      return lines.Item("Issuer identification", hex);
    case 0x3:
      return lines.Item("Card service data", hex + (value.empty() ? "" : ": " + CardServiceText(value[0])));
    case 0x4:
      return lines.Item("Initial access data", hex);
    case 0x5:
      return lines.Item("Card issuer's data", hex);
    case 0x6:
      return lines.Item("Pre-issuing data", hex);
    case 0x7:
      return lines.Item("Card capabilities", hex + (value.empty() ? "" : ": " + CapabilitiesText(value)));
    case 0x8:
      return lines.Item("Status indicator", hex + (value.empty() ? "" : ": " + StatusText(value)));
    case 0xF:
      return lines.Item("Application identifier", hex);
    default:
      return lines.Item("Object with tag " + std::to_string(tag), hex);
  }
}

// The value is cut to the bytes that are there before its length is compared, so that no length can make
// the walk read past the end.
void AddCompactObjects(Bytes objects, InfoLineList& lines) {
  while (!objects.empty()) {
    const std::uint8_t header = objects[0];
    const std::size_t length = header & 0x0F;
    const Bytes value = objects.subspan(1, std::min(length, objects.size() - 1));
    if (value.size() < length) {
      return lines.Item("Format error", "object " + HexText(header) + " announces " +
                                            CountOf(length, "byte") + ", but only " +
                                            std::to_string(value.size()) +
                                            (value.size() == 1 ? " follows" : " follow"));
    }
    AddCompactObject(header >> 4, value, lines);
    objects = objects.subspan(1 + value.size());
  }
}

std::string StorageStandardText(std::uint8_t standard) {
  switch (standard) {
    case 0x01:
      return "ISO/IEC 14443 A, part 1";
    case 0x02:
      return "ISO/IEC 14443 A, part 2";
    case 0x03:
      return "ISO/IEC 14443 A, part 3";
    case 0x05:
      return "ISO/IEC 14443 B, part 1";
    case 0x06:
      return "ISO/IEC 14443 B, part 2";
    case 0x07:
      return "ISO/IEC 14443 B, part 3";
    case 0x09:
      return "ISO/IEC 15693, part 1";
    case 0x0A:
      return "ISO/IEC 15693, part 2";
    case 0x0B:
      return "ISO/IEC 15693, part 3";
    case 0x0C:
      return "ISO/IEC 15693, part 4";
    case 0x11:
      return "FeliCa";
    default:
      return "not in this list";
  }
}

std::string StorageCardText(unsigned name) {
  switch (name) {
    case 0x0001:
      return "MIFARE Classic 1K";
    case 0x0002:
      return "MIFARE Classic 4K";
    case 0x0003:
      return "MIFARE Ultralight";
    case 0x0026:
      return "MIFARE Mini";
    default:
      return "not in this list";
  }
}

// A contactless storage card as a PC/SC reader presents it: an application identifier with the PC/SC
// registered provider, then the card's standard and its name.
bool AddStorageCard(Bytes afterCategory, InfoLineList& lines) {
  if (afterCategory.size() < 10 || afterCategory[0] != kApplicationIdentifierTag) return false;
  const std::size_t length = afterCategory[1];
  if (length < 8 || length + 2 > afterCategory.size()) return false;
  const Bytes aid = afterCategory.subspan(2, length);
  if (!std::equal(kPcscRid.begin(), kPcscRid.end(), aid.begin())) return false;
  const unsigned name = aid[6] << 8 | aid[7];
  lines.Item("Registered provider", HexText(aid.first(5)) + ": PC/SC Workgroup");
  lines.Item("Card standard", HexText(aid[5]) + ": " + StorageStandardText(aid[5]));
  lines.Item("Card name", HexText(aid.subspan(6, 2)) + ": " + StorageCardText(name));
  if (aid.size() > 8) lines.Item("Reserved", HexText(aid.subspan(8)));
  if (length + 2 < afterCategory.size())
    lines.Item("Further bytes", HexText(afterCategory.subspan(length + 2)));
  return true;
}

void AddCategoryItems(Bytes historical, InfoLineList& lines) {
  const std::uint8_t category = historical[0];
  const Bytes rest = historical.subspan(1);
  if (category == 0x00) {
    lines.Item("Category indicator", "00: compact-TLV objects, then a status indicator");
    if (rest.size() < 3)
      return lines.Item("Format error", "the status indicator needs 3 bytes after the category");
    AddCompactObjects(rest.first(rest.size() - 3), lines);
    return lines.Item("Status indicator", StatusText(rest.last(3)));
  }
  if (category == 0x10) {
    lines.Item("Category indicator", "10: a DIR data reference follows");
    return lines.Item("Dir data reference", rest.empty() ? "missing" : HexText(rest));
  }
  if (category == 0x80) {
    lines.Item("Category indicator", "80: compact-TLV objects, a status indicator among them");
    if (!AddStorageCard(rest, lines)) AddCompactObjects(rest, lines);
    return;
  }
  const bool reserved = category > 0x80 && category <= 0x8F;
  lines.Item("Category indicator", HexText(category) + (reserved ? ": reserved" : ": proprietary format"));
  lines.Item("Text", PrintableAscii(historical));
}

}  // namespace

void AddHistoricalItems(const ParsedAtr& atr, InfoLineList& lines) {
  const Bytes historical = atr.Historical;
  lines.Item("Count", std::to_string(atr.HistoricalCount));
  if (historical.empty()) return;
  lines.Item("Content", HexText(historical));
  AddCategoryItems(historical, lines);
}

}  // namespace tessaly
