#pragma once

#include <memory>

#include "RedirectedHive.h"
#include "TempHive.h"

namespace tessaly::test {

// A hive of the current test's own in which HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT are empty scratch keys
// below HKEY_CURRENT_USER of the process hive: the test's TempHive file, or on Windows the machine's
// registry, whose settings a test must never touch. The scratch keys are deleted on destruction.
class ScratchHive {
 public:
  ScratchHive();
  ~ScratchHive();
  ScratchHive(const ScratchHive&) = delete;
  ScratchHive& operator=(const ScratchHive&) = delete;

  std::shared_ptr<RegistryHive> Hive() const { return classesRoot_; }

 private:
  TempHive file_;
  std::shared_ptr<RedirectedHive> localMachine_;
  std::shared_ptr<RedirectedHive> classesRoot_;
};

}  // namespace tessaly::test
