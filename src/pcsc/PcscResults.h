#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

// PC/SC result codes the program tells apart; the full list with names and texts is in PcscResults.cpp.
inline constexpr std::uint32_t kScardSuccess = 0x00000000;
inline constexpr std::uint32_t kScardCancelled = 0x80100002;
inline constexpr std::uint32_t kScardInvalidHandle = 0x80100003;
inline constexpr std::uint32_t kScardUnknownReader = 0x80100009;
inline constexpr std::uint32_t kScardTimeout = 0x8010000A;
inline constexpr std::uint32_t kScardSharingViolation = 0x8010000B;
inline constexpr std::uint32_t kScardNoSmartcard = 0x8010000C;
inline constexpr std::uint32_t kScardProtoMismatch = 0x8010000F;
inline constexpr std::uint32_t kScardReaderUnavailable = 0x80100017;
inline constexpr std::uint32_t kScardNoService = 0x8010001D;
inline constexpr std::uint32_t kScardServiceStopped = 0x8010001E;
inline constexpr std::uint32_t kScardNoReadersAvailable = 0x8010002E;
inline constexpr std::uint32_t kScardUnresponsiveCard = 0x80100066;
inline constexpr std::uint32_t kScardUnpoweredCard = 0x80100067;
inline constexpr std::uint32_t kScardRemovedCard = 0x80100069;

// "SCARD_E_NO_SERVICE (0x8010001D): the smart-card service is not running"; a code outside the standard
// list is named "PC/SC error".
std::string PcscCodeText(std::uint32_t code);

}  // namespace tessaly
