#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "TempDir.h"
#include "VirtualReaderPagesFixture.h"
#include "app/ExchangeAnswerView.h"
#include "app/ExchangePage.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

constexpr char kCommands[] =
    "; commands of the test card\n"
    "+\t00\tA4\tSELECT\n"
    "+\t00\tB0\tREAD BINARY\n"
    "+\t00\t20\tVERIFY\n";
constexpr char kStatusWords[] =
    "+\t90\t00\t008000\tNormal processing\n"
    "+\t61\tXX\t3C7800\tMore data waiting\n"
    "+\t6C\tXX\t005AB4\tWrong Le, SW2 gives the right one\n"
    "+\t63\tXX\t005AB4\tMemory changed\n"
    "+\t63\tCX\t005AB4\tWrong PIN, tries left in the low digit\n"
    "+\t6A\tXX\t0000C0\tWrong parameters\n"
    "+\t6A\t82\t0000C0\tFile or application not found\n";

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

std::string ReadText(const std::filesystem::path& file) {
  std::ostringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  return text.str();
}

// The Exchange page over the virtual reader's card, whose card type names a command and a status-word file
// of the test's own.
class ExchangePageTest : public VirtualReaderPagesTest {
 protected:
  ExchangePageTest() {
    WriteText(folder_ / "card.cct", kCommands);
    WriteText(folder_ / "card.swt", kStatusWords);
    TPreferencesATRRec cardType;
    kernel_->Settings->ReadCardType(kCardType, cardType);
    cardType.WindowPreferences.TemplatesCOS = (folder_ / "card.cct").string();
    cardType.WindowPreferences.TemplatesSW = (folder_ / "card.swt").string();
    kernel_->Settings->WriteCardType(kCardType, cardType);
  }

  // Starts with the card opened under the protocol given, and counts what reaches the card from here on.
  void Start(std::int32_t protocol = 2) {
    kernel_->Settings->SetProtocol(protocol);
    ASSERT_TRUE(StartAndSettle());
    DeviceLayer& layer = *layer_;
    Page().SetReaderExchange(
        {[&layer](int n) { return layer.CardOpen(n); },
         [&layer, this](int n, std::span<const std::uint8_t> command, ExchangeDone done) {
           ++sent_;
           layer.Transmit(n, command, std::move(done));
         },
         [&layer](int n) { layer.CancelExchange(n); }});
    Page().RefreshReaders();
  }

  bool AwaitAnswer() {
    return Await([this] { return !Page().ExchangeUnderWay(); });
  }
  // Sends what the fields make up and waits for the answer.
  bool Send() { return Page().Send() && AwaitAnswer(); }
  bool RunScript() {
    return Page().RunScript() && Await([this] { return !Page().ScriptRunning(); });
  }

  ExchangePage& Page() { return pages_->Exchange(); }
  QLineEdit& Field(ApduField field) { return Page().FieldEdit(field); }

  void Fill(const ApduFieldTexts& fields) {
    Field(ApduField::Cla).setText(QString::fromStdString(fields.Cla));
    Field(ApduField::Ins).setText(QString::fromStdString(fields.Ins));
    Field(ApduField::P1).setText(QString::fromStdString(fields.P1));
    Field(ApduField::P2).setText(QString::fromStdString(fields.P2));
    Field(ApduField::Data).setText(QString::fromStdString(fields.Data));
    Field(ApduField::Le).setText(QString::fromStdString(fields.Le));
  }

  // The answer's row of that caption as "hex | text".
  std::string Row(const QString& caption) {
    const QTreeWidgetItem* row = Page().AnswerView().Row(caption);
    return row != nullptr ? (row->text(1) + " | " + row->text(2)).toStdString() : "<missing>";
  }

  static constexpr char kCardType[] = "ISO-7816 Smart Card";
  TempDir folder_;
  int sent_ = 0;
};

