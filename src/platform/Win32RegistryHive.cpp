#include "platform/Win32RegistryHive.h"

#include <windows.h>

#include <cstring>
#include <utility>
#include <vector>

namespace tessaly {
namespace {

enum class Failure { Report, Raise };
enum class Outcome { Done, NoMoreItems, MoreData, Failed };

std::string SystemMessage(LSTATUS status) {
  char text[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(status), 0, text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) {
    --length;
  }
  const std::string code = "error " + std::to_string(status);
  return length == 0 ? code : std::string(text, length) + " (" + code + ")";
}

// The one place an advapi32 status is judged. The end of an enumeration and a too small buffer are
// answers, not failures. Any other failure gives Outcome::Failed when the caller reports it itself
// (Failure::Report), or raises ERegistryException naming the call, the key and the cause.
Outcome Judge(LSTATUS status, Failure failure, const char* call, const std::string& key) {
  switch (status) {
    case ERROR_SUCCESS:
      return Outcome::Done;
    case ERROR_NO_MORE_ITEMS:
      return Outcome::NoMoreItems;
    case ERROR_MORE_DATA:
      return Outcome::MoreData;
    default:
      if (failure == Failure::Report) return Outcome::Failed;
      throw ERegistryException(std::string(call) + " failed on '" + key + "': " + SystemMessage(status));
  }
}

bool Succeeded(LSTATUS status, const char* call, const std::string& key) {
  return Judge(status, Failure::Report, call, key) == Outcome::Done;
}

// Owns one open registry key.
class KeyHandle {
 public:
  KeyHandle() = default;
  explicit KeyHandle(HKEY key) : key_(key) {}
  ~KeyHandle() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;
  KeyHandle(KeyHandle&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  KeyHandle& operator=(KeyHandle&& other) noexcept {
    std::swap(key_, other.key_);
    return *this;
  }

  HKEY Get() const { return key_; }
  bool IsOpen() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

HKEY RootHandle(RootKey root) {
  switch (root) {
    case RootKey::LocalMachine:
      return HKEY_LOCAL_MACHINE;
    case RootKey::ClassesRoot:
      return HKEY_CLASSES_ROOT;
    case RootKey::CurrentUser:
      break;
  }
  return HKEY_CURRENT_USER;
}

// The key's full name, as failure messages show it.
std::string KeyName(RootKey root, const std::string& path) {
  const char* rootName = root == RootKey::LocalMachine  ? "HKEY_LOCAL_MACHINE"
                         : root == RootKey::ClassesRoot ? "HKEY_CLASSES_ROOT"
                                                        : "HKEY_CURRENT_USER";
  return path.empty() ? rootName : rootName + ("\\" + path);
}

// A closed handle when the key is missing (without create) or the registry refuses.
KeyHandle Open(RootKey root, const std::string& path, bool create) {
  HKEY key = nullptr;
  const std::string name = KeyName(root, path);
  const bool opened =
      create ? Succeeded(RegCreateKeyExA(RootHandle(root), path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         KEY_ALL_ACCESS, nullptr, &key, nullptr),
                         "RegCreateKeyExA", name)
             : Succeeded(RegOpenKeyExA(RootHandle(root), path.c_str(), 0, KEY_ALL_ACCESS, &key),
                         "RegOpenKeyExA", name);
  return opened ? KeyHandle(key) : KeyHandle();
}

// Names of subkeys (RegEnumKeyExA) or values (RegEnumValueA) in the registry's order; `next` calls one
// of them for an index and a name buffer.
template <typename EnumerateOne>
std::vector<std::string> EnumerateNames(EnumerateOne next, const char* call, const std::string& key) {
  std::vector<std::string> names;
  std::string buffer(256, '\0');
  for (DWORD index = 0;;) {
    auto length = static_cast<DWORD>(buffer.size());
    switch (Judge(next(index, buffer.data(), &length), Failure::Raise, call, key)) {
      case Outcome::NoMoreItems:
        return names;
      case Outcome::MoreData:
        buffer.resize(buffer.size() * 2);
        break;
      default:
        names.emplace_back(buffer.data(), length);
        ++index;
    }
  }
}

std::vector<std::string> SubkeyNamesOf(HKEY key, const std::string& name) {
  return EnumerateNames(
      [key](DWORD index, char* buffer, DWORD* length) {
        return RegEnumKeyExA(key, index, buffer, length, nullptr, nullptr, nullptr, nullptr);
      },
      "RegEnumKeyExA", name);
}

// REG_EXPAND_SZ reads as a string with its %VARIABLES% left unexpanded: stored settings are read back as
// they were written.
HiveValue Decode(DWORD type, const std::vector<BYTE>& data) {
  HiveValue value;
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    const auto* text = reinterpret_cast<const char*>(data.data());
    value.Text.assign(text, strnlen(text, data.size()));
  } else if (type == REG_DWORD && data.size() == sizeof value.DWord) {
    value.Type = HiveValueType::DWord;
    std::memcpy(&value.DWord, data.data(), sizeof value.DWord);
  } else {
    value.Type = HiveValueType::Other;
  }
  return value;
}

class Win32HiveKey final : public HiveKey {
 public:
  Win32HiveKey(KeyHandle key, std::string name) : key_(std::move(key)), name_(std::move(name)) {}

