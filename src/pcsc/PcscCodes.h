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
