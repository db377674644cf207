#include "TempHive.h"

#include <algorithm>
#include <vector>

#include "platform/RegistryHive.h"

namespace tessaly::test {
namespace {

// The files of the TempHives alive, innermost last.
std::vector<std::filesystem::path>& Installed() {
  static std::vector<std::filesystem::path> files;
  return files;
}

}  // namespace

TempHive::TempHive() : file_(folder_ / "registry.db") {
  Installed().push_back(file_);
  SetHiveFile(file_);
}

TempHive::~TempHive() {
  auto& files = Installed();
  files.erase(std::find(files.begin(), files.end(), file_));
  SetHiveFile(files.empty() ? std::filesystem::path() : files.back());
}

}  // namespace tessaly::test
