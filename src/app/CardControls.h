#pragma once

#include <QWidget>
#include <cstdint>

class QComboBox;
class QPushButton;

namespace tessaly {

// The card in the chosen reader as the Exchange page offers to handle it: a warm reset, a reconnection under
// the protocol chosen (a connection, when the card is closed), and a disconnection with the closing mode
// chosen.
class CardControls final : public QWidget {
  Q_OBJECT

 public:
  enum class CardState { None, Closed, Open };

  explicit CardControls(QWidget* parent = nullptr);

  // Offers what a card in that state allows; nothing while busy (a command or card operation under way).
  void ShowCardState(CardState state, bool busy);

  // kProtocolT0, kProtocolT1, or kProtocolAutoDetect for either.
  std::int32_t Protocol() const;
  // kLeaveCard to kEjectCard.
  std::int32_t ClosingMode() const;

  QPushButton& ResetButton() { return *reset_; }
  QPushButton& ReconnectButton() { return *reconnect_; }
  QPushButton& DisconnectButton() { return *disconnect_; }
  QComboBox& ProtocolChoice() { return *protocol_; }
  QComboBox& ClosingModeChoice() { return *closingMode_; }

 signals:
  void ResetClicked();
  void ReconnectClicked();
  void DisconnectClicked();

 private:
  QPushButton* const reset_;
  QPushButton* const reconnect_;
  QPushButton* const disconnect_;
  QComboBox* const protocol_;
  QComboBox* const closingMode_;
};

}  // namespace tessaly
