// The yardstick for the Control Center's start-up: a bare Qt program that shows a window of the main
// window's frame (a fixed 683 x 460 form with a page control and a button), saves it as a PNG image to the
// file given and closes, as `tessaly-control-center --screenshot FILE` does.
#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) return 2;
  const QString file = QString::fromLocal8Bit(argv[1]);
  QWidget window;
  window.setFixedSize(683, 460);
  auto* pages = new QTabWidget(&window);
  pages->setGeometry(10, 10, 571, 440);
  auto* close = new QPushButton(QStringLiteral("Close"), &window);
  close->setGeometry(595, 30, 76, 25);
  window.show();
  bool saved = false;
  QTimer::singleShot(0, &window, [&] {
    saved = window.grab(QRect(10, 10, 663, 440)).save(file, "PNG");
    window.close();
  });
  const int status = QApplication::exec();
  return saved ? status : 1;
}
