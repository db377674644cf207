#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ErrorBoxRecorder.h"
#include "RedirectedHive.h"
#include "ScopedEnvironment.h"
#include "TempDir.h"
#include "TempHive.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {

inline constexpr char kSep = static_cast<char>(std::filesystem::path::preferred_separator);

// Every test gets its own hive file, a component folder and a user's data folder in a fresh temporary
// folder, the program's identity and a recorder of error boxes; the process-wide values are restored
// afterwards. Stores are made on Hive(), whose HKEY_LOCAL_MACHINE is a scratch key of the test's own: on
// Windows the process hive is the machine's registry, whose settings a test must never touch.
class SettingsFixture : public ::testing::Test {
 protected:
  SettingsFixture();
  ~SettingsFixture() override;

  // The default working folder for the temporary component folder (its trailing separator doubled).
  std::string DefaultWorkDir() const { return tempFolder_ + kSep + kSep + "- Smart Cards Works"; }
  // The user's data folder, a missing folder in the temporary folder, and the working folder a first start
  // makes there when the component folder cannot take it.
  std::string UserDataFolder() const { return tempFolder_ + kSep + "data"; }
  std::string UserDataWorkDir() const {
    return UserDataFolder() + kSep + "orvane" + kSep + "- Smart Cards Works";
  }
  std::shared_ptr<RegistryHive> Hive() const { return hive_; }
  // The temporary folder; the component folder is this folder with a trailing separator.
  const std::string& TempFolder() const { return tempFolder_; }
  const std::vector<std::string>& Boxes() const { return boxes_.Texts(); }

  // Binds every event slot of the store to a recorder of "Event(arguments)" texts.
  void RecordEvents(TRegistrySettings& store);
  const std::vector<std::string>& Events() const { return events_; }
  void ClearEvents() { events_.clear(); }

  // Everything below HKEY_LOCAL_MACHINE\SOFTWARE, read through a registry accessor of its own: one entry per
  // key
  // ("SOFTWARE\\Orvane") and one per value ("SOFTWARE\\Orvane\\Card Types|Use Default Type"), each value
  // given as "dword:<n>" or "sz:<text>".
  std::map<std::string, std::string> DumpLocalMachine();

  // Writes a value through an accessor of its own, creating the key ("SOFTWARE\\...", from the root).
  void PutInteger(const std::string& key, const std::string& name, std::int32_t value);
  void PutString(const std::string& key, const std::string& name, const std::string& value);
  void CreateKey(const std::string& key);
  bool DeleteKey(const std::string& key);

 private:
  void DumpKey(TRegistry& registry, const std::string& path, std::map<std::string, std::string>& dump);

  TempHive file_;
  std::shared_ptr<RedirectedHive> hive_;
  TempDir dir_;
  ErrorBoxRecorder boxes_;
  std::string tempFolder_;
  ScopedEnvironment userData_;
  std::vector<std::string> events_;
};

}  // namespace tessaly::test
