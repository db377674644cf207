#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "platform/RegistryHive.h"

namespace tessaly::test {

// Wraps a real hive and refuses what a test names: opening given keys, or writing given values. Lets tests
// reach failure paths that real permissions would be needed for.
class FaultyHive : public RegistryHive {
 public:
  explicit FaultyHive(std::shared_ptr<RegistryHive> inner);

  // path without leading backslash, as the hive sees it ("SOFTWARE\\Orvane"); letter case ignored.
  void RefuseOpen(const std::string& path);
  // Refuses writes of this value name in every key.
  void RefuseWrite(const std::string& valueName);
  // Refuses to delete the key tree at this path (as RefuseOpen takes it); the tree stays whole.
  void RefuseDelete(const std::string& path);

  std::unique_ptr<HiveKey> OpenKey(RootKey root, const std::string& path, bool create) override;
  bool DeleteKeyTree(RootKey root, const std::string& path) override;
  void Atomically(const std::function<void()>& apply) override { inner_->Atomically(apply); }
  void ReadSnapshot(const std::function<void()>& reads) override { inner_->ReadSnapshot(reads); }

 private:
  std::shared_ptr<RegistryHive> inner_;
  std::set<std::string> refusedOpens_;
  std::set<std::string> refusedDeletes_;
  std::shared_ptr<std::set<std::string>> refusedWrites_;
};

}  // namespace tessaly::test
