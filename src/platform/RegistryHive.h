#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/TessalyError.h"

namespace tessaly {

class ERegistryException : public ETessalyError {
 public:
  using ETessalyError::ETessalyError;
};

enum class RootKey { LocalMachine, ClassesRoot, CurrentUser };

enum class HiveValueType { String, DWord, Other };

// A value as the hive holds it: a string (REG_SZ), a 32-bit integer (REG_DWORD) or anything else.
struct HiveValue {
  HiveValueType Type = HiveValueType::String;
  std::string Text;
  std::uint32_t DWord = 0;
};

// One open key of a hive; destroying it closes the key. Names are matched without regard to letter case
// and keep the case they were first given.
class HiveKey {
 public:
  virtual ~HiveKey() = default;

  virtual std::optional<HiveValue> QueryValue(const std::string& name) = 0;
  // Both report false when the hive refuses the write.
  virtual bool SetString(const std::string& name, const std::string& data) = 0;
  virtual bool SetDWord(const std::string& name, std::uint32_t data) = 0;
  // Subkey names sorted without regard to case.
  virtual std::vector<std::string> SubkeyNames() = 0;
  // Value names in the order the hive enumerates them (creation order on the file hive).
  virtual std::vector<std::string> ValueNames() = 0;
  virtual bool DeleteValue(const std::string& name) = 0;
  // Makes every write to this key durable.
  virtual void Flush() = 0;
};

// The value names of one key found below a subkey: see RegistryHive::ValueNamesBelowSubkeys.
struct SubkeyValueNames {
  std::string Subkey;
  // Nothing when the subkey has no key of the name asked for.
  std::optional<std::vector<std::string>> ValueNames;
};

// A store of registry keys: the Win32 registry on Windows, a SQLite hive file elsewhere.
class RegistryHive {
 public:
  virtual ~RegistryHive() = default;

  // Opens root\path, where path has no leading backslash ("" is the root key itself). Without create a
  // missing key gives null; with create, missing keys are made. Null also when the hive refuses.
  virtual std::unique_ptr<HiveKey> OpenKey(RootKey root, const std::string& path, bool create) = 0;
  // Deletes the key and everything below it; false when it does not exist or cannot be deleted.
  virtual bool DeleteKeyTree(RootKey root, const std::string& path) = 0;
  // Runs apply so that its changes are made all together or, when it raises, not at all. The file hive
  // commits them as one; the Windows registry has no such thing and keeps each change as it is made.
  virtual void Atomically(const std::function<void()>& apply) { apply(); }
  // Runs reads so that its reads see one state of the hive, the one at its first read; a write made inside
  // ends that state and the next read takes a new one. A long run of reads is far cheaper this way on the
  // file hive; the Windows registry has no snapshots and reads each value as it is then.
  virtual void ReadSnapshot(const std::function<void()>& reads) { reads(); }
  // For each subkey of root\path, in the order SubkeyNames gives: its name and the value names (in the
  // order ValueNames gives) of its key named child. Opens nothing that is missing and creates nothing; a
  // missing root\path has no subkeys. The file hive answers in one query; this one opens key after key.
  virtual std::vector<SubkeyValueNames> ValueNamesBelowSubkeys(RootKey root, const std::string& path,
                                                               const std::string& child);
};

// The hive file chosen for this process: the one set here (the --registry option), else the
// environment variable TESSALY_REGISTRY, else $XDG_CONFIG_HOME/orvane/registry.db
// (~/.config/orvane/registry.db). Not used on Windows, where the hive is the registry itself.
void SetHiveFile(std::filesystem::path file);
std::filesystem::path HiveFile();
// Where the process hive is, for people: the hive file's full path, or the Windows registry's key.
std::string HiveLocationText();

// The hive this process works on (see HiveFile), shared by the accessors alive at the same time; use it
// from one thread at a time. Raises ERegistryException naming the file and the cause when it cannot be
// opened.
std::shared_ptr<RegistryHive> OpenProcessHive();
// The same for commands that only read: a missing or empty file is refused, not made a hive, and no
// folder is created.
std::shared_ptr<RegistryHive> OpenExistingProcessHive();

}  // namespace tessaly
