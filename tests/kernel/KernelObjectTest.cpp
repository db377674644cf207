#include "kernel/KernelObject.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ErrorBoxRecorder.h"
#include "RegisteredComponent.h"
#include "TempHive.h"
#include "platform/Registry.h"
#include "platform/RegistryHive.h"
#include "platform/TessalyError.h"
#include "settings/ProductIdentity.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

namespace fs = std::filesystem;

std::string ValueText(TRegistry& registry, const std::string& name) {
  try {
    return registry.ReadString(name);
  } catch (const ERegistryException&) {
    return std::to_string(registry.ReadInteger(name));
  }
}

// Every key below root, with its values, one line per value ("key|name|text or number").
void DumpKey(TRegistry& registry, const std::string& path, std::vector<std::string>& lines) {
  ASSERT_TRUE(registry.OpenKey("\\" + path, false)) << path;
  for (const auto& name : registry.GetValueNames()) {
    lines.push_back(path + "|" + name + "|" + ValueText(registry, name));
  }
  for (const auto& subkey : registry.GetKeyNames()) {
    DumpKey(registry, path + "\\" + subkey, lines);
  }
}

std::vector<std::string> DumpLocalMachine() {
  TRegistry registry;
  registry.SetRootKey(RootKey::LocalMachine);
  std::vector<std::string> lines;
  DumpKey(registry, "SOFTWARE", lines);
  return lines;
}

class KernelObjectTest : public ::testing::Test {
 protected:
  void SetUp() override { ResetProcessValues(); }
  void TearDown() override { ResetProcessValues(); }

  static void ResetProcessValues() {
    SetComponentFolder("");
    SetProductIdentity({});
  }

  TempHive hive_;
  TempComponent component_;
  ErrorBoxRecorder boxes_;
};

TEST_F(KernelObjectTest, ConstructionLocatesTheComponentCreatesTheStoreAndSetsTheIdentity) {
  TKernelObject kernel(7);

  EXPECT_EQ(ComponentFolder(), (component_.Folder() / "").string());
  ASSERT_NE(kernel.Settings, nullptr);
  EXPECT_EQ(kernel.Settings->OwnerHandle(), 7u);
  EXPECT_EQ(kernel.OwnerHandle, 7u);
  const TProductIdentity& identity = ProductIdentity();
  EXPECT_EQ(identity.ProductName, "Tessaly Easy");
  EXPECT_EQ(identity.VersionText, "v1.3");
  EXPECT_EQ(identity.MajorVersion, "1");
  EXPECT_EQ(identity.MinorVersion, "3");

  TRegistry registry;
  registry.SetRootKey(RootKey::LocalMachine);
  EXPECT_TRUE(registry.KeyExists("\\SOFTWARE\\Orvane\\Card Types"));
  EXPECT_TRUE(registry.KeyExists("\\SOFTWARE\\Orvane\\Tessaly Easy\\Preferences"));
  // Construction only creates the base keys: the version is written by Start.
  ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\Orvane\\Tessaly Easy", false));
  EXPECT_FALSE(registry.ValueExists("Version Major"));
}

TEST_F(KernelObjectTest, StartWritesTheFirstRunSettingsWithTheWorkingFolderBesideTheComponent) {
  TKernelObject kernel(0);
  kernel.Start();

  EXPECT_TRUE(boxes_.Texts().empty());
  TRegistry registry;
  registry.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\Orvane\\Tessaly Easy", false));
  EXPECT_EQ(registry.ReadInteger("Version Major"), 1);
  EXPECT_EQ(registry.ReadInteger("Version Minor"), 3);
  ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\Orvane\\Card Types", false));
  EXPECT_EQ(registry.GetKeyNames().size(), 2u);
  const fs::path workDir = component_.Folder() / "- Smart Cards Works";
  for (const char* folder : {"Events", "Info", "Templates"}) {
    EXPECT_TRUE(fs::is_directory(workDir / folder)) << folder;
  }
}

TEST_F(KernelObjectTest, AnUnopenableHiveIsSwallowedAndStartSaysWhy) {
  std::ofstream(hive_.File()) << "not a registry hive";

  TKernelObject kernel(0);

  EXPECT_EQ(kernel.Settings, nullptr);
  EXPECT_EQ(ProductIdentity().ProductName, "Tessaly Easy");
  try {
    kernel.Start();
    FAIL() << "Start succeeded without a settings store";
  } catch (const ETessalyError& failure) {
    const std::string message = failure.what();
    EXPECT_TRUE(message.starts_with("The settings could not be opened: ")) << message;
    EXPECT_NE(message.find(hive_.File().filename().string()), std::string::npos) << message;
  }
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(KernelObjectTest, ReleasingTheKernelWritesNothingAndRaisesNoEvent) {
  auto kernel = std::make_unique<TKernelObject>(0);
  kernel->Start();
  int events = 0;
  TRegistrySettings& settings = *kernel->Settings;
  settings.SetOnCardTypeChanged([&](const TRegistryDataChangedInfo&) { ++events; });
  settings.SetOnATRAssigned([&](const TRegistryDataChangedInfo&) { ++events; });
  settings.SetOnConnectionPreferencesChanged([&] { ++events; });
  settings.SetOnSeparateHexBytesChanged([&](TRegistrySettings&) { ++events; });
  settings.SetOnEventLogModeChanged([&](TRegistrySettings&) { ++events; });
  const auto before = DumpLocalMachine();

  kernel.reset();

  EXPECT_EQ(events, 0);
  EXPECT_EQ(DumpLocalMachine(), before);
}

}  // namespace
}  // namespace tessaly::test
