#pragma once

#include <string>
#include <vector>

namespace tessaly {

// Removes every leading character with a code up to 32 (blanks and control characters).
std::string TrimLeadingControls(const std::string& text);
// Replaces the first occurrence of pattern, found without regard to letter case; an empty pattern replaces
// nothing.
std::string ReplaceFirstIgnoringCase(const std::string& text, const std::string& pattern,
                                     const std::string& replacement);
// Removes every blank (0x20) and nothing else.
std::string RemoveBlanks(const std::string& text);
// A CR, an LF or a CR LF ends a line; a final line break adds no line.
std::vector<std::string> SplitLines(const std::string& text);

}  // namespace tessaly
