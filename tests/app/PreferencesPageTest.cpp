#include "app/PreferencesPage.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>

#include "KernelPagesFixture.h"
#include "pcsc/PcscCodes.h"
#include "platform/Registry.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

// Picks the item as a user would, which is what makes the page write.
void Choose(QComboBox& choice, const QString& text) {
  const int index = choice.findText(text);
  ASSERT_GE(index, 0) << text.toStdString();
  choice.setCurrentIndex(index);
  emit choice.activated(index);
}

class PreferencesPageTest : public KernelPagesTest {
 protected:
  PreferencesPage& Page() { return pages_->Preferences(); }
  TRegistrySettings& Settings() { return *kernel_->Settings; }
};

TEST_F(PreferencesPageTest, ThePageShowsTheStoredPreferencesWithTheirNames) {
  EXPECT_EQ(Page().AutoOpenChoice().currentText(), "Yes");
  EXPECT_EQ(Page().ProtocolChoice().currentText(), "Automatic: T=0 or T=1 (AUTODETECT)");
  EXPECT_EQ(Page().SharingText().text(), "Shared with other programs (CARD SHARED)");
  EXPECT_EQ(Page().ClosingModeChoice().currentText(), "Reset the card (RESET CARD)");
  EXPECT_TRUE(Page().SeparateHexBytesBox().isChecked());
  EXPECT_EQ(Page().EventLogModeChoice().currentText(), "Log most useful events only");
  EXPECT_EQ(Page().WorkDirEdit().text().toStdString(), Settings().GetWorkDir());
  EXPECT_FALSE(Page().UseDefaultTypeBox().isChecked());
  EXPECT_EQ(Page().DefaultCardTypeChoice().currentText(), "ISO-7816 Smart Card");
  EXPECT_GE(Page().DefaultCardTypeChoice().findText("GSM SIM Card"), 0);
}

TEST_F(PreferencesPageTest, AChangedPreferenceReachesTheRegistryAndTheReadersParameters) {
  device_->StartSession({"Reader A", "Reader B"});
  Choose(Page().ProtocolChoice(), "T=0, byte by byte (T0)");
  Choose(Page().ClosingModeChoice(), "Power the card off (UNPOWER CARD)");
  Choose(Page().AutoOpenChoice(), "No");

  EXPECT_EQ(Settings().GetProtocol(), kProtocolT0);
  EXPECT_EQ(Settings().GetClosingMode(), kUnpowerCard);
  EXPECT_FALSE(Settings().GetAutoOpen());
  for (const int n : {0, 1}) {
    EXPECT_EQ(ReaderTable[n].CurrentParams.Protocol, kProtocolT0) << n;
    EXPECT_EQ(ReaderTable[n].CurrentParams.ClosingMode, kUnpowerCard) << n;
    EXPECT_FALSE(ReaderTable[n].CurrentParams.AutoOpen) << n;
  }
}

TEST_F(PreferencesPageTest, LogPreferencesAndCardTypeDefaultsAreWrittenAndTheKernelFollows) {
  Choose(Page().EventLogModeChoice(), "Log errors only");
  Page().SeparateHexBytesBox().click();
  Page().UseDefaultTypeBox().click();
  Choose(Page().DefaultCardTypeChoice(), "GSM SIM Card");

  EXPECT_EQ(Settings().GetEventLogMode(), 2);
  EXPECT_EQ(kernel_->EventLogMode, 2);
  EXPECT_FALSE(Settings().GetSeparateHexBytes());
  EXPECT_FALSE(SeparateHexBytes);
  EXPECT_TRUE(Settings().GetUseDefaultType());
  EXPECT_EQ(Settings().GetDefaultCardTypeName(), "GSM SIM Card");
}

TEST_F(PreferencesPageTest, ANewWorkingFolderIsStoredAndCreatedAndItsPathShown) {
  const std::filesystem::path folder = component_.Folder() / "Works";
  Page().WorkDirEdit().setText(QString::fromStdString(folder.string()));
  Page().WorkDirEdit().setModified(true);
  emit Page().WorkDirEdit().editingFinished();

  EXPECT_EQ(Settings().GetWorkDir(), folder.string());
  EXPECT_TRUE(std::filesystem::is_directory(folder));
  EXPECT_EQ(Page().WorkDirPathLabel().text().toStdString(), "Folder: " + folder.lexically_normal().string());
}

