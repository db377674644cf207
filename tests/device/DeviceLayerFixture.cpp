#include "DeviceLayerFixture.h"

namespace tessaly::test {

std::string LogLine(const std::u16string& name, const std::u16string& source, const std::u16string& details) {
  const auto narrow = [](const std::u16string& text) { return std::string(text.begin(), text.end()); };
  return narrow(name) + " | " + narrow(source) + " | " + narrow(details);
}

Lines StartWithCardLog() {
  const std::string reader = kReader;
  return {
      "Before service connection | MS Smart Card service | ",
      "Service connected | MS Smart Card service | ",
      "Before devices list | MS Smart Card service | ",
      "Devices list changed | MS Smart Card service | ",
      "Reader state changed | " + reader + " | 0x00010022 : PRESENT : " + kAtr,
      "Card detected | " + reader + " | Card was detected in the reader",
      "Before reader opening | " + reader + " | ",
      "Reader opened | " + reader + " | ",
      "Card ready | " + reader + " | ATR = " + kAtr,
      "Reader state changed | " + reader + " | 0x00010122 : PRESENT|INUSE : " + kAtr,
  };
}

}  // namespace tessaly::test
