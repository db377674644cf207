#include "app/QtErrorBox.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <string>

#include "AppTestSupport.h"
#include "ScopedEnvironment.h"
#include "app/ApplicationObject.h"
#include "platform/ErrorBox.h"

namespace tessaly::test {
namespace {

const std::string kFolderBoxText = "TessalyError Message :\r\n\r\nCannot create /no/such/folder\r\n";

class QtErrorBoxTest : public ApplicationTest {};

TEST_F(QtErrorBoxTest, TheBoxShowsTheTextAloneWithTheErrorIconAndASingleOkButton) {
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QString text;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    icon = box->icon();
    buttons = box->standardButtons();
    text = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  ShowQtErrorBox(kFolderBoxText);
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(text.toStdString(), kFolderBoxText);
}

class QtErrorBoxHookTest : public ::testing::Test {
 protected:
  void SetUp() override { InstallQtErrorBox(); }
  void TearDown() override {
    SetErrorBoxHook({});
    ReleaseApplication();
  }
};

TEST_F(QtErrorBoxHookTest, ABoxBeforeTheApplicationExistsCreatesItAndOffscreenWritesTheTextToStderr) {
  ASSERT_FALSE(ApplicationExists());
  testing::internal::CaptureStderr();
  ShowErrorBox(kFolderBoxText);
  // Qt may have warned about its environment first.
  const std::string errors = testing::internal::GetCapturedStderr();
  EXPECT_TRUE(errors.ends_with(kFolderBoxText + "\n")) << errors;
  EXPECT_TRUE(ApplicationExists());
}

TEST_F(QtErrorBoxHookTest, WithoutADisplayTheTextGoesToStderrAndNoApplicationIsCreated) {
  const ScopedEnvironment platform("QT_QPA_PLATFORM", nullptr);
  const ScopedEnvironment display("DISPLAY", nullptr);
  const ScopedEnvironment wayland("WAYLAND_DISPLAY", nullptr);
  EXPECT_FALSE(DisplayAvailable());
  testing::internal::CaptureStderr();
  ShowErrorBox(kFolderBoxText);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kFolderBoxText + "\n");
  EXPECT_FALSE(ApplicationExists());
  EXPECT_THROW(InitialiseApplication(), ENoDisplay);
}

}  // namespace
}  // namespace tessaly::test
