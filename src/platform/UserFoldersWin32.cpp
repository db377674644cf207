#include <cstdlib>

#include "platform/UserFolders.h"

namespace tessaly {

// Read as an 8-bit text, like every path the settings store keeps.
std::filesystem::path UserDataFolder() {
  const char* folder = std::getenv("LOCALAPPDATA");
  return folder != nullptr ? std::filesystem::path(folder) : std::filesystem::path();
}

}  // namespace tessaly