TEST_F(PreferencesPageTest, ARefusedWriteIsShownAndThePageKeepsShowingTheStoredValues) {
  hive_->RefuseWrite("Connection_OnDetect_PC/SC_Protocol");
  hive_->RefuseWrite("Event_Log_Mode");
  Choose(Page().ProtocolChoice(), "T=1, in blocks (T1)");
  Choose(Page().EventLogModeChoice(), "Log all events");

  ASSERT_EQ(errorBoxes_.Texts().size(), 2u);
  EXPECT_EQ(errorBoxes_.Texts()[0], "Failed to set data for 'Connection_OnDetect_PC/SC_Protocol'");
  EXPECT_EQ(errorBoxes_.Texts()[1], "Failed to set data for 'Event_Log_Mode'");
  EXPECT_EQ(Page().ProtocolChoice().currentText(), "Automatic: T=0 or T=1 (AUTODETECT)");
  EXPECT_EQ(Page().EventLogModeChoice().currentText(), "Log most useful events only");
  EXPECT_EQ(Settings().GetProtocol(), kProtocolAutoDetect);
}

TEST_F(PreferencesPageTest, ThePageFollowsTheStoresEventsAndReloadsChangesMadeOutsideOnRequest) {
  Settings().SetClosingMode(kEjectCard);
  EXPECT_EQ(Page().ClosingModeChoice().currentText(), "Eject the card (EJECT CARD)");

  // Another program writes the hive: no event reaches this one until Reload.
  TRegistry other(scratch_.Hive());
  other.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(other.OpenKey("\\SOFTWARE\\Orvane\\Tessaly Easy\\Preferences", false));
  other.WriteInteger("Connection_OnDetect_PC/SC_Protocol", kProtocolRaw);
  other.CloseKey();
  EXPECT_EQ(Page().ProtocolChoice().currentText(), "Automatic: T=0 or T=1 (AUTODETECT)");
  Page().ReloadButton().click();
  EXPECT_EQ(Page().ProtocolChoice().currentText(), "Raw, no protocol (RAW)");
}

TEST_F(PreferencesPageTest, TheSharingModeIsShownAsTextAndAStoredCodeWithoutWordsByItsNumber) {
  TRegistry other(scratch_.Hive());
  other.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(other.OpenKey("\\SOFTWARE\\Orvane\\Tessaly Easy\\Preferences", false));
  other.WriteInteger("Connection_OnDetect_PC/SC_Sharing", kShareExclusive);
  other.WriteInteger("Connection_OnDetect_PC/SC_Protocol", 7);
  other.CloseKey();
  Page().Reload();

  EXPECT_EQ(Page().SharingText().text(), "Exclusive: no other program uses the card (EXCLUSIVE USE)");
  EXPECT_EQ(Page().ProtocolChoice().currentText(), "UNKNOWN (7)");
  // The choices name both, the protocol the user can set as well.
  EXPECT_GE(Page().ProtocolChoice().findText("Automatic: T=0 or T=1 (AUTODETECT)"), 0);
  EXPECT_GE(Page().ClosingModeChoice().findText("Leave the card as it is (LEAVE CARD)"), 0);
}

TEST_F(PreferencesPageTest, EmptyingTheWorkingFolderKeepsTheStoredFolderAndShowsItAgainWithoutABox) {
  const std::string stored = Settings().GetWorkDir();
  for (const QString& emptied : {QString(), QStringLiteral("   ")}) {
    Page().WorkDirEdit().setText(emptied);
    Page().WorkDirEdit().setModified(true);
    emit Page().WorkDirEdit().editingFinished();

    EXPECT_EQ(Settings().GetWorkDir(), stored);
    EXPECT_EQ(Page().WorkDirEdit().text().toStdString(), stored);
    EXPECT_TRUE(errorBoxes_.Texts().empty()) << errorBoxes_.Texts().front();
  }
}

}  // namespace
}  // namespace tessaly::test
