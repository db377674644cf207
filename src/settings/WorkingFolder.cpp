#include "settings/WorkingFolder.h"

#include <filesystem>
#include <random>
#include <system_error>

#include "platform/ErrorBox.h"
#include "platform/TessalyError.h"
#include "platform/UserFolders.h"

namespace tessaly {

namespace {

bool CanCreateFolderIn(const std::string& folder) {
  std::random_device seed;
  const std::filesystem::path probe =
      std::filesystem::path(folder) / (".tessaly-write-check-" + std::to_string(seed()));
  std::error_code error;
  if (!std::filesystem::create_directory(probe, error)) return false;
  std::filesystem::remove(probe, error);
  return true;
}

}  // namespace

void CreateFolder(const std::string& folder) {
  const std::filesystem::path path(folder);
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return;
  std::filesystem::create_directory(path, ignored);
  if (!std::filesystem::is_directory(path, ignored)) throw ETessalyError("Cannot create " + folder);
}

bool CanUseAsWorkFolder(const std::string& folder, const std::string& parent) {
  std::error_code ignored;
  if (!std::filesystem::exists(folder, ignored)) return CanCreateFolderIn(parent);
  return std::filesystem::is_directory(folder, ignored) && CanCreateFolderIn(folder);
}

std::string UserWorkFolderParent() {
  const std::filesystem::path dataFolder = UserDataFolder();
  if (dataFolder.empty()) return {};
  return (dataFolder / kMakerFolderName).string();
}

void ReportWorkingFolderFailure(const std::exception& error) {
  ShowErrorBox(std::string("TessalyError Message :\r\n\r\n") + error.what() + "\r\n");
}

}  // namespace tessaly
