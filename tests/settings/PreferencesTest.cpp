#include <functional>

#include "FaultyHive.h"
#include "SettingsFixture.h"
#include "settings/ProductIdentity.h"

namespace tessaly::test {
namespace {

const std::string kPreferences = "SOFTWARE\\Orvane\\Tessaly Easy\\Preferences";

class Preferences : public SettingsFixture {};

struct GetterCase {
  const char* valueName;
  std::function<std::int32_t(TRegistrySettings&)> get;
  std::int32_t expected;
  std::vector<std::string> events;
};

TEST_F(Preferences, AMissingValueIsStoredWithItsDefaultAndRaisesItsEvent) {
  const std::vector<std::string> connection = {"ConnectionPreferencesChanged"};
  const std::vector<GetterCase> cases = {
      {"Connection_OnDetect_PC/SC_Protocol", [](auto& s) { return s.GetProtocol(); }, -1, connection},
      {"Connection_OnDetect_PC/SC_Sharing", [](auto& s) { return s.GetSharing(); }, 2, connection},
      {"Connection_OnDetect_PC/SC_AutoOpen", [](auto& s) { return s.GetAutoOpen(); }, 1, connection},
      {"Connection_OnDetect_PC/SC_ClosingMode", [](auto& s) { return s.GetClosingMode(); }, 1, connection},
      {"Event_Log_Mode", [](auto& s) { return s.GetEventLogMode(); }, 1, {"EventLogModeChanged"}},
      {"Separate_Hex_Bytes", [](auto& s) { return s.GetSeparateHexBytes(); }, 1, {"SeparateHexBytesChanged"}},
      {"Use Default Type", [](auto& s) { return s.GetUseDefaultType(); }, 0, {}},
  };
  TRegistrySettings store(0, Hive());
  RecordEvents(store);
  for (const GetterCase& c : cases) {
    SCOPED_TRACE(c.valueName);
    ClearEvents();
    EXPECT_EQ(c.get(store), c.expected);
    EXPECT_EQ(Events(), c.events);
    const auto layout = DumpLocalMachine();
    const std::string key =
        std::string(c.valueName) == "Use Default Type" ? "SOFTWARE\\Orvane\\Card Types" : kPreferences;
    EXPECT_EQ(layout.at(key + "|" + c.valueName), "dword:" + std::to_string(c.expected));

    ClearEvents();
    EXPECT_EQ(c.get(store), c.expected);
    EXPECT_TRUE(Events().empty());
  }
  EXPECT_EQ(store.GetDefaultCardTypeName(), "ISO-7816 Smart Card");
  EXPECT_EQ(DumpLocalMachine().at("SOFTWARE\\Orvane\\Card Types|Default Card Type Name"),
            "sz:ISO-7816 Smart Card");
}

TEST_F(Preferences, StoredValuesAreReadBackAsStored) {
  PutInteger(kPreferences, "Connection_OnDetect_PC/SC_Protocol", static_cast<std::int32_t>(0xFFFFFFFFu));
  PutInteger(kPreferences, "Connection_OnDetect_PC/SC_AutoOpen", 7);
  PutInteger(kPreferences, "Event_Log_Mode", 3);
  TRegistrySettings store(0, Hive());
  RecordEvents(store);

  EXPECT_EQ(store.GetProtocol(), -1);
  EXPECT_TRUE(store.GetAutoOpen());
  EXPECT_EQ(store.GetEventLogMode(), 3);
  EXPECT_TRUE(Events().empty());
}

TEST_F(Preferences, SettersRaiseTheirEventsAndTheCardTypeDefaultsRaiseNone) {
  TRegistrySettings store(0, Hive());
  RecordEvents(store);

  store.SetProtocol(2);
  store.SetAutoOpen(false);
  store.SetClosingMode(3);
  store.SetSeparateHexBytes(false);
  store.SetEventLogMode(4);
  store.SetUseDefaultType(true);
  store.SetDefaultCardTypeName("Other");

  EXPECT_EQ(Events(), (std::vector<std::string>{
                          "ConnectionPreferencesChanged", "ConnectionPreferencesChanged",
                          "ConnectionPreferencesChanged", "SeparateHexBytesChanged", "EventLogModeChanged"}));
  EXPECT_EQ(store.GetProtocol(), 2);
  EXPECT_FALSE(store.GetAutoOpen());
  EXPECT_EQ(store.GetClosingMode(), 3);
  EXPECT_FALSE(store.GetSeparateHexBytes());
  EXPECT_EQ(store.GetEventLogMode(), 4);
  EXPECT_TRUE(store.GetUseDefaultType());
  EXPECT_EQ(store.GetDefaultCardTypeName(), "Other");
}

TEST_F(Preferences, AHandlerReadingTheGetterAgainNestsOneLevelOnly) {
  TRegistrySettings store(0, Hive());
  std::vector<std::int32_t> seen;
  store.SetOnEventLogModeChanged(
      [&](TRegistrySettings& sender) { seen.push_back(sender.GetEventLogMode()); });

  EXPECT_EQ(store.GetEventLogMode(), 1);
  EXPECT_EQ(seen, std::vector<std::int32_t>{1});
}

TEST_F(Preferences, AHandlerFailureReachesTheCallerAfterTheValueIsWritten) {
  TRegistrySettings store(0, Hive());
  store.SetOnConnectionPreferencesChanged([] { throw ETessalyError("handler failed"); });

  EXPECT_THROW(store.SetClosingMode(2), ETessalyError);
  store.SetOnConnectionPreferencesChanged(nullptr);
  EXPECT_EQ(store.GetClosingMode(), 2);
}

TEST_F(Preferences, AHandlerFailingAfterARefusedWriteHasTheLastWord) {
  auto hive = std::make_shared<FaultyHive>(Hive());
  TRegistrySettings store(0, hive);
  int raised = 0;
  store.SetOnConnectionPreferencesChanged([&raised] {
    ++raised;
    throw ETessalyError("handler failed");
  });
  hive->RefuseWrite("Connection_OnDetect_PC/SC_ClosingMode");

  EXPECT_THROW(
      {
        try {
          store.SetClosingMode(2);
        } catch (const ERegistryException&) {
          ADD_FAILURE() << "the refusal, not the handler's failure";
        }
      },
      ETessalyError);
  EXPECT_EQ(raised, 1);
}

TEST_F(Preferences, TheWorkDirMacroReplacesTheFirstOccurrenceIgnoringCase) {
  TRegistrySettings store(0, Hive());
  const std::string workDir = DefaultWorkDir();
  const std::string sep(1, kSep);

  EXPECT_EQ(store.ExpandWorkDir(" \t $(workdir)" + sep + "Events"), workDir + sep + "Events");
  EXPECT_EQ(store.ExpandWorkDir("$(WorkDir)" + sep + "$(WorkDir)"), workDir + sep + "$(WorkDir)");
  EXPECT_EQ(store.ExpandWorkDir("  plain"), "plain");
  EXPECT_EQ(store.CollapseWorkDir(workDir + sep + "Info"), "$(WorkDir)" + sep + "Info");
  EXPECT_EQ(store.CollapseWorkDir(" x" + workDir), "x$(WorkDir)");
  EXPECT_EQ(store.CollapseWorkDir(sep + "elsewhere"), sep + "elsewhere");
  EXPECT_TRUE(std::filesystem::is_directory(workDir)) << "the first read stores and creates the default";

  store.SetWorkDir("");
  EXPECT_EQ(store.CollapseWorkDir(workDir), workDir);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"TessalyError Message :\r\n\r\nCannot create \r\n"});
}

