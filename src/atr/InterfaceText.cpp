#include "atr/InterfaceText.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <unordered_set>

#include "platform/HexText.h"
#include "platform/TextRules.h"

namespace tessaly {
namespace {

struct ClockRate {
  int Fi;  // 0: reserved
  const char* FMaxMhz;
};

constexpr std::array<ClockRate, 16> kClockRates = {{{372, "4"},
                                                    {372, "5"},
                                                    {558, "6"},
                                                    {744, "8"},
                                                    {1116, "12"},
                                                    {1488, "16"},
                                                    {1860, "20"},
                                                    {0, ""},
                                                    {0, ""},
                                                    {512, "5"},
                                                    {768, "7.5"},
                                                    {1024, "10"},
                                                    {1536, "15"},
                                                    {2048, "20"},
                                                    {0, ""},
                                                    {0, ""}}};
constexpr std::array<int, 16> kBaudAdjustments = {0, 1, 2, 4, 8, 16, 32, 64, 12, 20, 0, 0, 0, 0, 0, 0};

constexpr int kDefaultIfsc = 32;
constexpr int kDefaultBwi = 4;
constexpr int kDefaultCwi = 13;
constexpr int kDefaultWi = 10;

std::string Protocol(int t) {
  return "T=" + std::to_string(t);
}

std::string Label(const InterfaceByte& byte) {
  return byte.Name() + " = " + HexText(byte.Value) + ": ";
}

std::string RatesText(std::uint8_t ta1) {
  const ClockRate rate = kClockRates[ta1 >> 4];
  const int di = kBaudAdjustments[ta1 & 0x0F];
  std::string text = rate.Fi == 0 ? "Fi reserved (" + std::to_string(ta1 >> 4) + ")"
                                  : "Fi = " + std::to_string(rate.Fi) + " (fmax " + rate.FMaxMhz + " MHz)";
  text += di == 0 ? ", Di reserved (" + std::to_string(ta1 & 0x0F) + ")" : ", Di = " + std::to_string(di);
  if (rate.Fi == 0 || di == 0) return text;
  char divisor[32];
  std::snprintf(divisor, sizeof divisor, "%g", static_cast<double>(rate.Fi) / di);
  return text + ", " + divisor + " clock cycles per bit";
}

std::string FollowingBytes(const InterfaceByte& td) {
  std::string text;
  for (int bit = 0; bit < 4; ++bit) {
    if ((td.Value & (0x10 << bit)) == 0) continue;
    text += text.empty() ? ", followed by " : " ";
    text += std::string("T") + "ABCD"[bit] + std::to_string(td.Level + 1);
  }
  return text.empty() ? ", last interface byte" : text;
}

std::string GuardTimeText(std::uint8_t n) {
  if (n == 255) return "N = 255, the least character spacing (12 etu in T=0, 11 etu in T=1)";
  return "N = " + std::to_string(n) + ", " + std::to_string(12 + n) + " etu between character starts";
}

std::string SpecificModeText(std::uint8_t ta2) {
  std::string text = "only " + Protocol(ta2 & 0x0F);
  text += (ta2 & 0x80) != 0 ? ", mode cannot change" : ", mode can change";
  text += (ta2 & 0x10) != 0 ? ", implicit rates (TA1 not used)" : ", rates from TA1";
  return text;
}

std::string ClassesText(std::uint8_t ta) {
  static constexpr std::array<const char*, 3> kClasses = {"A (5 V)", "B (3 V)", "C (1.8 V)"};
  std::string text;
  for (std::size_t bit = 0; bit < kClasses.size(); ++bit) {
    if ((ta & (1u << bit)) == 0) continue;
    text += (text.empty() ? "" : ", ") + std::string(kClasses[bit]);
  }
  if ((ta & 0x38) != 0) text += (text.empty() ? "" : ", ") + std::string("reserved bits set");
  return text.empty() ? "none indicated" : text;
}

std::string ClockStopText(std::uint8_t ta) {
  static constexpr std::array<const char*, 4> kStops = {
      "not supported", "supported in state L", "supported in state H", "supported, no preferred state"};
  return kStops[ta >> 6];
}

bool IsReservedIfsc(int ifsc) {
  return ifsc == 0x00 || ifsc == 0xFF;
}

bool IsReservedBwi(int bwi) {
  return bwi > 9;
}

std::string IfscText(std::uint8_t ta) {
  if (IsReservedIfsc(ta)) return "IFSC value " + std::to_string(ta) + " is reserved";
  return "IFSC = " + CountOf(ta, "byte");
}

std::string WaitingText(const char* name, int integer, const std::string& time) {
  return std::string(name) + " = " + std::to_string(integer) + " (" + time + ")";
}

std::string BlockWaitingText(int bwi) {
  if (IsReservedBwi(bwi)) return WaitingText("BWI", bwi, "reserved");
  return WaitingText("BWI", bwi, "11 etu + " + std::to_string((1 << bwi) * 960) + " x 372 clock cycles");
}

std::string CharacterWaitingText(int cwi) {
  return WaitingText("CWI", cwi, std::to_string(11 + (1 << cwi)) + " etu");
}

// The bytes of one protocol from level 3 on: only the first TA, TB and TC for T=1 and T=15 have a meaning.
class ProtocolBytes {
 public:
  void Add(const InterfaceByte& byte, InfoLineList& lines) {
    const bool first = seen_.insert(std::to_string(byte.Protocol) + byte.Kind).second;
    if (first && byte.Protocol == 1) return AddBlockProtocolByte(byte, lines);
    if (first && byte.Protocol == 15) return AddGlobalByte(byte, lines);
    lines.Item("Protocol byte", Label(byte) + "specific to " + Protocol(byte.Protocol) + ", not interpreted");
  }

