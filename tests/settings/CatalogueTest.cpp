#include <gmock/gmock.h>

#include <functional>

#include "FaultyHive.h"
#include "SettingsFixture.h"

namespace tessaly::test {
namespace {

const std::string kCardTypes = "SOFTWARE\\Orvane\\Card Types";

using Lines = std::vector<std::string>;

TEST(FormatHexPairs, SpacesTwoCharacterGroups) {
  const std::pair<std::string, std::string> cases[] = {
      {"3B0294", "3B 02 94"}, {" 3B 02 94 ", "3B 02 94"}, {"3b0", "3b 0"}, {"3", "3"}, {"", ""}, {"   ", ""},
      {"3B\t02", "3B \t0 2"},
  };
  for (const auto& [input, expected] : cases) EXPECT_EQ(FormatHexPairs(input), expected) << input;
}

TEST(BaseTypeName, NamesTheTwoBaseTypes) {
  EXPECT_EQ(BaseTypeName(1), "ISO-7816 Smart Card");
  EXPECT_EQ(BaseTypeName(2), "GSM SIM Card");
  EXPECT_EQ(BaseTypeName(0), "");
  EXPECT_EQ(BaseTypeName(3), "");
}

class Catalogue : public SettingsFixture {
 protected:
  Catalogue() { RecordEvents(store_); }

  TPreferencesATRRec Sample(const std::string& atrs) {
    TPreferencesATRRec record;
    store_.MakeDefaultCardType(2, record);
    record.ATRs = atrs;
    return record;
  }