TEST_F(Preferences, SubfolderSettersStoreTheMacroFormAndCreateTheFolder) {
  TRegistrySettings store(0, Hive());
  const std::string sep(1, kSep);
  const std::string outside = TempFolder() + sep + "outside";
  store.SetWorkDir(DefaultWorkDir());

  store.SetEventsPath(DefaultWorkDir() + sep + "Ev");
  store.SetInfoPath(outside);

  EXPECT_EQ(DumpLocalMachine().at(kPreferences + "|WorkDir EventsPath"), "sz:$(WorkDir)" + sep + "Ev");
  EXPECT_EQ(DumpLocalMachine().at(kPreferences + "|WorkDir InfoPath"), "sz:" + outside);
  EXPECT_TRUE(std::filesystem::is_directory(DefaultWorkDir() + sep + "Ev"));
  EXPECT_TRUE(std::filesystem::is_directory(outside));
}

// A key that cannot be opened must never let a value land in whatever key was current before.
TEST_F(Preferences, AFailedOpenRaisesNamingTheKeyAndWritesNothingElsewhere) {
  auto hive = std::make_shared<FaultyHive>(Hive());
  TRegistrySettings store(0, hive);
  RecordEvents(store);
  hive->RefuseOpen(kPreferences);

  try {
    store.SetProtocol(2);
    ADD_FAILURE() << "no failure raised";
  } catch (const ERegistryException& error) {
    EXPECT_STREQ(error.what(), "Failed to open key '\\SOFTWARE\\Orvane\\Tessaly Easy\\Preferences'");
  }
  EXPECT_THROW(store.GetEventLogMode(), ERegistryException);
  EXPECT_EQ(Events(), (std::vector<std::string>{"ConnectionPreferencesChanged", "EventLogModeChanged"}));
  EXPECT_EQ(DumpLocalMachine(), (std::map<std::string, std::string>{{"SOFTWARE", ""},
                                                                    {"SOFTWARE\\Orvane", ""},
                                                                    {"SOFTWARE\\Orvane\\Card Types", ""},
                                                                    {"SOFTWARE\\Orvane\\Tessaly Easy", ""},
                                                                    {kPreferences, ""}}));
}

TEST_F(Preferences, AMissingProductKeyFailsInsteadOfWritingBelowTheRoot) {
  TRegistrySettings store(0, Hive());
  ASSERT_TRUE(DeleteKey("SOFTWARE\\Orvane\\Tessaly Easy"));

  EXPECT_THROW(store.GetSharing(), ERegistryException);
  EXPECT_THROW(store.SynchroniseSettings(), ERegistryException);

  TRegistry root(Hive());
  root.SetRootKey(RootKey::LocalMachine);
  EXPECT_FALSE(root.KeyExists("\\Preferences"));
  EXPECT_FALSE(root.ValueExists("Connection_OnDetect_PC/SC_Sharing"));
  EXPECT_EQ(DumpLocalMachine().size(), 3u) << "SOFTWARE, the maker key and Card Types only";
}

TEST_F(Preferences, AMissingPreferencesKeyCountsAsMissingValuesAndIsRecreated) {
  TRegistrySettings store(0, Hive());
  ASSERT_TRUE(DeleteKey(kPreferences));

  EXPECT_EQ(store.GetProtocol(), -1);
  EXPECT_EQ(DumpLocalMachine().at(kPreferences + "|Connection_OnDetect_PC/SC_Protocol"), "dword:-1");
}

TEST_F(Preferences, ConstructionFailsWhenABaseKeyCannotBeCreated) {
  auto hive = std::make_shared<FaultyHive>(Hive());
  hive->RefuseOpen("SOFTWARE\\Orvane\\Card Types");
  EXPECT_THROW(TRegistrySettings(0, hive), ERegistryException);
}

}  // namespace
}  // namespace tessaly::test
