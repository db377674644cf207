#include "tools/PosixCall.h"

#include <cerrno>
#include <cstring>

namespace tessaly {

EPosixCallError::EPosixCallError(const std::string& call, int error)
    : ETessalyError(call + " failed: " + std::strerror(error)), error_(error) {}

long CheckPosix(long result, const char* call) {
  if (result < 0) throw EPosixCallError(call, errno);
  return result;
}

}  // namespace tessaly
