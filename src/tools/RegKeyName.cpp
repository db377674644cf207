#include "tools/RegKeyName.h"

#include <algorithm>
#include <array>
#include <utility>

#include "platform/TextRules.h"

namespace tessaly {
namespace {

struct RootName {
  RootKey Root;
  std::string_view Long;
  std::string_view Short;
};

constexpr std::array<RootName, 3> kRoots{{
    {RootKey::LocalMachine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RootKey::ClassesRoot, "HKEY_CLASSES_ROOT", "HKCR"},
    {RootKey::CurrentUser, "HKEY_CURRENT_USER", "HKCU"},
}};

}  // namespace

std::string RootKeyName(RootKey root) {
  for (const auto& name : kRoots) {
    if (name.Root == root) return std::string(name.Long);
  }
  return {};
}

std::string FullKeyName(const RegKeyName& key) {
  return key.Path.empty() ? RootKeyName(key.Root) : RootKeyName(key.Root) + '\\' + key.Path;
}

std::optional<RegKeyName> ParseKeyName(std::string_view text) {
  const auto split = std::min(text.find('\\'), text.size());
  const auto rootText = text.substr(0, split);
  const auto root = std::find_if(kRoots.begin(), kRoots.end(), [&](const RootName& name) {
    return EqualsIgnoringAsciiCase(rootText, name.Long) || EqualsIgnoringAsciiCase(rootText, name.Short);
  });
  if (root == kRoots.end()) return std::nullopt;
  std::string path(text.substr(std::min(split + 1, text.size())));
  if (!path.empty() && path.front() == '\\') return std::nullopt;
  if (!path.empty() && path.back() == '\\') path.pop_back();
  if (path.find("\\\\") != std::string::npos) return std::nullopt;
  return RegKeyName{root->Root, std::move(path)};
}

}  // namespace tessaly
