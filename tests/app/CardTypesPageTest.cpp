#include "app/CardTypesPage.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "KernelPagesFixture.h"
#include "app/PreferencesPage.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

const std::string kAtr = "3B 8F 80 01 80 4F 0C A0";

class CardTypesPageTest : public KernelPagesTest {
 protected:
  CardTypesPage& Page() { return pages_->CardTypes(); }
  TRegistrySettings& Settings() { return *kernel_->Settings; }

  // Each row as "name | base type | ATR count".
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    QTreeWidget& list = Page().List();
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = list.topLevelItem(i);
      rows.push_back((item->text(0) + " | " + item->text(1) + " | " + item->text(2)).toStdString());
    }
    return rows;
  }
  void Choose(const QString& name) {
    const auto found = Page().List().findItems(name, Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1) << name.toStdString();
    Page().List().setCurrentItem(found.front());
  }
  std::string CardTypeOfReader(int n) { return ReaderTable[n].CardInfo.Preferences.CardTypeName; }
  void CreateCardType(const QString& name) {
    Page().NewButton().click();
    Page().NameEdit().setText(name);
    Page().SaveButton().click();
  }
  // Answers every question with answer_ and keeps it in questions_.
  void RecordQuestions() {
    Page().SetConfirmation([this](const QString& question) {
      questions_.push_back(question);
      return answer_;
    });
  }
  std::string StoredCla(const std::string& cardType) {
    TPreferencesATRRec record;
    Settings().ReadCardType(cardType, record);
    return record.WindowPreferences.DefaultAPDU.Cla;
  }
  std::vector<std::string> ReaderChoices() {
    std::vector<std::string> choices;
    for (int i = 0; i < Page().ReaderChoice().count(); ++i) {
      choices.push_back(Page().ReaderChoice().itemText(i).toStdString());
    }
    return choices;
  }

  std::vector<QString> questions_;
  bool answer_ = false;
};

TEST_F(CardTypesPageTest, TheCatalogueIsListedAndTheChosenCardTypeShownInFull) {
  EXPECT_EQ(Rows(), (std::vector<std::string>{"GSM SIM Card | GSM SIM Card | 0",
                                              "ISO-7816 Smart Card | ISO-7816 Smart Card | 0"}));
  Choose("GSM SIM Card");

  EXPECT_EQ(Page().NameEdit().text(), "GSM SIM Card");
  EXPECT_EQ(Page().BaseTypeChoice().currentText(), "GSM SIM Card");
  EXPECT_TRUE(Page().CommandsFileEdit().text().endsWith("GSM-11.11.cct"));
  EXPECT_EQ(Page().ApduEdit(0).text(), "A0");
  EXPECT_EQ(Page().ApduEdit(6).text(), "3F 00");
  EXPECT_EQ(Page().FilesNote().text(), "") << "the shipped files are installed";

  Page().CommandsFileEdit().setText("$(WorkDir)/Templates/Mine.cct");
  EXPECT_EQ(Page().FilesNote().text(), "Missing: Mine.cct");
}

TEST_F(CardTypesPageTest, ANewCardTypeGivenTheInsertedCardsATRIsWhatTheReaderResolvesTo) {
  device_->StartSession({"Reader A"});
  device_->InsertCard(0, kAtr);
  ASSERT_EQ(CardTypeOfReader(0), "ISO-7816 Smart Card");

  CreateCardType("Bank");
  EXPECT_EQ(Page().Message().text(), "Saved \"Bank\"");
  EXPECT_EQ(Page().List().currentItem()->text(0), "Bank");
  ASSERT_EQ(Page().ReaderChoice().count(), 1);
  EXPECT_EQ(Page().ReaderChoice().currentText(), "Reader A (ISO-7816 Smart Card)");

  Page().AssignButton().click();

  EXPECT_EQ(CardTypeOfReader(0), "Bank");
  EXPECT_EQ(Page().ReaderChoice().currentText(), "Reader A (Bank)");
  EXPECT_EQ(Page().ATRsEdit().toPlainText(), QString::fromStdString(kAtr));
  EXPECT_EQ(Settings().GetATRIndex(), std::vector<std::string>{"3B8F8001804F0CA0=Bank"});
}

