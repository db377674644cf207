#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ErrorBoxRecorder.h"
#include "FaultyHive.h"
#include "ReaderTableFixture.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "kernel/KernelObject.h"
#include "platform/Registry.h"
#include "platform/RegistryHive.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

const std::string kPreferencesKey = "\\SOFTWARE\\Orvane\\Tessaly Easy\\Preferences";

// A kernel on a hive that refuses to store one preference, which is missing. Storing its default then fails,
// and the kernel's handler reads the preference again while the store raises the change event.
class RefusedPreferenceTest : public ReaderTableTest {
 protected:
  void TearDown() override {
    SeparateHexBytes = false;
    ReaderTableTest::TearDown();
  }

  TKernelObject& KernelRefusing(const std::string& valueName) {
    faulty_->RefuseWrite(valueName);
    kernel_ = std::make_unique<TKernelObject>(0, [hive = faulty_] { return hive; });
    return *kernel_;
  }

  bool Stored(const std::string& valueName) {
    TRegistry registry(scratch_.Hive());
    registry.SetRootKey(RootKey::LocalMachine);
    return registry.OpenKey(kPreferencesKey, false) && registry.ValueExists(valueName);
  }

  ScratchHive scratch_;
  TempComponent component_{scratch_.Hive()};
  ErrorBoxRecorder boxes_;
  std::shared_ptr<FaultyHive> faulty_ = std::make_shared<FaultyHive>(scratch_.Hive());
  std::unique_ptr<TKernelObject> kernel_;
};

TEST_F(RefusedPreferenceTest, ARefusedLogModeReachesTheCallerAndTheKernelKeepsTheDefault) {
  TKernelObject& kernel = KernelRefusing("Event_Log_Mode");
  ASSERT_NE(kernel.Settings, nullptr);

  EXPECT_THROW(kernel.Settings->SetEventLogMode(2), ERegistryException);
  EXPECT_EQ(kernel.EventLogMode, 1);
  EXPECT_FALSE(Stored("Event_Log_Mode"));
}

TEST_F(RefusedPreferenceTest, ARefusedHexSeparationDefaultReachesTheReader) {
  TKernelObject& kernel = KernelRefusing("Separate_Hex_Bytes");

  EXPECT_THROW(kernel.Settings->GetSeparateHexBytes(), ERegistryException);
  EXPECT_TRUE(SeparateHexBytes);
  EXPECT_FALSE(Stored("Separate_Hex_Bytes"));
}

TEST_F(RefusedPreferenceTest, ARefusedSharingDefaultReachesTheProtocolSetter) {
  TKernelObject& kernel = KernelRefusing("Connection_OnDetect_PC/SC_Sharing");

  EXPECT_THROW(kernel.Settings->SetProtocol(1), ERegistryException);
  EXPECT_TRUE(Stored("Connection_OnDetect_PC/SC_Protocol"));
  EXPECT_FALSE(Stored("Connection_OnDetect_PC/SC_Sharing"));
  EXPECT_EQ(OnDetectParams.Protocol, 1);
  EXPECT_EQ(OnDetectParams.ShareMode, 2);
}

TEST_F(RefusedPreferenceTest, ARefusedProtocolReachesTheProtocolSetter) {
  TKernelObject& kernel = KernelRefusing("Connection_OnDetect_PC/SC_Protocol");

  EXPECT_THROW(kernel.Settings->SetProtocol(1), ERegistryException);
  EXPECT_FALSE(Stored("Connection_OnDetect_PC/SC_Protocol"));
  EXPECT_EQ(OnDetectParams.Protocol, -1);  // the default, read while the refused write was reported
}

TEST_F(RefusedPreferenceTest, ADefaultThatCanBeStoredIsStoredAndReachesTheKernel) {
  TKernelObject& kernel = KernelRefusing("Some_Other_Value");

  EXPECT_EQ(kernel.Settings->GetEventLogMode(), 1);
  EXPECT_EQ(kernel.EventLogMode, 1);
  EXPECT_TRUE(Stored("Event_Log_Mode"));
  EXPECT_NO_THROW(kernel.Settings->SetProtocol(1));
  EXPECT_EQ(OnDetectParams.Protocol, 1);
  EXPECT_EQ(OnDetectParams.ShareMode, 2);
  EXPECT_TRUE(Stored("Connection_OnDetect_PC/SC_Sharing"));
}

}  // namespace
}  // namespace tessaly::test
