#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tessaly {

// Texts of the kernel's log records, as 8-bit text; the kernel widens them with the ANSI code page.

// "0x" and the value as exactly eight upper-case hexadecimal digits.
std::string HexNumber(std::uint32_t value);

// The code in hexadecimal (its unsigned 32-bit form), " : " and the message; the message alone for code 0.
std::string ErrorDetails(std::int32_t code, const std::string& message);

// The state word in hexadecimal, then " : " and a value for each state line: the value the list holds for
// that line's name, the first line of a name winning. A line without "=" has no name and adds an empty value.
std::string ReaderStateDetails(std::uint32_t stateWord, const std::vector<std::string>& stateLines);

// The exchange log: both texts copied as received, in braces padded by one blank on each side.
std::string ExchangeLogDetails(const std::string& sentBytes, const std::string& receivedBytes);

std::string CardReadyDetails(const std::string& atr);

}  // namespace tessaly
