#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "KernelEventsFixture.h"
#include "ReaderTableFixture.h"
#include "RegisteredComponent.h"
#include "monitor/MemoryTreeControl.h"
#include "monitor/_VMonitorTree.h"
#include "settings/ProductIdentity.h"
#include "settings/_RegistryWorks.h"
#include "templates/_TemplatesObject.h"

namespace tessaly::test {
namespace {

namespace fs = std::filesystem;

const std::string kDefaultCardType = "ISO-7816 Smart Card";
const std::string kAtr = "3b 8f 80 01 80 4f 0c a0";

void WriteTemplate(const fs::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

std::vector<std::string> CommandNames(const TTemplatesObject& templates) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < templates.Commands.Count(); ++i) {
    names.push_back(templates.Commands.TextAt(i, "Name"));
  }
  return names;
}

std::vector<std::string> StatusWords(const TTemplatesObject& templates) {
  std::vector<std::string> words;
  for (std::size_t i = 0; i < templates.StatusWords.Count(); ++i) {
    words.push_back(templates.StatusWords.TextAt(i, "SW") + " " + templates.StatusWords.TextAt(i, "Verbose"));
  }
  return words;
}

// The whole program below its window: the kernel built and started on an empty scratch hive, a host's monitor
// tree, and a device layer that connects the service, lists one reader and detects a card no card type lists.
class CardRoadTest : public ::testing::Test {
 protected:
  CardRoadTest() { ZeroReaderTable(); }
  ~CardRoadTest() override {
    ZeroReaderTable();
    SeparateHexBytes = false;
    SetComponentFolder("");
  }

