#include "app/ControlCenter.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "ErrorBoxRecorder.h"
#include "RegisteredComponent.h"
#include "ScopedEnvironment.h"
#include "TempHive.h"
#include "app/ApplicationObject.h"
#include "app/CC_Main.h"
#include "app/QtErrorBox.h"
#include "kernel/KernelObject.h"
#include "platform/ErrorBox.h"
#include "platform/RegistryHive.h"
#include "settings/ProductIdentity.h"

namespace tessaly::test {
namespace {

namespace fs = std::filesystem;

class ControlCenterTest : public ::testing::Test {
 protected:
  void TearDown() override {
    SetErrorBoxHook({});
    ReleaseApplication();
    SetComponentFolder("");
    SetProductIdentity({});
  }

  // Once the loop runs: clicks Close on the shown main window, after letting inspect look at it. Without a
  // main window the loop is ended with status 99.
  static void CloseMainWindowOnceShown(std::function<void(TMainForm&)> inspect = {}) {
    QTimer::singleShot(0, [inspect] {
      TMainForm* form = FindMainForm();
      if (form == nullptr) {
        QApplication::exit(99);
        return;
      }
      if (inspect) inspect(*form);
      form->CloseButton->click();
    });
  }

  TempHive hive_;
  TempComponent component_{OpenProcessHive()};
};

TEST_F(ControlCenterTest, CloseEndsTheLoopAndThenTheKernelIsReleased) {
  InitialiseApplication();
  bool kernelWhileShown = false;
  QString caption;
  CloseMainWindowOnceShown([&](TMainForm& form) {
    kernelWhileShown = Kernel != nullptr;
    caption = form.windowTitle();
  });

  EXPECT_EQ(RunControlCenter(), 0);

  EXPECT_TRUE(kernelWhileShown);
  EXPECT_EQ(caption, "Tessaly Easy v1.3 Control Center");
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), caption);
  EXPECT_EQ(Kernel, nullptr);
}

// Records the application title at the moment the main window gets its first caption, during its creation.
class TitleAtMainWindowCreation : public QObject {
 public:
  TitleAtMainWindowCreation() { QCoreApplication::instance()->installEventFilter(this); }
  ~TitleAtMainWindowCreation() override { QCoreApplication::instance()->removeEventFilter(this); }

  QString Title;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::WindowTitleChange && Title.isEmpty()) {
      if (qobject_cast<TMainForm*>(watched) != nullptr) Title = QGuiApplication::applicationDisplayName();
    }
    return false;
  }
};

TEST_F(ControlCenterTest, TheApplicationTitleIsFixedBeforeTheMainWindowExists) {
  InitialiseApplication();
  const TitleAtMainWindowCreation titles;
  CloseMainWindowOnceShown();
  ASSERT_EQ(RunControlCenter(), 0);
  EXPECT_EQ(titles.Title, kApplicationTitle);
}

TEST_F(ControlCenterTest, AFailingStartShowsOneErrorBoxAndTheMainWindowNeverAppears) {
  const TempHive broken;
  std::ofstream(broken.File()) << "not a registry hive";
  const ErrorBoxRecorder boxes;
  InitialiseApplication();
  const MainFormShowCounter shows;

  EXPECT_EQ(RunControlCenter(), 1);

  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_TRUE(boxes.Texts().front().starts_with("The settings could not be opened: "))
      << boxes.Texts().front();
  EXPECT_EQ(shows.Count(), 0);
  EXPECT_EQ(Kernel, nullptr);
}

TEST_F(ControlCenterTest, AnErrorBoxClosedBeforeTheMainWindowDoesNotEndItsLoop) {
  InitialiseApplication();
  QTimer::singleShot(0, [] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      box->button(QMessageBox::Ok)->click();
    }
  });
  ShowQtErrorBox("A box before the main window");
  const MainFormShowCounter shows;
  CloseMainWindowOnceShown();

  EXPECT_EQ(RunControlCenter(), 0);
  EXPECT_EQ(shows.Count(), 1);
}

TEST_F(ControlCenterTest, ABoxDuringStartCreatesTheApplicationThatTheMainWindowThenUses) {
  // Files where the working folder and the user's data folder belong: the start-up synchronisation cannot
  // create the folders.
  std::ofstream(component_.Folder() / "- Smart Cards Works") << "in the way";
  std::ofstream(component_.Folder() / "data") << "in the way";
  const ScopedEnvironment userData(kUserDataFolderVariable, (component_.Folder() / "data" / "below").c_str());
  InstallQtErrorBox();
  const ErrorBoxHook qtErrorBox = SetErrorBoxHook({});
  std::vector<std::string> texts;
  std::vector<const QCoreApplication*> applications;
  bool applicationBeforeFirstBox = true;
  SetErrorBoxHook([&](const std::string& text) {
    if (texts.empty()) applicationBeforeFirstBox = ApplicationExists();
    qtErrorBox(text);
    texts.push_back(text);
    applications.push_back(QCoreApplication::instance());
  });
  const TempDir output;

  testing::internal::CaptureStderr();
  ControlCenterOptions options;
  options.ScreenshotFile = output / "window.png";
  const int status = RunControlCenter(options);
  const std::string errors = testing::internal::GetCapturedStderr();

  EXPECT_EQ(status, 0);
  ASSERT_FALSE(texts.empty());
  EXPECT_FALSE(applicationBeforeFirstBox);
  EXPECT_NE(texts.front().find("Cannot create "), std::string::npos) << texts.front();
  // Offscreen nobody could click the box, so its text went to stderr.
  EXPECT_NE(errors.find(texts.front()), std::string::npos) << errors;
  for (const QCoreApplication* application : applications)
    EXPECT_EQ(application, QCoreApplication::instance());
  EXPECT_TRUE(fs::exists(output / "window.png"));
}

}  // namespace
}  // namespace tessaly::test
