#pragma once

#include <string>
#include <string_view>

namespace tessaly {

// 8-bit text in the system's ANSI code page (UTF-8 on Linux, CP_ACP on Windows) to UTF-16.
// Bytes that do not decode become U+FFFD; the conversion never fails.
std::u16string AnsiToWide(std::string_view text);

}  // namespace tessaly
