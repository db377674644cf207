#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/HiveFileCheck.h"
#include "platform/RegistryHive.h"

namespace tessaly {

class SqliteHiveStore;

// A hive kept in one SQLite database file. Every write is durable when its call returns; several
// processes may use the same file at once. Keys and values are matched without regard to ASCII letter
// case. Use it from one thread at a time.
class SqliteRegistryHive final : public RegistryHive {
 public:
  // Opens the file; with CreateWhenMissing a missing or empty file becomes an empty hive. Raises
  // ERegistryException naming the file and the cause when it cannot be opened, is read-only, damaged, or
  // not a hive; such a file is left exactly as it was.
  explicit SqliteRegistryHive(const std::filesystem::path& file,
                              HiveOpening opening = HiveOpening::CreateWhenMissing);
  ~SqliteRegistryHive() override;

  std::unique_ptr<HiveKey> OpenKey(RootKey root, const std::string& path, bool create) override;
  bool DeleteKeyTree(RootKey root, const std::string& path) override;
  void Atomically(const std::function<void()>& apply) override;
  void ReadSnapshot(const std::function<void()>& reads) override;
  std::vector<SubkeyValueNames> ValueNamesBelowSubkeys(RootKey root, const std::string& path,
                                                       const std::string& child) override;

 private:
  std::shared_ptr<SqliteHiveStore> store_;
};

}  // namespace tessaly