TEST_F(CardTypesPageTest, DeleteAsksFirstThenTheReaderFallsBackToTheDefaultType) {
  device_->StartSession({"Reader A"});
  device_->InsertCard(0, kAtr);
  CreateCardType("Bank");
  Page().AssignButton().click();
  std::vector<QString> questions;
  bool answer = false;
  Page().SetConfirmation([&](const QString& question) {
    questions.push_back(question);
    return answer;
  });

  Page().DeleteButton().click();
  EXPECT_EQ(Settings().GetCardTypeNames().size(), 3u) << "declined";
  answer = true;
  Page().DeleteButton().click();

  EXPECT_EQ(questions, (std::vector<QString>(2, "Delete the card type \"Bank\" with its ATRs?")));
  EXPECT_EQ(Page().List().findItems("Bank", Qt::MatchExactly).size(), 0);
  EXPECT_EQ(CardTypeOfReader(0), "ISO-7816 Smart Card");
  EXPECT_LT(pages_->Preferences().DefaultCardTypeChoice().findText("Bank"), 0);
}

TEST_F(CardTypesPageTest, AnUnusableNameOrATRIsRefusedAndTheTypedFieldsStay) {
  const auto before = Settings().GetCardTypeNames();

  CreateCardType("A\\B");
  EXPECT_EQ(Page().Message().text(), "A card type name cannot contain a backslash: \"A\\B\"");
  EXPECT_EQ(Page().NameEdit().text(), "A\\B");

  Page().NameEdit().setText("Fine");
  Page().ATRsEdit().setPlainText("3B 02\n3B 0");
  Page().SaveButton().click();
  EXPECT_EQ(Page().Message().text(),
            "The ATR 3B 0 is not an even number of hexadecimal digits; nothing was saved");

  EXPECT_EQ(Settings().GetCardTypeNames(), before);
}

TEST_F(CardTypesPageTest, UseAsDefaultIsWhatThePreferencesPageShowsAndTellsNoOneOfARefusedWrite) {
  int told = 0;
  QObject::connect(&Page(), &CardTypesPage::DefaultCardTypeChanged, [&] { ++told; });
  Choose("GSM SIM Card");
  Page().UseAsDefaultButton().click();

  EXPECT_EQ(Settings().GetDefaultCardTypeName(), "GSM SIM Card");
  EXPECT_EQ(pages_->Preferences().DefaultCardTypeChoice().currentText(), "GSM SIM Card");
  EXPECT_TRUE(Page().List().currentItem()->font(0).bold());
  EXPECT_EQ(told, 1);

  hive_->RefuseWrite("Default Card Type Name");
  Choose("ISO-7816 Smart Card");
  Page().UseAsDefaultButton().click();
  EXPECT_EQ(Page().Message().text(), "Failed to set data for 'Default Card Type Name'");
  EXPECT_EQ(told, 1);
}

TEST_F(CardTypesPageTest, SavedIsShownOnlyOnceEveryValueIsWritten) {
  hive_->RefuseWrite("3B01");
  Choose("GSM SIM Card");
  Page().NameEdit().setText("SIM");
  Page().ATRsEdit().setPlainText("3B 01");
  Page().SaveButton().click();

  EXPECT_EQ(Page().Message().text(), "Not every value was saved: the error message said why");
  EXPECT_EQ(errorBoxes_.Texts().size(), 1u);
  EXPECT_EQ(Page().List().currentItem()->text(0), "SIM") << "renamed before its list of ATRs was refused";
}

TEST_F(CardTypesPageTest, NewWithTheNameOfAnExistingCardTypeAsksBeforeReplacingIt) {
  RecordQuestions();
  Page().NewButton().click();
  Page().NameEdit().setText("gsm sim card");
  Page().ApduEdit(0).setText("B0");

  Page().SaveButton().click();
  EXPECT_EQ(Page().Message().text(), "Nothing was saved");
  EXPECT_EQ(StoredCla("GSM SIM Card"), "A0");
  answer_ = true;
  Page().SaveButton().click();

  EXPECT_EQ(questions_, std::vector<QString>(2, "Replace the card type \"GSM SIM Card\" with its ATRs?"));
  EXPECT_EQ(Page().Message().text(), "Saved \"GSM SIM Card\"");
  EXPECT_EQ(Settings().GetCardTypeNames(), (std::vector<std::string>{"GSM SIM Card", "ISO-7816 Smart Card"}));
  EXPECT_EQ(StoredCla("GSM SIM Card"), "B0");
}

