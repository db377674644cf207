// Loads generated command and status-word files of 1,000, 10,000 and 100,000 entries, next to the bare
// read of the same files into new lines, and into the lines of the last read as a load reads them.
#include <benchmark/benchmark.h>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "TempDir.h"
#include "platform/TextFile.h"
#include "templates/_TemplatesObject.h"

namespace tessaly {
namespace {

enum class FileKind { Commands, StatusWords };

constexpr int kPrime = 1'000'003;
constexpr int kShuffle = 7'919;  // entry * kShuffle % kPrime is unique and unordered for entries below kPrime

std::string CommandFileText(int entries) {
  static const char* const kVerbs[] = {
      "SELECT FILE",   "READ BINARY",           "UPDATE BINARY", "READ RECORD", "UPDATE RECORD", "VERIFY",
      "GET CHALLENGE", "INTERNAL AUTHENTICATE", "GET DATA",      "PUT DATA",    "GET RESPONSE",  "ENVELOPE"};
  std::mt19937 random(1);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<std::size_t> verb(0, std::size(kVerbs) - 1);
  std::string text = "; Command template of a generated card type\r\n;\tCla\tIns\tName\r\n\r\n";
  char line[96];
  for (int entry = 0; entry < entries; ++entry) {
    std::snprintf(line, sizeof line, "+\t%02X\t%02x\tGENERATED COMMAND %06d\r\n", byte(random), byte(random),
                  entry);
    text += line;
  }
  return text;
}

std::string StatusWordFileText(int entries) {
  std::mt19937 random(2);
  std::uniform_int_distribution<int> colour(0, 0xFFFFFF);
  std::string text =
      "; Status-word template of a generated card type\r\n;\tSW1\tSW2\tColour\tMeaning\r\n\r\n";
  char line[112];
  for (int entry = 0; entry < entries; ++entry) {
    const int key = static_cast<int>(static_cast<long long>(entry) * kShuffle % kPrime);
    std::snprintf(line, sizeof line, "+\t%02X\t%02X\t%06X\tGenerated status word number %d\r\n", key / 256,
                  key % 256, colour(random), entry);
    text += line;
  }
  return text;
}

// The generated file of one kind and size, written once per run.
const std::string& GeneratedFile(FileKind kind, int entries) {
  static const test::TempDir folder;
  static std::map<std::pair<FileKind, int>, std::string> files;
  auto [file, added] = files.try_emplace({kind, entries});
  if (added) {
    const bool commands = kind == FileKind::Commands;
    const auto path = folder / ((commands ? "commands-" : "statuswords-") + std::to_string(entries) +
                                (commands ? ".cct" : ".swt"));
    const std::string text = commands ? CommandFileText(entries) : StatusWordFileText(entries);
    std::ofstream(path, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
    file->second = path.string();
  }
  return file->second;
}

void ReportThroughput(benchmark::State& state, const std::string& fileName) {
  state.SetBytesProcessed(state.iterations() *
                          static_cast<std::int64_t>(std::filesystem::file_size(fileName)));
}

void ReadCommandFileLines(benchmark::State& state) {
  const std::string& fileName = GeneratedFile(FileKind::Commands, static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ReadTextFileLines(fileName));
  ReportThroughput(state, fileName);
}

// Reading into the text of the last read and walking its lines, as a load does: the memory is reused.
void RereadFileLines(benchmark::State& state, FileKind kind) {
  const std::string& fileName = GeneratedFile(kind, static_cast<int>(state.range(0)));
  TextFileLines lines;
  for (auto _ : state) {
    ReadTextFileLines(fileName, lines);
    std::size_t count = 0;
    for ([[maybe_unused]] const std::string_view line : lines) ++count;
    benchmark::DoNotOptimize(count);
  }
  ReportThroughput(state, fileName);
}

void RereadCommandFileLines(benchmark::State& state) {
  RereadFileLines(state, FileKind::Commands);
}

void LoadCommandTemplate(benchmark::State& state) {
  const std::string& fileName = GeneratedFile(FileKind::Commands, static_cast<int>(state.range(0)));
  TTemplatesObject templates;
  for (auto _ : state) templates.LoadCommandTemplate(fileName);
  if (templates.Commands.Count() != static_cast<std::size_t>(state.range(0)))
    state.SkipWithError("entries lost");
  ReportThroughput(state, fileName);
}

void ReadStatusWordFileLines(benchmark::State& state) {
  const std::string& fileName = GeneratedFile(FileKind::StatusWords, static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(ReadTextFileLines(fileName));
  ReportThroughput(state, fileName);
}

void RereadStatusWordFileLines(benchmark::State& state) {
  RereadFileLines(state, FileKind::StatusWords);
}

void LoadStatusWordTemplate(benchmark::State& state) {
  const std::string& fileName = GeneratedFile(FileKind::StatusWords, static_cast<int>(state.range(0)));
  TTemplatesObject templates;
  for (auto _ : state) templates.LoadStatusWordTemplate(fileName);
  // The generated keys hold no catch-all, so the load adds it.
  if (templates.StatusWords.Count() != static_cast<std::size_t>(state.range(0)) + 1) {
    state.SkipWithError("entries lost");
  }
  ReportThroughput(state, fileName);
}

constexpr benchmark::TimeUnit kUnit = benchmark::kMillisecond;

BENCHMARK(ReadCommandFileLines)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(kUnit);
BENCHMARK(RereadCommandFileLines)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(kUnit);
BENCHMARK(LoadCommandTemplate)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(kUnit);
BENCHMARK(ReadStatusWordFileLines)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(kUnit);
BENCHMARK(RereadStatusWordFileLines)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(kUnit);
BENCHMARK(LoadStatusWordTemplate)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(kUnit);

}  // namespace
}  // namespace tessaly

int main(int argc, char** argv) {
#if defined(__GLIBC__)
  // glibc moves its thresholds for mapping and returning memory after each large free, so a figure would
  // depend on the benchmarks run before it: a file of 100,000 lines read three times slower after the
  // smaller ones had run. Fixed thresholds give every benchmark the steady state of a long-running process.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024 * 1024);
  mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
#endif
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
