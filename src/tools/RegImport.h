#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"
#include "platform/TessalyError.h"
#include "tools/RegKeyName.h"

namespace tessaly {

// One change a .reg file asks for, with the number of the line that asks for it.
struct RegChange {
  enum class Kind { OpenKey, DeleteKey, SetString, SetDWord, DeleteValue };
  Kind What = Kind::OpenKey;
  int Line = 0;
  RegKeyName Key;    // OpenKey, DeleteKey
  std::string Name;  // the value's name; "" for the default value
  std::string Text;
  std::uint32_t DWord = 0;
};

// What is wrong with a .reg file, and on which line (0 when the line does not matter).
class ERegFileError : public ETessalyError {
 public:
  ERegFileError(int line, const std::string& reason) : ETessalyError(reason), line_(line) {}
  int Line() const { return line_; }

 private:
  int line_;
};

// Reads a .reg file (header REGEDIT4 or "Windows Registry Editor Version 5.00", UTF-8 with or without a
// byte-order mark; string and dword values). Raises ERegFileError at the first line it cannot take.
std::vector<RegChange> ParseRegFile(std::string_view text);

// Makes the changes through reg, all of them or (on the file hive) none: a change the hive refuses raises
// ERegFileError with its line and undoes the others.
void ApplyRegChanges(RegistryHive& hive, TRegistry& reg, const std::vector<RegChange>& changes);

}  // namespace tessaly
