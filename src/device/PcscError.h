#pragma once

#include <cstdint>
#include <string>

#include "pcsc/PcscResults.h"
#include "platform/TessalyError.h"

namespace tessaly {

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
