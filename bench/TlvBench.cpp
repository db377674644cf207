// BER-TLV decoding of 256-byte answers with tag names: an EMV record of many short objects, and a PPSE FCI
// nested four levels deep; decoding alone, and decoding with the indented text the tool and transcripts show.
// The figure to meet: a 256-byte answer decoded with names in under 20 microseconds.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "platform/HexText.h"
#include "tlv/ShippedTagTable.h"
#include "tlv/TagTable.h"
#include "tlv/TlvTree.h"

namespace tessaly {
namespace {

constexpr std::size_t kAnswerSize = 256;

std::vector<std::uint8_t> Bytes(std::string_view hex) {
  return ReadHexBytes(hex).Bytes;
}

// The tag, the length (with 81 before it from 128 on) and the value.
std::vector<std::uint8_t> Wrap(std::string_view tag, const std::vector<std::uint8_t>& value) {
  std::vector<std::uint8_t> object = Bytes(tag);
  if (value.size() >= 0x80) object.push_back(0x81);
  object.push_back(static_cast<std::uint8_t>(value.size()));
  object.insert(object.end(), value.begin(), value.end());
  return object;
}

std::vector<std::uint8_t> operator+(std::vector<std::uint8_t> left, const std::vector<std::uint8_t>& right) {
  left.insert(left.end(), right.begin(), right.end());
  return left;
}

// A READ RECORD answer: 20 card data objects in a record template, the issuer's certificate filling it up.
std::vector<std::uint8_t> EmvRecord() {
  const std::vector<std::uint8_t> objects = Bytes(
      "5A 08 47 61 73 90 01 01 00 10 5F 24 03 29 12 31 5F 25 03 24 01 01 5F 28 02 02 50 5F 34 01 01"
      "8C 15 9F 02 06 9F 03 06 9F 1A 02 95 05 5F 2A 02 9A 03 9C 01 9F 37 04"
      "8D 19 8A 02 9F 02 06 9F 03 06 9F 1A 02 95 05 5F 2A 02 9A 03 9C 01 9F 37 04 91 0A"
      "8E 0C 00 00 00 00 00 00 00 00 42 03 1F 03 9F 07 02 FF 00 9F 0D 05 B8 50 AC 88 00"
      "9F 0E 05 00 00 00 00 00 9F 0F 05 B8 70 BC 98 00 9F 4A 01 82 8F 01 92 9F 32 01 03"
      "9F 08 02 00 8C 9F 42 02 09 78 9F 44 01 02"
      "57 13 47 61 73 90 01 01 00 10 D2 91 22 01 00 00 00 00 00 00 0F"
      "5F 20 1A 56 49 53 41 20 41 43 51 55 49 52 45 52 20 54 45 53 54 20 43 41 52 44 20 30 31");
  const std::size_t certificate = kAnswerSize - 3 - objects.size() - 2;
  return Wrap("70", objects + Wrap("90", std::vector<std::uint8_t>(certificate, 0x33)));
}

// The FCI of the PPSE, four levels deep: 6F > A5 > BF0C > 61 entries of AID, label, priority and kernel.
std::vector<std::uint8_t> PpseFci() {
  const std::vector<std::uint8_t> entry = Wrap(
      "61", Bytes("4F 07 A0 00 00 00 03 10 10 50 0A 56 49 53 41 20 44 45 42 49 54 87 01 01 9F 2A 01 03"));
  std::vector<std::uint8_t> entries;
  for (int i = 0; i < 7; ++i) entries = entries + entry;
  const auto fci = [&](std::size_t fillerSize) {
    const std::vector<std::uint8_t> filler = Wrap("DF8101", std::vector<std::uint8_t>(fillerSize, 0x01));
    return Wrap("6F", Wrap("84", Bytes("32 50 41 59 2E 53 59 53 2E 44 44 46 30 31")) +
                          Wrap("A5", Wrap("BF0C", entries + filler)));
  };
  return fci(kAnswerSize - fci(0).size());
}

template <typename Work>
void PerAnswer(benchmark::State& state, const std::vector<std::uint8_t>& answer, Work work) {
  const TlvTree check = DecodeTlv(answer);
  if (!check.WellFormed()) return state.SkipWithError(check.Problem->Text.c_str());
  if (answer.size() != kAnswerSize) return state.SkipWithError("the answer is not 256 bytes long");
  for (auto _ : state) work(answer);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * answer.size()));
}

void BM_DecodeEmvRecord(benchmark::State& state) {
  PerAnswer(state, EmvRecord(), [](const auto& answer) { benchmark::DoNotOptimize(DecodeTlv(answer)); });
}

void BM_DecodePpseFci(benchmark::State& state) {
  PerAnswer(state, PpseFci(), [](const auto& answer) { benchmark::DoNotOptimize(DecodeTlv(answer)); });
}

void BM_DecodeEmvRecordAsLines(benchmark::State& state) {
  PerAnswer(state, EmvRecord(),
            [](const auto& answer) { benchmark::DoNotOptimize(TlvTreeLines(DecodeTlv(answer))); });
}

void BM_DecodePpseFciAsLines(benchmark::State& state) {
  PerAnswer(state, PpseFci(),
            [](const auto& answer) { benchmark::DoNotOptimize(TlvTreeLines(DecodeTlv(answer))); });
}

// The first decoding reads the shipped tag table once; this is that cost.
void BM_ReadShippedTagTable(benchmark::State& state) {
  const std::string_view text = ShippedTagTableFiles().front().Text;
  for (auto _ : state) benchmark::DoNotOptimize(TagTable::Parse(text));
}

BENCHMARK(BM_DecodeEmvRecord)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodePpseFci)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodeEmvRecordAsLines)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_DecodePpseFciAsLines)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadShippedTagTable)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tessaly

BENCHMARK_MAIN();
