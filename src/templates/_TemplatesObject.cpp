#include "templates/_TemplatesObject.h"

#include <array>
#include <exception>
#include <initializer_list>

#include "platform/TextFile.h"
#include "templates/TemplateFormat.h"

namespace tessaly {
namespace {

using TColumnKind = TKeyedTable::TColumnKind;

constexpr char kCatchAllKey[] = "****";
constexpr std::size_t kCommandFieldCount = 4;     // sign, class, instruction, name
constexpr std::size_t kStatusWordFieldCount = 5;  // sign, SW1, SW2, colour, meaning

// Runs the load, then every final step even when the load or an earlier step failed; the first failure
// then reaches the caller.
void RunWithFinalSteps(const std::function<void()>& load,
                       std::initializer_list<std::function<void()>> finalSteps) {
  std::exception_ptr failure;
  const auto run = [&failure](const std::function<void()>& step) {
    try {
      step();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
  };
  run(load);
  for (const auto& step : finalSteps) run(step);
  if (failure) std::rethrow_exception(failure);
}

// Whether a line's key is dropped: locating it in the key column makes the current entry's key equal to it.
// A failed locate leaves a current entry whose key differs, unless the table is empty, which reads as the
// empty key; so the empty key is also dropped while the table is empty.
bool IsKnownKey(TKeyedTable& table, TKeyedTable::TColumnRef column, std::string_view key) {
  return table.Locate(column, key) || (table.Count() == 0 && key.empty());
}

}  // namespace

TTemplatesObject::TTemplatesObject()
    : StatusWords({{"SW", TColumnKind::Text},
                   {"SW1", TColumnKind::Text},
                   {"SW2", TColumnKind::Text},
                   {"Color", TColumnKind::Integer},
                   {"Verbose", TColumnKind::Text},
                   {"ID", TColumnKind::RunningNumber}}),
      Commands({{"Name", TColumnKind::Text},
                {"Cla", TColumnKind::Text},
                {"Ins", TColumnKind::Text},
                {"ID", TColumnKind::RunningNumber}}),
      statusWordColumns_{StatusWords.Column("SW"), StatusWords.Column("SW1"), StatusWords.Column("SW2"),
                         StatusWords.Column("Color"), StatusWords.Column("Verbose")},
      commandColumns_{Commands.Column("Name"), Commands.Column("Cla"), Commands.Column("Ins")} {}

void TTemplatesObject::LoadCommandTemplate(const std::string& fileName) {
  RunWithFinalSteps(
      [&] {
        StartLoad(Commands, true, fileName);
        WalkEntryLines(Commands, commandColumns_.Name, kCommandFieldCount, CommandKey,
                       [this](const TEntryLine& entry) { AddCommand(entry); });
        Raise(OnAfterLoad, true, fileName);
      },
      {[&] { Commands.Sort("Name;ID"); }});
}

void TTemplatesObject::LoadStatusWordTemplate(const std::string& fileName) {
  RunWithFinalSteps(
      [&] {
        StartLoad(StatusWords, false, fileName);
        WalkEntryLines(StatusWords, statusWordColumns_.SW, kStatusWordFieldCount, StatusWordKey,
                       [this](const TEntryLine& entry) { AddStatusWord(entry); });
        Raise(OnAfterLoad, false, fileName);
      },
      {[&] { AddCatchAllStatusWord(); }, [&] { StatusWords.Sort("SW;ID"); }});
}

void TTemplatesObject::ClearTemplates() {
  StatusWords.Empty();
  Commands.Empty();
}

void TTemplatesObject::StartLoad(TKeyedTable& table, bool isCommandTable, const std::string& fileName) {
  table.Empty();
  AuxList.clear();
  Raise(OnBeforeLoad, isCommandTable, fileName);
  try {
    // The last load's lines lend their room to this one's.
    ReadTextFileLines(fileName, Lines);
  } catch (const std::exception&) {
    // A missing or unreadable file loads as an empty one.
    Lines.clear();
  }
}

void TTemplatesObject::Raise(const TTemplateLoadEvent& event, bool isCommandTable,
                             const std::string& fileName) {
  if (event) event(nullptr, OwnerTag, isCommandTable, fileName);
}

// Entry lines are taken one ahead: the next one's key is handed to the table before this one is checked and
// stored, so that the index memory its locate reads arrives meanwhile instead of stalling it.
template <typename KeyOf, typename AddEntry>
void TTemplatesObject::WalkEntryLines(TKeyedTable& table, TKeyedTable::TColumnRef keyColumn,
                                      std::size_t fieldCount, const KeyOf& keyOf, const AddEntry& addEntry) {
  auto line = Lines.cbegin();
  const auto readEntryLine = [&](TEntryLine& entry) {
    for (; line != Lines.cend(); ++line) {
      const std::string_view trimmed = TrimLeadingControls(*line);
      if (!IsEntryLine(trimmed)) continue;
      ++line;
      entry.Fields = SplitFields(trimmed, fieldCount);
      // Field 1 is the sign: only exactly "+" makes an entry.
      if (entry.Fields.Field[0] == "+") {
        entry.Key = keyOf(entry);
        table.PrepareLocate(keyColumn, entry.Key);
      }
      return true;
    }
    return false;
  };
  std::array<TEntryLine, 2> entries;  // this one and the next, each keeping its rooms
  std::size_t current = 0;
  if (!readEntryLine(entries[current])) return;
  for (;;) {
    const TEntryLine& entry = entries[current];
    const bool hasNext = readEntryLine(entries[1 - current]);
    if (entry.Fields.Field[0] == "+") addEntry(entry);
    if (!hasNext) break;
    current = 1 - current;
  }
  // Fields shows the fields of the last entry line; they view Lines, so they are copied once, at the end.
  const TLineFields& last = entries[current].Fields;
  Fields.assign(last.Field.begin(), last.Field.begin() + last.Count);
}

std::string_view TTemplatesObject::CommandKey(TEntryLine& entry) {
  return entry.Fields[3];
}

// A status word is known by its two halves joined, then cleaned as one text.
std::string_view TTemplatesObject::StatusWordKey(TEntryLine& entry) {
  entry.Room.assign(entry.Fields[1]).append(entry.Fields[2]);
  return CleanStatusWordText(entry.Room, entry.KeyRoom);
}

void TTemplatesObject::AddCommand(const TEntryLine& entry) {
  const auto& columns = commandColumns_;
  if (IsKnownKey(Commands, columns.Name, entry.Key)) return;
  const TLineFields& fields = entry.Fields;
  // A field the line does not have stays empty, unlike an empty field, which reads as 00.
  THexDigits claRoom, insRoom;
  const std::string_view cla = fields.Count > 1 ? HexByteText(fields[1], claRoom) : std::string_view();
  const std::string_view ins = fields.Count > 2 ? HexByteText(fields[2], insRoom) : std::string_view();
  Commands.Append({{columns.Name, entry.Key}, {columns.Cla, cla}, {columns.Ins, ins}});
}

void TTemplatesObject::AddStatusWord(const TEntryLine& entry) {
  const TLineFields& fields = entry.Fields;
  const auto& columns = statusWordColumns_;
  if (IsKnownKey(StatusWords, columns.SW, entry.Key)) return;
  StatusWords.Append({{columns.SW, entry.Key},
                      {columns.SW1, CleanStatusWordText(fields[1], sw1_)},
                      {columns.SW2, CleanStatusWordText(fields[2], sw2_)},
                      {columns.Color, ColourValue(fields[3])},
                      {columns.Verbose, fields[4]}});
}

void TTemplatesObject::AddCatchAllStatusWord() {
  if (IsKnownKey(StatusWords, statusWordColumns_.SW, kCatchAllKey)) return;
  StatusWords.Append(
      {{"SW", kCatchAllKey}, {"SW1", "**"}, {"SW2", "**"}, {"Color", 0}, {"Verbose", "Not defined"}});
}

}  // namespace tessaly
