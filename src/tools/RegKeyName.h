#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform/RegistryHive.h"

namespace tessaly {

// The Windows registry's limits on key paths, kept so that what this tool writes the registry takes too.
inline constexpr std::size_t kMaxKeyDepth = 512;
inline constexpr std::size_t kMaxKeyNameLength = 255;

// A full key name as .reg files write it: a root key name, then the path below it.
struct RegKeyName {
  RootKey Root = RootKey::LocalMachine;
  std::string Path;  // without leading backslash; "" for the root key itself
};

std::string RootKeyName(RootKey root);
std::string FullKeyName(const RegKeyName& key);
// Accepts "HKEY_LOCAL_MACHINE\SOFTWARE" and the short forms HKLM, HKCR, HKCU, in any letter case. A trailing
// backslash is dropped; a path with an empty key name is refused.
std::optional<RegKeyName> ParseKeyName(std::string_view text);

}  // namespace tessaly
