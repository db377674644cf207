// The Exchange page's history copied and saved as a transcript or a script, and scripts in scriptor's form.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <string>

#include "ExchangePageFixture.h"
#include "device/ApduText.h"
#include "pcsc/PcscCodes.h"
#include "platform/TextRules.h"

namespace tessaly::test {
namespace {

constexpr char kTextFileContent[] = "Tessaly Easy virtual card by Orvane. Serial number 0000 0001.";

std::string HexOf(const std::string& text) {
  return HexText(std::vector<std::uint8_t>(text.begin(), text.end()));
}

class ExchangeHistoryTest : public ExchangePageTest {
 protected:
  void ChooseForm(HistoryForm form) {
    Page().History().FormChoice().setCurrentIndex(
        Page().History().FormChoice().findData(static_cast<int>(form)));
  }
  std::vector<std::string> HistoryLines() { return SplitLines(Page().History().Text().toStdString()); }
};

TEST_F(ExchangeHistoryTest, EveryAnswerIsKeptWholeWithItsStepsAndGoesOutAsATranscriptOrAScript) {
  Start(kProtocolT0);
  Fill({"00", "A4", "00", "00", "2F 01", ""});
  ASSERT_TRUE(Send());
  Fill({"00", "B0", "00", "00", "", "FF"});
  ASSERT_TRUE(Send());
  ASSERT_TRUE(Page().ResetCard());
  ASSERT_TRUE(AwaitCard());
  ASSERT_EQ(Page().History().Entries().Count(), 3);
  EXPECT_EQ(HistoryRow(2), "reset  \u2192 OK");

  ChooseForm(HistoryForm::Transcript);
  const std::vector<std::string> lines = HistoryLines();
  ASSERT_EQ(lines.size(), 15u) << Page().History().Text().toStdString();
  EXPECT_EQ(lines[0], "> 00 A4 00 00 02 2F 01");
  EXPECT_TRUE(lines[1].starts_with("< ") && lines[1].ends_with(" 90 00 : Normal processing")) << lines[1];
  // The answer is the file's FCI: its tree follows as comments.
  EXPECT_EQ(lines[2], "# 6F File control information (FCI) template, 14 bytes");
  EXPECT_EQ(lines[3], "#   82 File descriptor, 1 byte: 01 (working EF, not shareable, transparent)");
  EXPECT_EQ(lines[6], "#   8A Life cycle status, 1 byte: 05 (operational state, activated)");
  EXPECT_EQ(lines[7], "# step 1: 00 A4 00 00 02 2F 01 -> 61 10");
  EXPECT_TRUE(lines[8].starts_with("# step 2: 00 C0 00 00 10 -> ")) << lines[8];
  EXPECT_EQ(lines[9], "> 00 B0 00 00 FF");
  EXPECT_EQ(lines[10], "< " + HexOf(kTextFileContent) + " 90 00 : Normal processing");
  EXPECT_EQ(lines[11], "# step 1: 00 B0 00 00 FF -> 6C 3D");
  EXPECT_EQ(lines[12], "# step 2: 00 B0 00 00 3D -> " + HexOf(kTextFileContent) + " 90 00");
  EXPECT_EQ(lines[13], "> RESET");
  EXPECT_EQ(lines[14], "< OK: " + ReaderTable[0].CardInfo.ATR);

  // Copy takes the selected entries only; Save the whole history, with the form's suffix and LF line ends.
  const QString whole = Page().History().Text();
  QItemSelectionModel& selection = *Page().History().View().selectionModel();
  selection.select(Page().History().Entries().index(2), QItemSelectionModel::Select);
  selection.select(Page().History().Entries().index(1), QItemSelectionModel::Select);
  EXPECT_EQ(HistoryLines(), (std::vector<std::string>{lines.begin() + 9, lines.end()}));
  ASSERT_TRUE(Page().History().Save(Path("session")));
  EXPECT_EQ(FileText(folder_ / "session.txt"), whole.toStdString());
  ASSERT_TRUE(Page().LoadScript(Path("session.txt")));
  EXPECT_EQ(Page().ScriptLabel().text(), "session.txt: 2 commands, 1 reset")
      << "the tree's lines are comments";

  ChooseForm(HistoryForm::Script);
  Page().History().View().clearSelection();
  EXPECT_EQ(Page().History().Text(), "00 A4 00 00 02 2F 01\n00 B0 00 00 FF\nreset\n");
  ASSERT_TRUE(Page().History().Save(Path("session")));
  EXPECT_EQ(FileText(folder_ / "session.apdu"), "00 A4 00 00 02 2F 01\n00 B0 00 00 FF\nreset\n");

  Page().History().Clear();
  EXPECT_EQ(Page().History().Entries().Count(), 0);
  EXPECT_EQ(Page().History().Text(), "");
}

TEST_F(ExchangeHistoryTest, AScriptorScriptRunsWithItsCommentsAndResetAndItsTranscriptRunsAgain) {
  Start();
  WriteText(folder_ / "application.txt",
            "# select the application\r\n"              // 1
            "00 A4 04 0C 08 F0 54 45 53 53 41 4C 59\n"  // 2
            "\n"                                        // 3
            "# its record file, on two lines\n"         // 4
            "00 A4 02 0C \\\n"                          // 5
            "02 50 02\n"                                // 6
            "reset\n"                                   // 7
            "# out of reach once the card is reset\n"
            "00A4020C025002\n");  // 9
  ASSERT_TRUE(Page().LoadScript(Path("application.txt")));
  EXPECT_EQ(Page().ScriptLabel().text(), "application.txt: 3 commands, 1 reset");
  ASSERT_TRUE(RunScript());
  EXPECT_EQ(Page().MessageLabel().text(), "Script stopped at line 9: 6A 82 File or application not found");
  EXPECT_EQ(Page().ScriptAnswered(), 3);
  EXPECT_EQ(cardCalls_, std::vector<std::string>{"reset"});
  EXPECT_EQ(HistoryRow(2), "reset  \u2192 OK");

  ChooseForm(HistoryForm::Transcript);
  ASSERT_TRUE(Page().History().Save(Path("run.txt")));
  ASSERT_TRUE(Page().LoadScript(Path("run.txt")));
  EXPECT_EQ(Page().ScriptLabel().text(), "run.txt: 3 commands, 1 reset");
  Page().ContinueOnErrorBox().setChecked(true);
  ASSERT_TRUE(RunScript());
  EXPECT_EQ(Page().MessageLabel().text(), "Script done: 3 commands sent");
  EXPECT_EQ(cardCalls_, (std::vector<std::string>{"reset", "reset"}));
  EXPECT_EQ(sent_, 6);
}

}  // namespace
}  // namespace tessaly::test
