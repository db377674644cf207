#include "platform/ToolOutput.h"

#include <cerrno>
#include <system_error>

namespace tessaly {

bool OutputWritten(std::ostream& out, std::string_view program, std::ostream& err) {
  errno = 0;
  out.flush();
  if (out) return true;
  const int reason = errno;
  err << program << ": cannot write the output";
  if (reason != 0) err << ": " << std::generic_category().message(reason);
  err << '\n';
  return false;
}

}  // namespace tessaly
