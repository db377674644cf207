#pragma once

#include <ostream>
#include <string>

#include "platform/Registry.h"
#include "tools/RegKeyName.h"

namespace tessaly {

// Escapes a name or text for a quoted .reg string: backslash and double quote get a backslash, and line
// breaks are written \n and \r so that a value stays on its line.
std::string EscapeRegText(const std::string& text);

// Writes the key and every key below it, depth first with subkeys in the hive's order (sorted without
// regard to case): a [KEY] line, one line per value in enumeration order, then a blank line. Values of
// types a .reg file of this tool cannot hold are skipped with a warning on warnings. False when the key
// does not exist.
bool ExportRegKey(TRegistry& reg, const RegKeyName& key, std::ostream& out, std::ostream& warnings);

}  // namespace tessaly
