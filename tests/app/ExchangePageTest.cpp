#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFontMetrics>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>
#include <string>
#include <utility>

#include "ExchangePageFixture.h"
#include "app/CardControls.h"
#include "app/ExchangeAnswerView.h"
#include "app/ExchangeStructureView.h"
#include "pcsc/PcscCodes.h"

namespace tessaly::test {
namespace {

TEST_F(ExchangePageTest, AFileSelectedByCommandNameAnswers9000WithItsMeaningAndColour) {
  Start();
  ASSERT_EQ(Page().ReaderChoice().count(), 1);
  EXPECT_EQ(Page().ReaderChoice().currentText(), QStringLiteral("%1 (%2)").arg(kVirtualReader, kCardType));
  // The card type's default APDU: SELECT of the master file.
  EXPECT_EQ(Field(ApduField::Ins).text(), "A4");
  EXPECT_EQ(Field(ApduField::Data).text(), "3F 00");

  Fill({"80", "B0", "00", "00", "2F 01", ""});
  QComboBox& commands = Page().CommandChoice();
  ASSERT_EQ(commands.count(), 4);
  const int select = commands.findText("SELECT  (00 A4)");
  ASSERT_GE(select, 0);
  emit commands.activated(select);
  EXPECT_EQ(Field(ApduField::Cla).text(), "00");
  EXPECT_EQ(Field(ApduField::Ins).text(), "A4");

  emit Field(ApduField::Data).returnPressed();
  ASSERT_TRUE(AwaitAnswer());
  EXPECT_EQ(sent_, 1);
  EXPECT_EQ(Page().MessageLabel().text(), "") << "the note that the page waits goes with the answer";
  EXPECT_EQ(Row("SW1 SW2"), "90 00 | Normal processing");
  EXPECT_EQ(Page().StatusWordLabel().text(), "SW1 SW2 = 90 00: Normal processing");
  EXPECT_EQ(Page().AnswerView().Row("SW1 SW2")->foreground(1).color(), QColor(0x00, 0x80, 0x00));
  EXPECT_EQ(Page().AnswerView().Row("Steps"), nullptr);
  ASSERT_EQ(Page().History().Entries().Count(), 1);
  EXPECT_EQ(HistoryRow(0), "00 A4 00 00 02 2F 01  \u2192 90 00");

  emit Page().History().View().doubleClicked(Page().History().Entries().index(0));
  ASSERT_TRUE(AwaitAnswer());
  EXPECT_EQ(sent_, 2);
  EXPECT_EQ(Page().History().Entries().Count(), 2);
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
  EXPECT_EQ(
      Row("SW1 SW2"),
      "63 C2 | Wrong PIN: the low digit of SW2 tells how many tries are left before the PIN is blocked");
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
  ASSERT_TRUE(Await([this] { return Page().ReaderChoice().currentText().endsWith("(card closed)"); }));
  EXPECT_FALSE(Page().Send());
  EXPECT_EQ(Page().MessageLabel().text(),
            QStringLiteral("No card is open in %1: connect it first").arg(kVirtualReader));
  EXPECT_EQ(sent_, 0);
  EXPECT_EQ(Page().History().Entries().Count(), 0);
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
       },
       {},
       {},
       {}});
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
  EXPECT_EQ(Page().History().Entries().Count(), 0);

  WriteText(folder_ / "three.apdu", "00 A4 00 00 02 3F 00\n00 B0 00 00 01\n00 B0 00 00 02\n");
  ASSERT_TRUE(Page().LoadScript(Path("three.apdu")));
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
  Page().History().FormChoice().setCurrentIndex(
      Page().History().FormChoice().findData(static_cast<int>(HistoryForm::Script)));
  ASSERT_TRUE(Page().History().Save(Path("session")));
  EXPECT_EQ(FileText(folder_ / "session.apdu"),
            "00 A4 00 00 02 2F 01\n00 A4 00 00 02 7F 7F\n00 B0 00 00 07\n");

  ASSERT_TRUE(Page().LoadScript(Path("session.apdu")));
  EXPECT_EQ(Page().ScriptLabel().text(), "session.apdu: 3 commands");
  ASSERT_TRUE(RunScript());
  EXPECT_EQ(Page().ScriptAnswered(), 2);
  EXPECT_EQ(Page().MessageLabel().text(), "Script stopped at line 2: 6A 82 File or application not found");

  Page().ContinueOnErrorBox().setChecked(true);
  ASSERT_TRUE(RunScript());
  EXPECT_EQ(Page().ScriptAnswered(), 3);
  EXPECT_EQ(Page().MessageLabel().text(), "Script done: 3 commands sent");
  EXPECT_EQ(Row("0000"), "54 65 73 73 61 6C 79 | Tessaly");
  EXPECT_EQ(Page().History().Entries().Count(), 8);
  EXPECT_EQ(sent_, 8);

  // A script of an earlier version, notes after ";" and CR LF line ends, reads as it did.
  WriteText(folder_ / "old.apdu", "; Tessaly Easy APDU script\r\n00 A4 00 00 02 2F 01  ; 90 00 Normal\r\n");
  ASSERT_TRUE(Page().LoadScript(Path("old.apdu")));
  EXPECT_EQ(Page().ScriptLabel().text(), "old.apdu: 1 command");

  WriteText(folder_ / "bad.apdu", "00 A4 00 00\r\n00 B0 0\r\n");
  EXPECT_FALSE(Page().LoadScript(Path("bad.apdu")));
  ASSERT_EQ(errorBoxes_.Texts().size(), 1u);
  EXPECT_NE(errorBoxes_.Texts()[0].find("Line 2: "), std::string::npos);
  EXPECT_EQ(Page().ScriptLabel().text(), "old.apdu: 1 command");
}