  TRegistrySettings store_{0, Hive()};
};

TEST_F(Catalogue, AWrittenCardTypeReadsBackWithSpacedATRsAndCollapsedTemplatePaths) {
  EXPECT_TRUE(store_.WriteCardType("Bank", Sample("3B 02 14 50\r\n3b0A\n")));

  TPreferencesATRRec read;
  read.BaseType = 9;
  store_.ReadCardType("Bank", read);

  const std::string templates = std::string("$(WorkDir)") + kSep + "Templates" + kSep;
  EXPECT_EQ(read.CardTypeName, "Bank");
  EXPECT_EQ(read.BaseType, 2);
  EXPECT_EQ(read.ATRs, "3B 02 14 50\r\n3b 0A\r\n");
  EXPECT_EQ(read.WindowPreferences.TemplatesCOS, templates + "GSM-11.11.cct");
  EXPECT_EQ(read.WindowPreferences.TemplatesSW, templates + "GSM-11.11.swt");
  const TAPDUPreferences& apdu = read.WindowPreferences.DefaultAPDU;
  EXPECT_EQ((Lines{apdu.Cla, apdu.Ins, apdu.P1, apdu.P2, apdu.P3, apdu.Le, apdu.DataIn}),
            (Lines{"A0", "A4", "00", "00", "02", "", "3F 00"}));
  EXPECT_EQ(store_.GetCardTypeATRs("Bank"), (Lines{"3B021450", "3b0A"}));
  EXPECT_EQ(Events(), Lines{"CardTypeChanged(0,Bank,)"});
}

TEST_F(Catalogue, WritingReplacesTheWholeATRListOfThatCardTypeOnly) {
  store_.WriteCardType("A", Sample("3B01\r\n3B02"));
  store_.WriteCardType("B", Sample("3B 01"));
  store_.WriteCardType("A", Sample("3B 02\r\n3B 03\r\n"));

  EXPECT_EQ(store_.GetCardTypeATRs("A"), (Lines{"3B02", "3B03"}));
  EXPECT_EQ(store_.GetATRIndex(), (Lines{"3B02=A", "3B03=A", "3B01=B"}));
}

TEST_F(Catalogue, TemplatePathsAreExpandedWithTheCurrentWorkDir) {
  store_.WriteCardType("Bank", Sample(""));
  const std::string other = DefaultWorkDir() + "-other";
  store_.SetWorkDir(other);

  EXPECT_EQ(store_.GetCOSTemplatePath("Bank"), other + kSep + "Templates" + kSep + "GSM-11.11.cct");
  PutString(kCardTypes + "\\Bank", "Templates SW", "  $(WORKDIR)x.swt");
  EXPECT_EQ(store_.GetSWTemplatePath("Bank"), other + "x.swt");
  EXPECT_EQ(store_.GetCOSTemplatePath("Unknown"), "");
}

TEST_F(Catalogue, SeedingWithAnotherWorkDirKeepsAbsolutePathsBelowTheDefault) {
  store_.SetWorkDir(DefaultWorkDir() + "-other");
  store_.EnsureCardTypes();

  TPreferencesATRRec read;
  store_.ReadCardType("ISO-7816 Smart Card", read);
  EXPECT_EQ(read.WindowPreferences.TemplatesCOS,
            DefaultWorkDir() + kSep + "Templates" + kSep + "ISO-7816-4.cct");
  EXPECT_EQ(read.WindowPreferences.DefaultAPDU.Cla, "00");
  EXPECT_EQ(read.BaseType, 1);
}

TEST_F(Catalogue, ReadingAMissingCardTypeCreatesItEmpty) {
  TPreferencesATRRec read = Sample("3B00");
  store_.ReadCardType("Ghost", read);

  EXPECT_EQ(read.CardTypeName, "Ghost");
  EXPECT_EQ(read.ATRs, "");
  EXPECT_EQ(read.BaseType, 0);
  EXPECT_EQ(read.WindowPreferences.TemplatesCOS, "");
  EXPECT_EQ(read.WindowPreferences.DefaultAPDU.DataIn, "");
  const auto layout = DumpLocalMachine();
  EXPECT_TRUE(layout.count(kCardTypes + "\\Ghost\\ATRs"));
  EXPECT_TRUE(store_.GetATRIndex().empty());
}

TEST_F(Catalogue, TheATRIndexGivesACardTypeWithoutATRsKeyAnEmptyOne) {
  store_.WriteCardType("A", Sample("3B01"));
  PutString(kCardTypes + "\\Bare", "Base Type", "");
  store_.WriteCardType("C", Sample("3B03"));

  EXPECT_EQ(store_.GetATRIndex(), (Lines{"3B01=A", "3B03=C"}));
  EXPECT_TRUE(DumpLocalMachine().count(kCardTypes + "\\Bare\\ATRs"));
}

TEST_F(Catalogue, AssignATRMovesTheATRToExactlyTheNamedCardType) {
  store_.WriteCardType("A", Sample("3B 02"));
  store_.WriteCardType("B", Sample("3B 09"));
  ClearEvents();

  store_.AssignATR("B", " 3B 02 ");
  // Values list in creation order on the hive file and on Windows, sorted on Wine's registry.
  EXPECT_THAT(store_.GetATRIndex(), testing::AnyOf(Lines{"3B09=B", "3B02=B"}, Lines{"3B02=B", "3B09=B"}));

  store_.AssignATR("a", "3B02");
  EXPECT_EQ(store_.GetATRIndex(), Lines{"3B09=B"}) << "a name in another letter case stores the ATR nowhere";

  store_.AssignATR("A", "   ");
  EXPECT_EQ(store_.GetATRIndex(), Lines{"3B09=B"});
  EXPECT_EQ(Events(), (Lines{"ATRAssigned(0,B,3B02)", "ATRAssigned(0,a,3B02)", "ATRAssigned(0,A,)"}));
}

TEST_F(Catalogue, AHandlerWalkingTheIndexIsNotDisturbedByNestedCatalogueCalls) {
  store_.WriteCardType("A", Sample("3B01\r\n3B02"));
  Lines walked;
  store_.SetOnATRAssigned([&](const TRegistryDataChangedInfo&) {
    for (const std::string& line : store_.GetATRIndex()) {
      walked.push_back(line);
      store_.GetCardTypeATRs("A");
    }
  });

  store_.AssignATR("A", "3B03");
  EXPECT_EQ(walked, (Lines{"3B01=A", "3B02=A", "3B03=A"}));
}

TEST_F(Catalogue, AFailedWriteIsShownAndKeepsWhatWasWrittenBefore) {
  auto hive = std::make_shared<FaultyHive>(Hive());
  TRegistrySettings store(0, hive);
  RecordEvents(store);
  hive->RefuseWrite("DefaultAPDU P1");

  EXPECT_FALSE(store.WriteCardType("Bank", Sample("3B01")));

  EXPECT_EQ(Boxes(), Lines{"Error Message :\r\n\r\nFailed to set data for 'DefaultAPDU P1'\r\n"});
  EXPECT_EQ(Events(), Lines{"CardTypeChanged(0,Bank,)"});
  const auto layout = DumpLocalMachine();
  EXPECT_EQ(layout.at(kCardTypes + "\\Bank|DefaultAPDU Ins"), "sz:A4");
  EXPECT_FALSE(layout.count(kCardTypes + "\\Bank|DefaultAPDU P1"));
  EXPECT_FALSE(layout.count(kCardTypes + "\\Bank\\ATRs"));
}

TEST_F(Catalogue, SeedingSwallowsFailuresSilently) {
  store_.SetOnCardTypeChanged([](const TRegistryDataChangedInfo&) { throw ETessalyError("handler failed"); });

  store_.SynchroniseSettings();

  const auto layout = DumpLocalMachine();
  EXPECT_TRUE(layout.count(kCardTypes + "\\ISO-7816 Smart Card"));
  EXPECT_FALSE(layout.count(kCardTypes + "\\GSM SIM Card"));
  EXPECT_FALSE(layout.count("SOFTWARE\\Orvane\\Tessaly Easy\\Interface"));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Catalogue, RenamingMovesEveryValueAndATRAndTheDefaultNameFollows) {
  store_.WriteCardType("Bank", Sample("3B01\r\n3B02"));
  PutString(kCardTypes + "\\Bank", "Added by hand", "kept");
  store_.SetDefaultCardTypeName("BANK");
  ClearEvents();

  store_.RenameCardType("Bank", "Bank Card");

  const auto layout = DumpLocalMachine();
  EXPECT_FALSE(layout.count(kCardTypes + "\\Bank"));
  EXPECT_EQ(layout.at(kCardTypes + "\\Bank Card|Base Type"), "dword:2");
  EXPECT_EQ(layout.at(kCardTypes + "\\Bank Card|Added by hand"), "sz:kept");
  EXPECT_EQ(store_.GetCardTypeATRs("Bank Card"), (Lines{"3B01", "3B02"}));
  EXPECT_EQ(store_.GetDefaultCardTypeName(), "Bank Card");
  EXPECT_EQ(Events(), (Lines{"CardTypeChanged(0,Bank,)", "CardTypeChanged(0,Bank Card,)"}));
}

TEST_F(Catalogue, RenamingOntoAnotherCardTypeReplacesItAndKeepsTheDefaultOnAnExactName) {
  store_.WriteCardType("A", Sample("3B01"));
  store_.WriteCardType("B", Sample("3B02"));
  store_.WriteCardType("C", Sample("3B03"));
  store_.SetDefaultCardTypeName("B");

  store_.RenameCardType("A", "b");

  EXPECT_EQ(store_.GetCardTypeNames(), (Lines{"b", "C"}));
  EXPECT_EQ(store_.GetATRIndex(), (Lines{"3B01=b", "3B03=C"}));
  EXPECT_EQ(store_.GetDefaultCardTypeName(), "b");
}

TEST_F(Catalogue, ARenameRefusedPartWayLeavesTheOldCardTypeWhole) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows registry has no atomic runs: a cut-off rename keeps what it copied";
#endif
  auto hive = std::make_shared<FaultyHive>(Hive());
  TRegistrySettings store(0, hive);
  store.WriteCardType("Bank", Sample("3B01"));
  store.SetDefaultCardTypeName("Bank");
  RecordEvents(store);
  const auto before = DumpLocalMachine();
  // The last write of the run: the card type has moved by then.
  hive->RefuseWrite("Default Card Type Name");

