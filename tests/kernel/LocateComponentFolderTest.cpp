#include "kernel/LocateComponentFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "RegisteredComponent.h"
#include "TempDir.h"
#include "TempHive.h"
#include "platform/ComponentRegistration.h"
#include "platform/Registry.h"
#include "platform/RegistryHive.h"
#include "settings/ProductIdentity.h"

namespace tessaly::test {
namespace {

namespace fs = std::filesystem;

constexpr char kUnchanged[] = "folder before/";

void CreateFile(const fs::path& file) {
  std::ofstream(file) << "component";
}

class LocateComponentFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { SetComponentFolder(kUnchanged); }
  void TearDown() override {
    fs::current_path(startFolder_);
    SetComponentFolder("");
  }

  TempHive hive_;
  TempDir component_;
  TempDir current_;

 private:
  fs::path startFolder_ = fs::current_path();
};

TEST_F(LocateComponentFolderTest, AMissingKeyLeavesTheFolderUnchanged) {
  LocateComponentFolder();
  EXPECT_EQ(ComponentFolder(), kUnchanged);
}

TEST_F(LocateComponentFolderTest, AnEmptyValueLeavesTheFolderUnchanged) {
  RegisterComponentFile("");
  LocateComponentFolder();
  EXPECT_EQ(ComponentFolder(), kUnchanged);
}

TEST_F(LocateComponentFolderTest, ARegisteredFileThatDoesNotExistLeavesTheFolderUnchanged) {
  RegisterComponentFile((component_ / "tessaly.so").string());
  LocateComponentFolder();
  EXPECT_EQ(ComponentFolder(), kUnchanged);
}

TEST_F(LocateComponentFolderTest, TheFileInItsRegisteredFolderGivesThatFolderWithItsSeparator) {
  CreateFile(component_ / "tessaly.so");
  RegisterComponentFile((component_ / "tessaly.so").string());
  LocateComponentFolder();
  EXPECT_EQ(ComponentFolder(), (component_.Path() / "").string());
}

TEST_F(LocateComponentFolderTest, TheBareNameFoundInTheCurrentFolderGivesAnEmptyFolder) {
  CreateFile(component_ / "tessaly.so");
  CreateFile(current_ / "tessaly.so");
  fs::current_path(current_.Path());
  RegisterComponentFile((component_ / "tessaly.so").string());
  LocateComponentFolder();
  EXPECT_EQ(ComponentFolder(), "");
}

TEST_F(LocateComponentFolderTest, AFolderOfTheFileNameInTheCurrentFolderIsPassedOver) {
  CreateFile(component_ / "tessaly.so");
  fs::create_directory(current_ / "tessaly.so");
  fs::current_path(current_.Path());
  RegisterComponentFile((component_ / "tessaly.so").string());
  LocateComponentFolder();
  EXPECT_EQ(ComponentFolder(), (component_.Path() / "").string());
}

TEST_F(LocateComponentFolderTest, AValueThatIsNotAStringIsRaised) {
  TRegistry registry;
  registry.SetRootKey(RootKey::ClassesRoot);
  ASSERT_TRUE(registry.OpenKey(kComponentFileKey, true));
  registry.WriteInteger("", 1);
  EXPECT_THROW(LocateComponentFolder(), ERegistryException);
  EXPECT_EQ(ComponentFolder(), kUnchanged);
}

}  // namespace
}  // namespace tessaly::test
