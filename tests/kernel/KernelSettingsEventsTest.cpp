#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "KernelEventsFixture.h"
#include "ReaderTableFixture.h"
#include "RegisteredComponent.h"
#include "monitor/MemoryTreeControl.h"
#include "monitor/_VMonitorTree.h"
#include "platform/TessalyError.h"
#include "settings/ProductIdentity.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

// The kernel's fixture with a monitor tree in memory attached to the kernel.
class KernelSettingsEventsTest : public KernelEventsTest {
 protected:
  KernelSettingsEventsTest() {
    TTreeNode* top = AppendMonitorNode(tree_, tree_.RootNode(), mkTop, "Monitor");
    AppendMonitorNode(tree_, top, mkReadersGroup, "Readers");
    kernel_.Monitor = &tree_;
  }

  // The two lines of the "Miscellaneous" group, or nothing when the group does not show them.
  Lines Miscellaneous() const {
    const Lines outline = tree_.Outline();
    for (std::size_t i = 0; i + 2 < outline.size(); ++i) {
      if (outline[i] == "    11 Miscellaneous")
        return Lines(outline.begin() + i + 1, outline.begin() + i + 3);
    }
    return {};
  }

  MemoryTreeControl tree_;
};

TEST_F(KernelSettingsEventsTest, LogPreferencesReachTheKernelAndTheMonitor) {
  EXPECT_TRUE(Miscellaneous().empty());

  kernel_.Settings->SetSeparateHexBytes(false);
  EXPECT_FALSE(SeparateHexBytes);
  EXPECT_EQ(Miscellaneous(),
            (Lines{"      12 Separate received HEX bytes = No", "      13 Events logging = Log all events"}));

  StoreLogMode(1);
  kernel_.Settings->SetSeparateHexBytes(true);
  EXPECT_TRUE(SeparateHexBytes);
  EXPECT_EQ(Miscellaneous(), (Lines{"      12 Separate received HEX bytes = Yes",
                                    "      13 Events logging = Log most useful events only "}));

  StoreLogMode(512);
  EXPECT_EQ(Miscellaneous()[1], "      13 Events logging = Log all events");
}

TEST_F(KernelSettingsEventsTest, AMissingPreferenceReadElsewhereStoresItsDefaultAndTheKernelFollows) {
  tree_.ClearJournal();
  EXPECT_EQ(kernel_.Settings->GetEventLogMode(), 1);
  EXPECT_EQ(kernel_.EventLogMode, 1);
  EXPECT_TRUE(kernel_.Settings->GetSeparateHexBytes());
  EXPECT_TRUE(SeparateHexBytes);
  EXPECT_EQ(Miscellaneous(), (Lines{"      12 Separate received HEX bytes = Yes",
                                    "      13 Events logging = Log most useful events only "}));

  const auto repaints = [this] {
    int count = 0;
    for (const auto& entry : tree_.Journal()) count += entry == "RepaintAll" ? 1 : 0;
    return count;
  };
  EXPECT_EQ(repaints(), 2);
  EXPECT_EQ(kernel_.Settings->GetEventLogMode(), 1);
  EXPECT_EQ(repaints(), 2);
}

TEST_F(KernelSettingsEventsTest, WithoutAMonitorTheLogPreferencesStillChange) {
  kernel_.Monitor = nullptr;
  kernel_.Settings->SetSeparateHexBytes(true);
  StoreLogMode(2);
  EXPECT_TRUE(SeparateHexBytes);
  EXPECT_EQ(kernel_.EventLogMode, 2);
  EXPECT_TRUE(Miscellaneous().empty());
}

