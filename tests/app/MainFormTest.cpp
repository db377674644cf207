#include "app/CC_Main.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>

#include "AppTestSupport.h"
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
