#pragma once

#include <filesystem>

#include "TempDir.h"

namespace tessaly::test {

// A hive file in a fresh temporary folder, installed as the process hive file (SetHiveFile) for its
// lifetime, so that a default-constructed TRegistry works on it. On destruction the file installed
// before (by an enclosing TempHive, or none) is restored. The file is created on first use.
class TempHive {
 public:
  TempHive();
  ~TempHive();
  TempHive(const TempHive&) = delete;
  TempHive& operator=(const TempHive&) = delete;

  const std::filesystem::path& File() const { return file_; }
  const TempDir& Folder() const { return folder_; }

 private:
  TempDir folder_;
  std::filesystem::path file_;
};

}  // namespace tessaly::test
