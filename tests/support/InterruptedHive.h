#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/RegistryHive.h"

namespace tessaly::test {

// Thrown where a process would have been killed; no handler of the system catches it, as none could
// catch a kill.
struct Interrupted {};

// Wraps a real hive and throws Interrupted in place of the write numbered interruptAt (1 for the first
// value written, value deleted or key tree deleted), so that tests can cut a run of writes off anywhere.
class InterruptedHive : public RegistryHive {
 public:
  InterruptedHive(std::shared_ptr<RegistryHive> inner, int interruptAt);

  // Writes that went through.
  int Writes() const { return *writes_; }

  std::unique_ptr<HiveKey> OpenKey(RootKey root, const std::string& path, bool create) override;
  bool DeleteKeyTree(RootKey root, const std::string& path) override;
  void Atomically(const std::function<void()>& apply) override { inner_->Atomically(apply); }
  void ReadSnapshot(const std::function<void()>& reads) override { inner_->ReadSnapshot(reads); }

 private:
  std::shared_ptr<RegistryHive> inner_;
  std::shared_ptr<int> writes_;
  int interruptAt_;
};

}  // namespace tessaly::test
