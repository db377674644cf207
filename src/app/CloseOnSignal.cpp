// POSIX signals reach the event loop through a socket pair: the handler only writes one byte, which is all a
// signal handler may safely do, and the loop closes the window when the byte arrives.
#include "app/CloseOnSignal.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QWidget>

#include "platform/TessalyError.h"

namespace tessaly {
namespace {

int signalPair[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const auto written = ::write(signalPair[0], &byte, 1);
}

void Handle(int signalNumber, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(signalNumber, &action, nullptr);
}

}  // namespace

CloseOnSignal::CloseOnSignal(QWidget& window) : QObject(&window) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPair) != 0) {
    throw ETessalyError("Cannot prepare for the signals that close the window");
  }
  notifier_ = new QSocketNotifier(signalPair[1], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, &window, [&window] {
    char byte = 0;
    [[maybe_unused]] const auto read = ::read(signalPair[1], &byte, 1);
    window.close();
  });
  Handle(SIGTERM, OnSignal);
  Handle(SIGINT, OnSignal);
}

CloseOnSignal::~CloseOnSignal() {
  Handle(SIGTERM, SIG_DFL);
  Handle(SIGINT, SIG_DFL);
  delete notifier_;
  ::close(signalPair[0]);
  ::close(signalPair[1]);
  signalPair[0] = signalPair[1] = -1;
}

}  // namespace tessaly
