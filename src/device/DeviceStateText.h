#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

// What the device layer knows of a reader's state.
struct DeviceState {
  std::uint32_t Word = 0;  // the service's state word, without the change flag
  bool Open = false;       // this program holds the card
  bool Exclusive = false;  // ... and holds it alone
  bool NotAnswering = false;
  std::string Unusable;  // why the card cannot be used, while it cannot
};

// The state in words as the monitor shows it: "No card", "Card present", "Card in use, shared", "Card in
// use, exclusive", "Card unusable: the reason".
std::string DeviceStateText(const DeviceState& state);

}  // namespace tessaly
