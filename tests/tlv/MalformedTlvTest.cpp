// Malformed answers, one row each: decoding stops at the first problem, names it with its offset and keeps
// the objects before it.
#include <gtest/gtest.h>

#include <ostream>

#include "platform/HexText.h"
#include "tlv/TlvTree.h"

namespace tessaly {
namespace {

struct MalformedCase {
  const char* Hex;
  std::size_t Offset;
  const char* Problem;  // empty for input that is well-formed after all
  std::size_t ObjectsKept;
};

void PrintTo(const MalformedCase& row, std::ostream* out) {
  *out << '"' << row.Hex << '"';
}

std::string Nested(int depth) {
  std::string hex;
  for (int level = 0; level < depth; ++level)
    hex = "A0" + HexText(std::vector<std::uint8_t>{std::uint8_t(hex.size() / 2)}, "") + hex;
  return hex;
}

class MalformedTlv : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedTlv, StopsAtTheFirstProblemAndNamesIt) {
  const MalformedCase& row = GetParam();
  const HexReading hex = ReadHexBytes(row.Hex);
  ASSERT_TRUE(hex.Complete());
  const TlvTree tree = DecodeTlv(hex.Bytes);
  EXPECT_EQ(tree.Objects.size(), row.ObjectsKept);
  if (std::string(row.Problem).empty()) {
    EXPECT_TRUE(tree.WellFormed()) << tree.Problem->Text;
    return;
  }
  ASSERT_FALSE(tree.WellFormed());
  EXPECT_EQ(tree.Problem->Text, row.Problem);
  EXPECT_EQ(tree.Problem->Offset, row.Offset);
}

const std::string kTooDeep = Nested(33);
const std::string kDeepEnough = Nested(32);

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedTlv,
    ::testing::Values(
        MalformedCase{"8A 00 84 07 A0 00 00 00", 2,
                      "length 0x07 of tag 84 at offset 2 runs 3 bytes past the end", 2},
        MalformedCase{"6F 09 84 09 A0 00 00 00 03 10 10", 2,
                      "length 0x09 of tag 84 at offset 2 runs 2 bytes past the end of tag 6F", 1},
        MalformedCase{"6F 0A A5 08 50 08 41 42 43 44 45 46", 4,
                      "length 0x08 of tag 50 at offset 4 runs 2 bytes past the end of tag A5", 1},
        MalformedCase{"6F 0A 84 01 AA", 0, "length 0x0A of tag 6F at offset 0 runs 7 bytes past the end", 1},
        MalformedCase{"70 82 01 2C 5A 01 00", 0,
                      "length 0x012C of tag 70 at offset 0 runs 297 bytes past the end", 1},
        MalformedCase{"84 01 AA 9F", 3, "tag at offset 3 is cut short by the end", 1},
        MalformedCase{"6F 02 DF 81 00", 2, "tag at offset 2 is cut short by the end of tag 6F", 1},
        MalformedCase{"DF 81 82 01 01 00", 0, "tag at offset 0 is longer than 3 bytes", 0},
        MalformedCase{"84 85 00 00 00 00 01 AA", 0,
                      "the length of tag 84 at offset 0 has 5 length bytes, more than 4", 0},
        MalformedCase{"84 83 00 01", 0, "the length of tag 84 at offset 0 is cut short by the end", 0},
        MalformedCase{"84 01 AA 9F 38", 3, "tag 9F38 at offset 3 has no length before the end", 1},
        MalformedCase{"6F 80 84 01 AA 00 00", 0,
                      "the length of tag 6F at offset 0 has the indefinite form 80, which ISO/IEC 7816-4 "
                      "does not allow",
                      0},
        MalformedCase{"", 0, "there are no bytes", 0},
        MalformedCase{"00 FF FF 00", 0, "there is only padding, no data object", 0},
        MalformedCase{kTooDeep.c_str(), 64, "tag A0 at offset 64 nests deeper than 32 levels", 1},
        MalformedCase{kDeepEnough.c_str(), 0, "", 1},
        // An empty template is valid BER and occurs in real answers ("A5 00", "BF0C 00").
        MalformedCase{"6F 05 A5 00 BF 0C 00", 0, "", 1}));

}  // namespace
}  // namespace tessaly
