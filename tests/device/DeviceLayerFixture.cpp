#include "DeviceLayerFixture.h"

#include "ReaderTableFixture.h"
#include "settings/ProductIdentity.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

std::string Narrow(const std::u16string& text) {
  return {text.begin(), text.end()};
}

}  // namespace

Dispatcher TaskQueue::Poster() {
  return [this](std::function<void()> task) {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
    posted_.notify_all();
  };
}

int TaskQueue::RunPending() {
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard lock(mutex_);
    tasks.swap(tasks_);
  }
  for (auto& task : tasks) task();
  return static_cast<int>(tasks.size());
}

bool TaskQueue::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    std::unique_lock lock(mutex_);
    if (!posted_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) return done();
    lock.unlock();
    RunPending();
  }
  return true;
}

DeviceLayerTest::DeviceLayerTest() {
  ZeroReaderTable();
  kernel_.Start();
  kernel_.OnLog = [this](std::int32_t, std::uint8_t, const std::u16string& source, const std::u16string& name,
                         const std::u16string& details, std::chrono::system_clock::time_point) {
    log_.push_back(Narrow(name) + " | " + Narrow(source) + " | " + Narrow(details));
  };
  auto service = std::make_unique<VirtualReaderService>();
  service_ = service.get();
  layer_ = std::make_unique<DeviceLayer>(*kernel_.Connection, std::move(service), queue_.Poster());
}

DeviceLayerTest::~DeviceLayerTest() {
  layer_.reset();
  queue_.RunPending();
  ZeroReaderTable();
  SetComponentFolder("");
}

void DeviceLayerTest::Settle() {
  do {
    service_->WaitUntilWatched();
  } while (queue_.RunPending() > 0);
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