  EXPECT_THROW(store.RenameCardType("Bank", "Bank Card"), ERegistryException);

  EXPECT_EQ(DumpLocalMachine(), before);
  EXPECT_EQ(Events(), (Lines{"CardTypeChanged(0,Bank,)", "CardTypeChanged(0,Bank Card,)"}));
}

TEST_F(Catalogue, CardTypeNamesAreTheSubkeysAsTheRegistryListsThem) {
  EXPECT_THAT(store_.GetCardTypeNames(), testing::IsEmpty());
  store_.WriteCardType("Zeta", Sample(""));
  store_.WriteCardType("Alpha", Sample("3B01"));
  store_.WriteCardType("Mid", Sample(""));

  const Lines names = store_.GetCardTypeNames();

  EXPECT_THAT(names, testing::UnorderedElementsAre("Zeta", "Alpha", "Mid"));
  TRegistry registry(Hive());
  registry.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(registry.OpenKey("\\" + kCardTypes, false));
  EXPECT_EQ(names, registry.GetKeyNames());
}

TEST_F(Catalogue, DeletingRemovesTheWholeCardTypeThenRaisesTheChange) {
  store_.WriteCardType("A", Sample("3B01\r\n3B02"));
  store_.WriteCardType("B", Sample("3B03"));
  ClearEvents();

  store_.DeleteCardType("A");

  EXPECT_EQ(store_.GetCardTypeNames(), Lines{"B"});
  EXPECT_EQ(store_.GetATRIndex(), Lines{"3B03=B"});
  for (const auto& [path, value] : DumpLocalMachine()) {
    EXPECT_FALSE(path.starts_with(kCardTypes + "\\A")) << path;
  }
  EXPECT_EQ(Events(), Lines{"CardTypeChanged(0,A,)"});
}

TEST_F(Catalogue, DeletingACardTypeThatIsNotThereChangesNothingButStillRaisesTheChange) {
  store_.WriteCardType("A", Sample("3B01"));
  ClearEvents();
  const auto before = DumpLocalMachine();

  store_.DeleteCardType("Nobody");

  EXPECT_EQ(DumpLocalMachine(), before);
  EXPECT_EQ(Events(), Lines{"CardTypeChanged(0,Nobody,)"});
}

TEST_F(Catalogue, AKeyTheRegistryKeepsIsRaisedAfterTheChangeEvent) {
  auto hive = std::make_shared<FaultyHive>(Hive());
  TRegistrySettings store(0, hive);
  store.WriteCardType("A", Sample("3B01"));
  RecordEvents(store);
  hive->RefuseDelete(kCardTypes + "\\A");

  EXPECT_THROW(store.DeleteCardType("A"), ERegistryException);

  EXPECT_EQ(Events(), Lines{"CardTypeChanged(0,A,)"});
  EXPECT_EQ(store.GetCardTypeATRs("A"), Lines{"3B01"});
}

TEST_F(Catalogue, AHandlerFailingAfterARefusedDeleteHasTheLastWord) {
  auto hive = std::make_shared<FaultyHive>(Hive());
  TRegistrySettings store(0, hive);
  store.WriteCardType("A", Sample("3B01"));
  int raised = 0;
  store.SetOnCardTypeChanged([&raised](const TRegistryDataChangedInfo&) {
    ++raised;
    throw ETessalyError("handler failed");
  });
  hive->RefuseDelete(kCardTypes + "\\A");

  EXPECT_THROW(
      {
        try {
          store.DeleteCardType("A");
        } catch (const ERegistryException&) {
          ADD_FAILURE() << "the refusal, not the handler's failure";
        }
      },
      ETessalyError);
  EXPECT_EQ(raised, 1);
}

// An empty name would address "Card Types" itself (a delete would take the whole catalogue), a backslash a
// key below another card type.
TEST_F(Catalogue, NamesThatCannotBeKeyNamesAreRefusedAndNothingIsWritten) {
  store_.WriteCardType("A", Sample("3B01"));
  ClearEvents();
  const auto before = DumpLocalMachine();
  const std::pair<std::string, std::string> cases[] = {
      {"", "A card type needs a name"},
      {"A\\B", "A card type name cannot contain a backslash: \"A\\B\""},
      {"\\", "A card type name cannot contain a backslash: \"\\\""},
      {std::string(256, 'n'), "A card type name can have at most 255 characters; this one has 256"},
  };
  const std::pair<const char*, std::function<void(const std::string&)>> operations[] = {
      {"write", [&](const std::string& name) { store_.WriteCardType(name, Sample("3B09")); }},
      {"assign", [&](const std::string& name) { store_.AssignATR(name, "3B01"); }},
      {"delete", [&](const std::string& name) { store_.DeleteCardType(name); }},
      {"rename", [&](const std::string& name) { store_.RenameCardType("A", name); }},
  };
  for (const auto& [operation, run] : operations) {
    for (const auto& [name, message] : cases) {
      try {
        run(name);
        ADD_FAILURE() << operation << " took the name \"" << name << "\"";
      } catch (const ECardTypeNameError& refusal) {
        EXPECT_EQ(refusal.what(), message) << operation;
      }
    }
  }

  EXPECT_EQ(DumpLocalMachine(), before);
  EXPECT_THAT(Events(), testing::IsEmpty());
  EXPECT_THAT(Boxes(), testing::IsEmpty());
}

TEST_F(Catalogue, ANameOfTheLongestKeyNameLengthIsTaken) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine's registry refuses a card type's key path once its name passes about 150 characters; "
                  "Windows's own limit for a key name is 255";
#endif
  const std::string name(255, 'n');
  store_.WriteCardType(name, Sample("3B01"));
  store_.AssignATR(name, "3B02");

  EXPECT_EQ(store_.GetCardTypeNames(), Lines{name});
  EXPECT_EQ(store_.GetATRIndex().size(), 2u);
  store_.DeleteCardType(name);
  EXPECT_THAT(store_.GetCardTypeNames(), testing::IsEmpty());
}

}  // namespace
}  // namespace tessaly::test
