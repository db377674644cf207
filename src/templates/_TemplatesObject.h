#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextFile.h"
#include "templates/KeyedTable.h"
#include "templates/TemplateFormat.h"

namespace tessaly {

// Frames each load: sender (always null), the owner's tag, true for a command load and false for a
// status-word load, and the file name the load was given.
using TTemplateLoadEvent = std::function<void(void* sender, std::uint32_t ownerTag, bool isCommandTable,
                                              const std::string& fileName)>;

// The command table and the status-word table of one reader, loaded from a card type's ".cct" and ".swt"
// template files.
class TTemplatesObject {
 public:
  TTemplatesObject();

  void SetOnBeforeLoad(TTemplateLoadEvent handler) { OnBeforeLoad = std::move(handler); }
  void SetOnAfterLoad(TTemplateLoadEvent handler) { OnAfterLoad = std::move(handler); }

  // Refills Commands from a command file. A file that cannot be read gives an empty table. A failing
  // handler or table operation ends the load; the sort still runs and the failure reaches the caller.
  void LoadCommandTemplate(const std::string& fileName);

  // Refills StatusWords from a status-word file; afterwards the table always holds the catch-all key
  // "****". A failure ends the load as for commands; the catch-all and the sort still follow.
  void LoadStatusWordTemplate(const std::string& fileName);

  // Empties StatusWords, then Commands; no notification, no catch-all entry.
  void ClearTemplates();

  std::set<std::string> AuxList;    // emptied at the start of every load; filled by a host, if at all
  TextFileLines Lines;              // the lines of the file being loaded
  std::vector<std::string> Fields;  // the fields of the last entry line, as many as the file kind uses
  std::uint32_t OwnerTag = 0;       // set by the owner, handed to the notifications
  TKeyedTable StatusWords;          // "SW" (key), "SW1", "SW2", "Color" (integer), "Verbose", "ID"
  TKeyedTable Commands;             // "Name" (key), "Cla", "Ins", "ID"

 private:
  void StartLoad(TKeyedTable& table, bool isCommandTable, const std::string& fileName);
  void RaiseLoadEvent(const TTemplateLoadEvent& event, bool isCommandTable, const std::string& fileName);
  // An entry line split into its fields, and its key when it is enabled. The key may view the two strings,
  // which are reused from line to line.
  struct EntryLine {
    LineFields Fields;
    std::string_view Key;
    std::string JoinedHalves, CleanedKey;
  };
  // Splits each entry line of Lines into at most fieldCount fields and hands the enabled ones, with the key
  // keyOf gives them, to addEntry.
  template <typename KeyOf, typename AddEntry>
  void WalkEntryLines(std::size_t fieldCount, const KeyOf& keyOf, const AddEntry& addEntry);
  // The key of an enabled entry line: a command's name, a status word's cleaned halves.
  static std::string_view CommandKey(EntryLine& entry);
  static std::string_view StatusWordKey(EntryLine& entry);
  void AddCommand(const EntryLine& entry);
  void AddStatusWord(const EntryLine& entry);
  void AddCatchAllStatusWord();

  TTemplateLoadEvent OnBeforeLoad;
  TTemplateLoadEvent OnAfterLoad;
  // The columns a load fills line after line, looked up once.
  struct {
    TKeyedTable::TColumnRef SW, SW1, SW2, Color, Verbose;
  } statusWordColumns_;
  struct {
    TKeyedTable::TColumnRef Name, Cla, Ins;
  } commandColumns_;
  // Room for the status-word halves of one line, reused from line to line.
  std::string sw1_, sw2_;
};

}  // namespace tessaly
