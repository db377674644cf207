#include <cstdlib>
#include <mutex>
#include <system_error>
#include <utility>

#include "platform/RegistryHive.h"
#include "platform/SqliteRegistryHive.h"
#include "platform/UserFolders.h"

namespace tessaly {
namespace {

struct ProcessHive {
  std::mutex mutex;
  std::filesystem::path chosenFile;
  // Every accessor of the process shares one open hive while any of them is alive.
  std::filesystem::path openFile;
  std::weak_ptr<RegistryHive> openHive;
};

ProcessHive& State() {
  static ProcessHive state;
  return state;
}

void CreateFolderOf(const std::filesystem::path& file) {
  const auto folder = file.parent_path();
  if (folder.empty()) return;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) {
    throw ERegistryException("Registry hive file '" + file.string() + "': cannot create the folder '" +
                             folder.string() + "' (" + error.message() + ")");
  }
}

}  // namespace

// An empty file clears the choice.
void SetHiveFile(std::filesystem::path file) {
  std::lock_guard lock(State().mutex);
  State().chosenFile = std::move(file);
}

std::filesystem::path HiveFile() {
  {
    std::lock_guard lock(State().mutex);
    if (!State().chosenFile.empty()) return State().chosenFile;
  }
  if (const char* file = std::getenv("TESSALY_REGISTRY"); file != nullptr && *file != '\0') return file;
  return UserConfigFolder() / kMakerFolderName / "registry.db";
}

std::string HiveLocationText() {
  std::error_code error;
  const auto file = std::filesystem::absolute(HiveFile(), error);
  return (error ? HiveFile() : file).string();
}

namespace {

// A hive already open is one in either case: it existed, or this process has made it.
std::shared_ptr<RegistryHive> OpenHive(HiveOpening opening) {
  const auto file = std::filesystem::absolute(HiveFile());
  auto& state = State();
  std::lock_guard lock(state.mutex);
  if (state.openFile == file) {
    if (auto hive = state.openHive.lock()) return hive;
  }
  if (opening == HiveOpening::CreateWhenMissing) CreateFolderOf(file);
  auto hive = std::make_shared<SqliteRegistryHive>(file, opening);
  state.openFile = file;
  state.openHive = hive;
  return hive;
}

}  // namespace

std::shared_ptr<RegistryHive> OpenProcessHive() {
  return OpenHive(HiveOpening::CreateWhenMissing);
}

std::shared_ptr<RegistryHive> OpenExistingProcessHive() {
  return OpenHive(HiveOpening::ExistingOnly);
}

}  // namespace tessaly
