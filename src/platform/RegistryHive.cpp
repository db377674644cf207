#include "platform/RegistryHive.h"

namespace tessaly {

std::vector<SubkeyValueNames> RegistryHive::ValueNamesBelowSubkeys(RootKey root, const std::string& path,
                                                                   const std::string& child) {
  std::vector<SubkeyValueNames> found;
  const std::unique_ptr<HiveKey> parent = OpenKey(root, path, false);
  if (!parent) return found;
  const std::string prefix = path.empty() || path.back() == '\\' ? path : path + '\\';
  for (std::string& subkey : parent->SubkeyNames()) {
    const std::unique_ptr<HiveKey> key = OpenKey(root, prefix + subkey + '\\' + child, false);
    found.push_back({std::move(subkey), key ? std::optional(key->ValueNames()) : std::nullopt});
  }
  return found;
}

}  // namespace tessaly
