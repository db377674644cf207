#pragma once

#include <memory>
#include <string>

#include "platform/RegistryHive.h"

namespace tessaly {

// The Windows registry itself, through advapi32. Every key is opened with full access (KEY_ALL_ACCESS).
class Win32RegistryHive final : public RegistryHive {
 public:
  std::unique_ptr<HiveKey> OpenKey(RootKey root, const std::string& path, bool create) override;
  bool DeleteKeyTree(RootKey root, const std::string& path) override;
};

}  // namespace tessaly
