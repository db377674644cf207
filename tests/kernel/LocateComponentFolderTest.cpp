#include "kernel/LocateComponentFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "TempDir.h"
#include "platform/ComponentRegistration.h"
#include "platform/Registry.h"
#include "settings/ProductIdentity.h"

namespace tessaly::test {
namespace {

namespace fs = std::filesystem;

constexpr char kUnchanged[] = "folder before";

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

  void Register(const fs::path& file) { RegisterComponentFile(hive_.Hive(), file.string()); }
  void Locate() { LocateComponentFolder(hive_.Hive()); }
  // The registered folder as the lookup gives it: with its trailing separator.
  std::string ComponentFolderText() const { return (component_.Path() / "").string(); }

  ScratchHive hive_;
  TempDir component_;
  TempDir current_;

 private:
  fs::path startFolder_ = fs::current_path();
};

TEST_F(LocateComponentFolderTest, AMissingKeyLeavesTheFolderUnchanged) {
  Locate();
  EXPECT_EQ(ComponentFolder(), kUnchanged);
}

TEST_F(LocateComponentFolderTest, AnEmptyValueLeavesTheFolderUnchanged) {
  Register("");
  Locate();
  EXPECT_EQ(ComponentFolder(), kUnchanged);
}

TEST_F(LocateComponentFolderTest, ARegisteredFileThatDoesNotExistLeavesTheFolderUnchanged) {
  Register(component_ / "tessaly.dll");
  Locate();
  EXPECT_EQ(ComponentFolder(), kUnchanged);
}

TEST_F(LocateComponentFolderTest, TheFileInItsRegisteredFolderGivesThatFolderWithItsSeparator) {
  CreateFile(component_ / "tessaly.dll");
  Register(component_ / "tessaly.dll");
  Locate();
  EXPECT_EQ(ComponentFolder(), ComponentFolderText());
}

TEST_F(LocateComponentFolderTest, TheBareNameFoundInTheCurrentFolderGivesAnEmptyFolder) {
  CreateFile(component_ / "tessaly.dll");
  CreateFile(current_ / "tessaly.dll");
  fs::current_path(current_.Path());
  Register(component_ / "tessaly.dll");
  Locate();
  EXPECT_EQ(ComponentFolder(), "");
}

TEST_F(LocateComponentFolderTest, AFolderOfTheFileNameInTheCurrentFolderIsPassedOver) {
  CreateFile(component_ / "tessaly.dll");
  fs::create_directory(current_ / "tessaly.dll");
  fs::current_path(current_.Path());
  Register(component_ / "tessaly.dll");
  Locate();
  EXPECT_EQ(ComponentFolder(), ComponentFolderText());
}

TEST_F(LocateComponentFolderTest, AValueThatIsNotAStringIsRaised) {
  TRegistry registry(hive_.Hive());
  registry.SetRootKey(RootKey::ClassesRoot);
  ASSERT_TRUE(registry.OpenKey(kComponentFileKey, true));
  registry.WriteInteger("", 1);
  EXPECT_THROW(Locate(), ERegistryException);
  EXPECT_EQ(ComponentFolder(), kUnchanged);
}

}  // namespace
}  // namespace tessaly::test
