#pragma once

#include <cstdint>
#include <string>

#include "platform/TessalyError.h"

namespace tessaly {

// PC/SC result codes the device layer tells apart; the full list with names and texts is in PcscError.cpp.
inline constexpr std::uint32_t kScardSuccess = 0x00000000;
inline constexpr std::uint32_t kScardCancelled = 0x80100002;
inline constexpr std::uint32_t kScardInvalidHandle = 0x80100003;
inline constexpr std::uint32_t kScardUnknownReader = 0x80100009;
inline constexpr std::uint32_t kScardTimeout = 0x8010000A;
inline constexpr std::uint32_t kScardSharingViolation = 0x8010000B;
inline constexpr std::uint32_t kScardNoSmartcard = 0x8010000C;
inline constexpr std::uint32_t kScardProtoMismatch = 0x8010000F;
inline constexpr std::uint32_t kScardReaderUnavailable = 0x80100017;
inline constexpr std::uint32_t kScardNoService = 0x8010001D;
inline constexpr std::uint32_t kScardServiceStopped = 0x8010001E;
inline constexpr std::uint32_t kScardNoReadersAvailable = 0x8010002E;
inline constexpr std::uint32_t kScardUnresponsiveCard = 0x80100066;
inline constexpr std::uint32_t kScardUnpoweredCard = 0x80100067;
inline constexpr std::uint32_t kScardRemovedCard = 0x80100069;

// "SCARD_E_NO_SERVICE (0x8010001D): the smart-card service is not running"; a code outside the standard
// list is named "PC/SC error".
std::string PcscCodeText(std::uint32_t code);

// A PC/SC call that failed: which call, and the code with its standard name and text. Its message names
// both: "SCardTransmit: SCARD_W_REMOVED_CARD (0x80100069): the smart card has been removed".
class EPcscError : public ETessalyError {
 public:
  EPcscError(std::uint32_t code, std::string call);

  std::uint32_t Code() const { return code_; }
  const std::string& Call() const { return call_; }

 private:
  std::uint32_t code_;
  std::string call_;
};

// The one place a PC/SC result is judged: anything but success raises EPcscError naming the call.
void CheckPcsc(std::uint32_t code, const char* call);

// A request the device layer refuses before anything reaches a reader: a bad APDU, no card open.
class EDeviceError : public ETessalyError {
 public:
  using ETessalyError::ETessalyError;
};

}  // namespace tessaly