  std::optional<HiveValue> QueryValue(const std::string& name) override {
    std::vector<BYTE> data(64);
    for (;;) {
      DWORD type = REG_NONE;
      auto size = static_cast<DWORD>(data.size());
      const LSTATUS status = RegQueryValueExA(key_.Get(), name.c_str(), nullptr, &type, data.data(), &size);
      switch (Judge(status, Failure::Report, "RegQueryValueExA", name_)) {
        case Outcome::Done:
          data.resize(size);
          return Decode(type, data);
        case Outcome::MoreData:
          data.resize(size);
          break;
        default:
          return std::nullopt;
      }
    }
  }

  bool SetString(const std::string& name, const std::string& data) override {
    if (data.size() >= MAXDWORD) return false;
    const auto* bytes = reinterpret_cast<const BYTE*>(data.c_str());
    return Set(name, REG_SZ, bytes, static_cast<DWORD>(data.size() + 1));
  }

  bool SetDWord(const std::string& name, std::uint32_t data) override {
    const DWORD value = data;
    return Set(name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }

  std::vector<std::string> SubkeyNames() override { return SubkeyNamesOf(key_.Get(), name_); }

  std::vector<std::string> ValueNames() override {
    HKEY key = key_.Get();
    return EnumerateNames(
        [key](DWORD index, char* buffer, DWORD* length) {
          return RegEnumValueA(key, index, buffer, length, nullptr, nullptr, nullptr, nullptr);
        },
        "RegEnumValueA", name_);
  }

  bool DeleteValue(const std::string& name) override {
    return Succeeded(RegDeleteValueA(key_.Get(), name.c_str()), "RegDeleteValueA", name_);
  }

  // Every write is already visible to every reader; the flush only hurries it to disk. A key deleted
  // meanwhile cannot be flushed but closes all the same, so Flush does not report the outcome.
  void Flush() override { Succeeded(RegFlushKey(key_.Get()), "RegFlushKey", name_); }

 private:
  bool Set(const std::string& name, DWORD type, const BYTE* data, DWORD size) {
    return Succeeded(RegSetValueExA(key_.Get(), name.c_str(), 0, type, data, size), "RegSetValueExA", name_);
  }

  KeyHandle key_;
  std::string name_;
};

// RegDeleteKeyA refuses a key that has subkeys, so the tree goes bottom up.
bool DeleteTree(RootKey root, const std::string& path) {
  {
    const KeyHandle key = Open(root, path, false);
    if (!key.IsOpen()) return false;
    for (const std::string& child : SubkeyNamesOf(key.Get(), KeyName(root, path))) {
      if (!DeleteTree(root, path + "\\" + child)) return false;
    }
  }
  return Succeeded(RegDeleteKeyA(RootHandle(root), path.c_str()), "RegDeleteKeyA", KeyName(root, path));
}

}  // namespace

std::unique_ptr<HiveKey> Win32RegistryHive::OpenKey(RootKey root, const std::string& path, bool create) {
  KeyHandle key = Open(root, path, create);
  if (!key.IsOpen()) return nullptr;
  return std::make_unique<Win32HiveKey>(std::move(key), KeyName(root, path));
}

bool Win32RegistryHive::DeleteKeyTree(RootKey root, const std::string& path) {
  if (path.empty()) return false;
  try {
    return DeleteTree(root, path);
  } catch (const ERegistryException&) {
    return false;  // a subkey list that cannot be read leaves a key that cannot be deleted
  }
}

}  // namespace tessaly
