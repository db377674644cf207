#include "app/QtErrorBox.h"

#include <QApplication>
#include <QMessageBox>
#include <iostream>

#include "app/ApplicationObject.h"
#include "platform/ErrorBox.h"

namespace tessaly {
namespace {

void ShowErrorBoxWithQt(const std::string& text) {
  if (DisplayAvailable()) {
    InitialiseApplication();
    if (!ApplicationIsHeadless()) {
      ShowQtErrorBox(text);
      return;
    }
  }
  std::cerr << text << std::endl;
}

}  // namespace

void ShowQtErrorBox(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QGuiApplication::applicationDisplayName(),
                  QString::fromLocal8Bit(text), QMessageBox::Ok);
  box.exec();
}

void InstallQtErrorBox() {
  SetErrorBoxHook(ShowErrorBoxWithQt);
}

}  // namespace tessaly
