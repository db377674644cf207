#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

namespace tessaly {

// While it lives, SIGTERM and SIGINT close the window as its Close button would, so that the program ends
// as after a normal close (cards released, status 0) instead of being cut off. One at a time.
class CloseOnSignal final : public QObject {
  Q_OBJECT

 public:
  explicit CloseOnSignal(QWidget& window);
  ~CloseOnSignal() override;

 private:
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace tessaly
