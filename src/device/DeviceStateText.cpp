#include "device/DeviceStateText.h"

#include "device/PcscService.h"

namespace tessaly {

std::string DeviceStateText(const DeviceState& state) {
  if ((state.Word & kStatePresent) == 0) return "No card";
  if (!state.Unusable.empty()) return "Card unusable: " + state.Unusable;
  // This program's own use comes first: the service reports it only after its next change.
  const bool exclusive = state.Open ? state.Exclusive : (state.Word & kStateExclusive) != 0;
  if (!state.Open && (state.Word & (kStateInUse | kStateExclusive)) == 0) return "Card present";
  std::string text = exclusive ? "Card in use, exclusive" : "Card in use, shared";
  if (state.NotAnswering) text += "; its last call has not been answered";
  return text;
}

}  // namespace tessaly
