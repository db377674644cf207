#include "VirtualReaderPagesFixture.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "app/ExchangePage.h"
#include "app/MonitorPage.h"
#include "device/PcscService.h"

namespace tessaly::test {

VirtualReaderPagesTest::VirtualReaderPagesTest() {
  device_.reset();
  layer_ = std::make_unique<DeviceLayer>(
      *kernel_->Connection, MakeVirtualReaderService(), [](std::function<void()> task) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
      });
  DeviceLayer& layer = *layer_;
  pages_->Monitor().SetCardCommands({[&layer](int n) { layer.OpenCard(n); },
                                     [&layer](int n) { layer.CloseCard(n); },
                                     [&layer](int n) { layer.ResetCard(n); }});
  pages_->Exchange().SetReaderExchange(
      {[&layer](int n) { return layer.CardOpen(n); },
       [&layer](int n, std::span<const std::uint8_t> command) { return layer.Transmit(n, command); }});
}

VirtualReaderPagesTest::~VirtualReaderPagesTest() {
  layer_.reset();
}

bool VirtualReaderPagesTest::StartAndSettle() {
  bool settled = false;
  layer_->SetOnSettled([&settled] { settled = true; });
  layer_->Start();
  const QDeadlineTimer deadline(5000);
  while (!settled && !deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  return settled;
}

}  // namespace tessaly::test
