#include "app/QtHost.h"

#include <QCoreApplication>
#include <QTimer>

namespace tessaly {

HostThread QtHostThread() {
  HostThread host;
  host.Post = [](std::function<void()> task) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
  };
  host.After = [](std::chrono::milliseconds delay, std::function<void()> task) {
    QTimer::singleShot(delay, QCoreApplication::instance(), std::move(task));
  };
  return host;
}

}  // namespace tessaly
