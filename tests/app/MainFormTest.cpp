#include "app/CC_Main.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "AppTestSupport.h"
#include "TempDir.h"
#include "TempHive.h"
#include "atr/KnownCardList.h"
#include "device/CardInformation.h"
#include "settings/ProductIdentity.h"

namespace tessaly::test {
namespace {

class MainFormTest : public ApplicationTest {
 protected:
  void SetUp() override {
    ApplicationTest::SetUp();
    SetFixedProductIdentity();
  }
  void TearDown() override {
    SetProductIdentity({});
    ApplicationTest::TearDown();
  }
};

TEST_F(MainFormTest, TheClientAreaIsFixedAt663By440InsideABorderOf10) {
  TMainForm form;
  EXPECT_EQ(form.ClientRect(), QRect(10, 10, 663, 440));
  EXPECT_EQ(form.size(), QSize(683, 460));
  EXPECT_EQ(form.minimumSize(), form.size());
  EXPECT_EQ(form.maximumSize(), form.size());
}

TEST_F(MainFormTest, ThePageControlFillsTheLeftOfTheClientAreaAndHoldsNoPages) {
  TMainForm form;
  EXPECT_EQ(form.PageControl->geometry(), QRect(10, 10, 571, 440));
  EXPECT_EQ(form.PageControl->count(), 0);
}

TEST_F(MainFormTest, TheCloseButtonStandsRightOfThePageControlAndClosesTheWindow) {
  TMainForm form;
  EXPECT_EQ(form.CloseButton->geometry(), QRect(10 + 585, 10 + 20, 76, 25));
  EXPECT_EQ(form.CloseButton->text(), "Close");
  form.show();
  form.CloseButton->click();
  EXPECT_FALSE(form.isVisible());
}

TEST_F(MainFormTest, OnALightPaletteTheTextIsBlackAndOnADarkOneItFollowsThePalette) {
  const QPalette system = QApplication::palette();
  QPalette dark(QColor(0x30, 0x30, 0x30), QColor(0x35, 0x35, 0x35));
  dark.setColor(QPalette::WindowText, QColor(0xEE, 0xEE, 0xEE));
  dark.setColor(QPalette::ButtonText, QColor(0xDD, 0xDD, 0xDD));
  dark.setColor(QPalette::Text, QColor(0xCC, 0xCC, 0xCC));
  QPalette light(QColor(0xE0, 0xE0, 0xE0), QColor(0xF0, 0xF0, 0xF0));
  light.setColor(QPalette::WindowText, QColor(0x40, 0x40, 0x40));

  QApplication::setPalette(dark);
  TMainForm onDark;
  QApplication::setPalette(light);
  TMainForm onLight;
  QApplication::setPalette(system);

  for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
    EXPECT_EQ(onDark.palette().color(role), dark.color(role)) << role;
    EXPECT_EQ(onLight.palette().color(role), QColor(Qt::black)) << role;
    EXPECT_EQ(onLight.palette().color(QPalette::Disabled, role), light.color(QPalette::Disabled, role))
        << "a disabled control looks disabled: " << role;
  }
  EXPECT_EQ(onDark.palette().color(QPalette::Window), dark.color(QPalette::Button));
  EXPECT_EQ(onLight.palette().color(QPalette::Window), light.color(QPalette::Button));
}

TEST_F(MainFormTest, AboutUnderCloseAndF1ShowNameVersionLibrariesKnownCardsHiveAndLicence) {
  const TempDir folder;
  std::ofstream(folder / "cards.txt")
      << "3B 02 14 50\n\tSample card\n\n3B 65 00 00 20 63 CB 6A 00\n\tOther card\n";
  UseKnownCardList(KnownCardList::Load((folder / "cards.txt").string()));
  const TempHive hive;
  TMainForm form;
  EXPECT_EQ(form.AboutButton->geometry(), QRect(10 + 585, 10 + 55, 76, 25));
  EXPECT_GE(form.MessageLabel->geometry().top(), form.AboutButton->geometry().bottom());
  form.show();
  QApplication::setActiveWindow(&form);

  form.AboutButton->click();
  auto* box = form.findChild<QMessageBox*>();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(box->isVisible());
  const QString text = box->text();
  for (const QString& expected :
       {QStringLiteral("Tessaly Easy Control Center\nVersion 1.3\n"), QStringLiteral("Qt: ") + qVersion(),
        QStringLiteral("PC/SC library: pcsc-lite "),
        QString::fromStdString("Known cards: " + (folder / "cards.txt").string() + " (2 entries)"),
        QString::fromStdString("Registry hive: " + std::filesystem::absolute(hive.File()).string()),
        QStringLiteral("Licence: GPL-3.0-or-later")}) {
    EXPECT_TRUE(text.contains(expected)) << expected.toStdString() << " not in\n" << text.toStdString();
  }
  box->close();
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_EQ(form.findChild<QMessageBox*>(), nullptr);

  QTest::keyClick(&form, Qt::Key_F1);
  EXPECT_NE(form.findChild<QMessageBox*>(), nullptr);
}

TEST_F(MainFormTest, TheWindowOffersTheSystemMenuAndMinimiseButNoMaximise) {
  TMainForm form;
  const Qt::WindowFlags flags = form.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::Window));
  EXPECT_TRUE(flags.testFlag(Qt::WindowSystemMenuHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
}

TEST_F(MainFormTest, TheWindowOpensCentredOnTheScreen) {
  TMainForm form;
  form.show();
  const QPoint offset = form.frameGeometry().center() - form.screen()->geometry().center();
  EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << ", " << offset.y();
}

TEST_F(MainFormTest, CaptionAndApplicationTitleAreComposedFromTheProductIdentity) {
  SetProductIdentity({"Product", "v9.9", "9", "9"});
  QGuiApplication::setApplicationDisplayName("Title before");
  TMainForm form;
  EXPECT_EQ(form.windowTitle(), "Product v9.9 Control Center");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), "Product v9.9 Control Center");
}

}  // namespace
}  // namespace tessaly::test
