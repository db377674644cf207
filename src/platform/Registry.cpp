#include "platform/Registry.h"

#include <utility>

namespace tessaly {
namespace {

ERegistryException ValueError(const char* format, const std::string& name) {
  std::string text(format);
  text.replace(text.find("%s"), 2, name);
  return ERegistryException(text);
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

}  // namespace tessaly
