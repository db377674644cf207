#include "app/ExchangeScriptRun.h"

#include "platform/RaiseEvent.h"

namespace tessaly {
namespace {

std::string StoppedAt(int lineNumber, const std::string& reason) {
  return "Script stopped at line " + std::to_string(lineNumber) + ": " + reason;
}

}  // namespace

bool ExchangeScriptRun::Start() {
  if (script_.empty() || running_) return false;
  running_ = true;
  stopRequested_ = false;
  next_ = 0;
  answered_ = 0;
  RunNextStep();
  return true;
}

void ExchangeScriptRun::Stop() {
  if (!running_) return;
  stopRequested_ = true;
  if (!stepUnderWay_) End("Script stopped", true);
}

void ExchangeScriptRun::RunNextStep() {
  if (next_ == script_.size()) {
    return End("Script done: " + std::to_string(answered_) + " commands sent", false);
  }
  const ApduScriptLine& line = script_[next_++];
  const int lineNumber = line.LineNumber;
  stepUnderWay_ = true;
  std::string refusal;
  if (line.Step == ApduScriptStep::Reset) {
    refusal =
        steps_.Reset([this, lineNumber](const std::string& failure) { StepEnded(lineNumber, failure); });
  } else {
    refusal = steps_.Send(line.Command, [this, lineNumber](const ExchangeOutcome& outcome) {
      CommandAnswered(lineNumber, outcome);
    });
  }
  if (!refusal.empty()) End(StoppedAt(lineNumber, refusal), true);
}

void ExchangeScriptRun::CommandAnswered(int lineNumber, const ExchangeOutcome& outcome) {
  if (!outcome.Answered()) return StepEnded(lineNumber, outcome.Failure);
  ++answered_;
  if (!AnswerLetsScriptGoOn(outcome.Result.Response) && !continueOnError_) {
    return End(StoppedAt(lineNumber, steps_.Describe(outcome)), true);
  }
  StepEnded(lineNumber, {});
}

void ExchangeScriptRun::StepEnded(int lineNumber, const std::string& failure) {
  stepUnderWay_ = false;
  if (!failure.empty()) return End(StoppedAt(lineNumber, failure), true);
  if (stopRequested_) return End("Script stopped after line " + std::to_string(lineNumber), true);
  RunNextStep();
}

void ExchangeScriptRun::End(const std::string& message, bool stoppedEarly) {
  running_ = false;
  stepUnderWay_ = false;
  Raise(ended_, message, stoppedEarly);
}

}  // namespace tessaly
