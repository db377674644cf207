#include "KernelPagesFixture.h"

#include <QTreeWidget>

#include "ReaderTableFixture.h"
#include "app/ApplicationObject.h"
#include "app/ControlCenter.h"
#include "settings/ProductIdentity.h"

namespace tessaly::test {
namespace {

bool IsBelow(const QTreeWidgetItem* item, const QTreeWidgetItem* ancestor) {
  for (const QTreeWidgetItem* above = item->parent(); above != nullptr; above = above->parent()) {
    if (above == ancestor) return true;
  }
  return false;
}

}  // namespace

QTreeWidgetItem* FindItem(QTreeWidget& tree, const QString& caption, const QTreeWidgetItem* parent) {
  for (QTreeWidgetItem* item : tree.findItems(caption, Qt::MatchExactly | Qt::MatchRecursive, 0)) {
    if (parent == nullptr || IsBelow(item, parent)) return item;
  }
  return nullptr;
}

KernelPagesTest::KernelPagesTest() : hive_(std::make_shared<FaultyHive>(scratch_.Hive())) {
  ZeroReaderTable();
  InitialiseApplication();
  Build();
}

KernelPagesTest::~KernelPagesTest() {
  TearDownProgram();
  ReleaseApplication();
  ZeroReaderTable();
  SeparateHexBytes = false;
  SetComponentFolder("");
}

void KernelPagesTest::Build() {
  kernel_ = std::make_unique<TKernelObject>(0, [hive = hive_] { return hive; });
  StartKernel(*kernel_);
  form_ = std::make_unique<TMainForm>();
  pages_ = std::make_unique<MainWindowPages>(*form_, *kernel_);
  device_ = std::make_unique<TSimulatedDevice>(*kernel_->Connection);
}

void KernelPagesTest::TearDownProgram() {
  device_.reset();
  pages_.reset();
  form_.reset();
  kernel_.reset();
}

void KernelPagesTest::Restart() {
  TearDownProgram();
  ZeroReaderTable();
  SeparateHexBytes = false;
  Build();
}

}  // namespace tessaly::test
