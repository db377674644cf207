#include "connection/ReaderTable.h"

#include <gtest/gtest.h>

#include "ReaderTableFixture.h"
#include "connection/PcscCodes.h"

namespace tessaly {
namespace {

using ReaderParams = test::ReaderTableTest;

// Every field differs from its zeroed value and from the others, so a field left out of a copy shows.
TConnectParams SampleParams() {
  return {.StatusFlag = 7,
          .AutoOpen = true,
          .Protocol = kProtocolT1,
          .ShareMode = kShareDirect,
          .ClosingMode = kEjectCard};
}

void ExpectSameFields(const TConnectParams& actual, const TConnectParams& expected) {
  EXPECT_EQ(actual.StatusFlag, expected.StatusFlag);
  EXPECT_EQ(actual.AutoOpen, expected.AutoOpen);
  EXPECT_EQ(actual.Protocol, expected.Protocol);
  EXPECT_EQ(actual.ShareMode, expected.ShareMode);
  EXPECT_EQ(actual.ClosingMode, expected.ClosingMode);
}

// Each test runs in a process of its own, so this sees the table as the process starts.
TEST(ReaderTableStart, ProcessStartsWithTenZeroedEntries) {
  ASSERT_EQ(ReaderTable.size(), 10u);
  EXPECT_EQ(ServiceContext, 0u);
  EXPECT_EQ(OnDetectParams, TConnectParams{});
  for (const TReaderHead& entry : ReaderTable) {
    EXPECT_TRUE(entry.ReaderName.empty());
    EXPECT_EQ(entry.ReaderInUse, 0u);
    EXPECT_EQ(entry.CardInfo.CardState, csNoCard);
    EXPECT_EQ(entry.CardInfo.InfoList, nullptr);
    EXPECT_EQ(entry.Templates, nullptr);
    EXPECT_TRUE(entry.CardInfo.ATR.empty());
    EXPECT_EQ(entry.CurrentParams, TConnectParams{});
    EXPECT_EQ(entry.DetectParams, TConnectParams{});
  }
}

TEST_F(ReaderParams, DetectParamsThenResetCopiesEveryField) {
  const TConnectParams params = SampleParams();
  SetReaderDetectParams(4, params);
  ExpectSameFields(ReaderTable[4].DetectParams, params);
  ExpectSameFields(ReaderTable[4].CurrentParams, TConnectParams{});

  ResetReaderParams(4);
  ExpectSameFields(ReaderTable[4].CurrentParams, params);
  ExpectSameFields(ReaderTable[4].DetectParams, params);
}

TEST_F(ReaderParams, OnlyTheNamedEntryChanges) {
  SetReaderDetectParams(0, SampleParams());
  ResetReaderParams(0);
  SetReaderDetectParams(9, SampleParams());
  for (int i = 1; i < 9; ++i) {
    EXPECT_EQ(ReaderTable[i].DetectParams, TConnectParams{}) << i;
    EXPECT_EQ(ReaderTable[i].CurrentParams, TConnectParams{}) << i;
  }
  EXPECT_EQ(ReaderTable[9].DetectParams, SampleParams());
  EXPECT_EQ(ReaderTable[9].CurrentParams, TConnectParams{});
}

TEST_F(ReaderParams, ResetReplacesParamsTheDeviceLayerChanged) {
  SetReaderDetectParams(2, SampleParams());
  ReaderTable[2].CurrentParams = {.StatusFlag = 1,
                                  .AutoOpen = false,
                                  .Protocol = kProtocolRaw,
                                  .ShareMode = kShareExclusive,
                                  .ClosingMode = kLeaveCard};
  ResetReaderParams(2);
  ExpectSameFields(ReaderTable[2].CurrentParams, SampleParams());
}

TEST_F(ReaderParams, IndexOutsideTheTableChangesNothing) {
  for (int n : {-1, 10, 11, INT32_MIN}) {
    SetReaderDetectParams(n, SampleParams());
    ResetReaderParams(n);
  }
  for (const TReaderHead& entry : ReaderTable) {
    EXPECT_EQ(entry.DetectParams, TConnectParams{});
    EXPECT_EQ(entry.CurrentParams, TConnectParams{});
  }
}

}  // namespace
}  // namespace tessaly
