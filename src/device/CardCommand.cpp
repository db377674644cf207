#include "device/CardCommand.h"

namespace tessaly {
namespace {

constexpr std::size_t kHeaderLength = 4;

void SetShortLe(CardCommand& command, std::uint8_t le) {
  command.HasLe = true;
  command.LeIsMaximum = le == 0;
  command.ExpectedLength = le == 0 ? 256 : le;
}

void SetExtendedLe(CardCommand& command, std::uint8_t high, std::uint8_t low) {
  const std::size_t le = (std::size_t{high} << 8) | low;
  command.HasLe = true;
  command.LeIsMaximum = le == 0;
  command.ExpectedLength = le == 0 ? 65536 : le;
}

bool ParseShortBody(CardCommand& command, std::span<const std::uint8_t> body) {
  if (body.size() == 1) {
    SetShortLe(command, body[0]);
    return true;
  }
  const std::size_t lc = body[0];
  if (body.size() != 1 + lc && body.size() != 2 + lc) return false;
  command.Data.assign(body.begin() + 1, body.begin() + 1 + static_cast<std::ptrdiff_t>(lc));
  if (body.size() == 2 + lc) SetShortLe(command, body.back());
  return true;
}

// The body starts with the 00 byte that marks the extended form.
bool ParseExtendedBody(CardCommand& command, std::span<const std::uint8_t> body) {
  if (body.size() == 3) {
    SetExtendedLe(command, body[1], body[2]);
    return true;
  }
  if (body.size() < 3) return false;
  const std::size_t lc = (std::size_t{body[1]} << 8) | body[2];
  if (lc == 0 || (body.size() != 3 + lc && body.size() != 5 + lc)) return false;
  command.Data.assign(body.begin() + 3, body.begin() + 3 + static_cast<std::ptrdiff_t>(lc));
  if (body.size() == 5 + lc) SetExtendedLe(command, body[body.size() - 2], body.back());
  return true;
}

}  // namespace

std::optional<CardCommand> ParseCardCommand(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kHeaderLength) return std::nullopt;
  CardCommand command{.Class = bytes[0], .Instruction = bytes[1], .P1 = bytes[2], .P2 = bytes[3]};
  const auto body = bytes.subspan(kHeaderLength);
  if (body.empty()) return command;
  const bool extended = body[0] == 0 && body.size() > 1;
  const bool parsed = extended ? ParseExtendedBody(command, body) : ParseShortBody(command, body);
  if (!parsed) return std::nullopt;
  return command;
}

}  // namespace tessaly
