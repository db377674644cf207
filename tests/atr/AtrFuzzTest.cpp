// Randomized ATRs: arbitrary bytes and text never break the analysis, and ATRs built by the rules always
// come back well-formed with the structure they were built with.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <set>

#include "atr/AtrInfoLines.h"
#include "monitor/_VMonitorTree.h"
#include "platform/HexText.h"

namespace tessaly {
namespace {

constexpr int kRounds = 20000;

// Every item name shows in the monitor exactly as written, so names that differ only in case would be equal,
// and every name is unique.
void ExpectMonitorReadyLines(const std::vector<std::string>& lines) {
  std::set<std::string> names;
  for (const std::string& line : lines) {
    const std::size_t separator = line.find('=');
    if (separator == std::string::npos) continue;
    const std::string name = line.substr(0, separator);
    ASSERT_EQ(Capitalize(name), name);
    ASSERT_TRUE(names.insert(name).second) << "repeated name " << name;
  }
}

void ExpectConsistent(const ParsedAtr& atr) {
  std::size_t next = 2;
  for (const InterfaceByte& byte : atr.Interface) {
    ASSERT_EQ(byte.Offset, next++);
    ASSERT_EQ(atr.Bytes[byte.Offset], byte.Value);
  }
  ASSERT_LE(atr.Historical.size(), atr.HistoricalCount);
  if (atr.WellFormed()) {
    ASSERT_LE(atr.Bytes.size(), MaxAtrLength);
    ASSERT_EQ(atr.Bytes.size(), next + atr.HistoricalCount + (atr.Tck ? 1 : 0));
  }
}

// A random ATR that keeps every rule: random interface bytes on up to four levels, a few historical bytes,
// and the check byte when a protocol other than T=0 is named.
std::vector<std::uint8_t> BuildWellFormedAtr(std::mt19937& random, std::size_t& interfaceCount) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<std::uint8_t> atr = {static_cast<std::uint8_t>(random() % 2 ? 0x3B : 0x3F), 0};
  bool needsTck = false;
  unsigned presence = random() % 16;
  std::size_t presenceAt = 1;
  for (int level = 1; level <= 4; ++level) {
    for (int bit = 0; bit < 3; ++bit) {
      if ((presence & (1u << bit)) != 0) atr.push_back(static_cast<std::uint8_t>(byte(random)));
    }
    const bool more = level < 4 && (presence & 0x8u) != 0;
    const unsigned protocol = level == 1 ? random() % 2 : std::array<unsigned, 3>{0, 1, 15}[random() % 3];
    atr[presenceAt] |= static_cast<std::uint8_t>(((presence & 0x7u) | (more ? 0x8u : 0)) << 4);
    if (!more) break;
    presence = random() % 16;
    presenceAt = atr.size();
    atr.push_back(static_cast<std::uint8_t>(protocol));
    needsTck = needsTck || protocol != 0;
  }
  interfaceCount = atr.size() - 2;
  const std::size_t historical = std::min<std::size_t>(random() % 16, MaxAtrLength - 1 - atr.size());
  atr[1] |= static_cast<std::uint8_t>(historical);
  for (std::size_t i = 0; i < historical; ++i) atr.push_back(static_cast<std::uint8_t>(byte(random)));
  if (needsTck) {
    std::uint8_t tck = 0;
    for (std::size_t i = 1; i < atr.size(); ++i) tck ^= atr[i];
    atr.push_back(tck);
  }
  return atr;
}

TEST(AtrFuzz, ArbitraryBytesAreAnalysedWithoutFault) {
  std::mt19937 random(20261208);
  for (int round = 0; round < kRounds; ++round) {
    std::vector<std::uint8_t> atr(random() % 40);
    for (std::uint8_t& byte : atr) byte = static_cast<std::uint8_t>(random());
    if (!atr.empty() && random() % 2 == 0) atr[0] = 0x3B;
    const ParsedAtr parsed = ParseAtr(atr);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistent(parsed));
    ASSERT_NO_FATAL_FAILURE(ExpectMonitorReadyLines(AtrInfoLines(parsed, nullptr)));
  }
}

TEST(AtrFuzz, ArbitraryTextIsAnalysedWithoutFault) {
  static constexpr char kAlphabet[] = "0123456789abcdefABCDEF \t:xG\x01\xff";
  std::mt19937 random(7816);
  for (int round = 0; round < kRounds; ++round) {
    std::string text(random() % 80, ' ');
    for (char& c : text) c = kAlphabet[random() % (sizeof kAlphabet - 1)];
    ASSERT_NO_FATAL_FAILURE(ExpectConsistent(ParseAtr(text)));
  }
}

TEST(AtrFuzz, AtrsBuiltByTheRulesAreWellFormed) {
  std::mt19937 random(3);
  for (int round = 0; round < kRounds; ++round) {
    std::size_t interfaceCount = 0;
    const std::vector<std::uint8_t> atr = BuildWellFormedAtr(random, interfaceCount);
    const ParsedAtr parsed = ParseAtr(atr);
    ASSERT_TRUE(parsed.WellFormed()) << HexText(atr) << ": " << parsed.Problems.front();
    ASSERT_EQ(parsed.Interface.size(), interfaceCount) << HexText(atr);
    ASSERT_NO_FATAL_FAILURE(ExpectConsistent(parsed));
  }
}

}  // namespace
}  // namespace tessaly
