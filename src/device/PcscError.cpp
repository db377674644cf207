#include "device/PcscError.h"

namespace tessaly {

EPcscError::EPcscError(std::uint32_t code, std::string call)
    : ETessalyError(call.empty() ? PcscCodeText(code) : call + ": " + PcscCodeText(code)),
      code_(code),
      call_(std::move(call)) {}

void CheckPcsc(std::uint32_t code, const char* call) {
  if (code != kScardSuccess) throw EPcscError(code, call);
}

}  // namespace tessaly