TEST_F(CardTypesPageTest, ANewNameRenamesTheCardTypeWithItsATRsAndTheDefaultFollows) {
  device_->StartSession({"Reader A"});
  device_->InsertCard(0, kAtr);
  Choose("ISO-7816 Smart Card");
  Page().NameEdit().setText("Plain ISO");

  Page().SaveButton().click();

  EXPECT_EQ(Rows(), (std::vector<std::string>{"GSM SIM Card | GSM SIM Card | 0",
                                              "Plain ISO | ISO-7816 Smart Card | 1"}));
  EXPECT_EQ(Settings().GetATRIndex(), std::vector<std::string>{"3B8F8001804F0CA0=Plain ISO"});
  EXPECT_EQ(CardTypeOfReader(0), "Plain ISO");
  EXPECT_EQ(pages_->Preferences().DefaultCardTypeChoice().currentText(), "Plain ISO");
}

TEST_F(CardTypesPageTest, ARefusedRenameLeavesTheCardTypeWholeAndKeepsWhatTheUserTyped) {
  Choose("GSM SIM Card");
  Page().NameEdit().setText("SIM\\Old");
  Page().ApduEdit(0).setText("B0");
  Page().SaveButton().click();

  EXPECT_EQ(Page().Message().text(), "A card type name cannot contain a backslash: \"SIM\\Old\"");
  EXPECT_EQ(Page().NameEdit().text(), "SIM\\Old");
  EXPECT_EQ(Page().ApduEdit(0).text(), "B0");

  hive_->RefuseWrite("DefaultAPDU P1");
  Page().NameEdit().setText("SIM");
  Page().SaveButton().click();

  EXPECT_EQ(Page().Message().text(), "Failed to set data for 'DefaultAPDU P1'");
  EXPECT_EQ(Page().ApduEdit(0).text(), "B0");
  EXPECT_EQ(Page().List().currentItem()->text(0), "GSM SIM Card");
  EXPECT_EQ(Settings().GetCardTypeNames(), (std::vector<std::string>{"GSM SIM Card", "ISO-7816 Smart Card"}));
}

TEST_F(CardTypesPageTest, AnATRTakenOutOfTheFieldStaysOutUntilTheUserAssignsIt) {
  device_->StartSession({"Reader A"});
  device_->InsertCard(0, kAtr);
  Choose("ISO-7816 Smart Card");
  Page().ATRsEdit().setPlainText("3B 01");

  Page().SaveButton().click();

  EXPECT_EQ(Settings().GetATRIndex(), std::vector<std::string>{"3B01=ISO-7816 Smart Card"});
  EXPECT_EQ(Page().ATRsEdit().toPlainText(), "3B 01");
  EXPECT_EQ(CardTypeOfReader(0), "");
  EXPECT_EQ(ReaderChoices(), std::vector<std::string>{"Reader A"});

  Choose("GSM SIM Card");
  Page().AssignButton().click();
  EXPECT_EQ(CardTypeOfReader(0), "GSM SIM Card");

  Page().NameEdit().setText("SIM");
  Page().ATRsEdit().clear();
  Page().SaveButton().click();
  EXPECT_EQ(Settings().GetATRIndex(), std::vector<std::string>{"3B01=ISO-7816 Smart Card"}) << "renamed";
  EXPECT_EQ(CardTypeOfReader(0), "");
}

// PC/SC gives the ATR of a card that no protocol fits, so a device layer may keep one for an unusable card.
TEST_F(CardTypesPageTest, AReaderWhoseCardIsUnusableIsNotOfferedForItsATR) {
  device_->StartSession({"Reader A", "Reader B"});
  device_->InsertCard(0, kAtr);
  device_->InsertCard(1, "3B 01");
  ReaderTable[1].CardInfo.CardState = csCardInvalid;

  Page().ReadersChanged();

  EXPECT_EQ(ReaderChoices(), std::vector<std::string>{"Reader A (ISO-7816 Smart Card)"});
}

}  // namespace
}  // namespace tessaly::test
