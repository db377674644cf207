#include "atr/AtrInfoLines.h"

#include "atr/HistoricalText.h"
#include "atr/InfoLineList.h"
#include "atr/InterfaceText.h"
#include "platform/HexText.h"
#include "platform/TextRules.h"

namespace tessaly {
namespace {

std::string ConventionText(std::uint8_t ts) {
  if (ts == 0x3B) return "direct (TS = 3B)";
  if (ts == 0x3F) return "inverse (TS = 3F)";
  if (ts == 0x03) return "unknown (TS = 03: an inverse-convention ATR read as direct?)";
  return "unknown (TS = " + HexText(ts) + ")";
}

std::string FormatByteText(std::uint8_t t0) {
  std::string bytes;
  for (int bit = 0; bit < 4; ++bit) {
    if ((t0 & (0x10 << bit)) != 0) bytes += std::string(bytes.empty() ? "" : " ") + "T" + "ABCD"[bit] + "1";
  }
  return "T0 = " + HexText(t0) + ": " +
         (bytes.empty() ? "no interface bytes" : bytes + (bytes.size() == 3 ? " follows" : " follow")) +
         ", " + CountOf(t0 & 0x0F, "historical byte");
}

// Where pcsc-tools send a person whose card their list does not know.
std::string SubmissionAddress(const ParsedAtr& atr) {
  std::string hex = HexText(atr.Bytes);
  std::erase(hex, ' ');
  return "https://smartcard-atr.apdu.fr/parse?ATR=" + hex;
}

void AddKnownCardItems(const ParsedAtr& atr, const KnownCardList* knownCards, KnownCardNotes notes,
                       InfoLineList& lines) {
  const bool withNotes = notes == KnownCardNotes::ListAndSubmission;
  if (withNotes) lines.Item("Card list", knownCards != nullptr ? knownCards->FileName() : "none found");
  if (knownCards == nullptr) return;
  const std::vector<std::string> descriptions = knownCards->Describe(atr.Bytes);
  for (const std::string& description : descriptions) lines.Item("Known card", description);
  if (withNotes && descriptions.empty() && atr.WellFormed())
    lines.Item("Known card", "not in the list; submit it at " + SubmissionAddress(atr));
}

void AddAtrItems(const ParsedAtr& atr, const KnownCardList* knownCards, KnownCardNotes notes,
                 InfoLineList& lines) {
  lines.Item("Length", CountOf(atr.Bytes.size(), "byte"));
  if (atr.T0()) AddKnownCardItems(atr, knownCards, notes, lines);
  if (atr.Ts()) lines.Item("Convention", ConventionText(*atr.Ts()));
  if (atr.T0()) lines.Item("Format byte", FormatByteText(*atr.T0()));
  lines.Item("Status", atr.WellFormed() ? "well-formed" : "malformed");
  for (const std::string& problem : atr.Problems) lines.Item("Problem", problem);
}

std::string TckVerdict(const ParsedAtr& atr) {
  if (atr.Truncated) return "not checked, the ATR ends early";
  if (!atr.Tck) return atr.TckRequired ? "missing" : "absent, as it should be";
  if (!atr.TckRequired)
    return "none expected, yet byte " + HexText(*atr.Tck) + " follows (as TCK it would be " +
           HexText(atr.ExpectedTck) + ")";
  const std::string tck = "TCK = " + HexText(*atr.Tck);
  if (*atr.Tck == atr.ExpectedTck) return "correct, " + tck;
  return "wrong, " + tck + ", expected " + HexText(atr.ExpectedTck);
}

void AddCheckByteItems(const ParsedAtr& atr, InfoLineList& lines) {
  lines.Item("Required",
             atr.TckRequired ? "yes, a protocol other than T=0 is offered" : "no, only T=0 is offered");
  lines.Item("Verdict", TckVerdict(atr));
}

}  // namespace

std::vector<std::string> AtrInfoLines(const ParsedAtr& atr, const KnownCardList* knownCards,
                                      KnownCardNotes notes) {
  InfoLineList lines;
  lines.Heading("ATR");
  AddAtrItems(atr, knownCards, notes, lines);
  if (!atr.T0()) return lines.Take();
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
