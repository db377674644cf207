#include "platform/HiveFileCheck.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/RegistryHive.h"

namespace tessaly {
namespace {

// The start of every SQLite database file, and where its page size is kept.
constexpr std::string_view kSqliteMagic{"SQLite format 3\0", 16};
constexpr std::size_t kHeaderSize = 100;
constexpr std::size_t kPageSizeOffset = 16;

[[noreturn]] void Fail(const std::filesystem::path& file, const std::string& cause) {
  throw ERegistryException("Registry hive file '" + file.string() + "': " + cause);
}

std::filesystem::path FolderOf(const std::filesystem::path& file) {
  const auto folder = file.parent_path();
  return folder.empty() ? std::filesystem::path(".") : folder;
}

// SQLite keeps its journal files beside the hive, so the folder must take new files.
void CheckFolderWritable(const std::filesystem::path& file, const char* purpose) {
  const auto folder = FolderOf(file);
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    Fail(file, std::string("cannot ") + purpose + ": the folder '" + folder.string() +
                   "' cannot be written to (" + std::strerror(errno) + ")");
  }
}

// Root may write to any file, so the permission bits are looked at as well as what the system allows.
void CheckFileWritable(const std::filesystem::path& file, const struct stat& status) {
  if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || access(file.c_str(), W_OK) != 0) {
    Fail(file, "the file is read-only");
  }
}

// A database file is made of whole pages; one that is not was cut short or is no database at all.
void CheckHeader(const std::filesystem::path& file, std::uintmax_t size) {
  std::array<char, kHeaderSize> header{};
  std::ifstream in(file, std::ios::binary);
  if (size < kHeaderSize || !in.read(header.data(), header.size()) ||
      std::string_view(header.data(), kSqliteMagic.size()) != kSqliteMagic) {
    Fail(file, "the file is not a registry hive (file is not a database)");
  }
  const unsigned stored = static_cast<unsigned char>(header[kPageSizeOffset]) << 8 |
                          static_cast<unsigned char>(header[kPageSizeOffset + 1]);
  const std::uintmax_t pageSize = stored == 1 ? 65536 : stored;
  if (pageSize < 512 || (pageSize & (pageSize - 1)) != 0 || size % pageSize != 0) {
    Fail(file, "the file is damaged (its size of " + std::to_string(size) +
                   " bytes is not a whole number of its pages): restore it from a copy");
  }
}

}  // namespace

void CheckHiveFile(const std::filesystem::path& file, HiveOpening opening) {
  struct stat status {};
  if (stat(file.c_str(), &status) != 0) {
    const int error = errno;
    if (error != ENOENT) Fail(file, std::string("cannot open it (") + std::strerror(error) + ")");
    if (opening == HiveOpening::ExistingOnly) Fail(file, "the file does not exist");
    CheckFolderWritable(file, "create it");
    return;
  }
  if (S_ISDIR(status.st_mode)) Fail(file, "unable to open it: it is a folder, not a file");
  if (!S_ISREG(status.st_mode)) Fail(file, "unable to open it: it is not a regular file");
  CheckFileWritable(file, status);
  CheckFolderWritable(file, "open it");
  const auto size = static_cast<std::uintmax_t>(status.st_size);
  if (size == 0) {
    if (opening == HiveOpening::ExistingOnly) Fail(file, "the file is empty: it holds no registry hive");
    return;
  }
  // A journal left by a writer that was cut off is rolled back by SQLite before anything is read; until
  // then the file may hold pages that are not yet the hive's.
  auto journal = file;
  journal += "-journal";
  if (!std::filesystem::exists(journal)) CheckHeader(file, size);
}

}  // namespace tessaly
