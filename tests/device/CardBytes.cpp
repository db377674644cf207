#include "CardBytes.h"

#include <stdexcept>
#include <string>

namespace tessaly::test {

std::vector<std::uint8_t> CardBytes(std::string_view text) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] == ' ') {
      ++i;
    } else if (text[i] == '\'') {
      const auto end = text.find('\'', i + 1);
      if (end == std::string_view::npos) throw std::invalid_argument("unclosed text in " + std::string(text));
      bytes.insert(bytes.end(), text.begin() + static_cast<std::ptrdiff_t>(i) + 1,
                   text.begin() + static_cast<std::ptrdiff_t>(end));
      i = end + 1;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(std::stoul(std::string(text.substr(i, 2)), nullptr, 16)));
      i += 2;
    }
  }
  return bytes;
}

}  // namespace tessaly::test
