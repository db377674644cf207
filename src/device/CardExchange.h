#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace tessaly {

// One physical exchange with a card.
struct ExchangeStep {
  std::vector<std::uint8_t> Command, Response;
};

// Every physical exchange in order, and the whole answer: the data that every step brought (the command,
// or its repeat with the right Le, then each GET RESPONSE), joined, followed by the last status word.
struct ExchangeResult {
  std::vector<std::uint8_t> Response;
  std::vector<ExchangeStep> Steps;
};

// How an exchange ended: the physical exchanges made and, when the card answered, the whole answer; or
// why there is no whole answer.
struct ExchangeOutcome {
  ExchangeResult Result;
  std::string Failure;

  bool Answered() const { return Failure.empty(); }
};

using ExchangeDone = std::function<void(const ExchangeOutcome& outcome)>;
// How a card operation (a reset, a reconnection, a release) ended: an empty text when it succeeded, otherwise
// the reason it failed.
using CardDone = std::function<void(const std::string& failure)>;

// Completes a command the way T=0 asks of the caller, one physical exchange at a time: an answer 61xx is
// followed by GET RESPONSE with Le xx, on the command's logical channel; an answer 6Cxx by the same
// command again with Le xx, once. A card that keeps answering 61xx is asked at most 64 times.
class ExchangeCompletion {
 public:
  explicit ExchangeCompletion(std::span<const std::uint8_t> command);

  // The command of the next physical exchange.
  const std::vector<std::uint8_t>& Next() const { return next_; }
  // Takes the card's answer to Next(); returns whether another exchange is due. An answer without a status
  // word (fewer than two bytes) ends the exchange.
  bool Take(std::vector<std::uint8_t> answer);
  const ExchangeResult& Result() const { return result_; }

 private:
  std::vector<std::uint8_t> command_;
  std::vector<std::uint8_t> next_;
  ExchangeResult result_;
  std::vector<std::uint8_t> data_;
  int getResponses_ = 0;
  bool repeatedWithLe_ = false;
};

// Whether an answer ends with a status word.
inline bool HasStatusWord(std::span<const std::uint8_t> answer) {
  return answer.size() >= 2;
}

}  // namespace tessaly
