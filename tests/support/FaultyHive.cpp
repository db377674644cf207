#include "FaultyHive.h"

#include <utility>
#include <vector>

#include "platform/TextRules.h"

namespace tessaly::test {
namespace {

class FaultyKey : public HiveKey {
 public:
  FaultyKey(std::unique_ptr<HiveKey> inner, std::shared_ptr<const std::set<std::string>> refusedWrites)
      : inner_(std::move(inner)), refusedWrites_(std::move(refusedWrites)) {}

  std::optional<HiveValue> QueryValue(const std::string& name) override { return inner_->QueryValue(name); }
  bool SetString(const std::string& name, const std::string& data) override {
    return !Refused(name) && inner_->SetString(name, data);
  }
  bool SetDWord(const std::string& name, std::uint32_t data) override {
    return !Refused(name) && inner_->SetDWord(name, data);
  }
  std::vector<std::string> SubkeyNames() override { return inner_->SubkeyNames(); }
  std::vector<std::string> ValueNames() override { return inner_->ValueNames(); }
  bool DeleteValue(const std::string& name) override { return inner_->DeleteValue(name); }
  void Flush() override { inner_->Flush(); }

 private:
  bool Refused(const std::string& name) const { return refusedWrites_->count(name) != 0; }

  std::unique_ptr<HiveKey> inner_;
  std::shared_ptr<const std::set<std::string>> refusedWrites_;
};

}  // namespace

FaultyHive::FaultyHive(std::shared_ptr<RegistryHive> inner)
    : inner_(std::move(inner)), refusedWrites_(std::make_shared<std::set<std::string>>()) {}

void FaultyHive::RefuseOpen(const std::string& path) {
  refusedOpens_.insert(ToAsciiLower(path));
}

void FaultyHive::RefuseWrite(const std::string& valueName) {
  refusedWrites_->insert(valueName);
}

void FaultyHive::RefuseDelete(const std::string& path) {
  refusedDeletes_.insert(ToAsciiLower(path));
}

std::unique_ptr<HiveKey> FaultyHive::OpenKey(RootKey root, const std::string& path, bool create) {
  if (refusedOpens_.count(ToAsciiLower(path)) != 0) return nullptr;
  auto key = inner_->OpenKey(root, path, create);
  if (!key) return nullptr;
  return std::make_unique<FaultyKey>(std::move(key), refusedWrites_);
}

bool FaultyHive::DeleteKeyTree(RootKey root, const std::string& path) {
  if (refusedDeletes_.count(ToAsciiLower(path)) != 0)
    throw ERegistryException("Cannot delete key '" + path + "'");
  return inner_->DeleteKeyTree(root, path);
}

}  // namespace tessaly::test
