#include "InterruptedHive.h"

#include <utility>
#include <vector>

namespace tessaly::test {
namespace {

// Counts a write, or throws in its place when it is the one to be cut off.
class WriteCounter {
 public:
  WriteCounter(std::shared_ptr<int> writes, int interruptAt)
      : writes_(std::move(writes)), interruptAt_(interruptAt) {}

  template <typename Write>
  bool operator()(const Write& write) const {
    if (*writes_ + 1 == interruptAt_) throw Interrupted{};
    const bool done = write();
    ++*writes_;
    return done;
  }

 private:
  std::shared_ptr<int> writes_;
  int interruptAt_;
};

class InterruptedKey : public HiveKey {
 public:
  InterruptedKey(std::unique_ptr<HiveKey> inner, WriteCounter count)
      : inner_(std::move(inner)), count_(std::move(count)) {}

  std::optional<HiveValue> QueryValue(const std::string& name) override { return inner_->QueryValue(name); }
  bool SetString(const std::string& name, const std::string& data) override {
    return count_([&] { return inner_->SetString(name, data); });
  }
  bool SetDWord(const std::string& name, std::uint32_t data) override {
    return count_([&] { return inner_->SetDWord(name, data); });
  }
  std::vector<std::string> SubkeyNames() override { return inner_->SubkeyNames(); }
  std::vector<std::string> ValueNames() override { return inner_->ValueNames(); }
  bool DeleteValue(const std::string& name) override {
    return count_([&] { return inner_->DeleteValue(name); });
  }
  void Flush() override { inner_->Flush(); }

 private:
  std::unique_ptr<HiveKey> inner_;
  WriteCounter count_;
};

}  // namespace

InterruptedHive::InterruptedHive(std::shared_ptr<RegistryHive> inner, int interruptAt)
    : inner_(std::move(inner)), writes_(std::make_shared<int>(0)), interruptAt_(interruptAt) {}

std::unique_ptr<HiveKey> InterruptedHive::OpenKey(RootKey root, const std::string& path, bool create) {
  auto key = inner_->OpenKey(root, path, create);
  if (!key) return nullptr;
  return std::make_unique<InterruptedKey>(std::move(key), WriteCounter(writes_, interruptAt_));
}

bool InterruptedHive::DeleteKeyTree(RootKey root, const std::string& path) {
  return WriteCounter(writes_, interruptAt_)([&] { return inner_->DeleteKeyTree(root, path); });
}

}  // namespace tessaly::test
