#pragma once

#include <filesystem>

#include "TempDir.h"

namespace tessaly::test {

// A hive file in a fresh temporary folder, installed as the process hive file (SetHiveFile) for its
// lifetime, so that a default-constructed TRegistry works on it. On destruction the file installed
// before (by an enclosing TempHive, or none) is restored. The file is created on first use.
// On Windows the hive is the registry itself: there a TempHive clears the keys this system and its tests
// write (HKEY_LOCAL_MACHINE\SOFTWARE\Orvane among them) when the outermost one is made and destroyed.
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
