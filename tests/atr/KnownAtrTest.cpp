// Real and hand-built ATRs whose meaning was worked out byte by byte from ISO/IEC 7816-3 and 7816-4.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "AtrTestLines.h"

namespace tessaly {
namespace {

using test::InfoLinesOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsSupersetOf;
using ::testing::Not;
using ::testing::StartsWith;

TEST(KnownAtr, TEqualsZeroCardWithoutInterfaceBytesNeedsNoCheckByte) {
  const ParsedAtr atr = ParseAtr("3B 02 14 50");
  EXPECT_TRUE(atr.WellFormed());
  EXPECT_THAT(atr.OfferedProtocols, ElementsAre(0));
  EXPECT_THAT(atr.Historical, ElementsAre(0x14, 0x50));
  EXPECT_THAT(InfoLinesOf("3B 02 14 50"),
              IsSupersetOf({"Format byte=T0 = 02: no interface bytes, 2 historical bytes", "Present=none",
                            "Rates=Fi = 372 (fmax 5 MHz), Di = 1, 372 clock cycles per bit (default)",
                            "Category indicator=14: proprietary format", "Text=.P",
                            "Required=no, only T=0 is offered", "Verdict=absent, as it should be"}));
}

TEST(KnownAtr, BlockProtocolCardWithFastRateAndFieldSize) {
  // TA1 96, TD1 81 (T=1, TD2), TD2 31 (T=1, TA3 TB3), TA3 FE, TB3 45; 7 historical bytes; TCK 84.
  const std::string text = "3B 97 96 81 31 FE 45 80 31 C0 73 BE 21 13 84";
  EXPECT_TRUE(ParseAtr(text).WellFormed());
  EXPECT_THAT(
      InfoLinesOf(text),
      IsSupersetOf(
          {"Clock and bit rate=TA1 = 96: Fi = 512 (fmax 5 MHz), Di = 32, 16 clock cycles per bit",
           "Protocol indicator 1=TD1 = 81: T=1, followed by TD2",
           "Protocol indicator 2=TD2 = 31: T=1, followed by TA3 TB3",
           "Card information field size=TA3 = FE: IFSC = 254 bytes",
           "Block waiting time=TB3 = 45: BWI = 4 (11 etu + 15360 x 372 clock cycles)",
           "Character waiting time=TB3 = 45: CWI = 5 (43 etu)", "Offered=T=1",
           "T1 parameters=IFSC 254, BWI 4, CWI 5, LRC (default)",
           "Card service data=C0: selection by full DF name, selection by partial DF name; "
           "EF.DIR and EF.ATR by READ RECORD",
           "Card capabilities=BE 21 13: selection DF by full name, by path, by file identifier, "
           "implicit DF, short EF identifier, record number; data unit 2 quartets; 4 logical channels",
           "Verdict=correct, TCK = 84"}));
}

TEST(KnownAtr, InverseConventionCardWithGuardTime) {
  const std::string text = "3F 65 25 00 2C 09 69 90 00";
  EXPECT_TRUE(ParseAtr(text).WellFormed());
  EXPECT_THAT(InfoLinesOf(text),
              IsSupersetOf({"Convention=inverse (TS = 3F)",
                            "Programming voltage=TB1 = 25: PI1 = 5 (deprecated, ignored)",
                            "Extra guard time=TC1 = 00: N = 0, 12 etu between character starts",
                            "Offered=T=0", "Content=2C 09 69 90 00"}));
}

TEST(KnownAtr, ContactlessStorageCardFromPcscReader) {
  const std::string text = "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A";
  const ParsedAtr atr = ParseAtr(text);
  EXPECT_TRUE(atr.WellFormed());
  EXPECT_THAT(atr.OfferedProtocols, ElementsAre(0, 1));
  EXPECT_EQ(atr.HistoricalOffset, 4u);
  EXPECT_THAT(
      InfoLinesOf(text),
      IsSupersetOf({"Protocol indicator 1=TD1 = 80: T=0, followed by TD2",
                    "Protocol indicator 2=TD2 = 01: T=1, last interface byte", "Default=T=0",
                    "Category indicator=80: compact-TLV objects, a status indicator among them",
                    "Registered provider=A0 00 00 03 06: PC/SC Workgroup",
                    "Card standard=03: ISO/IEC 14443 A, part 3", "Card name=00 01: MIFARE Classic 1K",
                    "Required=yes, a protocol other than T=0 is offered", "Verdict=correct, TCK = 6A"}));
}

TEST(KnownAtr, GlobalBytesAndSpecificMode) {
  // TD1 90 (T=0, TA2 TD2), TA2 10 (T=0 only, implicit rates), TD2 1F (T=15, TA3), TA3 42: clock stop in
  // state L, class B; no historical bytes, TCK 5D.
  const std::string text = "3B 80 90 10 1F 42 5D";
  EXPECT_TRUE(ParseAtr(text).WellFormed());
  EXPECT_THAT(
      InfoLinesOf(text),
      IsSupersetOf({"Specific mode=TA2 = 10: only T=0, mode can change, implicit rates (TA1 not used)",
                    "Clock stop=TA3 = 42: supported in state L", "Voltage classes=TA3 = 42: B (3 V)",
                    "Global bytes=T=15 is indicated", "Offered=T=0",
                    "Required=yes, a protocol other than T=0 is offered"}));
}

TEST(KnownAtr, HeadingsComeInTheirOrder) {
  std::vector<std::string> headings;
  for (const std::string& line : InfoLinesOf("3B 02 14 50")) {
    if (line.find('=') == std::string::npos) headings.push_back(line);
  }
  EXPECT_THAT(headings, ElementsAre("ATR", "Interface bytes", "Protocols", "Historical bytes", "Check byte"));
}

// ISO/IEC 7816-3, table 7 (Fi and fmax) and table 8 (Di), every code: TA1 = X1 varies Fi, TA1 = 1X varies Di.
struct RateCode {
  const char* Ta1;
  const char* Rates;
};

TEST(KnownAtr, EveryClockRateConversionCodeReadsAsTheStandardsTableSays) {
  static const RateCode kFiCodes[] = {
      {"01", "Fi = 372 (fmax 4 MHz), Di = 1, 372 clock cycles per bit"},
      {"11", "Fi = 372 (fmax 5 MHz), Di = 1, 372 clock cycles per bit"},
      {"21", "Fi = 558 (fmax 6 MHz), Di = 1, 558 clock cycles per bit"},
      {"31", "Fi = 744 (fmax 8 MHz), Di = 1, 744 clock cycles per bit"},
      {"41", "Fi = 1116 (fmax 12 MHz), Di = 1, 1116 clock cycles per bit"},
      {"51", "Fi = 1488 (fmax 16 MHz), Di = 1, 1488 clock cycles per bit"},
      {"61", "Fi = 1860 (fmax 20 MHz), Di = 1, 1860 clock cycles per bit"},
      {"71", "Fi reserved (7), Di = 1"},
      {"81", "Fi reserved (8), Di = 1"},
      {"91", "Fi = 512 (fmax 5 MHz), Di = 1, 512 clock cycles per bit"},
      {"A1", "Fi = 768 (fmax 7.5 MHz), Di = 1, 768 clock cycles per bit"},
      {"B1", "Fi = 1024 (fmax 10 MHz), Di = 1, 1024 clock cycles per bit"},
      {"C1", "Fi = 1536 (fmax 15 MHz), Di = 1, 1536 clock cycles per bit"},
      {"D1", "Fi = 2048 (fmax 20 MHz), Di = 1, 2048 clock cycles per bit"},
      {"E1", "Fi reserved (14), Di = 1"},
      {"F1", "Fi reserved (15), Di = 1"},
  };
  static const RateCode kDiCodes[] = {
      {"10", "Fi = 372 (fmax 5 MHz), Di reserved (0)"},
      {"11", "Fi = 372 (fmax 5 MHz), Di = 1, 372 clock cycles per bit"},
      {"12", "Fi = 372 (fmax 5 MHz), Di = 2, 186 clock cycles per bit"},
      {"13", "Fi = 372 (fmax 5 MHz), Di = 4, 93 clock cycles per bit"},
      {"14", "Fi = 372 (fmax 5 MHz), Di = 8, 46.5 clock cycles per bit"},
      {"15", "Fi = 372 (fmax 5 MHz), Di = 16, 23.25 clock cycles per bit"},
      {"16", "Fi = 372 (fmax 5 MHz), Di = 32, 11.625 clock cycles per bit"},
      {"17", "Fi = 372 (fmax 5 MHz), Di = 64, 5.8125 clock cycles per bit"},
      {"18", "Fi = 372 (fmax 5 MHz), Di = 12, 31 clock cycles per bit"},
      {"19", "Fi = 372 (fmax 5 MHz), Di = 20, 18.6 clock cycles per bit"},
      {"1A", "Fi = 372 (fmax 5 MHz), Di reserved (10)"},
      {"1B", "Fi = 372 (fmax 5 MHz), Di reserved (11)"},
      {"1C", "Fi = 372 (fmax 5 MHz), Di reserved (12)"},
      {"1D", "Fi = 372 (fmax 5 MHz), Di reserved (13)"},
      {"1E", "Fi = 372 (fmax 5 MHz), Di reserved (14)"},
      {"1F", "Fi = 372 (fmax 5 MHz), Di reserved (15)"},
  };
  for (const auto* table : {kFiCodes, kDiCodes}) {
    for (std::size_t code = 0; code < 16; ++code) {
      const RateCode& rate = table[code];
      EXPECT_THAT(InfoLinesOf(std::string("3B 10 ") + rate.Ta1),
                  Contains(std::string("Clock and bit rate=TA1 = ") + rate.Ta1 + ": " + rate.Rates));
    }
  }
}

TEST(KnownAtr, BlockProtocolWithoutItsBytesShowsTheDefaults) {
  // TD1 01 names T=1 and nothing more; TCK 81.
  EXPECT_THAT(InfoLinesOf("3B 80 01 81"),
              Contains("T1 parameters=IFSC 32 (default), BWI 4, CWI 13 (default), LRC (default)"));
  // TD1 81, TD2 31 (T=1, TA3 TB3): TA3 FF and BWI 10 are reserved values, and called so.
  EXPECT_THAT(InfoLinesOf("3B 80 81 31 FF A5 6A"),
              IsSupersetOf({"Card information field size=TA3 = FF: IFSC value 255 is reserved",
                            "Block waiting time=TB3 = A5: BWI = 10 (reserved)",
                            "T1 parameters=IFSC 255 (reserved), BWI 10 (reserved), CWI 5, LRC (default)"}));
}

TEST(KnownAtr, CountsAreWordedInTheSingularAndPlural) {
  EXPECT_THAT(InfoLinesOf("3B 01 14"),
              Contains("Format byte=T0 = 01: no interface bytes, 1 historical byte"));
  EXPECT_THAT(InfoLinesOf("3B 80 81 11 01 11"),
              Contains("Card information field size=TA3 = 01: IFSC = 1 byte"));
}

TEST(KnownAtr, LifeCycleStatusNamesReservedAndProprietaryValues) {
  // Category 80 with a status indicator object 81 of one byte.
  EXPECT_THAT(InfoLinesOf("3B 03 80 81 02"), Contains("Status indicator=02: life cycle 02 (reserved)"));
  EXPECT_THAT(InfoLinesOf("3B 03 80 81 0B"), Contains("Status indicator=0B: life cycle 0B (reserved)"));
  EXPECT_THAT(InfoLinesOf("3B 03 80 81 0F"), Contains("Status indicator=0F: life cycle 0F (termination)"));
  EXPECT_THAT(InfoLinesOf("3B 03 80 81 10"), Contains("Status indicator=10: life cycle 10 (proprietary)"));
}

TEST(KnownAtr, ColonsDashesAndHexPrefixesWriteTheSameAtr) {
  const std::vector<std::uint8_t> bytes = ParseAtr("3B 8F 80 01").Bytes;
  for (const char* text :
       {"3b:8f:80:01", "3B-8F-80-01", "0x3B 0x8F 0X80 0x01", "3B8F8001", " 3B\t8F 80 01 "}) {
    const ParsedAtr atr = ParseAtr(text);
    EXPECT_EQ(atr.Bytes, bytes) << text;
    EXPECT_FALSE(atr.TextUnreadable) << text;
  }
  EXPECT_TRUE(ParseAtr("3B 8F 8O 01").TextUnreadable);
}

TEST(KnownAtr, TextThatIsNoAtrGetsOnlyItsProblems) {
  EXPECT_THAT(
      InfoLinesOf("hello"),
      ElementsAre("ATR", "Length=0 bytes", "Status=malformed",
                  "Problem=Character 'h' at position 1 is not a hexadecimal digit; the text is read up to "
                  "it",
                  "Problem 2=The ATR is empty: it needs at least TS and T0"));
  EXPECT_THAT(InfoLinesOf("3B"), Not(Contains(StartsWith("Rates="))));
}

}  // namespace
}  // namespace tessaly
