#include "atr/InfoLineList.h"

#include "platform/TextRules.h"

namespace tessaly {

void InfoLineList::Item(const std::string& name, const std::string& value) {
  std::string unique = name;
  for (int number = 2; !folded_names_.insert(ToAsciiLower(unique)).second; ++number) {
    unique = name + " " + std::to_string(number);
  }
  lines_.push_back(unique + "=" + value);
}

}  // namespace tessaly
