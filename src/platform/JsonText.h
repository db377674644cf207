#pragma once

#include <string>
#include <string_view>

namespace tessaly {

// The text as a JSON string: quotes, backslashes and control characters escaped; other bytes (UTF-8) as
// they are.
std::string JsonString(std::string_view text);

}  // namespace tessaly
