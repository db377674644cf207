#include "app/QtErrorBox.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdlib>
#include <optional>
#include <string>

#include "AppTestSupport.h"
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

// Sets an environment variable for its lifetime (unset when value is null), then restores it.
class EnvironmentVariable {
 public:
  EnvironmentVariable(const char* name, const char* value) : name_(name) {
    if (const char* previous = std::getenv(name)) previous_ = previous;
    Set(value);
  }
  ~EnvironmentVariable() { Set(previous_ ? previous_->c_str() : nullptr); }
  EnvironmentVariable(const EnvironmentVariable&) = delete;
  EnvironmentVariable& operator=(const EnvironmentVariable&) = delete;

 private:
  void Set(const char* value) {
    if (value != nullptr) {
      setenv(name_.c_str(), value, 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

  std::string name_;
  std::optional<std::string> previous_;
};

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
  const EnvironmentVariable platform("QT_QPA_PLATFORM", nullptr);
  const EnvironmentVariable display("DISPLAY", nullptr);
  const EnvironmentVariable wayland("WAYLAND_DISPLAY", nullptr);
  EXPECT_FALSE(DisplayAvailable());
  testing::internal::CaptureStderr();
  ShowErrorBox(kFolderBoxText);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kFolderBoxText + "\n");
  EXPECT_FALSE(ApplicationExists());
  EXPECT_THROW(InitialiseApplication(), ENoDisplay);
}

}  // namespace
}  // namespace tessaly::test
