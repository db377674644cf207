#pragma once

#include <gtest/gtest.h>

#include <QObject>

namespace tessaly {
class TMainForm;
}

namespace tessaly::test {

// The shown main window, or null.
TMainForm* FindMainForm();

// Gives each test its own application object, created before the test and destroyed after it.
class ApplicationTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
};

// Counts the main windows shown while it lives.
class MainFormShowCounter : public QObject {
 public:
  MainFormShowCounter();
  ~MainFormShowCounter() override;

  int Count() const { return count_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int count_ = 0;
};

}  // namespace tessaly::test
