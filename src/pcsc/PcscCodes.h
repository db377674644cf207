#pragma once

#include <cstdint>

namespace tessaly {

// Protocol codes: the PC/SC values plus this system's own "detect automatically".
inline constexpr std::int32_t kProtocolUndefined = 0;
inline constexpr std::int32_t kProtocolT0 = 1;
inline constexpr std::int32_t kProtocolT1 = 2;
inline constexpr std::int32_t kProtocolRaw = 0x10000;
inline constexpr std::int32_t kProtocolDefault = static_cast<std::int32_t>(0x80000000u);
inline constexpr std::int32_t kProtocolAutoDetect = -1;

// The protocols a connection offers the card, as a mask of these bits.
inline constexpr std::uint32_t kProtocolMaskT0 = 1;
inline constexpr std::uint32_t kProtocolMaskT1 = 2;

// The protocols a reader's preferred protocol lets the service choose from: automatic detection (and the
// service's default) takes whichever of T=0 and T=1 the card offers.
constexpr std::uint32_t ProtocolMask(std::int32_t protocol) {
  if (protocol == kProtocolT0) return kProtocolMaskT0;
  if (protocol == kProtocolT1) return kProtocolMaskT1;
  if (protocol == kProtocolRaw) return static_cast<std::uint32_t>(kProtocolRaw);
  return kProtocolMaskT0 | kProtocolMaskT1;
}

// Sharing modes.
inline constexpr std::int32_t kShareExclusive = 1;
inline constexpr std::int32_t kShareShared = 2;
inline constexpr std::int32_t kShareDirect = 3;

// Closing modes: what happens to the card when the reader releases it.
inline constexpr std::int32_t kLeaveCard = 0;
inline constexpr std::int32_t kResetCard = 1;
inline constexpr std::int32_t kUnpowerCard = 2;
inline constexpr std::int32_t kEjectCard = 3;

// Interface kinds of the connection.
inline constexpr std::uint8_t kInterfaceNone = 0;
inline constexpr std::uint8_t kInterfacePcsc = 1;        // the system's smart-card service
inline constexpr std::uint8_t kInterfaceCardServer = 2;  // a Towitoko CHIPDRIVE reader

}  // namespace tessaly
