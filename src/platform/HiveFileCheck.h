#pragma once

#include <filesystem>

namespace tessaly {

enum class HiveOpening {
  // A missing or empty file becomes a new hive.
  CreateWhenMissing,
  // Only a file that already holds a hive is opened: for commands that must not create one.
  ExistingOnly,
};

// Looks at the file before SQLite does, so that no file that is not a hive (or cannot be one) is ever
// touched: raises ERegistryException naming the file and the cause for a folder, a device, a read-only
// file, a file of another format, a file cut short, or a missing or empty file when opening ExistingOnly.
void CheckHiveFile(const std::filesystem::path& file, HiveOpening opening);

}  // namespace tessaly
