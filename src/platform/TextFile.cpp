#include "platform/TextFile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/TessalyError.h"
#include "platform/TextRules.h"

namespace tessaly {
namespace {

constexpr std::size_t kChunkSize = 64 * 1024;
constexpr std::uintmax_t kMaxRoomUpFront = 64 * 1024 * 1024;
// Far more than any real file of lines holds; a larger one would take many times its size in memory.
constexpr std::size_t kMaxTextSize = 64 * 1024 * 1024;
constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

[[noreturn]] void FailToRead(const std::string& fileName, const std::string& reason) {
  throw ETessalyError("Cannot read file \"" + fileName + "\": " + reason);
}

// Reads the file's bytes up to its first NUL, without a leading byte-order mark, into text, whose room is
// reused.
void ReadTextUpToNul(const std::string& fileName, std::string& text) {
  text.clear();
  const std::filesystem::path path(fileName);
  std::error_code error;
  // A device or pipe could block or never end; only regular files hold templates.
  if (!std::filesystem::is_regular_file(path, error)) FailToRead(fileName, "no such file");
  std::ifstream in(path, std::ios::binary);
  if (!in) FailToRead(fileName, "cannot open");

  // Room for the whole file up front spares the copies of a growing text. The size is only a hint, as the
  // file may change while it is read, and a huge file may end at a NUL long before its size: the room
  // taken is bounded.
  if (const auto size = std::filesystem::file_size(path, error); !error) {
    text.reserve(static_cast<std::size_t>(std::min<std::uintmax_t>(size, kMaxRoomUpFront)));
  }
  std::vector<char> chunk(kChunkSize);
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto count = static_cast<std::size_t>(in.gcount());
    const auto* nul = static_cast<const char*>(std::memchr(chunk.data(), '\0', count));
    const auto kept = nul != nullptr ? static_cast<std::size_t>(nul - chunk.data()) : count;
    if (text.size() + kept > kMaxTextSize) FailToRead(fileName, "it is larger than 64 MiB");
    text.append(chunk.data(), kept);
    if (nul != nullptr) break;
  }
  if (in.bad()) FailToRead(fileName, "read error");
  if (std::string_view(text).starts_with(kUtf8ByteOrderMark)) text.erase(0, kUtf8ByteOrderMark.size());
}

[[noreturn]] void FailToWrite(const std::string& fileName, const std::string& reason) {
  throw ETessalyError("Cannot write file \"" + fileName + "\": " + reason);
}

}  // namespace

std::vector<std::string> SplitTextLines(std::string_view text) {
  std::vector<std::string> lines;
  SplitTextLines(text, lines);
  return lines;
}

void SplitTextLines(std::string_view text, std::vector<std::string>& lines) {
  SplitLines(text.substr(0, text.find('\0')), lines);
}

std::vector<std::string> ReadTextFileLines(const std::string& fileName) {
  std::string text;
  ReadTextUpToNul(fileName, text);
  return SplitLines(text);
}

void ReadTextFileLines(const std::string& fileName, TextFileLines& lines) {
  try {
    ReadTextUpToNul(fileName, lines.text_);
  } catch (...) {
    lines.clear();
    throw;
  }
}

bool WriteNewTextFile(const std::string& fileName, std::string_view text) {
  const std::filesystem::path path(fileName);
  std::error_code error;
  const auto status = std::filesystem::symlink_status(path, error);
  if (status.type() != std::filesystem::file_type::not_found) {
    if (error) FailToWrite(fileName, error.message());
    return false;
  }
  std::ofstream out(path, std::ios::binary);
  if (!out) FailToWrite(fileName, "cannot create");
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  out.close();
  if (!out) {
    std::filesystem::remove(path, error);
    FailToWrite(fileName, "write error");
  }
  return true;
}

}  // namespace tessaly
