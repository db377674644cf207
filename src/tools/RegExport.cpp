#include "tools/RegExport.h"

#include <algorithm>
#include <cstdio>
#include <optional>

namespace tessaly {
namespace {

// The value's line, or nothing for a type this tool does not write.
std::optional<std::string> ValueLine(TRegistry& reg, const std::string& name) {
  const std::string start = name.empty() ? "@=" : "\"" + EscapeRegText(name) + "\"=";
  switch (reg.GetValueType(name).value_or(HiveValueType::Other)) {
    case HiveValueType::String:
      return start + "\"" + EscapeRegText(reg.ReadString(name)) + "\"";
    case HiveValueType::DWord: {
      char digits[9];
      std::snprintf(digits, sizeof digits, "%08x", static_cast<std::uint32_t>(reg.ReadInteger(name)));
      return start + "dword:" + digits;
    }
    case HiveValueType::Other:
      break;
  }
  return std::nullopt;
}

void ExportOpenKey(TRegistry& reg, const RegKeyName& key, std::size_t depth, std::ostream& out,
                   std::ostream& warnings) {
  out << '[' << FullKeyName(key) << "]\n";
  for (const auto& name : reg.GetValueNames()) {
    if (const auto line = ValueLine(reg, name)) {
      out << *line << '\n';
    } else {
      warnings << "tessaly-reg: skipped the value \"" << name << "\" of [" << FullKeyName(key)
               << "]: its type is neither a string nor a dword\n";
    }
  }
  out << '\n';
  const auto path = key.Path;
  const auto subkeys = reg.GetKeyNames();
  // Each level takes a frame here: the bound keeps a hive of an older version, which took deeper keys,
  // from overflowing the stack.
  if (!subkeys.empty() && depth == kMaxKeyDepth) {
    warnings << "tessaly-reg: skipped the keys below [" << FullKeyName(key) << "]: they lie more than "
             << kMaxKeyDepth << " levels deep, deeper than the registry allows\n";
    return;
  }
  for (const auto& subkey : subkeys) {
    RegKeyName child{key.Root, path.empty() ? subkey : path + '\\' + subkey};
    if (reg.OpenKey("\\" + child.Path, false)) ExportOpenKey(reg, child, depth + 1, out, warnings);
  }
}

std::size_t Depth(const RegKeyName& key) {
  return key.Path.empty() ? 0
                          : 1 + static_cast<std::size_t>(std::count(key.Path.begin(), key.Path.end(), '\\'));
}

}  // namespace

std::string EscapeRegText(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '\\':
      case '"':
        escaped += '\\';
        escaped += c;
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

bool ExportRegKey(TRegistry& reg, const RegKeyName& key, std::ostream& out, std::ostream& warnings) {
  reg.SetRootKey(key.Root);
  if (!reg.OpenKey("\\" + key.Path, false)) return false;
  reg.ReadSnapshot([&] { ExportOpenKey(reg, key, Depth(key), out, warnings); });
  return true;
}

}  // namespace tessaly
