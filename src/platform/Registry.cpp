#include "platform/Registry.h"

#include <utility>

#include "platform/TextRules.h"

namespace tessaly {
namespace {

ERegistryException ValueError(const char* format, const std::string& name) {
  std::string text(format);
  text.replace(text.find("%s"), 2, name);
  return ERegistryException(text);
}

// A key as read into memory, so that it can be written back under another name after the original is gone.
struct KeyTree {
  std::string Name;
  std::vector<std::pair<std::string, HiveValue>> Values;
  std::vector<KeyTree> Subkeys;
};

KeyTree ReadKeyTree(RegistryHive& hive, RootKey root, const std::string& path) {
  const std::unique_ptr<HiveKey> key = hive.OpenKey(root, path, false);
  if (!key) throw ERegistryException("Failed to open key '" + path + "'");
  KeyTree tree;
  for (std::string& name : key->ValueNames()) {
    std::optional<HiveValue> value = key->QueryValue(name);
    if (!value) continue;
    // Only strings and integers can be written back; anything else would be lost on the way.
    if (value->Type == HiveValueType::Other) {
      throw ERegistryException("The value '" + name + "' of key '" + path +
                               "' is neither a string nor an integer and cannot be moved");
    }
    tree.Values.emplace_back(std::move(name), std::move(*value));
  }
  for (std::string& name : key->SubkeyNames()) {
    tree.Subkeys.push_back(ReadKeyTree(hive, root, path + '\\' + name));
    tree.Subkeys.back().Name = std::move(name);
  }
  return tree;
}

void WriteKeyTree(RegistryHive& hive, RootKey root, const std::string& path, const KeyTree& tree) {
  const std::unique_ptr<HiveKey> key = hive.OpenKey(root, path, true);
  if (!key) throw ERegistryException("Failed to open key '" + path + "'");
  for (const auto& [name, value] : tree.Values) {
    const bool written = value.Type == HiveValueType::String ? key->SetString(name, value.Text)
                                                             : key->SetDWord(name, value.DWord);
    if (!written) throw ValueError("Failed to set data for '%s'", name);
  }
  key->Flush();
  for (const KeyTree& subkey : tree.Subkeys) WriteKeyTree(hive, root, path + '\\' + subkey.Name, subkey);
}

void DeleteKeyTreeOrRaise(RegistryHive& hive, RootKey root, const std::string& path) {
  if (!hive.DeleteKeyTree(root, path) && hive.OpenKey(root, path, false)) {
    throw ERegistryException("Failed to delete key '" + path + "'");
  }
}

}  // namespace

TRegistry::TRegistry(std::shared_ptr<RegistryHive> hive) : hive_(std::move(hive)) {}

TRegistry::~TRegistry() {
  try {
    CloseKey();
  } catch (...) {
    // A destructor must not throw; every write was already made when its call returned.
  }
}

void TRegistry::SetRootKey(RootKey root) {
  CloseKey();
  root_ = root;
  rootKey_.reset();
}

std::string TRegistry::ResolvePath(const std::string& key) const {
  if (!key.empty() && key.front() == '\\') return key.substr(1);
  if (currentPath_.empty()) return key;
  if (key.empty()) return currentPath_;
  return currentPath_ + '\\' + key;
}

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
  auto path = ResolvePath(key);
  auto opened = hive_->OpenKey(root_, path, canCreate);
  if (!opened) return false;
  CloseKey();
  current_ = std::move(opened);
  currentPath_ = std::move(path);
  return true;
}

void TRegistry::CloseKey() {
  if (!current_) return;
  auto closing = std::move(current_);
  currentPath_.clear();
  closing->Flush();
}

bool TRegistry::KeyExists(const std::string& key) {
  return hive_->OpenKey(root_, ResolvePath(key), false) != nullptr;
}

HiveKey& TRegistry::Target() {
  if (current_) return *current_;
  if (!rootKey_) {
    rootKey_ = hive_->OpenKey(root_, "", false);
    if (!rootKey_) throw ERegistryException("The registry's root key cannot be opened");
  }
  return *rootKey_;
}

bool TRegistry::ValueExists(const std::string& name) {
  return Target().QueryValue(name).has_value();
}

std::optional<HiveValueType> TRegistry::GetValueType(const std::string& name) {
  const auto value = Target().QueryValue(name);
  if (!value) return std::nullopt;
  return value->Type;
}

std::string TRegistry::ReadString(const std::string& name) {
  const auto value = Target().QueryValue(name);
  if (!value) return {};
  if (value->Type != HiveValueType::String) throw ValueError("Invalid data type for '%s'", name);
  return value->Text;
}

std::int32_t TRegistry::ReadInteger(const std::string& name) {
  const auto value = Target().QueryValue(name);
  if (!value) throw ValueError("Failed to get data for '%s'", name);
  if (value->Type != HiveValueType::DWord) throw ValueError("Invalid data type for '%s'", name);
  return static_cast<std::int32_t>(value->DWord);
}

bool TRegistry::ReadBool(const std::string& name) {
  return ReadInteger(name) != 0;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
  if (!Target().SetString(name, value)) throw ValueError("Failed to set data for '%s'", name);
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
  if (!Target().SetDWord(name, static_cast<std::uint32_t>(value))) {
    throw ValueError("Failed to set data for '%s'", name);
  }
}

void TRegistry::WriteBool(const std::string& name, bool value) {
  WriteInteger(name, value ? 1 : 0);
}

std::vector<std::string> TRegistry::GetKeyNames() {
  return Target().SubkeyNames();
}

std::vector<std::string> TRegistry::GetValueNames() {
  return Target().ValueNames();
}

std::vector<SubkeyValueNames> TRegistry::GetValueNamesBelowSubkeys(const std::string& child) {
  return hive_->ValueNamesBelowSubkeys(root_, currentPath_, child);
}

bool TRegistry::DeleteValue(const std::string& name) {
  try {
    return Target().DeleteValue(name);
  } catch (const std::exception&) {
    return false;
  }
}

bool TRegistry::DeleteKey(const std::string& key) {
  try {
    return hive_->DeleteKeyTree(root_, ResolvePath(key));
  } catch (const std::exception&) {
    return false;
  }
}

// The copy is written before the original is deleted, so that on the Windows registry, which has no atomic
// runs, a failure part way leaves the original whole; a move that only changes letter case has to delete
// first, as both names address the same key.
void TRegistry::MoveKey(const std::string& from, const std::string& to) {
  const std::string source = ResolvePath(from);
  const std::string target = ResolvePath(to);
  // Deleting either one would take the other with it.
  if (StartsWithIgnoringAsciiCase(target, source + '\\') ||
      StartsWithIgnoringAsciiCase(source, target + '\\')) {
    throw ERegistryException("The key '" + source + "' cannot be moved to '" + target +
                             "', which lies within it or holds it");
  }
  hive_->Atomically([&] {
    const KeyTree tree = ReadKeyTree(*hive_, root_, source);
    const bool sameKey = EqualsIgnoringAsciiCase(source, target);
    DeleteKeyTreeOrRaise(*hive_, root_, sameKey ? source : target);
    WriteKeyTree(*hive_, root_, target, tree);
    if (!sameKey) DeleteKeyTreeOrRaise(*hive_, root_, source);
  });
}

}  // namespace tessaly
