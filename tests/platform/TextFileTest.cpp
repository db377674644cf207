#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
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

// A file far larger than memory that ends its text at a NUL reads as that text: its size is no reason to
// refuse it.
TEST(TextFile, HugeFileEndingAtANulReadsItsText) {
  TempDir folder;
  const std::string path = WriteBytes(folder, "first\r\nsecond\0"sv);
  std::error_code error;
  std::filesystem::resize_file(path, std::uintmax_t{1} << 40, error);  // sparse where the system allows
  if (error) GTEST_SKIP() << "no sparse file of a terabyte here: " << error.message();
  EXPECT_EQ(ReadTextFileLines(path), (Lines{"first", "second"}));
}

TEST(TextFile, AFileOfMoreThan64MiBOfTextIsRefused) {
  TempDir folder;
  const auto path = folder / "huge.txt";
  {
    std::ofstream out(path, std::ios::binary);
    const std::string mebibyte(std::size_t{1} << 20, 'x');
    for (int i = 0; i <= 64; ++i) out << mebibyte;
  }
  try {
    ReadTextFileLines(path.string());
    ADD_FAILURE() << "read 65 MiB";
  } catch (const ETessalyError& error) {
    EXPECT_NE(std::string(error.what()).find("larger than 64 MiB"), std::string::npos) << error.what();
  }
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
  TextFileLines lines;
  ReadTextFileLines(WriteBytes(folder, "earlier"), lines);
  EXPECT_THROW(ReadTextFileLines((folder / "missing.txt").string(), lines), ETessalyError);
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(lines.begin(), lines.end());
}

// Lines read into earlier lines are the text's lines alone, whether there were more of them or fewer, longer
// or shorter.
TEST(TextFile, ReadingIntoEarlierLinesLeavesNothingOfThem) {
  Lines lines;
  for (const std::string_view text : {"a\nb\nc"sv, "a much longer first line\n"sv, ""sv, "x\ny\nz\nw"sv}) {
    SplitTextLines(text, lines);
    EXPECT_EQ(lines, SplitTextLines(text)) << text;
  }
  TempDir folder;
  TextFileLines fileLines;
  ReadTextFileLines(WriteBytes(folder, std::string(100, 'L') + "\n" + std::string(100, 'L')), fileLines);
  ReadTextFileLines(WriteBytes(folder, "\xEF\xBB\xBFone\r\ntwo\n\r\n"), fileLines);
  EXPECT_EQ(Lines(fileLines.begin(), fileLines.end()), (Lines{"one", "two", ""}));
}

TEST(TextFile, ANewFileHoldsTheTextByteForByte) {
  TempDir folder;
  const auto path = folder / "new.txt";
  const std::string_view text = "+\tA0\tA4\r\nlast line without end\0after a NUL\xFF"sv;

  EXPECT_TRUE(WriteNewTextFile(path.string(), text));

  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), text);
}

// Whatever already has the name is someone's, a folder as much as a file.
TEST(TextFile, ANewFileNeverReplacesWhatIsThere) {
  TempDir folder;
  const std::string existing = WriteBytes(folder, "mine");
  std::filesystem::create_directory(folder / "folder");

  EXPECT_FALSE(WriteNewTextFile(existing, "shipped"));
  EXPECT_FALSE(WriteNewTextFile((folder / "folder").string(), "shipped"));
  EXPECT_EQ(ReadTextFileLines(existing), Lines{"mine"});
  EXPECT_TRUE(std::filesystem::is_directory(folder / "folder"));
}

TEST(TextFile, ANewFileInAMissingFolderFailsAndLeavesNothing) {
  TempDir folder;
  const auto path = folder / "missing" / "new.txt";
  try {
    WriteNewTextFile(path.string(), "text");
    ADD_FAILURE() << "a file was written into a missing folder";
  } catch (const ETessalyError& failure) {
    EXPECT_EQ(failure.what(), "Cannot write file \"" + path.string() + "\": cannot create");
  }
  EXPECT_FALSE(std::filesystem::exists(folder / "missing"));
}

}  // namespace
}  // namespace tessaly::test
