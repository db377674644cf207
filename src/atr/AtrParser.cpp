#include "atr/AtrParser.h"

#include <algorithm>
#include <array>

#include "platform/HexText.h"
#include "platform/TextRules.h"

namespace tessaly {
namespace {

constexpr std::array<char, 4> kKinds = {'A', 'B', 'C', 'D'};

std::string Shown(char c) {
  if (IsPrintableAscii(c)) return std::string("'") + c + "'";
  return "0x" + HexText(static_cast<std::uint8_t>(c));
}

// Bytes are written with blanks between them, or with colons as opensc-tool prints them, or with dashes;
// people copy ATRs from all of these, so a separator may stand anywhere.
constexpr HexSyntax kAtrSyntax{.Separators = " \t:-", .SeparatorsInsideBytes = true, .CPrefixes = true};

// Reads the interface bytes from offset 2 on; returns the offset after them, or nullopt when the ATR ends
// within them.
std::optional<std::size_t> ReadInterfaceBytes(std::span<const std::uint8_t> atr, ParsedAtr& parsed) {
  std::size_t position = 2;
  int level = 1;
  int protocol = -1;
  unsigned presence = atr[1] >> 4;
  std::string announcer = "T0";
  while (true) {
    for (std::size_t bit = 0; bit < kKinds.size(); ++bit) {
      if ((presence & (1u << bit)) == 0) continue;
      const InterfaceByte byte{kKinds[bit], level, 0, position, protocol};
      if (position >= atr.size()) {
        parsed.Problems.push_back(byte.Name() + " is announced by " + announcer +
                                  ", but the ATR ends after " + CountOf(atr.size(), "byte"));
        return std::nullopt;
      }
      parsed.Interface.push_back(byte);
      parsed.Interface.back().Value = atr[position++];
    }
    if ((presence & 0x8u) == 0) return position;
    const InterfaceByte& td = parsed.Interface.back();
    protocol = td.Value & 0x0F;
    if (std::find(parsed.OfferedProtocols.begin(), parsed.OfferedProtocols.end(), protocol) ==
        parsed.OfferedProtocols.end()) {
      parsed.OfferedProtocols.push_back(protocol);
    }
    if (level == 1 && protocol == 15)
      parsed.Problems.push_back("TD1 names T=15, which only TD2 and later may name");
    presence = td.Value >> 4;
    announcer = td.Name();
    ++level;
  }
}

void CheckTck(std::span<const std::uint8_t> atr, std::size_t end, ParsedAtr& parsed) {
  for (std::size_t i = 1; i < end; ++i) parsed.ExpectedTck ^= atr[i];
  const std::size_t rest = atr.size() - end;
  if (rest == 0) {
    if (parsed.TckRequired) parsed.Problems.push_back("TCK is missing after the historical bytes");
    return;
  }
  parsed.Tck = atr[end];
  // With only T=0 offered the ATR has no check byte, even one that happens to equal the exclusive-or.
  if (!parsed.TckRequired) {
    parsed.Problems.push_back("Byte " + std::to_string(end + 1) + " (" + HexText(*parsed.Tck) +
                              ") follows the historical bytes, but only T=0 is offered, when no check "
                              "byte may follow");
  } else if (*parsed.Tck != parsed.ExpectedTck) {
    parsed.Problems.push_back("TCK = " + HexText(*parsed.Tck) + " at byte " + std::to_string(end + 1) +
                              " is wrong: expected " + HexText(parsed.ExpectedTck));
  }
  if (rest > 1) {
    parsed.Problems.push_back(CountOf(rest - 1, "byte") + (rest == 2 ? " follows" : " follow") +
                              " the check byte at byte " + std::to_string(end + 1) +
                              ", where the ATR should end");
  }
}

}  // namespace

std::string InterfaceByte::Name() const {
  return std::string("T") + Kind + std::to_string(Level);
}

std::optional<std::uint8_t> ParsedAtr::Ts() const {
  return Bytes.empty() ? std::nullopt : std::optional<std::uint8_t>(Bytes[0]);
}

std::optional<std::uint8_t> ParsedAtr::T0() const {
  return Bytes.size() < 2 ? std::nullopt : std::optional<std::uint8_t>(Bytes[1]);
}

const InterfaceByte* ParsedAtr::Find(char kind, int level) const {
  const auto found = std::find_if(Interface.begin(), Interface.end(), [&](const InterfaceByte& byte) {
    return byte.Kind == kind && byte.Level == level;
  });
  return found == Interface.end() ? nullptr : &*found;
}

ParsedAtr ParseAtr(std::span<const std::uint8_t> atr) {
  ParsedAtr parsed;
  parsed.Bytes.assign(atr.begin(), atr.end());
  if (atr.size() > MaxAtrLength) {
    parsed.Problems.push_back("The ATR has " + CountOf(atr.size(), "byte") +
                              ", more than the 33 that TS and 32 more allow");
  }
  if (atr.empty()) {
    parsed.Problems.push_back("The ATR is empty: it needs at least TS and T0");
  } else if (atr[0] != 0x3B && atr[0] != 0x3F) {
    parsed.Problems.push_back("TS = " + HexText(atr[0]) +
                              " is neither 3B (direct) nor 3F (inverse convention)");
  }
  if (atr.size() < 2) {
    if (!atr.empty()) parsed.Problems.push_back("The ATR ends after TS: T0 is missing");
    parsed.Truncated = true;
    return parsed;
  }
  parsed.HistoricalCount = atr[1] & 0x0F;
  const std::optional<std::size_t> afterInterface = ReadInterfaceBytes(atr, parsed);
  if ((atr[1] & 0x80) == 0) parsed.OfferedProtocols = {0};
  parsed.TckRequired = std::any_of(parsed.OfferedProtocols.begin(), parsed.OfferedProtocols.end(),
                                   [](int protocol) { return protocol != 0; });
  if (!afterInterface) {
    parsed.Truncated = true;
    return parsed;
  }
  parsed.HistoricalOffset = *afterInterface;
  const std::size_t present = std::min(parsed.HistoricalCount, atr.size() - *afterInterface);
  parsed.Historical.assign(atr.begin() + *afterInterface, atr.begin() + *afterInterface + present);
  if (present < parsed.HistoricalCount) {
    parsed.Problems.push_back("T0 announces " + CountOf(parsed.HistoricalCount, "historical byte") +
                              ", but only " + std::to_string(present) +
                              (present == 1 ? " follows" : " follow") + " the interface bytes");
    parsed.Truncated = true;
    return parsed;
  }
  CheckTck(atr, *afterInterface + present, parsed);
  return parsed;
}

ParsedAtr ParseAtr(std::string_view hexText) {
  const HexScan scan = ScanHexBytes(hexText, kAtrSyntax);
  std::vector<std::string> textProblems;
  if (scan.Stray) {
    textProblems.push_back("Character " + Shown(hexText[*scan.Stray]) + " at position " +
                           std::to_string(*scan.Stray + 1) +
                           " is not a hexadecimal digit; the text is read up to it");
  }
  if (scan.HalfByte) {
    textProblems.push_back("Odd number of hexadecimal digits: the last digit " +
                           Shown(hexText[*scan.HalfByte]) + " has no partner and is left out");
  }
  ParsedAtr parsed = ParseAtr(scan.Bytes);
  parsed.Problems.insert(parsed.Problems.begin(), textProblems.begin(), textProblems.end());
  parsed.TextUnreadable = !textProblems.empty();
  return parsed;
}

}  // namespace tessaly
