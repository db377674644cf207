#include "device/Transcript.h"

#include "device/ApduText.h"
#include "platform/HexText.h"
#include "templates/KeyedTable.h"
#include "tlv/TlvTree.h"

namespace tessaly {
namespace {

// The answer's data decoded, one comment line per data object, when they are BER-TLV throughout; nothing
// otherwise, as most answers that are not TLV would only decode into noise.
std::string TlvComment(std::span<const std::uint8_t> response) {
  const TlvTree tree = DecodeTlv(response.first(response.size() - StatusWordOf(response).size()));
  if (!tree.WellFormed()) return {};
  std::string text;
  for (const std::string& line : TlvTreeLines(tree)) text += "# " + line + "\n";
  return text;
}

}  // namespace

TStatusWordMeaning MeaningOf(std::span<const std::uint8_t> answer, const TKeyedTable* statusWords) {
  if (answer.size() < 2) return {"", "No status word", 0};
  const TKeyedTable empty({{"SW", TKeyedTable::TColumnKind::Text}});
  return FindStatusWord(statusWords != nullptr ? *statusWords : empty, answer[answer.size() - 2],
                        answer.back());
}

std::string TranscriptText(std::span<const std::uint8_t> command, const ExchangeOutcome& outcome,
                           const TKeyedTable* statusWords) {
  return TranscriptText(command, outcome, MeaningOf(outcome.Result.Response, statusWords).Verbose);
}

std::string TranscriptText(std::span<const std::uint8_t> command, const ExchangeOutcome& outcome,
                           const std::string& meaning) {
  std::string text = "> " + HexText(command) + "\n";
  const ExchangeResult& result = outcome.Result;
  if (outcome.Answered()) {
    text += "< " + HexText(result.Response) + " : " + meaning + "\n" + TlvComment(result.Response);
  } else {
    text += "# no answer: " + outcome.Failure + "\n";
  }
  if (result.Steps.size() < 2) return text;
  for (std::size_t step = 0; step < result.Steps.size(); ++step) {
    text += "# step " + std::to_string(step + 1) + ": " + HexText(result.Steps[step].Command) + " -> " +
            HexText(result.Steps[step].Response) + "\n";
  }
  return text;
}

std::string ResetTranscriptText(const std::string& atr, const std::string& failure) {
  return "> RESET\n" + (failure.empty() ? "< OK: " + atr : "< KO: " + failure) + "\n";
}

}  // namespace tessaly
