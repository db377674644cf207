#include "DeviceLayerFixture.h"

#include <optional>

#include "ReaderTableFixture.h"
#include "settings/ProductIdentity.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

std::string Narrow(const std::u16string& text) {
  return {text.begin(), text.end()};
}

}  // namespace

DeviceLayerTest::DeviceLayerTest() {
  ZeroReaderTable();
  kernel_.Start();
  kernel_.OnLog = [this](std::int32_t, std::uint8_t, const std::u16string& source, const std::u16string& name,
                         const std::u16string& details, std::chrono::system_clock::time_point) {
    log_.push_back(Narrow(name) + " | " + Narrow(source) + " | " + Narrow(details));
  };
  auto service = std::make_unique<VirtualReaderService>();
  service_ = service.get();
  service_->KeepJournal();
  layer_ = std::make_unique<DeviceLayer>(*kernel_.Connection, std::move(service), queue_.Host());
}

DeviceLayerTest::~DeviceLayerTest() {
  layer_.reset();
  queue_.RunPending();
  ZeroReaderTable();
  SetComponentFolder("");
}

void DeviceLayerTest::Settle() {
  do {
    EXPECT_TRUE(queue_.RunUntil([&] { return layer_->Idle(); }, std::chrono::seconds(5)));
    service_->WaitUntilWatched();
  } while (queue_.RunPending() > 0);
}

ExchangeOutcome DeviceLayerTest::Exchange(int n, const std::string& hexCommand) {
  std::optional<ExchangeOutcome> outcome;
  layer_->Transmit(n, hexCommand, [&](const ExchangeOutcome& ended) { outcome = ended; });
  EXPECT_TRUE(queue_.RunUntil([&] { return outcome.has_value(); }, std::chrono::seconds(5)));
  return outcome.value_or(ExchangeOutcome{{}, "no end within 5 s"});
}

Lines DeviceLayerTest::TakeLog() {
  Lines taken;
  taken.swap(log_);
  return taken;
}

TReaderHead& DeviceLayerTest::Entry(int n) {
  return ReaderTable.at(static_cast<std::size_t>(n));
}

Lines StartWithCardLog() {
  const std::string reader = kReader;
  return {
      "Before service connection | MS Smart Card service | ",
      "Service connected | MS Smart Card service | ",
      "Before devices list | MS Smart Card service | ",
      "Devices list changed | MS Smart Card service | ",
      "Reader state changed | " + reader + " | 0x00010022 : PRESENT : " + kAtr,
      "Card detected | " + reader + " | Card was detected in the reader",
      "Before reader opening | " + reader + " | ",
      "Reader opened | " + reader + " | ",
      "Card ready | " + reader + " | ATR = " + kAtr,
      "Reader state changed | " + reader + " | 0x00010122 : PRESENT|INUSE : " + kAtr,
  };
}

}  // namespace tessaly::test
