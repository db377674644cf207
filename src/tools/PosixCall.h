#pragma once

#include <string>

#include "platform/TessalyError.h"

namespace tessaly {

class EPosixCallError : public ETessalyError {
 public:
  EPosixCallError(const std::string& call, int error);
  int Error() const { return error_; }

 private:
  int error_;
};

// Every socket and system call of the tools passes its result here: a negative one raises EPosixCallError
// with the call's name and errno's text.
long CheckPosix(long result, const char* call);

}  // namespace tessaly
