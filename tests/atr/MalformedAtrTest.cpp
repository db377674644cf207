// ATRs that break their format: each is analysed as far as it goes and names what is wrong where.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AtrTestLines.h"

namespace tessaly {
namespace {

using test::InfoLinesOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;

struct MalformedCase {
  const char* Name;  // the case's name in the test's name, so that it can be filtered and rerun
  const char* Text;
  std::vector<std::string> Problems;
};

void PrintTo(const MalformedCase& malformed, std::ostream* out) {
  *out << '"' << malformed.Text << '"';
}

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
        MalformedCase{"WrongCheckByte",
                      "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6B",
                      {"TCK = 6B at byte 20 is wrong: expected 6A"}},
        MalformedCase{"MissingCheckByte",
                      "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00",
                      {"TCK is missing after the historical bytes"}},
        MalformedCase{"EndsWithinInterfaceBytes",
                      "3B DC 18 FF 81",
                      {"TD2 is announced by TD1, but the ATR ends after 5 bytes"}},
        MalformedCase{"EndsWithinHistoricalBytes",
                      "3B 02 14",
                      {"T0 announces 2 historical bytes, but only 1 follows the interface bytes"}},
        MalformedCase{"OneHistoricalByteMissing",
                      "3B 01",
                      {"T0 announces 1 historical byte, but only 0 follow the interface bytes"}},
        MalformedCase{"EndsAfterTs", "3B", {"The ATR ends after TS: T0 is missing"}},
        MalformedCase{"Empty", "", {"The ATR is empty: it needs at least TS and T0"}},
        MalformedCase{"OddDigitCount",
                      "3B 02 14 5",
                      {"Odd number of hexadecimal digits: the last digit '5' has no partner and is left out",
                       "T0 announces 2 historical bytes, but only 1 follows the interface bytes"}},
        MalformedCase{"NotHex",
                      "3B 02 1G 50",
                      {"Character 'G' at position 8 is not a hexadecimal digit; the text is read up to it",
                       "Odd number of hexadecimal digits: the last digit '1' has no partner and is left out",
                       "T0 announces 2 historical bytes, but only 0 follow the interface bytes"}},
        MalformedCase{
            "UnknownConvention", "12 00", {"TS = 12 is neither 3B (direct) nor 3F (inverse convention)"}},
        MalformedCase{
            "ByteAfterTEqualsZeroOnly",
            "3B 02 14 50 77",
            {"Byte 5 (77) follows the historical bytes, but only T=0 is offered, when no check byte "
             "may follow"}},
        // ISO/IEC 7816-3 leaves out TCK when only T=0 is offered: a byte there is wrong even when it equals
        // the exclusive-or a check byte would have.
        MalformedCase{
            "CheckByteWithoutInterfaceBytes",
            "3B 02 14 50 46",
            {"Byte 5 (46) follows the historical bytes, but only T=0 is offered, when no check byte "
             "may follow"}},
        MalformedCase{
            "CheckByteAfterTdOneNamingTEqualsZero",
            "3B 80 00 80",
            {"Byte 4 (80) follows the historical bytes, but only T=0 is offered, when no check byte "
             "may follow"}},
        MalformedCase{
            "TdOneNamesTEqualsFifteen", "3B 80 0F 8F", {"TD1 names T=15, which only TD2 and later may name"}},
        MalformedCase{
            "LongerThanThirtyThreeBytes",
            "3B 0F 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 00 "
            "00 00 00",
            {"The ATR has 35 bytes, more than the 33 that TS and 32 more allow",
             "Byte 18 (00) follows the historical bytes, but only T=0 is offered, when no check byte may "
             "follow",
             "17 bytes follow the check byte at byte 18, where the ATR should end"}},
        MalformedCase{"OneByteAfterTheCheckByte",
                      "3B 80 01 81 00",
                      {"1 byte follows the check byte at byte 4, where the ATR should end"}}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(MalformedAtrAnalysis, TruncatedAtrKeepsWhatItRead) {
  const ParsedAtr atr = ParseAtr("3B DC 18 FF 81");
  EXPECT_EQ(atr.Interface.size(), 3u);
  EXPECT_THAT(atr.OfferedProtocols, ElementsAre(1));
  EXPECT_THAT(
      InfoLinesOf("3B DC 18 FF 81"),
      IsSupersetOf({"Clock and bit rate=TA1 = 18: Fi = 372 (fmax 5 MHz), Di = 12, 31 clock cycles per bit",
                    "Verdict=not checked, the ATR ends early"}));
}

TEST(MalformedAtrAnalysis, WrongCheckByteShowsTheExpectedValue) {
  EXPECT_THAT(InfoLinesOf("3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6B"),
              Contains("Verdict=wrong, TCK = 6B, expected 6A"));
  EXPECT_THAT(InfoLinesOf("3B 02 14 50 77"),
              Contains("Verdict=none expected, yet byte 77 follows (as TCK it would be 46)"));
}

TEST(MalformedAtrAnalysis, CompactObjectRunningPastTheEndIsNamed) {
  // Category 80, then object 73 announces three bytes of which one is there.
  EXPECT_THAT(InfoLinesOf("3B 03 80 73 01"),
              Contains("Format error=object 73 announces 3 bytes, but only 1 follows"));
  // One byte short: the length the check must not let through; the analysis ends at once with the error.
  EXPECT_THAT(InfoLinesOf("3B 05 80 31 C0 72 01"),
              IsSupersetOf({"Card service data=C0: selection by full DF name, selection by partial DF name; "
                            "EF.DIR and EF.ATR by READ RECORD",
                            "Format error=object 72 announces 2 bytes, but only 1 follows"}));
  EXPECT_THAT(InfoLinesOf("3B 05 00 71 00 00 00"),
              IsSupersetOf({"Format error=object 71 announces 1 byte, but only 0 follow",
                            "Status indicator=life cycle 00 (no information), SW1 SW2 = 00 00"}));
}

}  // namespace
}  // namespace tessaly
