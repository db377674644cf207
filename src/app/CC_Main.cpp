#include "app/CC_Main.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTabWidget>

#include "app/AboutBox.h"
#include "settings/ProductIdentity.h"

namespace tessaly {

TMainForm::TMainForm(QWidget* parent)
    : QWidget(parent, Qt::Window),
      PageControl(new QTabWidget(this)),
      CloseButton(new QPushButton(this)),
      AboutButton(new QPushButton(this)),
      MessageLabel(new QLabel(this)) {
  SetFormProperties();
  PlaceChildren();
  FormCreate();
}

void TMainForm::SetFormProperties() {
  // A single border with the system menu and minimise only: no maximise box, and no resizing.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setContentsMargins(BorderWidth, BorderWidth, BorderWidth, BorderWidth);
  setFixedSize(ClientSize.grownBy(contentsMargins()));

  QPalette colours = palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::Button));
  // Black text on a dark system palette would be unreadable: there the palette's own text colours stay.
  const bool dark =
      colours.color(QPalette::Window).lightness() < colours.color(QPalette::WindowText).lightness();
  // Disabled controls keep the palette's own, paler text, so that they still look disabled.
  if (!dark) {
    for (const auto role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text}) {
      for (const auto group : {QPalette::Active, QPalette::Inactive})
        colours.setColor(group, role, Qt::black);
    }
  }
  setPalette(colours);
  setAutoFillBackground(true);

  // Qt picks the nearest installed face for "MS Sans Serif".
  QFont formFont(QStringLiteral("MS Sans Serif"));
  formFont.setPointSize(8);
  setFont(formFont);

  setWindowTitle(QStringLiteral("MainForm"));
}

void TMainForm::PlaceChildren() {
  const QRect client = ClientRect();
  PageControl->setObjectName(QStringLiteral("PageControl"));
  PageControl->setGeometry(client.left(), client.top(), 571, client.height());

  CloseButton->setObjectName(QStringLiteral("CloseButton"));
  CloseButton->setText(QStringLiteral("Close"));
  CloseButton->setGeometry(client.left() + 585, client.top() + 20, 76, 25);
  connect(CloseButton, &QPushButton::clicked, this, &TMainForm::CloseButtonClick);

  AboutButton->setObjectName(QStringLiteral("AboutButton"));
  AboutButton->setText(QStringLiteral("About"));
  AboutButton->setToolTip(QStringLiteral("The program, its libraries, settings and licence (F1)"));
  AboutButton->setGeometry(client.left() + 585, client.top() + 55, 76, 25);
  connect(AboutButton, &QPushButton::clicked, this, [this] { ShowAboutBox(*this); });
  auto* help = new QShortcut(QKeySequence(Qt::Key_F1), this);
  connect(help, &QShortcut::activated, this, [this] { ShowAboutBox(*this); });

  setTabOrder(PageControl, CloseButton);
  setTabOrder(CloseButton, AboutButton);

  // The free column under the buttons, down to the bottom of the client area.
  constexpr int kMessageTop = 90;
  MessageLabel->setObjectName(QStringLiteral("MessageLabel"));
  MessageLabel->setGeometry(client.left() + 585, client.top() + kMessageTop, 76,
                            client.height() - kMessageTop);
  MessageLabel->setWordWrap(true);
  MessageLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void TMainForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!centred_) {
    CenterOnScreen();
    centred_ = true;
  }
}

void TMainForm::CenterOnScreen() {
  QRect frame = frameGeometry();
  frame.moveCenter(screen()->geometry().center());
  move(frame.topLeft());
}

void TMainForm::FormCreate() {
  const TProductIdentity& identity = ProductIdentity();
  const std::string caption = identity.ProductName + " " + identity.VersionText + " Control Center";
  setWindowTitle(QString::fromLocal8Bit(caption));
  QGuiApplication::setApplicationDisplayName(windowTitle());
}

void TMainForm::CloseButtonClick() {
  close();
}

}  // namespace tessaly
