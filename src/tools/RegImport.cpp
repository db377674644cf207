#include "tools/RegImport.h"

#include <algorithm>
#include <optional>

#include "platform/TextRules.h"

namespace tessaly {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// Reads the lines after the header, one at a time, and keeps the key they apply to.
class RegFileParser {
 public:
  std::vector<RegChange> Parse(std::string_view text) {
    if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
      throw ERegFileError(1, "the file is UTF-16; save it as UTF-8");
    }
    if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
    for (std::size_t start = 0; start <= text.size(); ++line_) {
      const auto end = std::min(text.find('\n', start), text.size());
      auto lineText = text.substr(start, end - start);
      if (lineText.ends_with('\r')) lineText.remove_suffix(1);
      start = end + 1;
      if (line_ == 1) {
        ExpectHeader(Trim(lineText));
      } else {
        ParseLine(Trim(lineText));
      }
    }
    return std::move(changes_);
  }

 private:
  [[noreturn]] void Fail(const std::string& reason) const { throw ERegFileError(line_, reason); }

  void ExpectHeader(std::string_view header) const {
    if (header != "REGEDIT4" && header != "Windows Registry Editor Version 5.00") {
      Fail("not a registry file: the first line must be REGEDIT4 or Windows Registry Editor Version 5.00");
    }
  }

  void ParseLine(std::string_view text) {
    if (text.empty() || text.front() == ';') return;
    if (text.front() == '[') return ParseKeyLine(text);
    if (text.front() == '"' || text.front() == '@') return ParseValueLine(text);
    Fail("malformed line: expected [KEY], \"Name\"=... or @=...");
  }

  void ParseKeyLine(std::string_view text) {
    if (!text.ends_with(']')) Fail("malformed key line: it must end with ]");
    auto inner = text.substr(1, text.size() - 2);
    const bool remove = inner.starts_with('-');
    if (remove) inner.remove_prefix(1);
    const auto key = ParseKeyName(inner);
    if (!key) Fail("unknown root key or empty key name in " + std::string(text));
    if (remove && key->Path.empty()) Fail("a root key cannot be deleted");
    CheckKeyPath(key->Path);
    RegChange change;
    change.What = remove ? RegChange::Kind::DeleteKey : RegChange::Kind::OpenKey;
    change.Line = line_;
    change.Key = *key;
    changes_.push_back(std::move(change));
    keyState_ = remove ? KeyState::Deleted : KeyState::Open;
  }

  void ParseValueLine(std::string_view text) {
    if (keyState_ == KeyState::None) Fail("a value line before the first [KEY] line");
    if (keyState_ == KeyState::Deleted) Fail("a value line below a [-KEY] line, which deletes its key");
    RegChange change;
    change.Line = line_;
    change.What = RegChange::Kind::SetString;
    std::size_t at = 1;
    if (text.front() == '"') change.Name = Quoted(text, at);
    if (change.Name.find('\0') != std::string::npos) Fail("a NUL byte in the value name");
    auto rest = Trim(text.substr(at));
    if (!rest.starts_with('=')) Fail("expected = after the value name");
    rest = Trim(rest.substr(1));
    if (rest == "-") {
      change.What = RegChange::Kind::DeleteValue;
    } else if (rest.starts_with('"')) {
      std::size_t end = 1;
      change.Text = Quoted(rest, end);
      if (!Trim(rest.substr(end)).empty()) Fail("unexpected text after the closing quote");
    } else if (StartsWithIgnoringAsciiCase(rest, "dword:")) {
      change.What = RegChange::Kind::SetDWord;
      change.DWord = DWordDigits(rest.substr(6));
    } else if (const auto colon = rest.find(':'); colon != std::string_view::npos) {
      Fail("unsupported value type '" + std::string(rest.substr(0, colon)) + "': only strings and dwords");
    } else {
      Fail("malformed value: expected \"text\", dword:XXXXXXXX or -");
    }
    changes_.push_back(std::move(change));
  }

