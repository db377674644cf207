#include "AppTestSupport.h"

#include <QApplication>
#include <QEvent>

#include "app/ApplicationObject.h"
#include "app/CC_Main.h"

namespace tessaly::test {

TMainForm* FindMainForm() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* form = qobject_cast<TMainForm*>(widget); form != nullptr && form->isVisible()) return form;
  }
  return nullptr;
}

void ApplicationTest::SetUp() {
  InitialiseApplication();
}

void ApplicationTest::TearDown() {
  ReleaseApplication();
}

MainFormShowCounter::MainFormShowCounter() {
  QCoreApplication::instance()->installEventFilter(this);
}

MainFormShowCounter::~MainFormShowCounter() {
  QCoreApplication::instance()->removeEventFilter(this);
}

bool MainFormShowCounter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Show && qobject_cast<TMainForm*>(watched) != nullptr) ++count_;
  return false;
}

}  // namespace tessaly::test