TEST_F(ExchangePageTest, TheCommandNameFollowsClaAndInsAsTheyAreTyped) {
  Start();
  QComboBox& commands = Page().CommandChoice();
  // The card type's default APDU is a SELECT.
  EXPECT_EQ(commands.currentText(), "SELECT  (00 A4)");
  Fill({"00", "B0", "00", "00", "", "10"});
  EXPECT_EQ(commands.currentText(), "READ BINARY  (00 B0)");
  Field(ApduField::Ins).setText("20");
  EXPECT_EQ(commands.currentText(), "VERIFY  (00 20)");
  Field(ApduField::Ins).setText("FF");
  EXPECT_EQ(commands.currentIndex(), -1);
  Field(ApduField::Ins).setText(" a4");
  Field(ApduField::Cla).setText("0");
  EXPECT_EQ(commands.currentText(), "SELECT  (00 A4)") << "the byte counts, not the way it is written";
  Field(ApduField::Cla).setText("80");
  EXPECT_EQ(commands.currentIndex(), -1);

  // A name chosen keeps its place while its bytes go into the fields, though another name has them too.
  emit commands.activated(commands.findText("SELECT FILE  (00 A4)"));
  EXPECT_EQ(Field(ApduField::Cla).text(), "00");
  EXPECT_EQ(Field(ApduField::Ins).text(), "A4");
  EXPECT_EQ(commands.currentText(), "SELECT FILE  (00 A4)");
  Field(ApduField::Cla).setText("0");
  Page().RefreshReaders();
  EXPECT_EQ(commands.currentText(), "SELECT FILE  (00 A4)") << "the name shown stays while it matches";
  emit commands.activated(commands.findText("VERIFY  (00 20)"));
  EXPECT_EQ(Field(ApduField::Cla).text(), "00");
  EXPECT_EQ(Field(ApduField::Ins).text(), "20");
}

