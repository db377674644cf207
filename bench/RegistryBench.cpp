// The ATR index burst a card detection causes: for every card type, close the key, open the maker key,
// open the card type's "ATRs" key relative to it (with create) and list its value names.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TempHive.h"
#include "platform/Registry.h"
#include "platform/SqliteRegistryHive.h"

namespace tessaly {
namespace {

constexpr int kCardTypes = 10000;

// A hive written once, in one atomic run, by fill(registry, i) for each of the card types; each fill gets a
// hive of its own.
template <typename Fill>
const test::TempHive& HiveFilledBy(Fill fill) {
  static const test::TempHive hive;
  static const bool filled = [&] {
    auto store = std::make_shared<SqliteRegistryHive>(hive.File());
    TRegistry reg(store);
    store->Atomically([&] {
      for (int i = 0; i < kCardTypes; ++i) fill(reg, i);
    });
    return true;
  }();
  (void)filled;
  return hive;
}

std::string CardTypeKey(int i) {
  return "\\SOFTWARE\\Orvane\\Card Types\\Card Type " + std::to_string(i);
}

const test::TempHive& CatalogueHive() {
  return HiveFilledBy([](TRegistry& reg, int i) {
    reg.OpenKey(CardTypeKey(i) + "\\ATRs", true);
    reg.WriteString("3B8F8001804F0CA0000003060300" + std::to_string(100000 + i), "");
  });
}

// A catalogue as users keep it: every card type with all the values a stored card type has, and two ATRs.
const test::TempHive& FullCatalogueHive() {
  return HiveFilledBy([](TRegistry& reg, int i) {
    reg.OpenKey(CardTypeKey(i), true);
    reg.WriteInteger("Base Type", i % 3);
    reg.WriteString("Templates COS", "$(WorkDir)\\Templates\\Card Type " + std::to_string(i) + ".cct");
    reg.WriteString("Templates SW", "$(WorkDir)\\Templates\\Card Type " + std::to_string(i) + ".swt");
    for (const char* name : {"Cla", "Ins", "P1", "P2", "P3", "Le"}) {
      reg.WriteString(std::string("DefaultAPDU ") + name, "00");
    }
    reg.WriteString("DefaultAPDU DataIn", "3F00");
    reg.OpenKey(CardTypeKey(i) + "\\ATRs", true);
    reg.WriteString("3B8F8001804F0CA0000003060300" + std::to_string(100000 + i), "");
    reg.WriteString("3B6F00008031E06B0" + std::to_string(100000 + i), "");
  });
}

std::size_t AtrBurst(TRegistry& reg, const std::vector<std::string>& cardTypes) {
  std::size_t atrs = 0;
  for (const auto& name : cardTypes) {
    reg.CloseKey();
    reg.OpenKey("\\SOFTWARE\\Orvane", true);
    reg.OpenKey("Card Types\\" + name + "\\ATRs", true);
    atrs += reg.GetValueNames().size();
  }
  return atrs;
}

std::vector<std::string> CardTypes(TRegistry& reg) {
  reg.OpenKey("\\SOFTWARE\\Orvane\\Card Types", false);
  return reg.GetKeyNames();
}

// A hive opened before each burst: its path cache starts empty.
void BM_AtrBurstFirstAfterOpen(benchmark::State& state) {
  const auto& hive = CatalogueHive();
  for (auto _ : state) {
    state.PauseTiming();
    TRegistry reg(std::make_shared<SqliteRegistryHive>(hive.File()));
    const auto cardTypes = CardTypes(reg);
    state.ResumeTiming();
    if (AtrBurst(reg, cardTypes) != kCardTypes) state.SkipWithError("ATRs missing");
  }
}

// The same hive for every burst, as a running program has it.
void BM_AtrBurstRepeated(benchmark::State& state) {
  const auto& hive = CatalogueHive();
  TRegistry reg(std::make_shared<SqliteRegistryHive>(hive.File()));
  const auto cardTypes = CardTypes(reg);
  for (auto _ : state) {
    if (AtrBurst(reg, cardTypes) != kCardTypes) state.SkipWithError("ATRs missing");
  }
}

// The same, with the burst's reads made over one snapshot.
void BM_AtrBurstInSnapshot(benchmark::State& state) {
  const auto& hive = CatalogueHive();
  TRegistry reg(std::make_shared<SqliteRegistryHive>(hive.File()));
  const auto cardTypes = CardTypes(reg);
  for (auto _ : state) {
    std::size_t atrs = 0;
    reg.ReadSnapshot([&] { atrs = AtrBurst(reg, cardTypes); });
    if (atrs != kCardTypes) state.SkipWithError("ATRs missing");
  }
}

void BM_AtrBurstFirstAfterOpenInSnapshot(benchmark::State& state) {
  const auto& hive = CatalogueHive();
  for (auto _ : state) {
    state.PauseTiming();
    TRegistry reg(std::make_shared<SqliteRegistryHive>(hive.File()));
    const auto cardTypes = CardTypes(reg);
    state.ResumeTiming();
    std::size_t atrs = 0;
    reg.ReadSnapshot([&] { atrs = AtrBurst(reg, cardTypes); });
    if (atrs != kCardTypes) state.SkipWithError("ATRs missing");
  }
}

void BM_OpenHive(benchmark::State& state) {
  const auto& hive = CatalogueHive();
  for (auto _ : state) SqliteRegistryHive opened(hive.File());
}

void BM_OpenFullCatalogueHive(benchmark::State& state) {
  const auto& hive = FullCatalogueHive();
  for (auto _ : state) SqliteRegistryHive opened(hive.File());
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(hive.File()));
}

BENCHMARK(BM_AtrBurstFirstAfterOpen)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AtrBurstRepeated)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AtrBurstInSnapshot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AtrBurstFirstAfterOpenInSnapshot)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenHive)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenFullCatalogueHive)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