  ScratchHive hive_;
  TempComponent component_{hive_.Hive()};
  ErrorBoxRecorder errorBoxes_;
  MemoryTreeControl tree_;
};

TEST_F(CardRoadTest, ADetectedCardWithAnUnlistedAtrTravelsTheWholeRoad) {
  TKernelObject kernel(0, OpenerOf(hive_));
  ASSERT_NE(kernel.Connection, nullptr);
  kernel.Start();
  ASSERT_TRUE(kernel.Settings->GetATRIndex().empty());

  const fs::path templates = fs::path(kernel.Settings->GetWorkDir()) / "Templates";
  ASSERT_TRUE(fs::is_directory(templates));
  WriteTemplate(templates / "ISO-7816-4.cct", "+\t00\tA4\tSELECT FILE\r\n+\t00\tB0\tREAD BINARY\r\n");
  WriteTemplate(templates / "ISO-7816-4.swt", "+\t90\t00\t00FF00\tSuccess\r\n");

  TTreeNode* top = AppendMonitorNode(tree_, tree_.RootNode(), mkTop, "Monitor");
  AppendMonitorNode(tree_, top, mkReadersGroup, "Readers");
  kernel.Monitor = &tree_;
  TSimulatedDevice device(*kernel.Connection);
  device.AttachMonitor(&tree_);
  device.StartSession({"Reader A"});

  KernelEventRecorder recorder(kernel);
  int clockReadings = 0;
  kernel.SetLogClock([&] { return kClockStart + std::chrono::seconds{++clockReadings}; });
  std::uint8_t stateWhenReady = csNoCard;
  kernel.OnCardReady = [&](const std::string& reader, TCardInfo& card) {
    stateWhenReady = card.CardState;
    recorder.Add("OnCardReady(" + reader + ", " + card.Preferences.CardTypeName + ")");
  };

  device.InsertCard(0, kAtr, 2, {"Vendor=Orvane"});

  EXPECT_EQ(kernel.Settings->GetATRIndex(), Lines{"3b8f8001804f0ca0=" + kDefaultCardType});
  const TCardInfo& card = ReaderTable[0].CardInfo;
  EXPECT_EQ(card.Preferences.CardTypeName, kDefaultCardType);
  EXPECT_EQ(card.Preferences.BaseType, 1);
  EXPECT_EQ(card.Preferences.WindowPreferences.DefaultAPDU.Ins, "A4");
  EXPECT_EQ(card.CardState, csCardTypeLoaded);
  EXPECT_EQ(stateWhenReady, csCardTypeLoaded);
  EXPECT_EQ(CommandNames(device.Templates(0)), (Lines{"READ BINARY", "SELECT FILE"}));
  EXPECT_EQ(StatusWords(device.Templates(0)), (Lines{"**** Not defined", "9000 Success"}));

  EXPECT_EQ(recorder.Events(),
            (Lines{
                "OnLog(8, 12, Reader A, Reader state changed, 0x00000020 : PRESENT : Reader A, +1s)",
                "OnReaderStateChanged(connection, 0, 32, Reader A, [State=PRESENT|Reader=Reader A], 0)",
                "OnLog(9, 19, Reader A, Card detected, Card was detected in the reader, +2s)",
                "OnCardStateChanged(Reader A, 2)",
                "OnCardDetected(Reader A, entry 0)",
                "OnLog(10, 21, Reader A, Card ready, ATR = 3b 8f 80 01 80 4f 0c a0, +3s)",
                "OnCardStateChanged(Reader A, 4)",
                "OnCardReady(Reader A, ISO-7816 Smart Card)",
            }));

  EXPECT_EQ(tree_.Outline(), (Lines{
                                 "0 Monitor",
                                 "  20 Readers",
                                 "    22 Reader A",
                                 "      34 Smart Card",
                                 "        38 Protocol = T1   ( 0x00000002 )",
                                 "        36 ATR = 3b 8f 80 01 80 4f 0c a0",
                                 "        40 Sharing Mode =    ( 0x00000000 )",
                                 "        50 Card Info",
                                 "          53 Vendor = Orvane",
                                 "      30 Device Info",
                                 "      24 Device State",
                             }));
  EXPECT_TRUE(errorBoxes_.Texts().empty());
}

std::string Column(TKeyedTable& table, std::string_view keyColumn, std::string_view key,
                   std::string_view column) {
  return table.Locate(keyColumn, key) ? table.AsText(column) : "(no " + std::string(key) + ")";
}

// The settings store's changes reach a reader with a card at once: the kernel refreshes every reader.
TEST_F(CardRoadTest, ShippedTemplatesServeTheCardAndADeletedCardTypeFallsBackToTheDefault) {
  TKernelObject kernel(0, OpenerOf(hive_));
  ASSERT_NE(kernel.Connection, nullptr);
  kernel.Start();
  TPreferencesATRRec sim;
  kernel.Settings->MakeDefaultCardType(2, sim);
  sim.ATRs = kAtr;
  kernel.Settings->WriteCardType("Operator SIM", sim);
  TSimulatedDevice device(*kernel.Connection);
  device.StartSession({"Reader A"});

  device.InsertCard(0, kAtr);

  const TCardInfo& card = ReaderTable[0].CardInfo;
  TTemplatesObject& templates = device.Templates(0);
  EXPECT_EQ(card.Preferences.CardTypeName, "Operator SIM");
  EXPECT_EQ(Column(templates.Commands, "Name", "SELECT", "Cla"), "A0");
  EXPECT_EQ(Column(templates.StatusWords, "SW", "9404", "Verbose"), "File ID not found or pattern not found");

  kernel.Settings->DeleteCardType("Operator SIM");

  EXPECT_EQ(card.Preferences.CardTypeName, kDefaultCardType);
  EXPECT_EQ(kernel.Settings->GetCardTypeNames(), (Lines{"GSM SIM Card", kDefaultCardType}));
  EXPECT_EQ(Column(templates.Commands, "Name", "SELECT", "Cla"), "00");
  EXPECT_EQ(Column(templates.StatusWords, "SW", "6A82", "Verbose"), "File or application not found");
  EXPECT_TRUE(errorBoxes_.Texts().empty());
}

}  // namespace
}  // namespace tessaly::test
