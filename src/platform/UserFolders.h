#pragma once

#include <filesystem>

namespace tessaly {

// The folder of this maker's programs in the user's data and settings folders.
inline constexpr char kMakerFolderName[] = "orvane";

// The folder where this user's programs keep their data files: $XDG_DATA_HOME when it is an absolute path,
// else ~/.local/share; %LOCALAPPDATA% on Windows. Empty when the environment names none.
std::filesystem::path UserDataFolder();

// The folder of this user's settings files: $XDG_CONFIG_HOME when it is an absolute path, else ~/.config.
// POSIX only: Windows keeps the settings in its registry.
std::filesystem::path UserConfigFolder();

}  // namespace tessaly
