#include "tools/CardSlot.h"

#include <poll.h>

#include <ostream>

namespace tessaly {
namespace {

// One-byte messages of the driver.
constexpr std::uint8_t kPowerOff = 0;
constexpr std::uint8_t kPowerOn = 1;
constexpr std::uint8_t kReset = 2;
constexpr std::uint8_t kGetAtr = 4;

constexpr auto kRetryInterval = std::chrono::milliseconds(100);

}  // namespace

CardSlot::CardSlot(std::string host, std::uint16_t port, std::uint32_t protocol, std::ostream& status,
                   std::ostream& errors)
    : host_(std::move(host)),
      port_(port),
      driver_(DriverAddress(host_, port).value()),
      status_(status),
      errors_(errors) {
  card_.SetProtocol(protocol);
}

void CardSlot::Insert() {
  if (wantInserted_) return;
  wantInserted_ = true;
  waitReported_ = false;
  Attempt();
}

void CardSlot::Remove() {
  wantInserted_ = false;
  const bool wasInserted = IsInserted();
  link_.reset();
  claim_.reset();
  if (wasInserted) status_ << "removed" << std::endl;
}

short CardSlot::Events() const {
  if (!link_) return 0;
  return link_->IsConnected() ? POLLIN : POLLOUT;
}

std::optional<CardSlot::Clock::duration> CardSlot::Timeout() const {
  if (!wantInserted_ || link_) return std::nullopt;
  return std::max(Clock::duration::zero(), nextAttempt_ - Clock::now());
}

void CardSlot::Tick(short revents) {
  if (IsConnecting() && revents != 0) {
    try {
      link_->FinishConnecting();
      Connected();
    } catch (const EPosixCallError& error) {
      Waiting(error.what());
    }
  } else if (IsInserted() && revents != 0) {
    Serve();
  }
  if (wantInserted_ && !link_ && Clock::now() >= nextAttempt_) Attempt();
}

// The reader is claimed first, so that a second card for it waits without ever showing as inserted.
void CardSlot::Attempt() {
  if (!wantInserted_ || link_) return;
  if (!claim_) claim_ = ReaderClaim::Take(host_, port_);
  if (!claim_) return Waiting("the reader already holds a card, put in by another tessaly-virtual-card");
  try {
    link_.emplace(driver_);
  } catch (const EPosixCallError& error) {
    return Waiting(error.what());
  }
  if (link_->IsConnected()) Connected();
}

void CardSlot::Connected() {
  waitReported_ = false;
  card_.Reset();
  status_ << "inserted" << std::endl;
}

void CardSlot::Waiting(const std::string& reason) {
  link_.reset();
  nextAttempt_ = Clock::now() + kRetryInterval;
  if (!waitReported_) {
    errors_ << "tessaly-virtual-card: waiting for the reader at " << host_ << ':' << port_ << " (" << reason
            << ")" << std::endl;
  }
  waitReported_ = true;
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

// The card goes back in at once: the driver that closed may be up again.
void CardSlot::Lost(const std::string& reason) {
  link_.reset();
  nextAttempt_ = Clock::now();
  errors_ << "tessaly-virtual-card: " << reason << std::endl;
  status_ << "removed" << std::endl;
}

}  // namespace tessaly
