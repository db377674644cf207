#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tessaly {

// tessaly-atr: prints the analysis of each ATR given, or of each line of in when none is. Returns the exit
// code: 0, 1 when an ATR is malformed, 2 on bad usage or an unreadable list of known cards.
int RunAtrTool(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
               std::ostream& err);

}  // namespace tessaly
