// Real and hand-built ATRs whose meaning was worked out byte by byte from ISO/IEC 7816-3 and 7816-4.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AtrTestLines.h"

namespace tessaly {
namespace {

using test::InfoLinesOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::StartsWith;

TEST(KnownAtr, TEqualsZeroCardWithoutInterfaceBytesNeedsNoCheckByte) {
  const ParsedAtr atr = ParseAtr("3B 02 14 50");
  EXPECT_TRUE(atr.WellFormed());
  EXPECT_THAT(atr.OfferedProtocols, ElementsAre(0));
  EXPECT_FALSE(atr.TckRequired);
  EXPECT_FALSE(atr.Tck.has_value());
  EXPECT_THAT(atr.Historical, ElementsAre(0x14, 0x50));
  const auto lines = InfoLinesOf("3B 02 14 50");
  EXPECT_THAT(lines, Contains("Format byte=T0 = 02: no interface bytes, 2 historical bytes"));
  EXPECT_THAT(lines, Contains("Present=none"));
  EXPECT_THAT(lines, Contains("Rates=Fi = 372 (fmax 5 MHz), Di = 1, 372 clock cycles per bit (default)"));
  EXPECT_THAT(lines, Contains("Category indicator=14: proprietary format"));
  EXPECT_THAT(lines, Contains("Text=.P"));
  EXPECT_THAT(lines, Contains("Verdict=absent, as it should be"));
}

TEST(KnownAtr, BlockProtocolCardWithFastRateAndFieldSize) {
  // TA1 96, TD1 81 (T=1, TD2), TD2 31 (T=1, TA3 TB3), TA3 FE, TB3 45; 7 historical bytes; TCK 84.
  const std::string text = "3B 97 96 81 31 FE 45 80 31 C0 73 BE 21 13 84";
  const ParsedAtr atr = ParseAtr(text);
  EXPECT_TRUE(atr.WellFormed()) << atr.Problems.front();
  EXPECT_THAT(atr.OfferedProtocols, ElementsAre(1));
  ASSERT_NE(atr.Find('A', 3), nullptr);
  EXPECT_EQ(atr.Find('A', 3)->Protocol, 1);
  const auto lines = InfoLinesOf(text);
  EXPECT_THAT(
      lines,
      Contains("Clock and bit rate=TA1 = 96: Fi = 512 (fmax 5 MHz), Di = 32, 16 clock cycles per bit"));
  EXPECT_THAT(lines, Contains("Protocol indicator 1=TD1 = 81: T=1, followed by TD2"));
  EXPECT_THAT(lines, Contains("Protocol indicator 2=TD2 = 31: T=1, followed by TA3 TB3"));
  EXPECT_THAT(lines, Contains("Card information field size=TA3 = FE: IFSC = 254 bytes"));
  EXPECT_THAT(lines, Contains("Character waiting time=TB3 = 45: CWI = 5 (43 etu)"));
  EXPECT_THAT(lines, Contains(StartsWith("Block waiting time=TB3 = 45: BWI = 4 (")));
  EXPECT_THAT(lines, Contains("Offered=T=1"));
  EXPECT_THAT(lines, Contains("T1 parameters=IFSC 254, BWI 4, CWI 5, LRC (default)"));
  EXPECT_THAT(lines, Not(Contains(StartsWith("T0 parameters="))));
  EXPECT_THAT(lines,
              Contains("Card service data=C0: selection by full DF name, selection by partial DF name; "
                       "EF.DIR and EF.ATR by READ RECORD"));
  EXPECT_THAT(lines,
              Contains("Card capabilities=BE 21 13: selection DF by full name, by path, by file identifier, "
                       "implicit DF, short EF identifier, record number; data unit 2 quartets; "
                       "4 logical channels"));
  EXPECT_THAT(lines, Contains("Verdict=correct, TCK = 84"));
}

TEST(KnownAtr, InverseConventionCardWithGuardTime) {
  const std::string text = "3F 65 25 00 2C 09 69 90 00";
  const ParsedAtr atr = ParseAtr(text);
  EXPECT_TRUE(atr.WellFormed());
  EXPECT_THAT(atr.Historical, ElementsAre(0x2C, 0x09, 0x69, 0x90, 0x00));
  const auto lines = InfoLinesOf(text);
  EXPECT_THAT(lines, Contains("Convention=inverse (TS = 3F)"));
  EXPECT_THAT(lines, Contains("Programming voltage=TB1 = 25: PI1 = 5 (deprecated, ignored)"));
  EXPECT_THAT(lines, Contains("Extra guard time=TC1 = 00: N = 0, 12 etu between character starts"));
  EXPECT_THAT(lines, Contains("Offered=T=0"));
  EXPECT_THAT(lines, Contains("Required=no, only T=0 is offered"));
}

TEST(KnownAtr, ContactlessStorageCardFromPcscReader) {
  const std::string text = "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A";
  const ParsedAtr atr = ParseAtr(text);
  EXPECT_TRUE(atr.WellFormed());
  EXPECT_THAT(atr.OfferedProtocols, ElementsAre(0, 1));
  EXPECT_EQ(atr.HistoricalCount, 15u);
  EXPECT_EQ(atr.HistoricalOffset, 4u);
  const auto lines = InfoLinesOf(text);
  EXPECT_THAT(lines, Contains("Protocol indicator 1=TD1 = 80: T=0, followed by TD2"));
  EXPECT_THAT(lines, Contains("Protocol indicator 2=TD2 = 01: T=1, last interface byte"));
  EXPECT_THAT(lines, Contains("Default=T=0"));
  EXPECT_THAT(lines, Contains("Category indicator=80: compact-TLV objects, a status indicator among them"));
  EXPECT_THAT(lines, Contains("Registered provider=A0 00 00 03 06: PC/SC Workgroup"));
  EXPECT_THAT(lines, Contains("Card standard=03: ISO/IEC 14443 A, part 3"));
  EXPECT_THAT(lines, Contains("Card name=00 01: MIFARE Classic 1K"));
  EXPECT_THAT(lines, Contains("Verdict=correct, TCK = 6A"));
}

TEST(KnownAtr, GlobalBytesAndSpecificMode) {
  // TD1 90 (T=0, TA2 TD2), TA2 10 (T=0 only, implicit rates), TD2 1F (T=15, TA3), TA3 42: clock stop in
  // state L, class B; no historical bytes, TCK 5D.
  const std::string text = "3B 80 90 10 1F 42 5D";
  EXPECT_TRUE(ParseAtr(text).WellFormed());
  const auto lines = InfoLinesOf(text);
  EXPECT_THAT(lines,
              Contains("Specific mode=TA2 = 10: only T=0, mode can change, implicit rates (TA1 not used)"));
  EXPECT_THAT(lines, Contains("Clock stop=TA3 = 42: supported in state L"));
  EXPECT_THAT(lines, Contains("Voltage classes=TA3 = 42: B (3 V)"));
  EXPECT_THAT(lines, Contains("Global bytes=T=15 is indicated"));
  EXPECT_THAT(lines, Contains("Offered=T=0"));
  EXPECT_THAT(lines, Contains("Required=yes, a protocol other than T=0 is offered"));
}

TEST(KnownAtr, HeadingsComeInTheirOrder) {
  std::vector<std::string> headings;
  for (const std::string& line : InfoLinesOf("3B 02 14 50")) {
    if (line.find('=') == std::string::npos) headings.push_back(line);
  }
  EXPECT_THAT(headings, ElementsAre("ATR", "Interface bytes", "Protocols", "Historical bytes", "Check byte"));
}

}  // namespace
}  // namespace tessaly
