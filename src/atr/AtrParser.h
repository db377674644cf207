#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// One interface byte TAi, TBi, TCi or TDi of an answer-to-reset.
struct InterfaceByte {
  char Kind = 'A';  // 'A', 'B', 'C' or 'D'
  int Level = 1;    // the i of TAi
  std::uint8_t Value = 0;
  std::size_t Offset = 0;  // index in the ATR, TS being 0
  int Protocol = -1;       // the T named by TD(i-1) for levels from 2 on, -1 on level 1

  std::string Name() const;  // "TA1", "TD2", ...
};

// The structure of an answer-to-reset, taken apart as far as its bytes allow. Problems name every way in
// which the ATR breaks the rules of its format; an ATR without problems is well-formed.
struct ParsedAtr {
  std::vector<std::uint8_t> Bytes;
  std::vector<InterfaceByte> Interface;
  std::vector<int> OfferedProtocols;     // in the order the TD bytes name them, each once; T=0 when no TD1
  std::vector<std::uint8_t> Historical;  // the historical bytes that are present
  std::size_t HistoricalCount = 0;       // K, the count T0 announces
  std::size_t HistoricalOffset = 0;
  bool Truncated = false;    // the ATR ends before its interface or historical bytes do
  bool TckRequired = false;  // a protocol other than T=0 is offered
  std::optional<std::uint8_t> Tck;
  std::uint8_t ExpectedTck = 0;  // exclusive-or of T0 up to the byte before TCK
  std::vector<std::string> Problems;
  bool TextUnreadable = false;  // the hex text had a character that is not hex, or an odd digit

  bool WellFormed() const { return Problems.empty(); }
  std::optional<std::uint8_t> Ts() const;
  std::optional<std::uint8_t> T0() const;
  const InterfaceByte* Find(char kind, int level) const;
};

// The most bytes an ATR may have: TS and 32 more.
inline constexpr std::size_t MaxAtrLength = 33;

// Takes the bytes apart without ever reading past their end; never throws for any input.
ParsedAtr ParseAtr(std::span<const std::uint8_t> atr);

// Reads hexadecimal text and takes the bytes apart. Blanks, tabs, colons and dashes may stand anywhere, and
// a byte may carry a "0x" prefix: "3B 8F", "3b:8f", "3B-8F", "0x3B 0x8F" and "3B8F" are the same ATR. Text
// that is not hex stops the reading there; the bytes read before are analysed, and the problem says which
// character it was.
ParsedAtr ParseAtr(std::string_view hexText);

}  // namespace tessaly