 private:
  static void AddBlockProtocolByte(const InterfaceByte& byte, InfoLineList& lines) {
    if (byte.Kind == 'A')
      return lines.Item("Card information field size", Label(byte) + IfscText(byte.Value));
    if (byte.Kind == 'B') {
      lines.Item("Block waiting time", Label(byte) + BlockWaitingText(byte.Value >> 4));
      return lines.Item("Character waiting time", Label(byte) + CharacterWaitingText(byte.Value & 0x0F));
    }
    lines.Item("Error detection code", Label(byte) + ((byte.Value & 0x01) != 0 ? "CRC" : "LRC"));
  }

  static void AddGlobalByte(const InterfaceByte& byte, InfoLineList& lines) {
    if (byte.Kind == 'A') {
      lines.Item("Clock stop", Label(byte) + ClockStopText(byte.Value));
      return lines.Item("Voltage classes", Label(byte) + ClassesText(byte.Value));
    }
    if (byte.Kind == 'B') {
      const char* use = byte.Value == 0            ? "not used"
                        : (byte.Value & 0x80) != 0 ? "proprietary use"
                                                   : "standard use";
      return lines.Item("Use of contact c6", Label(byte) + use);
    }
    lines.Item("Protocol byte", Label(byte) + "reserved for T=15");
  }

