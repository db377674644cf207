#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "TempDir.h"
#include "platform/RegistryHive.h"

namespace tessaly::test {

// Writes file as the component's registered file into the hive, as `tessaly-reg register-component` does.
void RegisterComponentFile(const std::shared_ptr<RegistryHive>& hive, const std::string& file);

// A component file in a fresh temporary folder, registered in the hive, so that the default working folder
// lies inside that folder and not at the root of the file system.
class TempComponent {
 public:
  explicit TempComponent(const std::shared_ptr<RegistryHive>& hive);

  const std::filesystem::path& Folder() const { return folder_.Path(); }
  const std::filesystem::path& File() const { return file_; }

 private:
  TempDir folder_;
  std::filesystem::path file_;
};

}  // namespace tessaly::test
