// The accessor's behaviour as the settings store relies on it. Every case works below a scratch key of its
// own under HKEY_CURRENT_USER, so the suite runs unchanged on a hive file and on the Windows registry.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "FaultyHive.h"
#include "ScratchHive.h"
#include "TempHive.h"
#include "platform/Registry.h"

namespace tessaly {
namespace {

using Names = std::vector<std::string>;
using ::testing::AnyOf;

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() : scratch_(ScratchPath()) {}
  ~RegistryTest() override {
    TRegistry cleanup;
    cleanup.DeleteKey(scratch_);
  }

  static std::string ScratchPath() {
    return std::string("\\Software\\Tessaly Tests\\") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }

  // Opens a key below the scratch key (absolute), creating it.
  void Enter(const std::string& relative = "") {
    ASSERT_TRUE(reg_.OpenKey(relative.empty() ? scratch_ : scratch_ + "\\" + relative, true));
  }

  template <typename Call>
  static std::string MessageOf(Call call) {
    try {
      call();
    } catch (const ERegistryException& error) {
      return error.what();
    }
    return "(nothing raised)";
  }

  test::TempHive hive_;
  const std::string scratch_;
  TRegistry reg_;
};

TEST_F(RegistryTest, AbsoluteAndRelativeOpensResolveFromRootAndCurrentKey) {
  Enter("Parent");
  EXPECT_EQ(reg_.CurrentPath(), scratch_.substr(1) + "\\Parent");
  ASSERT_TRUE(reg_.OpenKey("Child\\Grandchild", true));
  EXPECT_EQ(reg_.CurrentPath(), scratch_.substr(1) + "\\Parent\\Child\\Grandchild");
  reg_.WriteString("Where", "grandchild");

  ASSERT_TRUE(reg_.OpenKey(scratch_ + "\\Parent\\Child", false));
  EXPECT_EQ(reg_.GetKeyNames(), Names{"Grandchild"});

  reg_.CloseKey();
  EXPECT_FALSE(reg_.HasCurrentKey());
  EXPECT_EQ(reg_.CurrentPath(), "");
  // With no key open, a relative path starts at the root key.
  ASSERT_TRUE(reg_.OpenKey(scratch_.substr(1) + "\\Parent\\Child\\Grandchild", false));
  EXPECT_EQ(reg_.ReadString("Where"), "grandchild");
}

TEST_F(RegistryTest, FailedOpenLeavesTheCurrentKeyAsItWas) {
  Enter("Kept");
  EXPECT_FALSE(reg_.OpenKey("Missing", false));
  EXPECT_FALSE(reg_.OpenKey(scratch_ + "\\Missing", false));
  EXPECT_TRUE(reg_.HasCurrentKey());
  EXPECT_EQ(reg_.CurrentPath(), scratch_.substr(1) + "\\Kept");
  reg_.WriteInteger("Still here", 5);

  TRegistry other;
  ASSERT_TRUE(other.OpenKey(scratch_ + "\\Kept", false));
  EXPECT_EQ(other.ReadInteger("Still here"), 5);
  EXPECT_FALSE(other.KeyExists(scratch_ + "\\Missing"));
}

TEST_F(RegistryTest, OpenWithoutCreateMakesNothingAndKeyExistsFollowsTheSamePaths) {
  Enter();
  EXPECT_FALSE(reg_.OpenKey("A\\B", false));
  EXPECT_FALSE(reg_.KeyExists("A"));
  ASSERT_TRUE(reg_.OpenKey("A\\B", true));
  ASSERT_TRUE(reg_.OpenKey(scratch_, false));
  EXPECT_TRUE(reg_.KeyExists("A\\B"));
  EXPECT_TRUE(reg_.KeyExists(scratch_ + "\\A"));
  EXPECT_FALSE(reg_.KeyExists("B"));
}

TEST_F(RegistryTest, NamesMatchWithoutRegardToCaseAndKeepTheirFirstCase) {
  Enter("MixedCase Key");
  reg_.WriteString("Value Name", "first");
  reg_.WriteString("VALUE NAME", "second");
  EXPECT_EQ(reg_.ReadString("value name"), "second");
  EXPECT_TRUE(reg_.ValueExists("vAlUe NaMe"));
  EXPECT_EQ(reg_.GetValueNames(), Names{"Value Name"});

  ASSERT_TRUE(reg_.OpenKey(scratch_ + "\\MIXEDCASE KEY", true));
  EXPECT_EQ(reg_.ReadString("Value Name"), "second");
  ASSERT_TRUE(reg_.OpenKey(scratch_, false));
  EXPECT_EQ(reg_.GetKeyNames(), Names{"MixedCase Key"});
}

TEST_F(RegistryTest, SubkeysListSortedWithoutRegardToCase) {
  Enter();
  for (const char* name : {"delta", "Bravo", "alpha", "Charlie"}) {
    ASSERT_TRUE(reg_.OpenKey(scratch_ + "\\" + name, true));
  }
  ASSERT_TRUE(reg_.OpenKey(scratch_, false));
  EXPECT_EQ(reg_.GetKeyNames(), (Names{"alpha", "Bravo", "Charlie", "delta"}));
}

// Values list in creation order on the file hive and on Windows, sorted by name on Wine's registry:
// either is accepted, nothing else.
TEST_F(RegistryTest, ValueNamesListEachValueOnceWithItsFirstCase) {
  Enter();
  reg_.WriteString("zulu", "");
  reg_.WriteInteger("Alpha", 1);
  reg_.WriteBool("mike", true);
  reg_.WriteString("ZULU", "rewritten");
  EXPECT_THAT(reg_.GetValueNames(), AnyOf(Names{"zulu", "Alpha", "mike"}, Names{"Alpha", "mike", "zulu"}));
}

// The one-call listing must give exactly what listing key by key gives, on every backend.
TEST_F(RegistryTest, ValueNamesBelowSubkeysListWhatKeyByKeyListingFinds) {
  const auto put = [&](const std::string& key, const Names& values) {
    Enter(key);
    for (const std::string& value : values) reg_.WriteString(value, "");
  };
  put("delta\\ATRs", {"3B02", "3B01"});
  put("Bravo\\atrs", {"3B09"});
  put("Bravo\\atrs\\Deeper", {"not listed"});
  put("alpha", {"no ATRs key"});
  put("Charlie\\ATRs", {});
  put("a_b\\ATRs", {"3B0A"});
  put("AB\\ATRs", {"3B0B"});

  Enter();
  const std::vector<SubkeyValueNames> listed = reg_.GetValueNamesBelowSubkeys("ATRs");
  Names subkeys;
  for (const SubkeyValueNames& item : listed) {
    subkeys.push_back(item.Subkey);
    TRegistry single;
    if (!single.OpenKey(scratch_ + "\\" + item.Subkey + "\\ATRs", false)) {
      EXPECT_FALSE(item.ValueNames) << item.Subkey;
      continue;
    }
    ASSERT_TRUE(item.ValueNames) << item.Subkey;
    EXPECT_EQ(*item.ValueNames, single.GetValueNames()) << item.Subkey;
  }
  EXPECT_EQ(subkeys, reg_.GetKeyNames());
  ASSERT_EQ(listed.size(), 6u);
  EXPECT_FALSE(reg_.KeyExists(scratch_ + "\\alpha\\ATRs")) << "the listing creates nothing";
  std::map<std::string, std::optional<Names>> bySubkey;
  for (const SubkeyValueNames& item : listed) bySubkey[item.Subkey] = item.ValueNames;
  EXPECT_EQ(bySubkey.at("Bravo"), Names{"3B09"}) << "the child's name matches in any letter case";
  EXPECT_EQ(bySubkey.at("Charlie"), Names{});
  EXPECT_FALSE(bySubkey.at("alpha").has_value());

  Enter("Gone");
  TRegistry other;
  ASSERT_TRUE(other.DeleteKey(scratch_ + "\\Gone"));
  EXPECT_TRUE(reg_.GetValueNamesBelowSubkeys("ATRs").empty()) << "a key deleted meanwhile has no subkeys";
}

TEST_F(RegistryTest, ValuesKeepTheirTypeAndMismatchesRaiseTheirMessages) {
  Enter();
  reg_.WriteString("Text", "12");
  reg_.WriteInteger("Number", 12);
  EXPECT_EQ(MessageOf([&] { reg_.ReadInteger("Text"); }), "Invalid data type for 'Text'");
  EXPECT_EQ(MessageOf([&] { reg_.ReadBool("Text"); }), "Invalid data type for 'Text'");
  EXPECT_EQ(MessageOf([&] { reg_.ReadString("Number"); }), "Invalid data type for 'Number'");
  EXPECT_EQ(MessageOf([&] { reg_.ReadInteger("Absent"); }), "Failed to get data for 'Absent'");
  EXPECT_EQ(MessageOf([&] { reg_.ReadBool("Absent"); }), "Failed to get data for 'Absent'");
  EXPECT_EQ(reg_.ReadString("Absent"), "");
  EXPECT_FALSE(reg_.ValueExists("Absent"));

  // A value changes its type when written with another one.
  reg_.WriteString("Number", "now text");
  EXPECT_EQ(reg_.ReadString("Number"), "now text");
}

TEST_F(RegistryTest, IntegersAreSigned32BitAndBooleansAreIntegers) {
  Enter();
  for (const std::int32_t number : {-1, 0, 42, INT_MIN, INT_MAX}) {
    reg_.WriteInteger("Number", number);
    EXPECT_EQ(reg_.ReadInteger("Number"), number);
  }
  reg_.WriteBool("Flag", true);
  EXPECT_EQ(reg_.ReadInteger("Flag"), 1);
  reg_.WriteBool("Flag", false);
  EXPECT_EQ(reg_.ReadInteger("Flag"), 0);
  EXPECT_FALSE(reg_.ReadBool("Flag"));
  reg_.WriteInteger("Flag", -1);
  EXPECT_TRUE(reg_.ReadBool("Flag"));
}

TEST_F(RegistryTest, StringsKeepEmptinessAndEveryByte) {
  Enter();
  const std::string text = "back\\slash \"quoted\" tab\t and UTF-8 \xC3\xA9";
  reg_.WriteString("Text", text);
  reg_.WriteString("Empty", "");
  EXPECT_EQ(reg_.ReadString("Text"), text);
  EXPECT_TRUE(reg_.ValueExists("Empty"));
  EXPECT_EQ(reg_.ReadString("Empty"), "");
}

TEST_F(RegistryTest, DefaultValueHasTheEmptyName) {
  Enter("Component");
  reg_.WriteString("", "/opt/component/file");
  reg_.CloseKey();
  ASSERT_TRUE(reg_.OpenKey(scratch_ + "\\Component", false));
  EXPECT_TRUE(reg_.ValueExists(""));
  EXPECT_EQ(reg_.ReadString(""), "/opt/component/file");
}

TEST_F(RegistryTest, WritingToAKeyDeletedMeanwhileRaisesFailedToSetData) {
  Enter("Doomed");
  TRegistry other;
  ASSERT_TRUE(other.DeleteKey(scratch_ + "\\Doomed"));
  EXPECT_EQ(MessageOf([&] { reg_.WriteString("Name", "x"); }), "Failed to set data for 'Name'");
  EXPECT_EQ(MessageOf([&] { reg_.WriteInteger("Count", 1); }), "Failed to set data for 'Count'");
  EXPECT_EQ(MessageOf([&] { reg_.WriteBool("Flag", true); }), "Failed to set data for 'Flag'");
}

TEST_F(RegistryTest, DeleteKeyRemovesEverythingBelowAndReportsSuccess) {
  Enter("Tree\\Branch\\Leaf");
  reg_.WriteString("Leaf value", "x");
  ASSERT_TRUE(reg_.OpenKey(scratch_ + "\\Tree", false));
  reg_.WriteInteger("Tree value", 1);
  ASSERT_TRUE(reg_.OpenKey(scratch_, false));

  EXPECT_TRUE(reg_.DeleteKey("Tree"));
  EXPECT_FALSE(reg_.KeyExists("Tree"));
  EXPECT_FALSE(reg_.DeleteKey("Tree"));
  EXPECT_TRUE(reg_.GetKeyNames().empty());

  ASSERT_TRUE(reg_.OpenKey("Tree\\Branch\\Leaf", true));
  EXPECT_FALSE(reg_.ValueExists("Leaf value"));
  ASSERT_TRUE(reg_.OpenKey(scratch_ + "\\Tree", false));
  EXPECT_FALSE(reg_.ValueExists("Tree value"));
}

TEST(RegistryDeleteKey, AFailingKeyTreeDeleteReportsFalseWithoutRaising) {
  const test::ScratchHive scratch;
  const auto faulty = std::make_shared<test::FaultyHive>(scratch.Hive());
  faulty->RefuseDelete("SOFTWARE\\Doomed");
  TRegistry reg(faulty);
  reg.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\Doomed", true));
  reg.CloseKey();

  bool deleted = true;
  EXPECT_NO_THROW(deleted = reg.DeleteKey("\\SOFTWARE\\Doomed"));
  EXPECT_FALSE(deleted);
  EXPECT_TRUE(reg.KeyExists("\\SOFTWARE\\Doomed"));
}

// Values, subkeys and a replaced target are the card-type rename's tests (settings).
TEST_F(RegistryTest, MoveKeyMayChangeTheLetterCaseOnlyButNeverMovesIntoOrOutOfItself) {
  Enter("Bank\\ATRs");
  reg_.WriteString("3B01", "");
  Enter();

  reg_.MoveKey("Bank", "BANK");
  EXPECT_THAT(MessageOf([&] { reg_.MoveKey("BANK", "bank\\ATRs\\Below"); }),
              ::testing::HasSubstr("which lies within it or holds it"));
  EXPECT_THAT(MessageOf([&] { reg_.MoveKey("Bank\\ATRs", "Bank"); }),
              ::testing::HasSubstr("which lies within it or holds it"));

  EXPECT_EQ(reg_.GetKeyNames(), Names{"BANK"});
  Enter("BANK\\ATRs");
  EXPECT_EQ(reg_.GetValueNames(), Names{"3B01"});
}

// A refused write halfway through the copy: the file hive takes back what the move had done; the Windows
// registry keeps the part of the copy made, but never loses the original, which is deleted last.
TEST(RegistryMoveKey, ARefusedWritePartWayLeavesTheOriginalWhole) {
  const test::ScratchHive scratch;
  const auto faulty = std::make_shared<test::FaultyHive>(scratch.Hive());
  TRegistry reg(faulty);
  reg.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\From", true));
  reg.WriteString("First", "1");
  reg.WriteString("Refused", "2");
  faulty->RefuseWrite("Refused");

  EXPECT_THROW(reg.MoveKey("\\SOFTWARE\\From", "\\SOFTWARE\\To"), ERegistryException);

  ASSERT_TRUE(reg.OpenKey("\\SOFTWARE\\From", false));
  EXPECT_EQ(reg.GetValueNames(), (Names{"First", "Refused"}));
#ifndef _WIN32
  EXPECT_FALSE(reg.KeyExists("\\SOFTWARE\\To"));
#endif
}

TEST_F(RegistryTest, DeleteValueReportsWhetherThereWasOne) {
  Enter();
  reg_.WriteString("Name", "x");
  EXPECT_TRUE(reg_.DeleteValue("NAME"));
  EXPECT_FALSE(reg_.ValueExists("Name"));
  EXPECT_FALSE(reg_.DeleteValue("Name"));
}

TEST_F(RegistryTest, ValuesPersistAfterEveryAccessorIsGone) {
  {
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey(scratch_ + "\\Stored", true));
    writer.WriteString("Text", "kept");
    writer.WriteInteger("Number", -1);
  }
  TRegistry reader;
  ASSERT_TRUE(reader.OpenKey(scratch_ + "\\Stored", false));
  EXPECT_EQ(reader.ReadString("Text"), "kept");
  EXPECT_EQ(reader.ReadInteger("Number"), -1);
}

