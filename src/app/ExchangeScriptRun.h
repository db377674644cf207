#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/ApduScript.h"
#include "device/CardExchange.h"

namespace tessaly {

// Runs a script one step after the other, each once the one before has ended: a command after its answer,
// a reset once the card is back. A run stops at the first step that cannot start or ends without an answer
// (or with a failed reset), and after the first answer other than 9000 or 61xx unless told to go on.
class ExchangeScriptRun {
 public:
  struct Steps {
    // Each starts its step and returns an empty text, or returns why the step cannot start; done runs once
    // the step has ended.
    std::function<std::string(const std::vector<std::uint8_t>& command, ExchangeDone done)> Send;
    std::function<std::string(CardDone done)> Reset;
    // The status word of an answer with its meaning, for the message of a run that stops at it.
    std::function<std::string(const ExchangeOutcome& outcome)> Describe;
  };
  // Raised when a run has ended, with what it did; stoppedEarly when it ended before the last step.
  using Ended = std::function<void(const std::string& message, bool stoppedEarly)>;

  ExchangeScriptRun(Steps steps, Ended ended) : steps_(std::move(steps)), ended_(std::move(ended)) {}

  void Load(std::vector<ApduScriptLine> script) { script_ = std::move(script); }
  const std::vector<ApduScriptLine>& Script() const { return script_; }
  void SetContinueOnError(bool goOn) { continueOnError_ = goOn; }

  // Starts running the loaded script; false when there is none or a run is under way.
  bool Start();
  // Stops after the step under way, or at once when none is.
  void Stop();
  bool Running() const { return running_; }
  // The commands the card answered in the last run.
  int Answered() const { return answered_; }

 private:
  void RunNextStep();
  void StepEnded(int lineNumber, const std::string& failure);
  void CommandAnswered(int lineNumber, const ExchangeOutcome& outcome);
  void End(const std::string& message, bool stoppedEarly);

  Steps steps_;
  Ended ended_;
  std::vector<ApduScriptLine> script_;
  bool continueOnError_ = false;
  bool running_ = false;
  bool stepUnderWay_ = false;
  bool stopRequested_ = false;
  std::size_t next_ = 0;
  int answered_ = 0;
};

}  // namespace tessaly
