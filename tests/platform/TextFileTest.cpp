#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "TempDir.h"
#include "platform/TessalyError.h"
#include "platform/TextFile.h"

namespace tessaly::test {
namespace {

using Lines = std::vector<std::string>;
using namespace std::string_view_literals;

std::string WriteBytes(const TempDir& folder, std::string_view bytes) {
  const auto path = folder / "text.txt";
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

TEST(TextFile, LinesEndAtCrLfOrCrLf) {
  EXPECT_EQ(SplitTextLines(""), Lines{});
  EXPECT_EQ(SplitTextLines("a"), Lines{"a"});
  EXPECT_EQ(SplitTextLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitTextLines("a\n"), Lines{"a"});
  EXPECT_EQ(SplitTextLines("a\r"), Lines{"a"});
  EXPECT_EQ(SplitTextLines("\n\r\n\r"), (Lines{"", "", ""}));
  EXPECT_EQ(SplitTextLines("a\n\r"), (Lines{"a", ""}));
  EXPECT_EQ(SplitTextLines("a\r\r\nb"), (Lines{"a", "", "b"}));
}

TEST(TextFile, NulEndsTheText) {
  EXPECT_EQ(SplitTextLines("a\nb\0c\nd"sv), (Lines{"a", "b"}));
  TempDir folder;
  EXPECT_EQ(ReadTextFileLines(WriteBytes(folder, "\xFF\xFE\x01\r\n\0rest"sv)), Lines{"\xFF\xFE\x01"});
}

TEST(TextFile, ReadsLinesLongerThanOneChunk) {
  TempDir folder;
  const std::string line(200'000, 'x');
  EXPECT_EQ(ReadTextFileLines(WriteBytes(folder, line + "\r\n" + line)), (Lines{line, line}));
}

TEST(TextFile, ByteOrderMarkAtTheStartIsNoText) {
  TempDir folder;
  EXPECT_EQ(ReadTextFileLines(WriteBytes(folder, "\xEF\xBB\xBF+a\n\xEF\xBB\xBF+b")),
            (Lines{"+a", "\xEF\xBB\xBF+b"}));
  EXPECT_EQ(ReadTextFileLines(WriteBytes(folder, "\xEF\xBB\xBF")), Lines{});
  EXPECT_EQ(ReadTextFileLines(WriteBytes(folder, "\xEF\xBB+")), Lines{"\xEF\xBB+"});
}

TEST(TextFile, MissingFileOrFolderCannotBeRead) {
  TempDir folder;
  EXPECT_THROW(ReadTextFileLines((folder / "missing.txt").string()), ETessalyError);
  EXPECT_THROW(ReadTextFileLines(folder.Path().string()), ETessalyError);
  EXPECT_THROW(ReadTextFileLines(""), ETessalyError);
}

}  // namespace
}  // namespace tessaly::test
