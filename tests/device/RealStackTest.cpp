// The device layer over pcscd with tessaly-virtual-card in the vsmartcard virtual reader: the whole road
// through the real smart-card stack, each test with a pcscd and a card process of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CardBytes.h"
#include "ChildProcess.h"
#include "ErrorBoxRecorder.h"
#include "HostQueue.h"
#include "PrivatePcscd.h"
#include "ReaderTableFixture.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "device/DeviceLayer.h"
#include "device/VirtualCard.h"
#include "kernel/KernelObject.h"
#include "pcsc/PcscCodes.h"
#include "readers/ReaderTable.h"
#include "settings/_RegistryWorks.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using test::CardBytes;
using Clock = std::chrono::steady_clock;

struct LogRecord {
  std::string Name;
  std::string Source;
  std::string Details;
  Clock::time_point Seen;
};

// The log's texts are ASCII.
std::string Narrow(const std::u16string& text) {
  return {text.begin(), text.end()};
}

class RealStack : public testing::Test {
 protected:
  void SetUp() override {
    if (const auto reason = test::PrivatePcscd::WhyUnavailable()) GTEST_SKIP() << *reason;
    test::ZeroReaderTable();
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
    test::ZeroReaderTable();
  }

  void StartLayer() {
    layer_ = std::make_unique<DeviceLayer>(*kernel_->Connection, MakeSystemPcscService(), queue_.Host());
    layer_->Start();
  }

  void StartCard(std::vector<std::string> arguments = {}) {
    arguments.insert(arguments.begin(), {"--port", std::to_string(pcscd_->CardPort())});
    card_.emplace(TESSALY_VIRTUAL_CARD_EXECUTABLE, arguments);
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
      if (ReaderTable[i].ReaderName == test::PrivatePcscd::kReaderName) return static_cast<int>(i);
    }
    return -1;
  }

  test::ScratchHive hive_;
  test::TempComponent component_{hive_.Hive()};
  test::ErrorBoxRecorder errorBoxes_;
  std::optional<test::PrivatePcscd> pcscd_;
  std::unique_ptr<TKernelObject> kernel_;
  test::HostQueue queue_;
  std::unique_ptr<DeviceLayer> layer_;
  std::optional<test::ChildProcess> card_;
  std::vector<LogRecord> log_;
};

TEST_F(RealStack, CardInsertedIsReadyWithItsAtrExchangesAndRemovedIsClosed) {
  StartLayer();
  ASSERT_TRUE(AwaitRecord("Devices list changed"));
  StartCard();
  const auto ready = AwaitRecord("Card ready");
  ASSERT_TRUE(ready) << "no \"Card ready\" after the card was inserted";
  EXPECT_EQ(ready->Source, test::PrivatePcscd::kReaderName);
  ASSERT_TRUE(ready->Details.starts_with("ATR = "));
  EXPECT_EQ(CardBytes(ready->Details.substr(6)), VirtualCard().Atr());

  const auto result = Exchange("00 A4 08 0C 04 50 00 50 02").Result;
  EXPECT_EQ(result.Response, CardBytes("90 00"));
  EXPECT_EQ(Exchange("00 B2 02 04 00").Result.Response.size(), 13u + 2) << "Issuer=Orvane";
  const std::size_t beforeRemoval = log_.size();
  card_->WriteLine("remove");
  ASSERT_TRUE(AwaitRecord("Waiting for card", beforeRemoval));
  std::vector<std::string> names;
  for (auto record = log_.begin() + static_cast<std::ptrdiff_t>(beforeRemoval); record != log_.end();
       ++record) {
    names.push_back(record->Name);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Reader state changed", "Before reader closing", "Reader closed",
                                             "Waiting for card"}));
}

TEST_F(RealStack, ExchangeUnderT0IsCompletedWithGetResponse) {
  kernel_->Settings->SetProtocol(kProtocolT0);
  StartLayer();
  StartCard({"--protocol", "t0"});
  ASSERT_TRUE(AwaitRecord("Card ready"));
  const std::size_t beforeExchange = log_.size();
  const auto result = Exchange("00 A4 04 04 08 F0 54 45 53 53 41 4C 59 00").Result;
  ASSERT_EQ(result.Steps.size(), 2u);
  EXPECT_EQ(result.Steps[0].Response, CardBytes("61 16"));
  EXPECT_EQ(result.Steps[1].Command, CardBytes("00 C0 00 00 16"));
  EXPECT_EQ(result.Response.size(), 0x16u + 2);
  EXPECT_EQ(std::vector(result.Response.end() - 2, result.Response.end()), CardBytes("90 00"));
  const auto dataSent = std::count_if(log_.begin() + static_cast<std::ptrdiff_t>(beforeExchange), log_.end(),
                                      [](const LogRecord& record) { return record.Name == "Data sent"; });
  EXPECT_EQ(dataSent, 2) << "each physical exchange is logged";
}

TEST_F(RealStack, LayerReconnectsWithinTwoSecondsOfPcscdComingBack) {
  StartLayer();
  StartCard();
  ASSERT_TRUE(AwaitRecord("Card ready"));
  pcscd_->Kill();
  const std::size_t afterKill = log_.size();
  ASSERT_TRUE(AwaitRecord("Service disconnected", afterKill)) << "the loss of pcscd is reported";
  EXPECT_EQ(ServiceContext, 0u);
  pcscd_->Start();
  const auto back = Clock::now();
  const auto connected = AwaitRecord("Service connected", afterKill, 5s);
  ASSERT_TRUE(connected) << "the layer did not come back on its own";
  EXPECT_LE(connected->Seen - back, 2s);
  RecordProperty("ReconnectMilliseconds",
                 static_cast<int>(
                     std::chrono::duration_cast<std::chrono::milliseconds>(connected->Seen - back).count()));
  EXPECT_TRUE(AwaitRecord("Card ready", afterKill)) << "the card is taken the whole road again";
}

}  // namespace
}  // namespace tessaly
