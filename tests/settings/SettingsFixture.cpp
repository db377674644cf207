#include "SettingsFixture.h"

#include "settings/ProductIdentity.h"

namespace tessaly::test {
namespace {

std::string ValueText(TRegistry& registry, const std::string& name) {
  try {
    return "dword:" + std::to_string(registry.ReadInteger(name));
  } catch (const ERegistryException&) {
    return "sz:" + registry.ReadString(name);
  }
}

std::string ScratchKeyOfThisTest() {
  const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string("Software\\Tessaly Tests\\") + test->test_suite_name() + "." + test->name();
}

}  // namespace

SettingsFixture::SettingsFixture()
    : hive_(std::make_shared<RedirectedHive>(OpenProcessHive(), RootKey::LocalMachine, RootKey::CurrentUser,
                                             ScratchKeyOfThisTest())),
      tempFolder_(dir_.Path().string()),
      userData_(kUserDataFolderVariable, UserDataFolder().c_str()) {
  SetFixedProductIdentity();
  SetComponentFolder(tempFolder_ + kSep);
}

SettingsFixture::~SettingsFixture() {
  hive_->DeleteScratch();
  SetProductIdentity({});
  SetComponentFolder("");
}

void SettingsFixture::RecordEvents(TRegistrySettings& store) {
  store.SetOnCardTypeChanged([this](const TRegistryDataChangedInfo& info) {
    events_.push_back("CardTypeChanged(" + std::to_string(info.Kind) + "," + info.CardTypeName + "," +
                      info.ATR + ")");
  });
  store.SetOnATRAssigned([this](const TRegistryDataChangedInfo& info) {
    events_.push_back("ATRAssigned(" + std::to_string(info.Kind) + "," + info.CardTypeName + "," + info.ATR +
                      ")");
  });
  store.SetOnConnectionPreferencesChanged([this] { events_.push_back("ConnectionPreferencesChanged"); });
  store.SetOnSeparateHexBytesChanged([this, &store](TRegistrySettings& sender) {
    events_.push_back(&sender == &store ? "SeparateHexBytesChanged"
                                        : "SeparateHexBytesChanged(other sender)");
  });
  store.SetOnEventLogModeChanged([this, &store](TRegistrySettings& sender) {
    events_.push_back(&sender == &store ? "EventLogModeChanged" : "EventLogModeChanged(other sender)");
  });
}

std::map<std::string, std::string> SettingsFixture::DumpLocalMachine() {
  TRegistry registry(Hive());
  registry.SetRootKey(RootKey::LocalMachine);
  std::map<std::string, std::string> dump;
  if (registry.KeyExists("\\SOFTWARE")) DumpKey(registry, "SOFTWARE", dump);
  return dump;
}

void SettingsFixture::DumpKey(TRegistry& registry, const std::string& path,
                              std::map<std::string, std::string>& dump) {
  registry.CloseKey();
  EXPECT_TRUE(registry.OpenKey("\\" + path, false)) << path;
  dump[path] = "";
  for (const std::string& name : registry.GetValueNames())
    dump[path + "|" + name] = ValueText(registry, name);
  for (const std::string& name : registry.GetKeyNames()) DumpKey(registry, path + "\\" + name, dump);
}

void SettingsFixture::PutInteger(const std::string& key, const std::string& name, std::int32_t value) {
  TRegistry registry(Hive());
  registry.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(registry.OpenKey("\\" + key, true));
  registry.WriteInteger(name, value);
}

void SettingsFixture::PutString(const std::string& key, const std::string& name, const std::string& value) {
  TRegistry registry(Hive());
  registry.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(registry.OpenKey("\\" + key, true));
  registry.WriteString(name, value);
}

void SettingsFixture::CreateKey(const std::string& key) {
  TRegistry registry(Hive());
  registry.SetRootKey(RootKey::LocalMachine);
  ASSERT_TRUE(registry.OpenKey("\\" + key, true));
}

bool SettingsFixture::DeleteKey(const std::string& key) {
  TRegistry registry(Hive());
  registry.SetRootKey(RootKey::LocalMachine);
  return registry.DeleteKey("\\" + key);
}

}  // namespace tessaly::test
