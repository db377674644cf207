#include "kernel/LocateComponentFolder.h"

#include <algorithm>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "platform/ComponentRegistration.h"
#include "platform/Registry.h"
#include "settings/ProductIdentity.h"

namespace tessaly {
namespace {

#ifdef _WIN32
constexpr std::string_view kPathDelimiters = "\\/:";
constexpr char kPathDelimiter = '\\';
#else
constexpr std::string_view kPathDelimiters = "/";
constexpr char kPathDelimiter = '/';
#endif
constexpr char kFolderListSeparator = ';';

// The folder part of a path, with its trailing delimiter; empty for a bare file name.
std::string FolderOf(const std::string& path) {
  const auto delimiter = path.find_last_of(kPathDelimiters);
  return delimiter == std::string::npos ? std::string() : path.substr(0, delimiter + 1);
}

std::string NameOf(const std::string& path) {
  return path.substr(FolderOf(path).size());
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(std::filesystem::path(path), ignored);
}

// The name as given when such a file exists (relative to the current folder), else the first folder of the
// ";"-separated list that holds it, joined with the name; empty when none does.
std::string FileSearch(const std::string& name, const std::string& folderList) {
  if (FileExists(name)) return name;
  std::size_t start = 0;
  while (start <= folderList.size()) {
    const auto end = std::min(folderList.find(kFolderListSeparator, start), folderList.size());
    std::string folder = folderList.substr(start, end - start);
    start = end + 1;
    if (folder.empty()) continue;
    if (kPathDelimiters.find(folder.back()) == std::string_view::npos) folder += kPathDelimiter;
    if (FileExists(folder + name)) return folder + name;
  }
  return {};
}

}  // namespace

void LocateComponentFolder(std::shared_ptr<RegistryHive> hive) {
  TRegistry registry(std::move(hive));
  registry.SetRootKey(RootKey::ClassesRoot);
  if (!registry.OpenKey(kComponentFileKey, false)) return;
  const std::string registeredFile = registry.ReadString("");
  if (registeredFile.empty()) return;
  const std::string found = FileSearch(NameOf(registeredFile), FolderOf(registeredFile));
  if (!found.empty()) SetComponentFolder(FolderOf(found));
}

}  // namespace tessaly
