#pragma once

#include <cstdint>

namespace tessaly {

// Reader-state flags of the PC/SC status-change call.
inline constexpr std::uint32_t kStateUnaware = 0x0000;
inline constexpr std::uint32_t kStateIgnore = 0x0001;
inline constexpr std::uint32_t kStateChanged = 0x0002;
inline constexpr std::uint32_t kStateUnknown = 0x0004;
inline constexpr std::uint32_t kStateUnavailable = 0x0008;
inline constexpr std::uint32_t kStateEmpty = 0x0010;
inline constexpr std::uint32_t kStatePresent = 0x0020;
inline constexpr std::uint32_t kStateAtrMatch = 0x0040;
inline constexpr std::uint32_t kStateExclusive = 0x0080;
inline constexpr std::uint32_t kStateInUse = 0x0100;
inline constexpr std::uint32_t kStateMute = 0x0200;
inline constexpr std::uint32_t kStateUnpowered = 0x0400;

// The pseudo reader whose state changes whenever a reader is plugged in or out.
inline constexpr char kPnpNotificationReader[] = "\\\\?PnP?\\Notification";

// The status-change call's timeout that waits until a change comes.
inline constexpr std::uint32_t kInfiniteWait = 0xFFFFFFFF;

}  // namespace tessaly
