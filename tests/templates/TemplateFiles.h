#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "TempDir.h"
#include "templates/KeyedTable.h"

namespace tessaly::test {

// Writes the bytes as a file into the folder and returns its full path as 8-bit text.
std::string WriteFile(const TempDir& folder, const std::string& name, std::string_view bytes);

// The bytes with TAB as \t and other bytes outside printable ASCII as \xNN, for test names.
std::string Escaped(std::string_view bytes);

// Every entry of the table in its order, each as the texts of the given columns.
std::vector<std::vector<std::string>> Rows(const TKeyedTable& table, const std::vector<std::string>& columns);

}  // namespace tessaly::test
