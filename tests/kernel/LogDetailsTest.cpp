#include "kernel/LogDetails.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly::test {
namespace {

TEST(LogDetails, ErrorDetailsGiveTheCodeAsEightUnsignedHexDigits) {
  struct Row {
    std::int32_t code;
    std::string expected;
  };
  const Row rows[] = {
      {0, "Failed"},
      {static_cast<std::int32_t>(0x8010000C), "0x8010000C : Failed"},
      {-1, "0xFFFFFFFF : Failed"},
      {0xABC, "0x00000ABC : Failed"},
      {1, "0x00000001 : Failed"},
  };
  for (const Row& row : rows) EXPECT_EQ(ErrorDetails(row.code, "Failed"), row.expected) << row.code;
  EXPECT_EQ(ErrorDetails(0, ""), "");
  EXPECT_EQ(ErrorDetails(2, ""), "0x00000002 : ");
}

TEST(LogDetails, ReaderStateDetailsListEachLinesValueByName) {
  struct Row {
    std::uint32_t state;
    std::vector<std::string> lines;
    std::string expected;
  };
  const Row rows[] = {
      {34, {"State=PRESENT", "Reader=Reader 0"}, "0x00000022 : PRESENT : Reader 0"},
      {34, {}, "0x00000022"},
      {0xFFFFFFFF, {"Empty="}, "0xFFFFFFFF : "},
      // The first line of a name gives the value for every line of that name.
      {1, {"State=A", "Other=B", "State=C"}, "0x00000001 : A : B : A"},
      // Only the first "=" separates; names are compared exactly.
      {1, {"Expr=a=b", "expr=c"}, "0x00000001 : a=b : c"},
      {1, {"no separator", "State=X"}, "0x00000001 :  : X"},
  };
  for (const Row& row : rows) EXPECT_EQ(ReaderStateDetails(row.state, row.lines), row.expected);
}

TEST(LogDetails, ExchangeLogKeepsBothTextsUnchanged) {
  EXPECT_EQ(ExchangeLogDetails("", ""), "Sent: {  }  Received: {  }");
  EXPECT_EQ(ExchangeLogDetails("00 A4", "9000"), "Sent: { 00 A4 }  Received: { 9000 }");
  EXPECT_EQ(ExchangeLogDetails(" x ", "\t"), "Sent: {  x  }  Received: { \t }");
  EXPECT_EQ(CardReadyDetails("3B 00"), "ATR = 3B 00");
  EXPECT_EQ(CardReadyDetails(""), "ATR = ");
}

}  // namespace
}  // namespace tessaly::test
