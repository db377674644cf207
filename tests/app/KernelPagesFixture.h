#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "ErrorBoxRecorder.h"
#include "FaultyHive.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "SimulatedDevice.h"
#include "app/CC_Main.h"
#include "app/MainWindowPages.h"
#include "kernel/KernelObject.h"

class QString;
class QTreeWidget;
class QTreeWidgetItem;

namespace tessaly::test {

// The first monitor item whose caption reads caption, below parent when one is given; null when none.
QTreeWidgetItem* FindItem(QTreeWidget& tree, const QString& caption, const QTreeWidgetItem* parent = nullptr);

// The program below its message loop: an application object, a kernel started as the program starts it
// on a scratch hive of its own (behind a FaultyHive, so that a test can refuse writes), the main window with
// its pages, and a simulated device layer at the kernel's connection.
class KernelPagesTest : public ::testing::Test {
 protected:
  KernelPagesTest();
  ~KernelPagesTest() override;

  // Starts the program again on the same hive: a new kernel started as the program starts it, a new window
  // with its pages and a new simulated device.
  void Restart();

  ScratchHive scratch_;
  TempComponent component_{scratch_.Hive()};
  std::shared_ptr<FaultyHive> hive_;
  ErrorBoxRecorder errorBoxes_;
  std::unique_ptr<TKernelObject> kernel_;
  std::unique_ptr<TMainForm> form_;
  std::unique_ptr<MainWindowPages> pages_;
  std::unique_ptr<TSimulatedDevice> device_;

 private:
  void Build();
  void TearDownProgram();
};

}  // namespace tessaly::test
