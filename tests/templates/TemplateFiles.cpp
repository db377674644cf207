#include "TemplateFiles.h"

#include <cstdio>
#include <fstream>

namespace tessaly::test {

std::string WriteFile(const TempDir& folder, const std::string& name, std::string_view bytes) {
  const auto path = folder / name;
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path.string();
}

std::string Escaped(std::string_view bytes) {
  std::string text;
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\t') {
      text += "\\t";
    } else if (byte < 0x20 || byte >= 0x7F || c == '\\') {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      text += escape;
    } else {
      text += c;
    }
  }
  return text;
}

std::vector<std::vector<std::string>> Rows(const TKeyedTable& table,
                                           const std::vector<std::string>& columns) {
  std::vector<std::vector<std::string>> rows;
  for (std::size_t entry = 0; entry < table.Count(); ++entry) {
    std::vector<std::string>& row = rows.emplace_back();
    for (const std::string& column : columns) row.push_back(table.TextAt(entry, column));
  }
  return rows;
}

}  // namespace tessaly::test
