#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>
#include <system_error>
#include <utility>

#include "platform/RegistryHive.h"
#include "platform/SqliteRegistryHive.h"

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

std::filesystem::path FromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::filesystem::path(value) : std::filesystem::path();
}

std::filesystem::path HomeFolder() {
  auto home = FromEnvironment("HOME");
  if (home.empty()) {
    if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr)
      home = user->pw_dir;
  }
  return home;
}

std::filesystem::path ConfigFolder() {
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG base directory rules say.
  if (auto config = FromEnvironment("XDG_CONFIG_HOME"); config.is_absolute()) return config;
  return HomeFolder() / ".config";
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
  if (auto file = FromEnvironment("TESSALY_REGISTRY"); !file.empty()) return file;
  return ConfigFolder() / "orvane" / "registry.db";
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
