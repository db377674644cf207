#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/UserFolders.h"

namespace tessaly {
namespace {

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

// A relative value is invalid and ignored, as the XDG base directory rules say.
std::filesystem::path XdgFolder(const char* variable, const std::filesystem::path& belowHome) {
  if (auto folder = FromEnvironment(variable); folder.is_absolute()) return folder;
  const auto home = HomeFolder();
  return home.empty() ? home : home / belowHome;
}

}  // namespace

std::filesystem::path UserDataFolder() {
  return XdgFolder("XDG_DATA_HOME", std::filesystem::path(".local") / "share");
}

std::filesystem::path UserConfigFolder() {
  return XdgFolder("XDG_CONFIG_HOME", ".config");
}

}  // namespace tessaly
