#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/RegistryHive.h"

namespace tessaly::test {

// A view of another hive in which one root key is a scratch key of that hive. On Windows, where the hive
// is the machine's registry, tests redirect HKEY_LOCAL_MACHINE below HKEY_CURRENT_USER this way, so that
// they never touch the machine's settings and each test starts from an empty root.
class RedirectedHive : public RegistryHive {
 public:
  // The scratch key (scratchPath below scratchRoot of inner) stands for root; it is created here, empty.
  RedirectedHive(std::shared_ptr<RegistryHive> inner, RootKey root, RootKey scratchRoot,
                 std::string scratchPath);

  std::unique_ptr<HiveKey> OpenKey(RootKey root, const std::string& path, bool create) override;
  bool DeleteKeyTree(RootKey root, const std::string& path) override;
  void Atomically(const std::function<void()>& apply) override { inner_->Atomically(apply); }
  void ReadSnapshot(const std::function<void()>& reads) override { inner_->ReadSnapshot(reads); }
  std::vector<SubkeyValueNames> ValueNamesBelowSubkeys(RootKey root, const std::string& path,
                                                       const std::string& child) override;
  // Deletes the scratch key with everything in it.
  void DeleteScratch();

 private:
  std::string ScratchPathOf(const std::string& path) const;

  std::shared_ptr<RegistryHive> inner_;
  RootKey root_;
  RootKey scratchRoot_;
  std::string scratchPath_;
};

}  // namespace tessaly::test