  void CheckKeyPath(const std::string& path) const {
    if (path.find('\0') != std::string::npos) Fail("a NUL byte in the key name");
    std::size_t depth = 0;
    for (std::size_t start = 0; start < path.size(); ++depth) {
      const auto end = std::min(path.find('\\', start), path.size());
      if (end - start > kMaxKeyNameLength) {
        Fail("a key name longer than " + std::to_string(kMaxKeyNameLength) + " characters");
      }
      start = end + 1;
    }
    if (depth > kMaxKeyDepth) Fail("a key more than " + std::to_string(kMaxKeyDepth) + " levels deep");
  }

  // The quoted text that starts before text[at], unescaped; at ends after the closing quote.
  std::string Quoted(std::string_view text, std::size_t& at) const {
    std::string result;
    for (; at < text.size(); ++at) {
      const char c = text[at];
      if (c == '"') {
        ++at;
        return result;
      }
      if (c != '\\') {
        result += c;
        continue;
      }
      if (++at == text.size()) break;
      switch (text[at]) {
        case '\\':
        case '"':
          result += text[at];
          break;
        case 'n':
          result += '\n';
          break;
        case 'r':
          result += '\r';
          break;
        default:
          Fail(std::string("unknown escape \\") + text[at] + " (a backslash is written \\\\)");
      }
    }
    Fail("missing closing quote");
  }

  std::uint32_t DWordDigits(std::string_view digits) const {
    if (digits.empty() || digits.size() > 8 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigitValue(c) >= 0; })) {
      Fail("a dword takes 1 to 8 hexadecimal digits");
    }
    return static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
  }

  enum class KeyState { None, Open, Deleted };
  int line_ = 1;
  KeyState keyState_ = KeyState::None;
  std::vector<RegChange> changes_;
};

[[noreturn]] void Refused(const RegChange& change, const std::string& what) {
  throw ERegFileError(change.Line, "the hive refused to " + what);
}

// Deleting a key or value reports false both when it was not there, which is as the file asks, and when
// the hive refused: only a look afterwards tells them apart. Keys are deleted through the hive itself,
// whose failures carry their cause (a full disk), where the accessor's DeleteKey only says false.
void Apply(RegistryHive& hive, TRegistry& reg, const RegChange& change) {
  switch (change.What) {
    case RegChange::Kind::OpenKey:
      reg.SetRootKey(change.Key.Root);
      if (!reg.OpenKey("\\" + change.Key.Path, true)) {
        throw ERegFileError(change.Line, "cannot create the key " + FullKeyName(change.Key));
      }
      break;
    case RegChange::Kind::DeleteKey:
      reg.SetRootKey(change.Key.Root);
      if (!hive.DeleteKeyTree(change.Key.Root, change.Key.Path) && reg.KeyExists("\\" + change.Key.Path)) {
        Refused(change, "delete the key " + FullKeyName(change.Key));
      }
      break;
    case RegChange::Kind::SetString:
      reg.WriteString(change.Name, change.Text);
      break;
    case RegChange::Kind::SetDWord:
      reg.WriteInteger(change.Name, static_cast<std::int32_t>(change.DWord));
      break;
    case RegChange::Kind::DeleteValue:
      if (!reg.DeleteValue(change.Name) && reg.ValueExists(change.Name)) {
        Refused(change, "delete the value \"" + change.Name + "\"");
      }
      break;
  }
}

}  // namespace

std::vector<RegChange> ParseRegFile(std::string_view text) {
  return RegFileParser().Parse(text);
}

void ApplyRegChanges(RegistryHive& hive, TRegistry& reg, const std::vector<RegChange>& changes) {
  hive.Atomically([&] {
    for (const auto& change : changes) {
      try {
        Apply(hive, reg, change);
      } catch (const ERegistryException& error) {
        throw ERegFileError(change.Line, error.what());
      }
    }
  });
  reg.CloseKey();
}

}  // namespace tessaly
