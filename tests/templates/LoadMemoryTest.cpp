#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "TempDir.h"
#include "templates/_TemplatesObject.h"

namespace tessaly::test {
namespace {

constexpr std::int64_t kBlankLines = 20 * 1024 * 1024;

// Written in small pieces, so that the test process itself never holds the file.
std::string WriteBlankLinesThenAnEntry(const TempDir& folder) {
  const auto path = folder / "blank.swt";
  std::ofstream out(path, std::ios::binary);
  const std::string piece(1024 * 1024, '\n');
  for (std::int64_t written = 0; written < kBlankLines; written += static_cast<std::int64_t>(piece.size())) {
    out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
  }
  out << "+\t90\t00\t00FF00\tOK\n";
  return path.string();
}

// The peak resident memory of a child that loads the file, in KiB, or -1 when the load went wrong there.
long PeakKiBOfLoadInChild(const std::string& fileName) {
  const pid_t child = fork();
  if (child == 0) {
    TTemplatesObject templates;
    templates.LoadStatusWordTemplate(fileName);
    // The entry after the blank lines, and the catch-all.
    _exit(templates.StatusWords.Count() == 2 ? 0 : 1);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
  return usage.ru_maxrss;
}

// A string per line would take some thirty times the size of a file of blank lines.
TEST(TemplateLoadMemory, AFileOfBlankLinesTakesASmallMultipleOfItsSize) {
  TempDir folder;
  const std::string fileName = WriteBlankLinesThenAnEntry(folder);
  rusage own{};
  getrusage(RUSAGE_SELF, &own);

  const long peak = PeakKiBOfLoadInChild(fileName);
  ASSERT_GT(peak, 0) << "the load in the child failed";
  const long fileKiB = static_cast<long>(kBlankLines / 1024);
  EXPECT_LT(peak - own.ru_maxrss, 4 * fileKiB) << "peak " << peak << " KiB";
}

}  // namespace
}  // namespace tessaly::test
