#include "VirtualReaderPagesFixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "app/QtHost.h"
#include "device/PcscService.h"

namespace tessaly::test {

VirtualReaderPagesTest::VirtualReaderPagesTest() {
  device_.reset();
  layer_ = std::make_unique<DeviceLayer>(*kernel_->Connection, MakeVirtualReaderService(), QtHostThread());
  pages_->ConnectDevice(*layer_);
}

VirtualReaderPagesTest::~VirtualReaderPagesTest() {
  layer_.reset();
}

bool VirtualReaderPagesTest::StartAndSettle() {
  bool settled = false;
  layer_->SetOnSettled([&settled] { settled = true; });
  layer_->Start();
  return Await([&settled] { return settled; });
}

bool VirtualReaderPagesTest::Await(const std::function<bool()>& done) {
  const QDeadlineTimer deadline(5000);
  while (!done() && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return done();
}

}  // namespace tessaly::test