TEST_F(KernelSettingsEventsTest, CardTypeChangesReloadTheCardTypesOfAllReaders) {
  device_.StartSession({"Reader 0", "Reader 1"});
  device_.AttachMonitor(&tree_);
  ReaderTable[1].CardInfo.ATR = "3B 02 14 50";
  ReaderTable[1].CardInfo.CardState = csCardReady;

  TPreferencesATRRec record;
  record.BaseType = 2;
  record.ATRs = "3B021450\r\n";
  kernel_.Settings->WriteCardType("Bank Card", record);
  kernel_.Settings->AssignATR("Bank Card", "3B 02 14 50");

  const TCardInfo& card = ReaderTable[1].CardInfo;
  EXPECT_EQ(card.Preferences.CardTypeName, "Bank Card");
  EXPECT_EQ(card.Preferences.BaseType, 2);
  EXPECT_EQ(card.CardState, csCardTypeLoaded);
  EXPECT_EQ(ReaderTable[0].CardInfo.CardState, csWaitingForCard);
  const Lines outline = tree_.Outline();
  const auto reader1 = std::find(outline.begin(), outline.end(), "    22 Reader 1");
  ASSERT_GE(std::distance(reader1, outline.end()), 4);
  EXPECT_EQ(Lines(reader1, reader1 + 4),
            (Lines{"    22 Reader 1", "      34 Smart Card", "        38 Protocol = < no info >",
                   "        36 ATR = 3B 02 14 50"}));
  EXPECT_EQ(kernel_.EventCount, 7);  // the session's records only
}

TEST_F(KernelSettingsEventsTest, ConnectionPreferenceChangesAreAppliedToEveryReader) {
  device_.StartSession({"Reader 0", "Reader 1"});
  kernel_.Settings->SetProtocol(1);

  EXPECT_EQ(OnDetectParams.Protocol, 1);
  EXPECT_EQ(ReaderTable[0].CurrentParams.Protocol, 1);
  EXPECT_EQ(ReaderTable[1].DetectParams.Protocol, 1);

  kernel_.Settings->SetClosingMode(3);
  EXPECT_EQ(ReaderTable[1].CurrentParams.ClosingMode, 3);
  EXPECT_EQ(ReaderTable[1].CurrentParams.Protocol, 1);
}

// Makes every connection creation fail while it lives.
class FailingConnectionFactory {
 public:
  FailingConnectionFactory()
      : previous_(SetConnectionFactory(
            [](std::unique_ptr<TRegistrySettings>&, std::uint32_t) -> std::unique_ptr<TConnection> {
              throw ETessalyError("no connection today");
            })) {}
  ~FailingConnectionFactory() { SetConnectionFactory(previous_); }
  FailingConnectionFactory(const FailingConnectionFactory&) = delete;
  FailingConnectionFactory& operator=(const FailingConnectionFactory&) = delete;

 private:
  TConnectionFactory previous_;
};

TEST(KernelConstruction, AConnectionThatCannotBeCreatedLeavesTheStoreBoundAndStartRuns) {
  ScratchHive hive;
  TempComponent component(hive.Hive());
  ErrorBoxRecorder boxes;
  ZeroReaderTable();
  {
    const FailingConnectionFactory failing;
    TKernelObject kernel(3, OpenerOf(hive));

    EXPECT_EQ(kernel.Connection, nullptr);
    ASSERT_NE(kernel.Settings, nullptr);
    EXPECT_EQ(ProductIdentity().ProductName, "Tessaly Easy");

    EXPECT_NO_THROW(kernel.Start());
    EXPECT_EQ(kernel.Settings->GetVersionSyncInfo().Status, vsEqual);
    EXPECT_EQ(kernel.Settings->GetATRIndex(), Lines{});

    kernel.Settings->SetEventLogMode(2);
    EXPECT_EQ(kernel.EventLogMode, 2);
    kernel.Settings->SetSeparateHexBytes(true);
    EXPECT_TRUE(SeparateHexBytes);
    EXPECT_NO_THROW(kernel.Settings->AssignATR("ISO-7816 Smart Card", "3B00"));
    EXPECT_NO_THROW(kernel.Settings->SetProtocol(2));
    EXPECT_EQ(OnDetectParams, TConnectParams{});
  }
  EXPECT_TRUE(boxes.Texts().empty());
  TKernelObject restored(0, OpenerOf(hive));
  EXPECT_NE(restored.Connection, nullptr);
  SeparateHexBytes = false;
  SetComponentFolder("");
}

}  // namespace
}  // namespace tessaly::test
