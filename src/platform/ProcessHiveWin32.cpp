#include <utility>

#include "platform/RegistryHive.h"
#include "platform/Win32RegistryHive.h"

namespace tessaly {
namespace {

std::filesystem::path& ChosenFile() {
  static std::filesystem::path file;
  return file;
}

}  // namespace

// On Windows the hive is the registry itself: a chosen file is remembered but never opened.
void SetHiveFile(std::filesystem::path file) {
  ChosenFile() = std::move(file);
}

std::filesystem::path HiveFile() {
  return ChosenFile();
}

std::string HiveLocationText() {
  return "the Windows registry, HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvane";
}

std::shared_ptr<RegistryHive> OpenProcessHive() {
  return std::make_shared<Win32RegistryHive>();
}

std::shared_ptr<RegistryHive> OpenExistingProcessHive() {
  return OpenProcessHive();
}

}  // namespace tessaly