  std::unordered_set<std::string> seen_;
};

void AddGlobalLevelItem(const InterfaceByte& byte, InfoLineList& lines) {
  const std::uint8_t value = byte.Value;
  switch (byte.Kind) {
    case 'A':
      return lines.Item("Clock and bit rate", Label(byte) + RatesText(value));
    case 'B':
      return lines.Item(
          "Programming voltage",
          Label(byte) +
              (value == 0 ? "none" : "PI1 = " + std::to_string(value & 0x1F) + " (deprecated, ignored)"));
    default:
      return lines.Item("Extra guard time", Label(byte) + GuardTimeText(value));
  }
}

void AddSecondLevelItem(const InterfaceByte& byte, InfoLineList& lines) {
  const std::uint8_t value = byte.Value;
  switch (byte.Kind) {
    case 'A':
      return lines.Item("Specific mode", Label(byte) + SpecificModeText(value));
    case 'B':
      return lines.Item("Programming voltage detail",
                        Label(byte) + "PI2 = " + std::to_string(value) + " (deprecated, ignored)");
    default:
      return lines.Item(
          "Waiting time integer",
          Label(byte) + (value == 0 ? "WI = 0 is reserved" : "WI = " + std::to_string(value) + " for T=0"));
  }
}

bool Offers(const ParsedAtr& atr, int protocol) {
  return std::find(atr.OfferedProtocols.begin(), atr.OfferedProtocols.end(), protocol) !=
         atr.OfferedProtocols.end();
}

// The first byte of a kind given for protocol T from level 3 on.
const InterfaceByte* FirstForProtocol(const ParsedAtr& atr, char kind, int protocol) {
  const auto found = std::find_if(atr.Interface.begin(), atr.Interface.end(), [&](const InterfaceByte& byte) {
    return byte.Level >= 3 && byte.Kind == kind && byte.Protocol == protocol;
  });
  return found == atr.Interface.end() ? nullptr : &*found;
}

std::string WithDefault(const std::string& text, bool given) {
  return given ? text : text + " (default)";
}

std::string BlockProtocolText(const ParsedAtr& atr) {
  const InterfaceByte* ta = FirstForProtocol(atr, 'A', 1);
  const InterfaceByte* tb = FirstForProtocol(atr, 'B', 1);
  const InterfaceByte* tc = FirstForProtocol(atr, 'C', 1);
  const int ifsc = ta != nullptr ? ta->Value : kDefaultIfsc;
  const int bwi = tb != nullptr ? tb->Value >> 4 : kDefaultBwi;
  const int cwi = tb != nullptr ? tb->Value & 0x0F : kDefaultCwi;
  const bool crc = tc != nullptr && (tc->Value & 0x01) != 0;
  const std::string ifscText = "IFSC " + std::to_string(ifsc) + (IsReservedIfsc(ifsc) ? " (reserved)" : "");
  const std::string bwiText = "BWI " + std::to_string(bwi) + (IsReservedBwi(bwi) ? " (reserved)" : "");
  return WithDefault(ifscText, ta != nullptr) + ", " +
         WithDefault(bwiText + ", CWI " + std::to_string(cwi), tb != nullptr) + ", " +
         WithDefault(crc ? "CRC" : "LRC", tc != nullptr);
}

std::string OfferedText(const ParsedAtr& atr) {
  std::string text;
  for (const int protocol : atr.OfferedProtocols) {
    if (protocol == 15) continue;
    text += (text.empty() ? "" : ", ") + Protocol(protocol);
  }
  if (!text.empty()) return text;
  return atr.OfferedProtocols.empty() ? "unknown, the ATR ends early" : "none besides the global bytes";
}

}  // namespace

void AddInterfaceByteItems(const ParsedAtr& atr, InfoLineList& lines) {
  if (atr.Interface.empty()) lines.Item("Present", "none");
  ProtocolBytes protocolBytes;
  for (const InterfaceByte& byte : atr.Interface) {
    if (byte.Kind == 'D') {
      lines.Item("Protocol indicator " + std::to_string(byte.Level),
                 Label(byte) + Protocol(byte.Value & 0x0F) + FollowingBytes(byte));
    } else if (byte.Level == 1) {
      AddGlobalLevelItem(byte, lines);
    } else if (byte.Level == 2) {
      AddSecondLevelItem(byte, lines);
    } else {
      protocolBytes.Add(byte, lines);
    }
  }
}

void AddProtocolItems(const ParsedAtr& atr, InfoLineList& lines) {
  lines.Item("Offered", OfferedText(atr));
  const auto first = std::find_if(atr.OfferedProtocols.begin(), atr.OfferedProtocols.end(),
                                  [](int protocol) { return protocol != 15; });
  if (first != atr.OfferedProtocols.end()) lines.Item("Default", Protocol(*first));
  const InterfaceByte* ta2 = atr.Find('A', 2);
  lines.Item("Mode", ta2 != nullptr ? "specific, " + SpecificModeText(ta2->Value)
                                    : "negotiable, the reader may select a protocol and rates");
  if (Offers(atr, 15)) lines.Item("Global bytes", "T=15 is indicated");
  const InterfaceByte* ta1 = atr.Find('A', 1);
  lines.Item("Rates", WithDefault(RatesText(ta1 != nullptr ? ta1->Value : 0x11), ta1 != nullptr));
  if (Offers(atr, 0)) {
    const InterfaceByte* tc2 = atr.Find('C', 2);
    lines.Item("T0 parameters",
               WithDefault("WI " + std::to_string(tc2 != nullptr ? tc2->Value : kDefaultWi), tc2 != nullptr));
  }
  if (Offers(atr, 1)) lines.Item("T1 parameters", BlockProtocolText(atr));
}

}  // namespace tessaly