TEST_F(ExchangePageTest, AFileSelectedByCommandNameAnswers9000WithItsMeaningAndColour) {
  Start();
  ASSERT_EQ(Page().ReaderChoice().count(), 1);
  EXPECT_EQ(Page().ReaderChoice().currentText(), QStringLiteral("%1 (%2)").arg(kVirtualReader, kCardType));
  // The card type's default APDU: SELECT of the master file.
  EXPECT_EQ(Field(ApduField::Ins).text(), "A4");
  EXPECT_EQ(Field(ApduField::Data).text(), "3F 00");

  Fill({"80", "B0", "00", "00", "2F 01", ""});
  QComboBox& commands = Page().CommandChoice();
  ASSERT_EQ(commands.count(), 3);
  const int select = commands.findText("SELECT  (00 A4)");
  ASSERT_GE(select, 0);
  emit commands.activated(select);
  EXPECT_EQ(Field(ApduField::Cla).text(), "00");
  EXPECT_EQ(Field(ApduField::Ins).text(), "A4");

  emit Field(ApduField::Data).returnPressed();
  ASSERT_TRUE(AwaitAnswer());
  EXPECT_EQ(sent_, 1);
  EXPECT_EQ(Row("SW1 SW2"), "90 00 | Normal processing");
  EXPECT_EQ(Page().StatusWordLabel().text(), "SW1 SW2 = 90 00: Normal processing");
  EXPECT_EQ(Page().AnswerView().Row("SW1 SW2")->foreground(1).color(), QColor(0x00, 0x80, 0x00));
  EXPECT_EQ(Page().AnswerView().Row("Steps"), nullptr);
  ASSERT_EQ(Page().History().count(), 1);
  EXPECT_EQ(Page().History().item(0)->text(), "00 A4 00 00 02 2F 01  \u2192 90 00");

  emit Page().History().itemDoubleClicked(Page().History().item(0));
  ASSERT_TRUE(AwaitAnswer());
  EXPECT_EQ(sent_, 2);
  EXPECT_EQ(Page().History().count(), 2);
}

TEST_F(ExchangePageTest, UnderT0AWrongLeIsCompletedThrough6CxxAndEveryStepShown) {
  Start(1);
  Fill({"00", "A4", "00", "00", "2F 01", ""});
  ASSERT_TRUE(Send());
  EXPECT_EQ(Row("1 Received"), "61 10 | More data waiting");

  Fill({"00", "B0", "00", "00", "", "FF"});
  ASSERT_TRUE(Send());
  EXPECT_EQ(Row("SW1 SW2"), "90 00 | Normal processing");
  EXPECT_EQ(Row("0000"), "54 65 73 73 61 6C 79 20 | Tessaly ");
  const QTreeWidgetItem* steps = Page().AnswerView().Row("Steps");
  ASSERT_NE(steps, nullptr);
  ASSERT_EQ(steps->childCount(), 4);
  EXPECT_EQ(steps->child(0)->text(1), "00 B0 00 00 FF");
  EXPECT_EQ(steps->child(1)->text(1), "6C 3D");
  EXPECT_EQ(steps->child(1)->text(2), "Wrong Le, SW2 gives the right one");
  EXPECT_EQ(steps->child(2)->text(1), "00 B0 00 00 3D");
  EXPECT_TRUE(steps->child(3)->text(1).endsWith("90 00"));
}

TEST_F(ExchangePageTest, AWrongPinShows63CxExplainedByTheWildcardEntry) {
  Start();
  ASSERT_TRUE(Page().ChooseCommand("VERIFY"));
  Fill({Field(ApduField::Cla).text().toStdString(), Field(ApduField::Ins).text().toStdString(), "00", "81",
        "31 31 31 31", ""});
  ASSERT_TRUE(Send());
  EXPECT_EQ(Row("SW1 SW2"), "63 C2 | Wrong PIN, tries left in the low digit");
  EXPECT_EQ(Page().AnswerView().Row("SW1 SW2")->foreground(1).color(), QColor(0xB4, 0x5A, 0x00));
}

TEST_F(ExchangePageTest, BadInputIsRefusedNextToItsFieldAndNothingIsSent) {
  Start();
  struct Case {
    ApduFieldTexts Fields;
    ApduField Field;
    QString Message;
  };
  const Case cases[] = {
      {{"00", "A4", "00", "00", "3F 0G", ""}, ApduField::Data, "Data: 'G' is not a hexadecimal digit"},
      {{"00", "A4", "00", "00", "3F 0", ""},
       ApduField::Data,
       "Data: an odd number of digits; every byte takes two"},
      {{"00", "A4", "100", "00", "3F 00", ""}, ApduField::P1, "P1: 100 is out of range (one byte, 00 to FF)"},
      {{"00", "D6", "00", "00", std::string(600, 'A'), ""},
       ApduField::Data,
       "Data: 300 bytes are too many (more than 255 need extended length)"},
  };
  for (const Case& c : cases) {
    Fill(c.Fields);
    EXPECT_FALSE(Page().Send());
    EXPECT_EQ(Page().MessageLabel().text(), c.Message);
    EXPECT_FALSE(Field(c.Field).styleSheet().isEmpty()) << c.Message.toStdString();
  }
  EXPECT_EQ(sent_, 0);

  Fill({"00", "A4", "00", "00", "3F 00", ""});
  layer_->CloseCard(0);
  ASSERT_TRUE(Await([this] { return Page().ReaderChoice().count() == 0; }));
  EXPECT_FALSE(Page().Send());
  EXPECT_EQ(Page().MessageLabel().text(), "No reader holds an open card: open one on the Monitor page");
  EXPECT_EQ(Page().ReaderChoice().count(), 0);
  EXPECT_EQ(sent_, 0);
  EXPECT_EQ(Page().History().count(), 0);
}

