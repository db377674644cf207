#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/RegistryHive.h"

namespace tessaly {

// The registry accessor: a root key and at most one open current key. Value operations made while no key
// is open act on the root key itself.
class TRegistry {
 public:
  explicit TRegistry(std::shared_ptr<RegistryHive> hive = OpenProcessHive());
  virtual ~TRegistry();
  TRegistry(const TRegistry&) = delete;
  TRegistry& operator=(const TRegistry&) = delete;

  RootKey GetRootKey() const { return root_; }
  // Closes the current key.
  void SetRootKey(RootKey root);

  // A path with a leading backslash is absolute (from the root key); any other is relative to the current
  // key, or to the root key when none is open. On success the key becomes current and the previous one is
  // closed; on failure nothing changes and false is returned.
  bool OpenKey(const std::string& key, bool canCreate);
  // Flushes and closes the current key, if any.
  void CloseKey();
  bool HasCurrentKey() const { return current_ != nullptr; }
  // Path of the current key from the root, without leading backslash; "" when none is open.
  const std::string& CurrentPath() const { return currentPath_; }

  bool KeyExists(const std::string& key);
  bool ValueExists(const std::string& name);
  // The type of a value; nothing when it is missing.
  std::optional<HiveValueType> GetValueType(const std::string& name);
  // A missing string reads as empty. Raises "Invalid data type for '%s'" for a value of another type.
  std::string ReadString(const std::string& name);
  // Raise "Failed to get data for '%s'" when missing and "Invalid data type for '%s'" for another type.
  std::int32_t ReadInteger(const std::string& name);
  bool ReadBool(const std::string& name);
  // Raise "Failed to set data for '%s'" when the hive refuses the write.
  void WriteString(const std::string& name, const std::string& value);
  void WriteInteger(const std::string& name, std::int32_t value);
  void WriteBool(const std::string& name, bool value);

  std::vector<std::string> GetKeyNames();
  std::vector<std::string> GetValueNames();
  // For each subkey of the current key (the root key when none is open), in GetKeyNames order: its name and
  // the value names of its key named child, or nothing when it has none. Creates nothing.
  std::vector<SubkeyValueNames> GetValueNamesBelowSubkeys(const std::string& child);
  // Both report success and never raise.
  bool DeleteValue(const std::string& name);
  bool DeleteKey(const std::string& key);
  // Moves the key from, with all its values and subkeys, to the path to (both as OpenKey takes them), in one
  // atomic run of the hive; a key already at to is replaced, and to may name from in another letter case.
  // Raises ERegistryException, having moved nothing on the file hive, when from is missing, holds a value
  // that is neither a string nor an integer, lies within to or holds it, or the hive refuses a write or a
  // delete.
  void MoveKey(const std::string& from, const std::string& to);

  // Runs reads over one state of the hive (see RegistryHive::ReadSnapshot): for long runs of reads, such as
  // listing every card type's ATRs.
  void ReadSnapshot(const std::function<void()>& reads) { hive_->ReadSnapshot(reads); }
  // Makes the writes of apply all together or, when it raises, none of them (see RegistryHive::Atomically).
  void Atomically(const std::function<void()>& apply) { hive_->Atomically(apply); }

 private:
  // The path from the root of a key given as OpenKey takes it.
  std::string ResolvePath(const std::string& key) const;
  // The current key, or the root key when none is open.
  HiveKey& Target();

  std::shared_ptr<RegistryHive> hive_;
  RootKey root_ = RootKey::CurrentUser;
  std::unique_ptr<HiveKey> current_;
  std::string currentPath_;
  std::unique_ptr<HiveKey> rootKey_;
};

}  // namespace tessaly
