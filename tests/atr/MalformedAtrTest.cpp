// ATRs that break their format: each is analysed as far as it goes and names what is wrong where.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AtrTestLines.h"

namespace tessaly {
namespace {

using test::InfoLinesOf;
using ::testing::Contains;
using ::testing::ElementsAre;

struct MalformedCase {
  const char* Text;
  std::vector<std::string> Problems;
};

class MalformedAtr : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedAtr, NamesEveryProblem) {
  const ParsedAtr atr = ParseAtr(GetParam().Text);
  EXPECT_FALSE(atr.WellFormed());
  EXPECT_EQ(atr.Problems, GetParam().Problems);
  EXPECT_THAT(InfoLinesOf(GetParam().Text), Contains("Status=malformed"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedAtr,
    ::testing::Values(
        MalformedCase{"3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6B",
                      {"TCK = 6B at byte 20 is wrong: expected 6A"}},
        MalformedCase{"3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00",
                      {"TCK is missing after the historical bytes"}},
        MalformedCase{"3B DC 18 FF 81", {"TD2 is announced by TD1, but the ATR ends after 5 bytes"}},
        MalformedCase{"3B 02 14",
                      {"T0 announces 2 historical bytes, but only 1 follows the interface bytes"}},
        MalformedCase{"3B", {"The ATR ends after TS: T0 is missing"}},
        MalformedCase{"", {"The ATR is empty: it needs at least TS and T0"}},
        MalformedCase{"3B 02 14 5",
                      {"Odd number of hexadecimal digits: the last digit '5' has no partner and is left out",
                       "T0 announces 2 historical bytes, but only 1 follows the interface bytes"}},
        MalformedCase{"3B 02 1G 50",
                      {"Character 'G' at position 8 is not a hexadecimal digit; the text is read up to it",
                       "Odd number of hexadecimal digits: the last digit '1' has no partner and is left out",
                       "T0 announces 2 historical bytes, but only 0 follow the interface bytes"}},
        MalformedCase{"12 00", {"TS = 12 is neither 3B (direct) nor 3F (inverse convention)"}},
        MalformedCase{"3B 02 14 50 77",
                      {"Byte 5 (77) follows the historical bytes, but only T=0 is offered and it is "
                       "no check byte"}},
        MalformedCase{"3B 80 0F 8F", {"TD1 names T=15, which only TD2 and later may name"}},
        MalformedCase{
            "3B 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
            "00 00 00",
            {"The ATR has 35 bytes, more than the 33 that TS and 32 more allow",
             "Byte 18 (00) follows the historical bytes, but only T=0 is offered and it is no check byte",
             "17 bytes follow the check byte at byte 18, where the ATR should end"}}));

TEST(MalformedAtrAnalysis, TruncatedAtrKeepsWhatItRead) {
  const ParsedAtr atr = ParseAtr("3B DC 18 FF 81");
  EXPECT_TRUE(atr.Truncated);
  ASSERT_EQ(atr.Interface.size(), 3u);
  EXPECT_EQ(atr.Interface[2].Name(), "TD1");
  EXPECT_THAT(atr.OfferedProtocols, ElementsAre(1));
  const auto lines = InfoLinesOf("3B DC 18 FF 81");
  EXPECT_THAT(
      lines,
      Contains("Clock and bit rate=TA1 = 18: Fi = 372 (fmax 5 MHz), Di = 12, 31 clock cycles per bit"));
  EXPECT_THAT(lines, Contains("Verdict=not checked, the ATR ends early"));
}

TEST(MalformedAtrAnalysis, WrongCheckByteShowsTheExpectedValue) {
  EXPECT_THAT(InfoLinesOf("3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6B"),
              Contains("Verdict=wrong, TCK = 6B, expected 6A"));
}

TEST(MalformedAtrAnalysis, CompactObjectRunningPastTheEndIsNamed) {
  // Category 80, then object 73 announces three bytes of which one is there.
  EXPECT_THAT(InfoLinesOf("3B 03 80 73 01"),
              Contains("Format error=object 73 announces 3 bytes, but only 1 follow"));
}

}  // namespace
}  // namespace tessaly