TEST_F(RegistryTest, ValueOperationsWithNoKeyOpenActOnTheRootKey) {
  const std::string name = "Tessaly Tests root value";
  reg_.WriteString(name, "at the root");
  EXPECT_TRUE(reg_.ValueExists(name));
  ASSERT_TRUE(reg_.OpenKey("\\", false));
  EXPECT_EQ(reg_.ReadString(name), "at the root");
  reg_.CloseKey();
  EXPECT_TRUE(reg_.DeleteValue(name));
  EXPECT_FALSE(reg_.ValueExists(name));
}

TEST_F(RegistryTest, RootKeysAreSeparateAndChangingTheRootClosesTheCurrentKey) {
  Enter("Only Here");
  reg_.SetRootKey(RootKey::LocalMachine);
  EXPECT_EQ(reg_.GetRootKey(), RootKey::LocalMachine);
  EXPECT_FALSE(reg_.HasCurrentKey());
  EXPECT_FALSE(reg_.KeyExists(scratch_ + "\\Only Here"));
  reg_.SetRootKey(RootKey::CurrentUser);
  EXPECT_TRUE(reg_.KeyExists(scratch_ + "\\Only Here"));
}

TEST_F(RegistryTest, ClassesRootDefaultValueReadsWithoutCreating) {
  TRegistry classes;
  classes.SetRootKey(RootKey::ClassesRoot);
  const std::string key =
      "Tessaly.Tests." + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
  EXPECT_FALSE(classes.OpenKey(key, false));
  ASSERT_TRUE(classes.OpenKey(key, true));
  classes.WriteString("", "C:\\Component\\file.dll");
  classes.CloseKey();

  TRegistry reader;
  reader.SetRootKey(RootKey::ClassesRoot);
  ASSERT_TRUE(reader.OpenKey(key, false));
  EXPECT_EQ(reader.ReadString(""), "C:\\Component\\file.dll");
  reader.CloseKey();
  EXPECT_TRUE(reader.DeleteKey(key));
}

}  // namespace
}  // namespace tessaly
