#include "kernel/KernelObject.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ErrorBoxRecorder.h"
#include "FaultyHive.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
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

std::vector<std::string> DumpLocalMachine(const std::shared_ptr<RegistryHive>& hive) {
  TRegistry registry(hive);
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

  TKernelObject::THiveOpener Opener() const {
    return [hive = hive_.Hive()] { return hive; };
  }
  // An accessor on HKEY_LOCAL_MACHINE of the test's hive.
  std::unique_ptr<TRegistry> LocalMachine() const {
    auto registry = std::make_unique<TRegistry>(hive_.Hive());
    registry->SetRootKey(RootKey::LocalMachine);
    return registry;
  }

  ScratchHive hive_;
  TempComponent component_{hive_.Hive()};
  ErrorBoxRecorder boxes_;
};

TEST_F(KernelObjectTest, ConstructionLocatesTheComponentCreatesTheStoreAndSetsTheIdentity) {
  TKernelObject kernel(7, Opener());

  EXPECT_EQ(ComponentFolder(), (component_.Folder() / "").string());
  ASSERT_NE(kernel.Settings, nullptr);
  EXPECT_EQ(kernel.Settings->OwnerHandle(), 7u);
  EXPECT_EQ(kernel.OwnerHandle, 7u);
  const TProductIdentity& identity = ProductIdentity();
  EXPECT_EQ(identity.ProductName, "Tessaly Easy");
  EXPECT_EQ(identity.VersionText, "v1.3");
  EXPECT_EQ(identity.MajorVersion, "1");
  EXPECT_EQ(identity.MinorVersion, "3");

  const auto registry = LocalMachine();
  EXPECT_TRUE(registry->KeyExists("\\SOFTWARE\\Orvane\\Card Types"));
  EXPECT_TRUE(registry->KeyExists("\\SOFTWARE\\Orvane\\Tessaly Easy\\Preferences"));
  // Construction only creates the base keys: the version is written by Start.
  ASSERT_TRUE(registry->OpenKey("\\SOFTWARE\\Orvane\\Tessaly Easy", false));
  EXPECT_FALSE(registry->ValueExists("Version Major"));
}

TEST_F(KernelObjectTest, StartWritesTheFirstRunSettingsWithTheWorkingFolderBesideTheComponent) {
  TKernelObject kernel(0, Opener());
  kernel.Start();

  EXPECT_TRUE(boxes_.Texts().empty());
  const auto registry = LocalMachine();
  ASSERT_TRUE(registry->OpenKey("\\SOFTWARE\\Orvane\\Tessaly Easy", false));
  EXPECT_EQ(registry->ReadInteger("Version Major"), 1);
  EXPECT_EQ(registry->ReadInteger("Version Minor"), 3);
  ASSERT_TRUE(registry->OpenKey("\\SOFTWARE\\Orvane\\Card Types", false));
  EXPECT_EQ(registry->GetKeyNames().size(), 2u);
  const fs::path workDir = component_.Folder() / "- Smart Cards Works";
  for (const char* folder : {"Events", "Info", "Templates"}) {
    EXPECT_TRUE(fs::is_directory(workDir / folder)) << folder;
  }
  for (const char* file : {"ISO-7816-4.cct", "ISO-7816-4.swt", "GSM-11.11.cct", "GSM-11.11.swt"}) {
    EXPECT_GT(fs::file_size(workDir / "Templates" / file), 0u) << file;
  }
}

// The message Start raises; fails the test when Start succeeds.
std::string StartFailure(TKernelObject& kernel) {
  try {
    kernel.Start();
  } catch (const ETessalyError& failure) {
    return failure.what();
  }
  ADD_FAILURE() << "Start succeeded without a settings store";
  return {};
}

TEST_F(KernelObjectTest, AHiveThatCannotBeOpenedIsSwallowedAndStartSaysWhy) {
  TKernelObject kernel(0, []() -> std::shared_ptr<RegistryHive> {
    throw ERegistryException("Registry hive file 'registry.db': file is not a database");
  });

  EXPECT_EQ(kernel.Settings, nullptr);
  EXPECT_EQ(ComponentFolder(), "");
  EXPECT_EQ(ProductIdentity().ProductName, "Tessaly Easy");
  EXPECT_EQ(StartFailure(kernel),
            "The settings could not be opened: Registry hive file 'registry.db': file is not a database");
  EXPECT_TRUE(boxes_.Texts().empty());
}

TEST_F(KernelObjectTest, AStoreThatCannotCreateItsKeysIsSwallowedAfterTheComponentWasLocated) {
  const auto faulty = std::make_shared<FaultyHive>(hive_.Hive());
  faulty->RefuseOpen("SOFTWARE\\Orvane");

  TKernelObject kernel(0, [faulty] { return faulty; });

  EXPECT_EQ(kernel.Settings, nullptr);
  EXPECT_EQ(ComponentFolder(), (component_.Folder() / "").string());
  EXPECT_EQ(ProductIdentity().VersionText, "v1.3");
  const std::string message = StartFailure(kernel);
  EXPECT_TRUE(message.starts_with("The settings could not be opened: ")) << message;
  EXPECT_NE(message.find("Orvane"), std::string::npos) << message;
}

TEST_F(KernelObjectTest, ReleasingTheKernelWritesNothingAndRaisesNoEvent) {
  auto kernel = std::make_unique<TKernelObject>(0, Opener());
  kernel->Start();
  int events = 0;
  TRegistrySettings& settings = *kernel->Settings;
  settings.SetOnCardTypeChanged([&](const TRegistryDataChangedInfo&) { ++events; });
  settings.SetOnATRAssigned([&](const TRegistryDataChangedInfo&) { ++events; });
  settings.SetOnConnectionPreferencesChanged([&] { ++events; });
  settings.SetOnSeparateHexBytesChanged([&](TRegistrySettings&) { ++events; });
  settings.SetOnEventLogModeChanged([&](TRegistrySettings&) { ++events; });
  const auto before = DumpLocalMachine(hive_.Hive());

  kernel.reset();

  EXPECT_EQ(events, 0);
  EXPECT_EQ(DumpLocalMachine(hive_.Hive()), before);
}

}  // namespace
}  // namespace tessaly::test
