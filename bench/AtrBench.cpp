// ATR analysis against Debian's list of known cards (pcsc-tools): parsing alone, lookup alone, and the whole
// card-information list, each per ATR over a sample of real ATRs, some known to the list and some not.
#include <benchmark/benchmark.h>

#include <optional>
#include <string>
#include <vector>

#include "atr/AtrInfoLines.h"

namespace tessaly {
namespace {

const std::vector<std::vector<std::uint8_t>>& SampleAtrs() {
  static const std::vector<std::vector<std::uint8_t>> atrs = [] {
    static const char* const kTexts[] = {
        "3B 8F 80 01 80 4F 0C A0 00 00 03 06 03 00 01 00 00 00 00 6A",
        "3B DC 18 FF 81 91 FE 1F C3 80 73 C8 21 13 66 05 03 63 51 00 02 50",
        "3F 65 25 00 2C 09 69 90 00",
        "3B 02 14 50",
        "3B 97 96 81 31 FE 45 80 31 C0 73 BE 21 13 84",
        "3B FF 18 00 FF 81 31 FE 45 65 63 11 05 40 02 50 00 10 55 10 03 03 05 00 43",
        "3B 7F 96 00 00 80 31 80 65 B0 85 03 00 EF 12 0F FF 82 90 00",
        "3B 88 80 01 00 00 00 00 33 81 81 00 3A",
        "3B 80 80 01 01",
        "3B 6E 00 00 80 31 80 66 B0 84 0C 01 6E 01 83 00 90 00"};
    std::vector<std::vector<std::uint8_t>> parsed;
    for (const char* text : kTexts) parsed.push_back(ParseAtr(text).Bytes);
    return parsed;
  }();
  return atrs;
}

const KnownCardList* DebianList() {
  static const std::optional<KnownCardList> list = KnownCardList::LoadDefault();
  return list ? &*list : nullptr;
}

template <typename Work>
void PerAtr(benchmark::State& state, Work work) {
  const auto& atrs = SampleAtrs();
  std::size_t next = 0;
  for (auto _ : state) {
    work(atrs[next]);
    next = (next + 1) % atrs.size();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_Parse(benchmark::State& state) {
  PerAtr(state, [](const std::vector<std::uint8_t>& atr) { benchmark::DoNotOptimize(ParseAtr(atr)); });
}

void BM_Lookup(benchmark::State& state) {
  const KnownCardList* list = DebianList();
  if (list == nullptr) return state.SkipWithError("pcsc-tools' list of known cards is not installed");
  PerAtr(state, [&](const std::vector<std::uint8_t>& atr) { benchmark::DoNotOptimize(list->Describe(atr)); });
}

void BM_InfoLinesWithLookup(benchmark::State& state) {
  const KnownCardList* list = DebianList();
  if (list == nullptr) return state.SkipWithError("pcsc-tools' list of known cards is not installed");
  PerAtr(state,
         [&](const std::vector<std::uint8_t>& atr) { benchmark::DoNotOptimize(AtrInfoLines(atr, list)); });
}

void BM_LoadDebianList(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(KnownCardList::LoadDefault());
}

BENCHMARK(BM_Parse)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_Lookup)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_InfoLinesWithLookup)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(BM_LoadDebianList)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
