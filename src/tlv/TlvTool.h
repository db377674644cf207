#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace tessaly {

// tessaly-tlv: decodes the hex the arguments hold (all of them one list of data objects), or each line of in
// when there are none. Returns the exit code: 0 when every input is well-formed BER-TLV, 1 when one is not,
// 2 on bad usage.
int RunTlvTool(const std::vector<std::string>& arguments, std::istream& in, std::ostream& out,
               std::ostream& err);

}  // namespace tessaly
