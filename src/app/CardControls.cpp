#include "app/CardControls.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>

#include "pcsc/PcscCodes.h"
#include "readers/Vocabulary.h"

namespace tessaly {
namespace {

// Each choice in plain words, its stored name in the tooltip.
void AddChoice(QComboBox& choice, const QString& text, std::int32_t code, const std::string& storedName) {
  choice.addItem(text, code);
  choice.setItemData(choice.count() - 1, QString::fromStdString(storedName), Qt::ToolTipRole);
}

}  // namespace

CardControls::CardControls(QWidget* parent)
    : QWidget(parent),
      reset_(new QPushButton(QStringLiteral("Reset"))),
      reconnect_(new QPushButton(QStringLiteral("Reconnect"))),
      disconnect_(new QPushButton(QStringLiteral("Disconnect"))),
      protocol_(new QComboBox),
      closingMode_(new QComboBox) {
  reset_->setToolTip(QStringLiteral("Reset the card (warm reset) under the reader's protocol"));
  protocol_->setAccessibleName(QStringLiteral("Protocol"));
  AddChoice(*protocol_, QStringLiteral("T=0 or T=1"), kProtocolAutoDetect,
            ProtocolToStr(kProtocolAutoDetect));
  AddChoice(*protocol_, QStringLiteral("T=0"), kProtocolT0, ProtocolToStr(kProtocolT0));
  AddChoice(*protocol_, QStringLiteral("T=1"), kProtocolT1, ProtocolToStr(kProtocolT1));
  closingMode_->setAccessibleName(QStringLiteral("Closing mode"));
  AddChoice(*closingMode_, QStringLiteral("Leave the card"), kLeaveCard, DispositionToStr(kLeaveCard));
  AddChoice(*closingMode_, QStringLiteral("Reset the card"), kResetCard, DispositionToStr(kResetCard));
  AddChoice(*closingMode_, QStringLiteral("Unpower the card"), kUnpowerCard, DispositionToStr(kUnpowerCard));
  AddChoice(*closingMode_, QStringLiteral("Eject the card"), kEjectCard, DispositionToStr(kEjectCard));
  closingMode_->setCurrentIndex(closingMode_->findData(kResetCard));
  // As wide as its longer text, so that the row stays put when "Connect" takes its place.
  reconnect_->setMinimumWidth(reconnect_->sizeHint().width());

  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  layout->addWidget(reset_);
  layout->addSpacing(8);
  layout->addWidget(reconnect_);
  layout->addWidget(protocol_);
  layout->addSpacing(8);
  layout->addWidget(disconnect_);
  layout->addWidget(closingMode_);
  layout->addStretch(1);

  connect(reset_, &QPushButton::clicked, this, &CardControls::ResetClicked);
  connect(reconnect_, &QPushButton::clicked, this, &CardControls::ReconnectClicked);
  connect(disconnect_, &QPushButton::clicked, this, &CardControls::DisconnectClicked);
  ShowCardState(CardState::None, false);
}

void CardControls::ShowCardState(CardState state, bool busy) {
  const bool open = state == CardState::Open && !busy;
  reset_->setEnabled(open);
  disconnect_->setEnabled(open);
  reconnect_->setEnabled(state != CardState::None && !busy);
  reconnect_->setText(state == CardState::Closed ? QStringLiteral("Connect") : QStringLiteral("Reconnect"));
  reconnect_->setToolTip(
      state == CardState::Closed
          ? QStringLiteral("Open the card under the protocol chosen")
          : QStringLiteral("Reset the card and connect it again under the protocol chosen"));
  disconnect_->setToolTip(QStringLiteral("Close the card with the closing mode chosen"));
}

std::int32_t CardControls::Protocol() const {
  return protocol_->currentData().toInt();
}

std::int32_t CardControls::ClosingMode() const {
  return closingMode_->currentData().toInt();
}

}  // namespace tessaly
