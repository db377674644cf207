#include <filesystem>
#include <fstream>

#include "SettingsFixture.h"
#include "settings/ProductIdentity.h"

namespace tessaly::test {
namespace {

using Layout = std::map<std::string, std::string>;

const std::string kMaker = "SOFTWARE\\Orvane";
const std::string kCardTypes = kMaker + "\\Card Types";
const std::string kProduct = kMaker + "\\Tessaly Easy";
const std::string kPreferences = kProduct + "\\Preferences";

void AddCardType(Layout& layout, const std::string& name, int baseType, const std::string& templateName,
                 const std::string& cla) {
  const std::string key = kCardTypes + "\\" + name;
  const std::string templates = std::string("sz:$(WorkDir)") + kSep + "Templates" + kSep + templateName;
  layout[key] = "";
  layout[key + "|Base Type"] = "dword:" + std::to_string(baseType);
  layout[key + "|Templates COS"] = templates + ".cct";
  layout[key + "|Templates SW"] = templates + ".swt";
  layout[key + "|DefaultAPDU Cla"] = "sz:" + cla;
  layout[key + "|DefaultAPDU Ins"] = "sz:A4";
  layout[key + "|DefaultAPDU P1"] = "sz:00";
  layout[key + "|DefaultAPDU P2"] = "sz:00";
  layout[key + "|DefaultAPDU P3"] = "sz:02";
  layout[key + "|DefaultAPDU Le"] = "sz:";
  layout[key + "|DefaultAPDU DataIn"] = "sz:3F 00";
  layout[key + "\\ATRs"] = "";
}

// What a first start leaves in the registry, key by key and value by value.
Layout FirstRunLayout(const std::string& workDir) {
  Layout layout = {
      {"SOFTWARE", ""},
      {kMaker, ""},
      {kCardTypes, ""},
      {kCardTypes + "|Use Default Type", "dword:0"},
      {kCardTypes + "|Default Card Type Name", "sz:ISO-7816 Smart Card"},
      {kProduct, ""},
      {kProduct + "|Version Major", "dword:1"},
      {kProduct + "|Version Minor", "dword:3"},
      {kPreferences, ""},
      {kPreferences + "|WorkDir", "sz:" + workDir},
      {kPreferences + "|WorkDir EventsPath", std::string("sz:$(WorkDir)") + kSep + "Events"},
      {kPreferences + "|WorkDir InfoPath", std::string("sz:$(WorkDir)") + kSep + "Info"},
      {kPreferences + "|WorkDir TemplatesPath", std::string("sz:$(WorkDir)") + kSep + "Templates"},
      {kPreferences + "|Connection_OnDetect_PC/SC_AutoOpen", "dword:1"},
      {kPreferences + "|Connection_OnDetect_PC/SC_Sharing", "dword:2"},
      {kPreferences + "|Connection_OnDetect_PC/SC_Protocol", "dword:-1"},
      {kPreferences + "|Separate_Hex_Bytes", "dword:1"},
      {kPreferences + "|Event_Log_Mode", "dword:1"},
      {kProduct + "\\Interface", ""},
      {kProduct + "\\Interface\\Monitor", ""},
  };
  AddCardType(layout, "ISO-7816 Smart Card", 1, "ISO-7816-4", "00");
  AddCardType(layout, "GSM SIM Card", 2, "GSM-11.11", "A0");
  return layout;
}

class Startup : public SettingsFixture {};

TEST_F(Startup, ConstructionCreatesOnlyTheBaseKeys) {
  TRegistrySettings store(0, Hive());
  EXPECT_EQ(DumpLocalMachine(),
            (Layout{{"SOFTWARE", ""}, {kMaker, ""}, {kCardTypes, ""}, {kProduct, ""}, {kPreferences, ""}}));
}

// On Windows the process hive is the registry itself, which the fixture's TempHive clears around the test.
TEST_F(Startup, TheOwnerHandleConstructorWorksOnTheProcessHive) {
  TRegistrySettings store(7);
  TRegistry processHive;
  processHive.SetRootKey(RootKey::LocalMachine);
  EXPECT_EQ(store.OwnerHandle(), 7u);
  EXPECT_TRUE(processHive.KeyExists("\\SOFTWARE\\Orvane\\Tessaly Easy\\Preferences"));
}

TEST_F(Startup, FirstRunWritesExactlyTheDefaultLayoutAndTheWorkingFolders) {
  TRegistrySettings store(0, Hive());
  RecordEvents(store);
  EXPECT_EQ(store.GetVersionSyncInfo().Status, vsNotStored);

  store.SynchroniseSettings();

  EXPECT_EQ(DumpLocalMachine(), FirstRunLayout(DefaultWorkDir()));
  for (const char* sub : {"", "Events", "Info", "Templates"}) {
    EXPECT_TRUE(std::filesystem::is_directory(std::filesystem::path(DefaultWorkDir()) / sub)) << sub;
  }
  EXPECT_EQ(Events(), (std::vector<std::string>{"CardTypeChanged(0,ISO-7816 Smart Card,)",
                                                "CardTypeChanged(0,GSM SIM Card,)"}));
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(store.GetSWTemplatePath("GSM SIM Card"),
            DefaultWorkDir() + kSep + "Templates" + kSep + "GSM-11.11.swt");
}

TEST_F(Startup, EqualVersionWritesNothingButRecreatesTheMonitorKey) {
  TRegistrySettings(0, Hive()).SynchroniseSettings();
  PutInteger(kPreferences, "Event_Log_Mode", 3);
  ASSERT_TRUE(DeleteKey(kProduct + "\\Interface"));
  ASSERT_TRUE(DeleteKey(kCardTypes + "\\GSM SIM Card"));
  const Layout before = DumpLocalMachine();
  TRegistrySettings store(0, Hive());
  RecordEvents(store);

  EXPECT_EQ(store.GetVersionSyncInfo().Status, vsEqual);
  store.SynchroniseSettings();

  Layout expected = before;
  expected[kProduct + "\\Interface"] = "";
  expected[kProduct + "\\Interface\\Monitor"] = "";
  EXPECT_EQ(DumpLocalMachine(), expected);
  EXPECT_TRUE(Events().empty());
}

TEST_F(Startup, EqualVersionSeedsOnlyAnEmptyCatalogue) {
  PutInteger(kProduct, "Version Major", 1);
  PutInteger(kProduct, "Version Minor", 3);
  TRegistrySettings store(0, Hive());

  store.SynchroniseSettings();
  EXPECT_TRUE(DumpLocalMachine().count(kCardTypes + "\\GSM SIM Card\\ATRs"));
  EXPECT_FALSE(DumpLocalMachine().count(kPreferences + "|Event_Log_Mode"));

  ASSERT_TRUE(DeleteKey(kCardTypes + "\\ISO-7816 Smart Card"));
  ASSERT_TRUE(DeleteKey(kCardTypes + "\\GSM SIM Card"));
  CreateKey(kCardTypes + "\\Empty");
  store.SynchroniseSettings();
  const Layout layout = DumpLocalMachine();
  EXPECT_FALSE(layout.count(kCardTypes + "\\ISO-7816 Smart Card"));
  EXPECT_TRUE(layout.count(kCardTypes + "\\Empty"));
}

TEST_F(Startup, NewerStoredVersionWritesNothingAtAll) {
  PutInteger(kProduct, "Version Major", 1);
  PutInteger(kProduct, "Version Minor", 4);
  TRegistrySettings store(0, Hive());
  const Layout before = DumpLocalMachine();

  const TVersionSyncInfo info = store.GetVersionSyncInfo();
  store.SynchroniseSettings();

  EXPECT_EQ(info.Status, vsStoredNewer);
  EXPECT_EQ(info.StoredVersion.Text, "1.4");
  EXPECT_EQ(info.ProgramVersion.Text, "1.3");
  EXPECT_EQ(DumpLocalMachine(), before);
  EXPECT_FALSE(std::filesystem::exists(DefaultWorkDir()));
}

TEST_F(Startup, OlderVersionResetsTheUpgradedPreferencesOnly) {
  TRegistrySettings store(0, Hive());
  store.SynchroniseSettings();
  PutInteger(kProduct, "Version Minor", 2);
  const std::string elsewhere = DefaultWorkDir() + kSep + "Events";
  const std::vector<std::pair<std::string, std::int32_t>> changedIntegers = {
      {"Connection_OnDetect_PC/SC_AutoOpen", 0},
      {"Connection_OnDetect_PC/SC_Sharing", 1},
      {"Connection_OnDetect_PC/SC_Protocol", 2},
      {"Separate_Hex_Bytes", 0},
      {"Event_Log_Mode", 3},
      {"Connection_OnDetect_PC/SC_ClosingMode", 3}};
  for (const auto& [name, value] : changedIntegers) PutInteger(kPreferences, name, value);
  for (const char* name : {"WorkDir", "WorkDir EventsPath", "WorkDir InfoPath", "WorkDir TemplatesPath"}) {
    PutString(kPreferences, name, elsewhere);
  }
  PutInteger(kCardTypes, "Use Default Type", 1);
  PutString(kCardTypes, "Default Card Type Name", "GSM SIM Card");
  ASSERT_TRUE(DeleteKey(kCardTypes + "\\GSM SIM Card"));

  EXPECT_EQ(store.GetVersionSyncInfo().Status, vsStoredOlder);
  store.SynchroniseSettings();

  Layout expected = FirstRunLayout(DefaultWorkDir());
  std::erase_if(expected,
                [](const auto& entry) { return entry.first.starts_with(kCardTypes + "\\GSM SIM Card"); });
  expected[kPreferences + "|Connection_OnDetect_PC/SC_ClosingMode"] = "dword:3";
  expected[kCardTypes + "|Use Default Type"] = "dword:1";
  expected[kCardTypes + "|Default Card Type Name"] = "sz:GSM SIM Card";
  EXPECT_EQ(DumpLocalMachine(), expected);
}

TEST_F(Startup, UnreadableStoredVersionCountsAsZeroAndIsRewritten) {
  PutString(kProduct, "Version Major", "1");
  PutInteger(kProduct, "Version Minor", 3);
  TRegistrySettings store(0, Hive());

  const TVersionSyncInfo info = store.GetVersionSyncInfo();
  EXPECT_EQ(info.Status, vsStoredOlder);
  EXPECT_EQ(info.StoredVersion.Text, "0.0");

  store.SynchroniseSettings();
  const Layout layout = DumpLocalMachine();
  EXPECT_EQ(layout.at(kProduct + "|Version Major"), "dword:1");
  EXPECT_EQ(layout.at(kPreferences + "|Event_Log_Mode"), "dword:1");
}

TEST_F(Startup, ProgramVersionComesFromTheIdentityTexts) {
  EXPECT_EQ(TRegistrySettings::GetProgramVersion().Text, "1.3");
  SetProductIdentity({"", "", "", "7"});
  EXPECT_EQ(TRegistrySettings::GetProgramVersion().Text, "0.7");
  SetProductIdentity({"", "", "1", "3b"});
  EXPECT_EQ(TRegistrySettings::GetProgramVersion().Text, "0.0");
}

TEST_F(Startup, AWorkingFolderThatCannotBeMadeIsReportedOncePerFolderAndTheValuesStay) {
  const std::string blocked = TempFolder() + kSep + "blocked";
  std::ofstream(blocked) << "a file where the user's data folder should be";
  const ScopedEnvironment userData(kUserDataFolderVariable, (blocked + kSep + "data").c_str());
  SetComponentFolder(DefaultWorkDir() + kSep + "missing" + kSep);
  const std::string workDir = TRegistrySettings::DefaultWorkDir();
  TRegistrySettings store(0, Hive());

  store.SynchroniseSettings();

  std::vector<std::string> expected;
  for (const std::string suffix : {"", "Events", "Info", "Templates"}) {
    const std::string folder = suffix.empty() ? workDir : workDir + kSep + suffix;
    expected.push_back("TessalyError Message :\r\n\r\nCannot create " + folder + "\r\n");
  }
  EXPECT_EQ(Boxes(), expected);
  EXPECT_EQ(DumpLocalMachine().at(kPreferences + "|WorkDir"), "sz:" + workDir);
  EXPECT_TRUE(DumpLocalMachine().count(kCardTypes + "\\GSM SIM Card"));
}

}  // namespace
}  // namespace tessaly::test
