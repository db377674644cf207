#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTabWidget;

namespace tessaly {

// The main window: a fixed-size frame with the page control, the Close and About buttons (F1 opens About
// too) and, in the column under them, the kernel's message text. Its client area, the 663 x 440 that the
// children are laid out in, lies inside a border of BorderWidth on every side.
class TMainForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int BorderWidth = 10;
  static constexpr QSize ClientSize{663, 440};

  explicit TMainForm(QWidget* parent = nullptr);

  QRect ClientRect() const { return contentsRect(); }

  QTabWidget* const PageControl;
  QPushButton* const CloseButton;
  QPushButton* const AboutButton;
  QLabel* const MessageLabel;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void SetFormProperties();
  void PlaceChildren();
  // Centres the whole window, frame included, once the platform knows the frame.
  void CenterOnScreen();
  // Gives the window its caption and makes that caption the application title.
  void FormCreate();
  void CloseButtonClick();

  bool centred_ = false;
};

}  // namespace tessaly
