#include "settings/SettingsText.h"

#include <algorithm>
#include <cctype>

namespace tessaly {
namespace {

bool SameLetterIgnoringCase(char a, char b) {
  return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

}  // namespace

std::string TrimLeadingControls(const std::string& text) {
  const auto first =
      std::find_if(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 32; });
  return std::string(first, text.end());
}

std::string ReplaceFirstIgnoringCase(const std::string& text, const std::string& pattern,
                                     const std::string& replacement) {
  if (pattern.empty()) return text;
  const auto found =
      std::search(text.begin(), text.end(), pattern.begin(), pattern.end(), SameLetterIgnoringCase);
  if (found == text.end()) return text;
  std::string result(text.begin(), found);
  result += replacement;
  result.append(found + static_cast<std::ptrdiff_t>(pattern.size()), text.end());
  return result;
}

std::string RemoveBlanks(const std::string& text) {
  std::string result;
  std::copy_if(text.begin(), text.end(), std::back_inserter(result), [](char c) { return c != ' '; });
  return result;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\r' && c != '\n') {
      line += c;
      continue;
    }
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    lines.push_back(std::move(line));
    line.clear();
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

}  // namespace tessaly
