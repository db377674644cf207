// The yardstick for the Control Center's start-up: a bare Qt program that shows what the Monitor page shows
// at start, in the main window's frame (a fixed 683 x 460 form with a page control of five pages and a
// button, a two-column tree of 40 expanded rows on the first page), saves it as a PNG image to the file
// given the way `tessaly-control-center --screenshot FILE` does (encoded in memory, then written), and
// closes.
#include <QApplication>
#include <QBuffer>
#include <QHeaderView>
#include <QPixmap>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWidget>
#include <fstream>

namespace {

// Forty rows of captions and values, nested as the monitor nests a reader, its card and its information.
QTreeWidget* MonitorLikeTree() {
  auto* tree = new QTreeWidget;
  tree->setColumnCount(2);
  tree->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Value")});
  tree->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  tree->setWordWrap(true);
  auto* top = new QTreeWidgetItem(tree, {QStringLiteral("Tessaly Easy")});
  auto* parent = new QTreeWidgetItem(top, {QStringLiteral("Readers")});
  for (int row = 2; row < 40; ++row) {
    if (row % 8 == 0) parent = new QTreeWidgetItem(top, {QStringLiteral("Group %1").arg(row / 8)});
    new QTreeWidgetItem(parent,
                        {QStringLiteral("Item %1").arg(row),
                         QStringLiteral("3B 9E 11 80 31 FE 45 80 31 80 5A 54 65 73 73 61 %1").arg(row)});
  }
  tree->expandAll();
  return tree;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc < 2) return 2;
  const std::string file = argv[1];
  QWidget window;
  window.setFixedSize(683, 460);
  auto* pages = new QTabWidget(&window);
  pages->setGeometry(10, 10, 571, 440);
  auto* monitor = new QWidget;
  auto* layout = new QVBoxLayout(monitor);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addWidget(MonitorLikeTree());
  pages->addTab(monitor, QStringLiteral("Monitor"));
  for (const char* name : {"Event Log", "Preferences", "Exchange", "Card Types"}) {
    pages->addTab(new QWidget, QString::fromLatin1(name));
  }
  auto* close = new QPushButton(QStringLiteral("Close"), &window);
  close->setGeometry(595, 30, 76, 25);
  window.show();
  bool saved = false;
  QTimer::singleShot(0, &window, [&] {
    QByteArray png;
    QBuffer buffer(&png);
    saved = buffer.open(QIODevice::WriteOnly) && window.grab(QRect(10, 10, 663, 440)).save(&buffer, "PNG");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(png.constData(), png.size());
    saved = saved && out.good();
    window.close();
  });
  const int status = QApplication::exec();
  return saved ? status : 1;
}
