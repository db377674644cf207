// The device layer over pcscd with a card process in the vsmartcard virtual reader: the whole road through
// the real smart-card stack, each test with a pcscd and a card process of its own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ErrorBoxRecorder.h"
#include "HostQueue.h"
#include "PrivatePcscd.h"
#include "ReaderTableFixture.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "device/DeviceLayer.h"
#include "kernel/KernelObject.h"
#include "readers/ReaderTable.h"

namespace tessaly::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct LogRecord {
  std::string Name;
  std::string Source;
  std::string Details;
  Clock::time_point Seen;
};

// The log's texts are ASCII.
inline std::string Narrow(const std::u16string& text) {
  return {text.begin(), text.end()};
}

class RealStack : public testing::Test {
 protected:
  void SetUp() override {
    if (const auto reason = PrivatePcscd::WhyUnavailable()) GTEST_SKIP() << *reason;
    ZeroReaderTable();
    pcscd_.emplace();
    kernel_ = std::make_unique<TKernelObject>(0, [hive = hive_.Hive()] { return hive; });
    kernel_->Start();
    kernel_->OnLog = [this](std::int32_t, std::uint8_t, const std::u16string& source,
                            const std::u16string& name, const std::u16string& details,
                            std::chrono::system_clock::time_point) {
      log_.push_back({Narrow(name), Narrow(source), Narrow(details), Clock::now()});
    };
  }

  void TearDown() override {
    layer_.reset();
    card_.reset();
    kernel_.reset();
    pcscd_.reset();
    ZeroReaderTable();
  }

  void StartLayer() {
    layer_ = std::make_unique<DeviceLayer>(*kernel_->Connection, MakeSystemPcscService(), queue_.Host());
    layer_->Start();
  }

  void StartCard(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), {"--port", std::to_string(pcscd_->CardPort())});
    card_.emplace(TESSALY_VIRTUAL_CARD_EXECUTABLE, arguments);
  }
  // A card that misbehaves on request in the reader instead.
  void StartAdversarialCard() {
    card_.emplace(TESSALY_ADVERSARIAL_CARD_EXECUTABLE,
                  std::vector<std::string>{std::to_string(pcscd_->CardPort())});
  }

  // Sends the command to the card in the private pcscd's reader and waits for the exchange's end.
  ExchangeOutcome Exchange(const std::string& hexCommand) {
    std::optional<ExchangeOutcome> outcome;
    layer_->Transmit(ReaderIndex(), hexCommand, [&](const ExchangeOutcome& ended) { outcome = ended; });
    EXPECT_TRUE(queue_.RunUntil([&] { return outcome.has_value(); }, 5s));
    return outcome.value_or(ExchangeOutcome{{}, "no end within 5 s"});
  }

  // The first record named name from position from on, waiting for it while running the host's tasks.
  std::optional<LogRecord> AwaitRecord(const std::string& name, std::size_t from = 0,
                                       std::chrono::milliseconds timeout = 5s) {
    const auto found = [&] {
      return std::find_if(log_.begin() + static_cast<std::ptrdiff_t>(std::min(from, log_.size())), log_.end(),
                          [&](const LogRecord& record) { return record.Name == name; });
    };
    if (!queue_.RunUntil([&] { return found() != log_.end(); }, timeout)) return std::nullopt;
    return *found();
  }

  int ReaderIndex() const {
    for (std::size_t i = 0; i < kReaderCount; ++i) {
      if (ReaderTable[i].ReaderName == PrivatePcscd::kReaderName) return static_cast<int>(i);
    }
    return -1;
  }

  ScratchHive hive_;
  TempComponent component_{hive_.Hive()};
  ErrorBoxRecorder errorBoxes_;
  std::optional<PrivatePcscd> pcscd_;
  std::unique_ptr<TKernelObject> kernel_;
  HostQueue queue_;
  std::unique_ptr<DeviceLayer> layer_;
  std::optional<ChildProcess> card_;
  std::vector<LogRecord> log_;
};

}  // namespace tessaly::test
