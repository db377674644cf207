#pragma once

#include <ostream>
#include <string_view>

namespace tessaly {

// Whether a command-line tool's output reached its destination. Flushes out; when that or an earlier
// write failed (a full disk), says "PROGRAM: cannot write the output: REASON" on err and
// returns false, so that the tool does not end with success after handing a script a cut output.
bool OutputWritten(std::ostream& out, std::string_view program, std::ostream& err);

}  // namespace tessaly
