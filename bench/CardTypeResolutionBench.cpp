#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>

#include "TempDir.h"
#include "TempHive.h"
#include "connection/Connection.h"
#include "platform/RegistryHive.h"
#include "settings/_RegistryWorks.h"

namespace tessaly {
namespace {

std::string CardTypeName(int i) {
  return "Card Type " + std::to_string(i);
}

std::string Atr(int i) {
  char text[32];
  std::snprintf(text, sizeof text, "3B 8F 80 01 %02X %02X", (i >> 8) & 0xFF, i & 0xFF);
  return text;
}

// A temporary hive whose catalogue holds `cardTypes` card types with one ATR each.
struct TCatalogue {
  explicit TCatalogue(int cardTypes) {
    settings = std::make_unique<TRegistrySettings>(0, hive);
    settings->SetWorkDir(dir.Path().string());
    // One commit for the whole catalogue instead of one synced commit per value.
    hive->Atomically([&] {
      for (int i = 0; i < cardTypes; ++i) {
        TPreferencesATRRec record;
        record.BaseType = 1;
        record.ATRs = Atr(i);
        settings->WriteCardType(CardTypeName(i), record);
      }
    });
  }

  test::TempHive hiveFile;
  std::shared_ptr<RegistryHive> hive = OpenProcessHive();
  test::TempDir dir;
  std::unique_ptr<TRegistrySettings> settings;
};

// Resolves the ATR of a card in reader 0 through LoadCardType; the ATR index is read from the hive at
// every load.
void BM_LoadCardType(benchmark::State& state) {
  const int cardTypes = static_cast<int>(state.range(0));
  TCatalogue catalogue(cardTypes);
  TConnection connection(catalogue.settings, 0);
  connection.Readers = {"Reader A"};
  connection.ConnectionState = 2;
  ServiceContext = 1;
  TReaderHead& entry = ReaderTable[0];
  entry = TReaderHead{};
  entry.ReaderName = "Reader A";
  entry.ReaderInUse = 1;
  entry.CardInfo.ATR = Atr(cardTypes / 2);

  for (auto _ : state) {
    entry.CardInfo.CardState = csCardReady;
    connection.LoadCardType(0);
  }
  if (entry.CardInfo.Preferences.CardTypeName != CardTypeName(cardTypes / 2))
    state.SkipWithError("unresolved");
  ServiceContext = 0;
  entry = TReaderHead{};
}

// The store's share of a load: reading the ATR index alone.
void BM_GetATRIndex(benchmark::State& state) {
  TCatalogue catalogue(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(catalogue.settings->GetATRIndex());
}

BENCHMARK(BM_LoadCardType)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetATRIndex)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
