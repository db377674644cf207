// The file descriptor and the life cycle status byte in words, one row per case.
#include <gtest/gtest.h>

#include <ostream>

#include "platform/HexText.h"
#include "tlv/ValueExplanation.h"

namespace tessaly {
namespace {

struct ExplanationCase {
  ValueExplanation Kind;
  const char* Hex;
  const char* Words;
};

void PrintTo(const ExplanationCase& row, std::ostream* out) {
  *out << static_cast<int>(row.Kind) << " \"" << row.Hex << '"';
}

class ExplainValueCase : public ::testing::TestWithParam<ExplanationCase> {};

TEST_P(ExplainValueCase, SaysWhatTheBytesMean) {
  EXPECT_EQ(ExplainValue(GetParam().Kind, ReadHexBytes(GetParam().Hex).Bytes), GetParam().Words);
}

constexpr auto kFile = ValueExplanation::FileDescriptor;
constexpr auto kLife = ValueExplanation::LifeCycleStatus;

INSTANTIATE_TEST_SUITE_P(
    Rows, ExplainValueCase,
    ::testing::Values(
        ExplanationCase{kFile, "38", "DF, not shareable"}, ExplanationCase{kFile, "78", "DF, shareable"},
        ExplanationCase{kFile, "39", "EF of BER-TLV structure, not shareable"},
        ExplanationCase{kFile, "3A", "EF of SIMPLE-TLV structure, not shareable"},
        ExplanationCase{kFile, "3B", "reserved file kind"},
        ExplanationCase{kFile, "01", "working EF, not shareable, transparent"},
        ExplanationCase{kFile, "0E", "internal EF, not shareable, cyclic"},
        ExplanationCase{kFile, "17", "proprietary EF, not shareable, cyclic, TLV records"},
        ExplanationCase{kFile, "81", "proprietary file descriptor"},
        ExplanationCase{
            kFile, "41 21",
            "working EF, shareable, transparent; data coding: proprietary write, 1-byte data units"},
        ExplanationCase{kFile, "01 50",
                        "working EF, not shareable, transparent; data coding: write OR, half-byte data "
                        "units, FF valid as a tag's first byte"},
        ExplanationCase{kFile, "02 63 10",
                        "working EF, not shareable, linear fixed; data coding: write AND, 4-byte data "
                        "units; records of up to 16 bytes"},
        ExplanationCase{kFile, "04 01 01 00 05",
                        "working EF, not shareable, linear variable; data coding: one-time write, "
                        "1-byte data units; records of up to 256 bytes, 5 records"},
        ExplanationCase{kFile, "06 21 00 10 01 2C",
                        "working EF, not shareable, cyclic; data coding: proprietary write, "
                        "1-byte data units; records of up to 16 bytes, 300 records"},
        ExplanationCase{kFile, "", ""}, ExplanationCase{kLife, "00", "no information given"},
        ExplanationCase{kLife, "01", "creation state"}, ExplanationCase{kLife, "02", "reserved"},
        ExplanationCase{kLife, "03", "initialisation state"},
        ExplanationCase{kLife, "04", "operational state, deactivated"},
        ExplanationCase{kLife, "07", "operational state, activated"},
        ExplanationCase{kLife, "08", "reserved"}, ExplanationCase{kLife, "0C", "termination state"},
        ExplanationCase{kLife, "0F", "termination state"}, ExplanationCase{kLife, "10", "proprietary"},
        ExplanationCase{ValueExplanation::None, "05", ""}));

}  // namespace
}  // namespace tessaly
