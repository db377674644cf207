#include "platform/UserFolders.h"

#include <gtest/gtest.h>

#include "ScopedEnvironment.h"

namespace tessaly::test {
namespace {

namespace fs = std::filesystem;

TEST(UserDataFolder, TheVariableNamesItWhenItHoldsAnAbsolutePath) {
  const fs::path folder = fs::temp_directory_path() / "tessaly-user-data";
  const ScopedEnvironment data(kUserDataFolderVariable, folder.string().c_str());
  EXPECT_EQ(UserDataFolder(), folder);
}

#ifndef _WIN32
TEST(UserDataFolder, OtherwiseItIsLocalShareInTheHomeFolder) {
  const ScopedEnvironment home("HOME", "/home/someone");
  {
    const ScopedEnvironment unset("XDG_DATA_HOME", nullptr);
    EXPECT_EQ(UserDataFolder(), "/home/someone/.local/share");
  }
  const ScopedEnvironment relative("XDG_DATA_HOME", "relative/is/ignored");
  EXPECT_EQ(UserDataFolder(), "/home/someone/.local/share");
}
#endif

}  // namespace
}  // namespace tessaly::test
