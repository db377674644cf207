#include "kernel/LogDetails.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tessaly::test {
namespace {

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

}  // namespace
}  // namespace tessaly::test