TEST_F(ExchangePageTest, TheCardIsResetReconnectedAndDisconnectedAsChosenOnThePage) {
  Start(kProtocolT1);
  CardControls& card = Page().Card();
  const auto choose = [](QComboBox& choice, std::int32_t code) {
    choice.setCurrentIndex(choice.findData(code));
  };
  const QString selectApplication = "F0 54 45 53 53 41 4C 59";

  choose(card.ProtocolChoice(), kProtocolT0);
  card.ReconnectButton().click();
  EXPECT_FALSE(card.ResetButton().isEnabled()) << "nothing else is offered while the card is reconnected";
  ASSERT_TRUE(AwaitCard());
  EXPECT_EQ(Page().MessageLabel().text(),
            QStringLiteral("The card in %1 is connected under T=0").arg(kVirtualReader));
  Fill({"00", "A4", "04", "00", selectApplication.toStdString(), ""});
  ASSERT_TRUE(Send());
  EXPECT_NE(Page().AnswerView().Row("Steps"), nullptr) << "a T=0 card hands its answer out with GET RESPONSE";

  choose(card.ClosingModeChoice(), kUnpowerCard);
  card.DisconnectButton().click();
  ASSERT_TRUE(AwaitCard());
  EXPECT_EQ(Page().MessageLabel().text(),
            QStringLiteral("The card in %1 was closed (UNPOWER CARD)").arg(kVirtualReader));
  EXPECT_EQ(Page().ReaderChoice().currentText(), QStringLiteral("%1 (card closed)").arg(kVirtualReader));
  EXPECT_FALSE(card.ResetButton().isEnabled());
  EXPECT_FALSE(card.DisconnectButton().isEnabled());
  EXPECT_EQ(card.ReconnectButton().text(), "Connect");

  choose(card.ProtocolChoice(), kProtocolT1);
  card.ReconnectButton().click();
  ASSERT_TRUE(AwaitCard());
  EXPECT_EQ(Page().ReaderChoice().currentText(), QStringLiteral("%1 (%2)").arg(kVirtualReader, kCardType));
  Fill({"00", "A4", "04", "0C", selectApplication.toStdString(), ""});
  ASSERT_TRUE(Send());
  EXPECT_EQ(Page().AnswerView().Row("Steps"), nullptr);

  // A reset selects the master file again: the application's record file is out of reach.
  card.ResetButton().click();
  ASSERT_TRUE(AwaitCard());
  Fill({"00", "A4", "02", "0C", "50 02", ""});
  ASSERT_TRUE(Send());
  EXPECT_EQ(Row("SW1 SW2"), "6A 82 | File or application not found");
  EXPECT_EQ(cardCalls_, (std::vector<std::string>{"reconnect 1", "disconnect 2", "reconnect 2", "reset"}));
}

TEST_F(ExchangePageTest, TheLayoutStaysPutWhenAMessageComesAndSixteenDataBytesFitWithoutScrollingSideways) {
  Start();
  form_->show();
  pages_->ShowPage("exchange");
  QCoreApplication::processEvents();
  ExchangeAnswerView& view = Page().AnswerView();
  const auto place = [&] { return QRect(view.mapTo(form_.get(), QPoint()), view.size()); };
  const QRect before = place();
  // A meaning that takes two lines above the answer, and a refusal that takes two under the fields.
  Fill({"00", "20", "00", "81", "31 31 31 31", ""});
  ASSERT_TRUE(Send());
  EXPECT_EQ(Page().StatusWordLabel().text(),
            "SW1 SW2 = 63 C2: Wrong PIN: the low digit of SW2 tells how many tries are left before the PIN "
            "is blocked");
  const std::string refusal =
      "The card in " + std::string(kVirtualReader) +
      " has not answered its last command: it takes commands again once it answers, or "
      "after it is reset or taken out";
  Page().SetReaderExchange(
      {[](int) { return true; },
       [&](int, std::span<const std::uint8_t>, ExchangeDone) { throw EDeviceError(refusal); },
       {},
       {},
       {},
       {}});
  EXPECT_FALSE(Page().Send());
  EXPECT_EQ(Page().MessageLabel().text().toStdString(), refusal);
  QCoreApplication::processEvents();
  EXPECT_EQ(place(), before);
  for (QLabel* label : {&Page().MessageLabel(), &Page().StatusWordLabel()})
    EXPECT_GE(label->height(), label->heightForWidth(label->width())) << "the whole text is in view";

  // Sixteen bytes as a T=0 card gives them, with the steps that took.
  ExchangeResult result;
  result.Response = {'T', 'e', 's', 's', 'a', 'l', 'y', ' ',  'E',
                     'a', 's', 'y', ' ', 'c', 'a', 'r', 0x90, 0x00};
  result.Steps = {{{0x00, 0xB0, 0x00, 0x00, 0xFF}, {0x6C, 0x10}},
                  {{0x00, 0xB0, 0x00, 0x00, 0x10}, result.Response}};
  view.Show(result, nullptr);
  view.expandAll();
  QCoreApplication::processEvents();
  EXPECT_EQ(view.horizontalScrollBar()->maximum(), 0) << "the columns are wider than the view";
  const QFont fixed = view.Row("0008")->font(2);
  EXPECT_GE(view.header()->sectionSize(2), QFontMetrics(fixed).horizontalAdvance("Easy car") + 4);
  EXPECT_GE(view.header()->sectionSize(1), QFontMetrics(fixed).horizontalAdvance("45 61 73 79 20 63 61 72"));
}

