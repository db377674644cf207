#include "atr/AtrInfoLines.h"

#include "atr/HistoricalText.h"
#include "atr/InfoLineList.h"
#include "atr/InterfaceText.h"

namespace tessaly {
namespace {

std::string ConventionText(std::uint8_t ts) {
  if (ts == 0x3B) return "direct (TS = 3B)";
  if (ts == 0x3F) return "inverse (TS = 3F)";
  if (ts == 0x03) return "unknown (TS = 03: an inverse-convention ATR read as direct?)";
  return "unknown (TS = " + FormatHexByte(ts) + ")";
}

std::string FormatByteText(std::uint8_t t0) {
  std::string bytes;
  for (int bit = 0; bit < 4; ++bit) {
    if ((t0 & (0x10 << bit)) != 0) bytes += std::string(bytes.empty() ? "" : " ") + "T" + "ABCD"[bit] + "1";
  }
  return "T0 = " + FormatHexByte(t0) + ": " +
         (bytes.empty() ? "no interface bytes" : bytes + (bytes.size() == 3 ? " follows" : " follow")) +
         ", " + std::to_string(t0 & 0x0F) + " historical bytes";
}

void AddAtrItems(const ParsedAtr& atr, const KnownCardList* knownCards, InfoLineList& lines) {
  lines.Item("Length", std::to_string(atr.Bytes.size()) + (atr.Bytes.size() == 1 ? " byte" : " bytes"));
  if (knownCards != nullptr) {
    for (const std::string& description : knownCards->Describe(atr.Bytes))
      lines.Item("Known card", description);
  }
  if (atr.Ts()) lines.Item("Convention", ConventionText(*atr.Ts()));
  if (atr.T0()) lines.Item("Format byte", FormatByteText(*atr.T0()));
  lines.Item("Status", atr.WellFormed() ? "well-formed" : "malformed");
  for (const std::string& problem : atr.Problems) lines.Item("Problem", problem);
}

std::string TckVerdict(const ParsedAtr& atr) {
  if (atr.Truncated) return "not checked, the ATR ends early";
  if (!atr.Tck) return atr.TckRequired ? "missing" : "absent, as it should be";
  const std::string tck = "TCK = " + FormatHexByte(*atr.Tck);
  if (*atr.Tck == atr.ExpectedTck)
    return atr.TckRequired ? "correct, " + tck : "correct though not required, " + tck;
  return "wrong, " + tck + ", expected " + FormatHexByte(atr.ExpectedTck);
}

void AddCheckByteItems(const ParsedAtr& atr, InfoLineList& lines) {
  lines.Item("Required",
             atr.TckRequired ? "yes, a protocol other than T=0 is offered" : "no, only T=0 is offered");
  lines.Item("Verdict", TckVerdict(atr));
}

}  // namespace

std::vector<std::string> AtrInfoLines(const ParsedAtr& atr, const KnownCardList* knownCards) {
  InfoLineList lines;
  lines.Heading("ATR");
  AddAtrItems(atr, knownCards, lines);
  lines.Heading("Interface bytes");
  AddInterfaceByteItems(atr, lines);
  lines.Heading("Protocols");
  AddProtocolItems(atr, lines);
  lines.Heading("Historical bytes");
  AddHistoricalItems(atr, lines);
  lines.Heading("Check byte");
  AddCheckByteItems(atr, lines);
  return lines.Take();
}

std::vector<std::string> AtrInfoLines(std::span<const std::uint8_t> atr, const KnownCardList* knownCards) {
  return AtrInfoLines(ParseAtr(atr), knownCards);
}

}  // namespace tessaly
