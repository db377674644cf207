#include "KernelPagesFixture.h"

#include "ReaderTableFixture.h"
#include "app/ApplicationObject.h"
#include "settings/ProductIdentity.h"

namespace tessaly::test {

KernelPagesTest::KernelPagesTest() : hive_(std::make_shared<FaultyHive>(scratch_.Hive())) {
  ZeroReaderTable();
  InitialiseApplication();
  kernel_ = std::make_unique<TKernelObject>(0, [hive = hive_] { return hive; });
  kernel_->Start();
  form_ = std::make_unique<TMainForm>();
  pages_ = std::make_unique<MainWindowPages>(*form_, *kernel_);
  device_ = std::make_unique<TSimulatedDevice>(*kernel_->Connection);
}

KernelPagesTest::~KernelPagesTest() {
  device_.reset();
  pages_.reset();
  form_.reset();
  kernel_.reset();
  ReleaseApplication();
  ZeroReaderTable();
  SeparateHexBytes = false;
  SetComponentFolder("");
}

}  // namespace tessaly::test
