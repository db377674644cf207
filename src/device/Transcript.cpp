#include "device/Transcript.h"

#include "device/ApduText.h"
#include "templates/KeyedTable.h"

namespace tessaly {

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
  std::string text = "> " + HexBytes(command, true) + "\n";
  const ExchangeResult& result = outcome.Result;
  if (outcome.Answered()) {
    text += "< " + HexBytes(result.Response, true) + " : " + meaning + "\n";
  } else {
    text += "# no answer: " + outcome.Failure + "\n";
  }
  if (result.Steps.size() < 2) return text;
  for (std::size_t step = 0; step < result.Steps.size(); ++step) {
    text += "# step " + std::to_string(step + 1) + ": " + HexBytes(result.Steps[step].Command, true) +
            " -> " + HexBytes(result.Steps[step].Response, true) + "\n";
  }
  return text;
}

std::string ResetTranscriptText(const std::string& atr, const std::string& failure) {
  return "> RESET\n" + (failure.empty() ? "< OK: " + atr : "< KO: " + failure) + "\n";
}

}  // namespace tessaly
