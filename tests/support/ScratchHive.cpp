#include "ScratchHive.h"

#include <gtest/gtest.h>

#include <string>

namespace tessaly::test {
namespace {

std::string ScratchKeyOfThisTest(const std::string& root) {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name =
      test != nullptr ? std::string(test->test_suite_name()) + "." + test->name() : "none";
  return "Software\\Tessaly Tests\\" + name + "\\" + root;
}

}  // namespace

ScratchHive::ScratchHive()
    : localMachine_(std::make_shared<RedirectedHive>(OpenProcessHive(), RootKey::LocalMachine,
                                                     RootKey::CurrentUser, ScratchKeyOfThisTest("HKLM"))),
      classesRoot_(std::make_shared<RedirectedHive>(localMachine_, RootKey::ClassesRoot, RootKey::CurrentUser,
                                                    ScratchKeyOfThisTest("HKCR"))) {}

ScratchHive::~ScratchHive() {
  classesRoot_->DeleteScratch();
  localMachine_->DeleteScratch();
}

}  // namespace tessaly::test
