#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ErrorBoxRecorder.h"
#include "HostQueue.h"
#include "ReaderTableFixture.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "ScriptedPcscService.h"
#include "device/DeviceLayer.h"
#include "device/VirtualReaderService.h"
#include "kernel/KernelObject.h"
#include "settings/ProductIdentity.h"

namespace tessaly::test {

using Lines = std::vector<std::string>;

// "Event name | source | details" for one log record.
std::string LogLine(const std::u16string& name, const std::u16string& source, const std::u16string& details);

// The device layer over a service of the test's (the virtual reader, or a scripted one) with the real kernel,
// connection, settings store on a scratch hive and the working folder's template files. Every log record of
// the kernel is kept as one line "Event name | source | details".
template <typename Service>
class DeviceLayerOver : public ::testing::Test {
 protected:
  DeviceLayerOver() {
    ZeroReaderTable();
    kernel_.Start();
    kernel_.OnLog = [this](std::int32_t, std::uint8_t, const std::u16string& source,
                           const std::u16string& name, const std::u16string& details,
                           std::chrono::system_clock::time_point) {
      log_.push_back(LogLine(name, source, details));
    };
    auto service = std::make_unique<Service>();
    service_ = service.get();
    layer_ = std::make_unique<DeviceLayer>(*kernel_.Connection, std::move(service), queue_.Host());
  }
  ~DeviceLayerOver() override {
    layer_.reset();
    queue_.RunPending();
    ZeroReaderTable();
    SetComponentFolder("");
  }

  // Runs posted changes until the watch waits again with nothing left to post and the layer is idle.
  void Settle() {
    do {
      EXPECT_TRUE(queue_.RunUntil([&] { return layer_->Idle(); }, std::chrono::seconds(5)));
      ASSERT_TRUE(service_->WaitUntilWatched()) << "the watch did not come back to its wait";
    } while (queue_.RunPending() > 0);
  }
  // Starts the exchange with the card in reader n; its outcome lands in outcome_.
  void Send(int n, const std::string& hexCommand) {
    outcome_.reset();
    layer_->Transmit(n, hexCommand, [this](const ExchangeOutcome& ended) { outcome_ = ended; });
  }
  // Sends the command to the card in reader n and waits for the exchange's end.
  ExchangeOutcome Exchange(int n, const std::string& hexCommand) {
    Send(n, hexCommand);
    EXPECT_TRUE(queue_.RunUntil([&] { return outcome_.has_value(); }, std::chrono::seconds(5)));
    return outcome_.value_or(ExchangeOutcome{{}, "no end within 5 s"});
  }
  // The log lines since the last call.
  Lines TakeLog() {
    Lines taken;
    taken.swap(log_);
    return taken;
  }
  TReaderHead& Entry(int n) { return ReaderTable.at(static_cast<std::size_t>(n)); }

  ScratchHive hive_;
  TempComponent component_{hive_.Hive()};
  ErrorBoxRecorder errorBoxes_;
  TKernelObject kernel_{0, [hive = hive_.Hive()] { return hive; }};
  HostQueue queue_;
  Service* service_ = nullptr;  // owned by layer_
  std::unique_ptr<DeviceLayer> layer_;
  std::optional<ExchangeOutcome> outcome_;
  Lines log_;
};

// Over the virtual reader, which keeps its journal of calls for the tests.
class DeviceLayerTest : public DeviceLayerOver<VirtualReaderService> {
 protected:
  DeviceLayerTest() { service_->KeepJournal(); }
};

// Lines of the start sequence with the virtual reader holding its card, opened with T=1 and shared.
Lines StartWithCardLog();

inline constexpr char kReader[] = "Tessaly Virtual Reader 00 00";
inline constexpr char kAtr[] = "3B 9E 11 80 31 FE 45 80 31 80 5A 54 65 73 73 61 6C 79 20 56 43 9E";
inline constexpr char kDefaultCardType[] = "ISO-7816 Smart Card";

}  // namespace tessaly::test
