#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "device/CardCommand.h"
#include "device/CardFileSystem.h"
#include "platform/TessalyError.h"

namespace tessaly {

class EVirtualCardError : public ETessalyError {
 public:
  using ETessalyError::ETessalyError;
};

// An ISO 7816-4 card in memory: MF 3F00 with a text EF, an application DF selectable by its AID with a text
// EF and a record EF, a PIN with a retry counter. Under T=0 it answers as a T=0 card does (61xx for data
// after a command with data, 6Cxx for a wrong Le), so that the reader side's completion gets exercised.
class VirtualCard {
 public:
  VirtualCard();

  // TS 3B, T0, TA1, TD1 (T=0), TD2 (T=1) with TA3/TB3, historical bytes, TCK.
  const std::vector<std::uint8_t>& Atr() const;
  // Power-on or warm reset: MF selected, PIN state cleared (not the retry counter), no pending response.
  void Reset();
  // 1 (T=0) or 2 (T=1); anything else raises EVirtualCardError.
  void SetProtocol(std::uint32_t protocol);
  // Response data followed by SW1 SW2; a malformed command gets a status word, never an exception.
  std::vector<std::uint8_t> Transmit(std::span<const std::uint8_t> command);

 private:
  struct Answer {
    std::vector<std::uint8_t> Data;
    std::uint16_t Status;
  };

  Answer Execute(const CardCommand& command);
  Answer Select(const CardCommand& command);
  Answer ReadBinary(const CardCommand& command);
  Answer UpdateBinary(const CardCommand& command);
  Answer ReadRecord(const CardCommand& command);
  Answer GetChallenge(const CardCommand& command);
  Answer Verify(const CardCommand& command);
  std::vector<std::uint8_t> GetResponse(const CardCommand& command);
  std::vector<std::uint8_t> ShapeForT0(const CardCommand& command, Answer answer);
  static std::vector<std::uint8_t> ShapeForT1(const CardCommand& command, Answer answer);

  CardFileSystem files_;
  std::uint32_t protocol_;
  int retriesLeft_;
  bool pinVerified_ = false;
  std::optional<std::vector<std::uint8_t>> pending_;  // T=0 response data waiting for GET RESPONSE
  std::mt19937 random_;
};

}  // namespace tessaly
