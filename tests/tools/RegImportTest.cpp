// Imports applied straight to hive files, where a test can make the hive refuse a write.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "FaultyHive.h"
#include "TempDir.h"
#include "platform/SqliteRegistryHive.h"
#include "tools/RegImport.h"

namespace tessaly {
namespace {

std::string ReadBytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Import(RegistryHive& hive, const std::string& text) {
  TRegistry reg(std::shared_ptr<RegistryHive>(&hive, [](RegistryHive*) {}));
  ApplyRegChanges(hive, reg, ParseRegFile(text));
}

const std::string kLaterLineRefused =
    "REGEDIT4\n"
    "[HKCU\\Kept]\n"
    "\"Value\"=\"after\"\n"
    "[-HKCU\\Old]\n"
    "[HKCU\\New\\Deep]\n"
    "\"First\"=dword:1\n"
    "\"Refused\"=\"x\"\n";

TEST(RegImport, AWriteRefusedOnALaterLineLeavesTheHiveFileByteForByteUnchanged) {
  test::TempDir folder;
  const auto file = folder / "registry.db";
  {
    auto hive = std::make_shared<SqliteRegistryHive>(file);
    Import(*hive, "REGEDIT4\n[HKCU\\Kept]\n\"Value\"=\"before\"\n[HKCU\\Old\\Below]\n\"V\"=\"1\"\n");
  }
  const auto before = ReadBytes(file);

  {
    test::FaultyHive hive(std::make_shared<SqliteRegistryHive>(file));
    hive.RefuseWrite("Refused");
    try {
      Import(hive, kLaterLineRefused);
      ADD_FAILURE() << "the refused write was not reported";
    } catch (const ERegFileError& error) {
      EXPECT_EQ(error.Line(), 7);
      EXPECT_NE(std::string(error.what()).find("Failed to set data for 'Refused'"), std::string::npos)
          << error.what();
    }
  }
  EXPECT_EQ(ReadBytes(file), before);
}

TEST(RegImport, ValueTypesAreReadWithoutRegardToLetterCase) {
  test::TempDir folder;
  SqliteRegistryHive hive(folder / "registry.db");
  Import(hive, "REGEDIT4\n[HKCU\\Types]\n\"Upper\"=DWORD:0000002A\n\"Mixed\"=DWord:ff\n");

  TRegistry reg(std::shared_ptr<RegistryHive>(&hive, [](RegistryHive*) {}));
  reg.SetRootKey(RootKey::CurrentUser);
  ASSERT_TRUE(reg.OpenKey("Types", false));
  EXPECT_EQ(reg.GetValueType("Upper"), HiveValueType::DWord);
  EXPECT_EQ(reg.ReadInteger("Upper"), 42);
  EXPECT_EQ(reg.ReadInteger("Mixed"), 255);
}

}  // namespace
}  // namespace tessaly