// A row of the structure as "tag and name | length | value".
std::string StructureRow(const QTreeWidgetItem* row) {
  return row != nullptr ? (row->text(0) + " | " + row->text(1) + " | " + row->text(2)).toStdString()
                        : "<missing>";
}

TEST_F(ExchangePageTest, AnAnswerOfBerTlvShowsItsStructureAndCopiesItAndOtherAnswersSayWhyNot) {
  Start();
  ExchangeStructureView& structure = Page().StructureView();
  Fill({"00", "A4", "04", "00", "F0 54 45 53 53 41 4C 59", "00"});
  ASSERT_TRUE(Send());
  QTreeWidget& tree = structure.Tree();
  ASSERT_EQ(tree.topLevelItemCount(), 1) << "the status word is no data object";
  const QTreeWidgetItem* fci = tree.topLevelItem(0);
  EXPECT_EQ(StructureRow(fci), "6F File control information (FCI) template | 20 | ");
  ASSERT_EQ(fci->childCount(), 4);
  EXPECT_EQ(StructureRow(fci->child(0)), "82 File descriptor | 1 | 38");
  EXPECT_EQ(StructureRow(fci->child(0)->child(0)), "DF, not shareable |  | ");
  EXPECT_EQ(fci->child(2)->childCount(), 0) << "a value neither printable nor explained has no reading";
  EXPECT_TRUE(fci->child(3)->toolTip(2).contains("8A Life cycle status, 1 byte: 05 (operational state"));

  // Ctrl+C in the tree, as the window system hands it over.
  form_->show();
  pages_->ShowPage("exchange");
  Page().AnswerTabs().setCurrentWidget(&structure);
  form_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form_.get()));
  tree.setFocus();
  QTest::keySequence(&tree, QKeySequence::Copy);
  const std::string fciText =
      "6F File control information (FCI) template, 20 bytes\n"
      "  82 File descriptor, 1 byte: 38 (DF, not shareable)\n"
      "  83 File identifier, 2 bytes: 50 00\n"
      "  84 DF name, 8 bytes: F0 54 45 53 53 41 4C 59\n"
      "  8A Life cycle status, 1 byte: 05 (operational state, activated)\n";
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), fciText);

  Fill({"00", "A4", "02", "0C", "50 01", ""});
  ASSERT_TRUE(Send());
  EXPECT_EQ(structure.Reason().text(), "No data: the answer is its status word alone");
  // The application's text file: its first byte reads as a tag whose length runs far past the end.
  Fill({"00", "B0", "00", "00", "", "04"});
  ASSERT_TRUE(Send());
  EXPECT_TRUE(structure.Tree().isHidden());
  EXPECT_EQ(structure.Reason().text(),
            "Not BER-TLV: length 0x68 of tag 54 at offset 0 runs 102 bytes past the end");
  structure.CopyAction().trigger();
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), fciText) << "nothing to copy";

  // A printable value reads as text under its hex, a long one in rows of 8 bytes; padding is skipped.
  std::vector<std::uint8_t> data = {0x00, 0x70, 0x15, 0x50, 0x10};
  for (const char c : std::string("VISA CREDIT CARD")) data.push_back(static_cast<std::uint8_t>(c));
  data.insert(data.end(), {0x9F, 0x08, 0x00, 0xFF});
  structure.Show(data);
  ASSERT_EQ(structure.Tree().topLevelItemCount(), 1);
  const QTreeWidgetItem* label = structure.Tree().topLevelItem(0)->child(0);
  EXPECT_EQ(StructureRow(label), "50 Application label | 16 | 56 49 53 41 20 43 52 45");
  ASSERT_EQ(label->childCount(), 2);
  EXPECT_EQ(StructureRow(label->child(0)), " |  | 44 49 54 20 43 41 52 44");
  EXPECT_EQ(StructureRow(label->child(1)), "\"VISA CREDIT CARD\" |  | ");
}

}  // namespace
}  // namespace tessaly::test
