// The Event Log page under load: bursts of 1,000 records from the kernel's OnLog, with the page shown (on
// the offscreen platform unless another is chosen), and the memory each kept record costs beyond its texts.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <QApplication>
#include <QString>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "app/EventLogPage.h"
#include "readers/EventCodes.h"

namespace {

using tessaly::EventLogModel;
using tessaly::EventLogPage;
using tessaly::LogRecord;

constexpr int kBurst = 1000;

QApplication& Application() {
  static int argc = 1;
  static char name[] = "event_log_page_bench";
  static char* argv[] = {name, nullptr};
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication application(argc, argv);
  return application;
}

std::unique_ptr<EventLogPage> ShownPage() {
  Application();
  auto page = std::make_unique<EventLogPage>();
  page->resize(565, 410);
  page->show();
  QApplication::processEvents();
  return page;
}

// One record as the host makes it from the kernel's wide texts: an exchange on one of two readers.
LogRecord ExchangeRecord(std::int32_t number) {
  static const std::u16string readers[] = {u"Virtual Reader 0", u"Virtual Reader 1"};
  static const std::u16string name = u"Data sent";
  const std::u16string details = u"Sent: { 00 B0 00 00 10 }  Received: { 48 65 6C 6C 6F 90 00 }";
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return {number,
          tessaly::ecDataSent,
          std::chrono::duration_cast<std::chrono::milliseconds>(now).count(),
          QString::fromStdU16String(readers[number % 2]),
          QString::fromStdU16String(name),
          QString::fromStdU16String(details)};
}

// A burst of records handed over one by one, then one turn of the event loop: the page takes them in and
// repaints.
void AppendBurst(EventLogPage& page, std::int32_t& number) {
  for (int i = 0; i < kBurst; ++i) page.Model().Append(ExchangeRecord(++number));
  QApplication::processEvents();
}

// Fills an empty page to its 100,000 records.
void BM_BurstWhileFilling(benchmark::State& state) {
  auto page = ShownPage();
  std::int32_t number = 0;
  for (auto _ : state) AppendBurst(*page, number);
  state.counters["kept"] = static_cast<double>(page->Model().KeptCount());
}
BENCHMARK(BM_BurstWhileFilling)->Iterations(100)->Unit(benchmark::kMillisecond);

// Every burst drops as many of the oldest records as it adds.
void BM_BurstAtTheCap(benchmark::State& state) {
  auto page = ShownPage();
  std::int32_t number = 0;
  while (page->Model().KeptCount() < EventLogModel::DefaultCapacity) AppendBurst(*page, number);
  for (auto _ : state) AppendBurst(*page, number);
  state.counters["dropped"] = static_cast<double>(page->Model().DroppedCount());
}
BENCHMARK(BM_BurstAtTheCap)->Iterations(100)->Unit(benchmark::kMillisecond);

// A change of the filter text looks through every kept record (all 100,000, as the user types).
void BM_FilterOverAFullLog(benchmark::State& state) {
  auto page = ShownPage();
  std::int32_t number = 0;
  while (page->Model().KeptCount() < EventLogModel::DefaultCapacity) AppendBurst(*page, number);
  int turn = 0;
  for (auto _ : state) {
    page->Model().SetFilter(turn++ % 2 == 0 ? QStringLiteral("6c 6c") : QStringLiteral("reader 1"),
                            tessaly::LogKind::All);
    QApplication::processEvents();
  }
  state.counters["shown"] = page->Model().rowCount();
}
BENCHMARK(BM_FilterOverAFullLog)->Iterations(10)->Unit(benchmark::kMillisecond);

// Records whose texts cost nothing (the source and event name repeat and are shared, the details empty), so
// the heap growth is what the page spends per record: the record itself, its row and the containers.
void BM_MemoryPerKeptRecord(benchmark::State& state) {
  for (auto _ : state) {
    auto page = ShownPage();
    const std::size_t before = mallinfo2().uordblks;
    std::int32_t number = 0;
    while (page->Model().KeptCount() < EventLogModel::DefaultCapacity) {
      for (int i = 0; i < kBurst; ++i) {
        page->Model().Append({++number, tessaly::ecCardReady, number, QStringLiteral("Virtual Reader 0"),
                              QStringLiteral("Card ready"), QString()});
      }
      QApplication::processEvents();
    }
    const std::size_t after = mallinfo2().uordblks;
    state.counters["bytes_per_record"] =
        static_cast<double>(after - before) / static_cast<double>(page->Model().KeptCount());
  }
}
BENCHMARK(BM_MemoryPerKeptRecord)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