TEST_F(ExchangePageTest, ACommandUnderWayTurnsSendIntoCancelAndRunIntoStop) {
  Start();
  // The card answers when the test says so.
  ExchangeDone pending;
  int cancels = 0;
  const auto answer = [&](ExchangeOutcome outcome) { std::exchange(pending, nullptr)(outcome); };
  Page().SetReaderExchange(
      {[](int) { return true; },
       [&](int, std::span<const std::uint8_t>, ExchangeDone done) { pending = std::move(done); },
       [&](int) {
         ++cancels;
         answer({{}, "Cancelled: the card had not answered"});
       }});
  Fill({"00", "A4", "00", "00", "3F 00", ""});
  ASSERT_TRUE(Page().Send());
  EXPECT_TRUE(Page().ExchangeUnderWay());
  EXPECT_EQ(Page().SendButton().text(), "Cancel");
  EXPECT_FALSE(Page().SendCommand({0x00, 0xB0, 0x00, 0x00}));
  EXPECT_EQ(Page().MessageLabel().text(), "A command is under way: wait for its answer, or cancel it");

  emit Page().SendButton().clicked();
  EXPECT_EQ(cancels, 1);
  EXPECT_FALSE(Page().ExchangeUnderWay());
  EXPECT_EQ(Page().SendButton().text(), "Send");
  EXPECT_EQ(Page().MessageLabel().text(), "Cancelled: the card had not answered");
  EXPECT_EQ(Page().StatusWordLabel().text(), "No answer");
  EXPECT_EQ(Page().History().count(), 0);

  WriteText(folder_ / "three.apdu", "00 A4 00 00 02 3F 00\n00 B0 00 00 01\n00 B0 00 00 02\n");
  ASSERT_TRUE(Page().LoadScript(QString::fromStdString((folder_ / "three.apdu").string())));
  ASSERT_TRUE(Page().RunScript());
  EXPECT_EQ(Page().RunButton().text(), "Stop");
  ExchangeOutcome done;
  done.Result.Response = {0x90, 0x00};
  done.Result.Steps = {{{0x00}, {0x90, 0x00}}};
  answer(done);
  ASSERT_TRUE(pending) << "the second line goes once the first has its answer";
  emit Page().RunButton().clicked();
  EXPECT_FALSE(Page().ScriptRunning());
  EXPECT_EQ(Page().ScriptAnswered(), 1);
  EXPECT_EQ(Page().RunButton().text(), "Run");
  EXPECT_EQ(Page().MessageLabel().text(), "Script stopped at line 2: Cancelled: the card had not answered");
}

TEST_F(ExchangePageTest, ASavedScriptRunsAgainStoppingAtTheFirstErrorUnlessToldToGoOn) {
  Start();
  for (const char* file : {"2F 01", "7F 7F"}) {
    Fill({"00", "A4", "00", "00", file, ""});
    ASSERT_TRUE(Send());
  }
  Fill({"00", "B0", "00", "00", "", "07"});
  ASSERT_TRUE(Send());
  const std::filesystem::path script = folder_ / "session.apdu";
  ASSERT_TRUE(Page().SaveScript(QString::fromStdString(script.string())));
  const std::string text = ReadText(script);
  EXPECT_NE(text.find("00 A4 00 00 02 7F 7F  ; 6A 82 File or application not found\r\n"), std::string::npos);
  EXPECT_EQ(Page().HistoryText().count('\n'), 2);

  ASSERT_TRUE(Page().LoadScript(QString::fromStdString(script.string())));
  EXPECT_EQ(Page().ScriptLabel().text(), "session.apdu: 3 commands");
  ASSERT_TRUE(RunScript());
  EXPECT_EQ(Page().ScriptAnswered(), 2);
  EXPECT_EQ(Page().MessageLabel().text(), "Script stopped at line 3: 6A 82 File or application not found");

  Page().ContinueOnErrorBox().setChecked(true);
  ASSERT_TRUE(RunScript());
  EXPECT_EQ(Page().ScriptAnswered(), 3);
  EXPECT_EQ(Row("0000"), "54 65 73 73 61 6C 79 | Tessaly");
  EXPECT_EQ(Page().History().count(), 8);
  EXPECT_EQ(sent_, 8);

  WriteText(folder_ / "bad.apdu", "00 A4 00 00\r\n00 B0 0\r\n");
  EXPECT_FALSE(Page().LoadScript(QString::fromStdString((folder_ / "bad.apdu").string())));
  ASSERT_EQ(errorBoxes_.Texts().size(), 1u);
  EXPECT_NE(errorBoxes_.Texts()[0].find("Line 2: "), std::string::npos);
  EXPECT_EQ(Page().ScriptLabel().text(), "session.apdu: 3 commands");
}

}  // namespace
}  // namespace tessaly::test
