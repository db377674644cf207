#include "tools/CardSlot.h"

#include <ostream>

namespace tessaly {
namespace {

// One-byte messages of the driver.
constexpr std::uint8_t kPowerOff = 0;
constexpr std::uint8_t kPowerOn = 1;
constexpr std::uint8_t kReset = 2;
constexpr std::uint8_t kGetAtr = 4;

}  // namespace

CardSlot::CardSlot(std::string host, std::uint16_t port, std::uint32_t protocol, std::ostream& status,
                   std::ostream& errors)
    : host_(std::move(host)), port_(port), status_(status), errors_(errors) {
  card_.SetProtocol(protocol);
}

void CardSlot::Insert() {
  wantInserted_ = true;
  waitReported_ = false;
  Reconnect();
}

void CardSlot::Remove() {
  wantInserted_ = false;
  if (!link_) return;
  link_.reset();
  status_ << "removed" << std::endl;
}

void CardSlot::Reconnect() {
  if (!wantInserted_ || link_) return;
  try {
    link_.emplace(host_, port_);
  } catch (const EPosixCallError& error) {
    if (!waitReported_) {
      errors_ << "tessaly-virtual-card: waiting for the reader driver at " << host_ << ':' << port_ << " ("
              << error.what() << ")" << std::endl;
    }
    waitReported_ = true;
    return;
  }
  waitReported_ = false;
  card_.Reset();
  status_ << "inserted" << std::endl;
}

void CardSlot::Serve() {
  try {
    const auto message = link_->Receive();
    if (!message) return Lost("the reader driver closed the connection");
    Answer(*message);
  } catch (const EPosixCallError& error) {
    Lost(error.what());
  }
}

void CardSlot::Answer(const std::vector<std::uint8_t>& message) {
  if (message.size() != 1) {
    link_->Send(card_.Transmit(message));
    return;
  }
  switch (message[0]) {
    case kPowerOff:
      break;
    case kPowerOn:
    case kReset:
      card_.Reset();
      break;
    case kGetAtr:
      link_->Send(card_.Atr());
      break;
    default:
      errors_ << "tessaly-virtual-card: unknown control code " << int{message[0]} << " ignored" << std::endl;
  }
}

void CardSlot::Lost(const std::string& reason) {
  link_.reset();
  errors_ << "tessaly-virtual-card: " << reason << std::endl;
  status_ << "removed" << std::endl;
}

}  // namespace tessaly
