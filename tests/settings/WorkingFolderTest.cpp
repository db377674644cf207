// Where a first start puts the working folder: beside the component when it can be made or written there,
// otherwise in the user's data folder, never at the file-system root or in a folder the user cannot write.
#include <gmock/gmock.h>

#include <filesystem>
#include <fstream>

#include "SettingsFixture.h"
#include "settings/ProductIdentity.h"

namespace tessaly::test {
namespace {

namespace fs = std::filesystem;
using ::testing::IsEmpty;

const std::string kProduct = "SOFTWARE\\Orvane\\Tessaly Easy";
const std::string kPreferences = kProduct + "\\Preferences";

class DefaultWorkingFolder : public SettingsFixture {
 protected:
  bool IsEmptyFolder(const std::string& folder) const {
    return fs::is_directory(folder) && fs::is_empty(folder);
  }
};

TEST_F(DefaultWorkingFolder, LiesBesideAWritableComponentFolderWithNothingLeftBehindByTheCheck) {
  EXPECT_EQ(TRegistrySettings::DefaultWorkDir(), DefaultWorkDir());
  EXPECT_TRUE(IsEmptyFolder(TempFolder()));

  fs::create_directory(DefaultWorkDir());
  EXPECT_EQ(TRegistrySettings::DefaultWorkDir(), DefaultWorkDir());
  EXPECT_TRUE(IsEmptyFolder(DefaultWorkDir()));
  EXPECT_FALSE(fs::exists(UserDataFolder()));
}

TEST_F(DefaultWorkingFolder, WithoutAComponentFolderAFirstStartMakesItInTheUsersDataFolder) {
  SetComponentFolder("");
  TRegistrySettings store(0, Hive());

  store.SynchroniseSettings();
  store.InstallShippedTemplates();

  EXPECT_THAT(Boxes(), IsEmpty());
  EXPECT_EQ(DumpLocalMachine().at(kPreferences + "|WorkDir"), "sz:" + UserDataWorkDir());
  for (const char* subfolder : {"Events", "Info", "Templates"}) {
    EXPECT_TRUE(fs::is_directory(fs::path(UserDataWorkDir()) / subfolder)) << subfolder;
  }
  EXPECT_TRUE(fs::is_regular_file(fs::path(UserDataWorkDir()) / "Templates" / "ISO-7816-4.cct"));
}

TEST_F(DefaultWorkingFolder, AComponentFolderThatCannotTakeItGivesWayToTheUsersDataFolder) {
  SetComponentFolder(TempFolder() + kSep + "removed" + kSep);
  EXPECT_EQ(TRegistrySettings::DefaultWorkDir(), UserDataWorkDir()) << "a component folder that is gone";

  SetComponentFolder(TempFolder() + kSep);
  std::ofstream(DefaultWorkDir()) << "a file where the folder should be";
  EXPECT_EQ(TRegistrySettings::DefaultWorkDir(), UserDataWorkDir()) << "a file in the way";
}

TEST_F(DefaultWorkingFolder, AReadOnlyComponentFolderGivesWayToTheUsersDataFolder) {
  const fs::path installed = fs::path(TempFolder()) / "installed";
  fs::create_directory(installed);
  fs::permissions(installed, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  std::error_code refused;
  const bool writableAnyway = fs::create_directory(installed / "probe", refused);
  if (writableAnyway) {
    fs::permissions(installed, fs::perms::owner_all);
    GTEST_SKIP() << "the file system lets this user write a read-only folder (root, or Windows)";
  }
  SetComponentFolder(installed.string() + kSep);

  EXPECT_EQ(TRegistrySettings::DefaultWorkDir(), UserDataWorkDir());
  fs::permissions(installed, fs::perms::owner_all);
}

TEST_F(DefaultWorkingFolder, AStoredWorkingFolderStaysWhereItIs) {
  const std::string stored = std::string(1, kSep) + "- Smart Cards Works";
  PutInteger(kProduct, "Version Major", 1);
  PutInteger(kProduct, "Version Minor", 3);
  PutString(kPreferences, "WorkDir", stored);
  SetComponentFolder("");
  TRegistrySettings store(0, Hive());

  store.SynchroniseSettings();

  EXPECT_EQ(store.GetWorkDir(), stored);
  EXPECT_FALSE(fs::exists(UserDataFolder()));
}

}  // namespace
}  // namespace tessaly::test
