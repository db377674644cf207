#include "templates/_TemplatesObject.h"

#include <exception>

#include "platform/CleanUp.h"
#include "platform/RaiseEvent.h"
#include "platform/TextFile.h"
#include "platform/TextRules.h"
#include "templates/TemplateFormat.h"

namespace tessaly {
namespace {

using TColumnKind = TKeyedTable::TColumnKind;

constexpr char kCatchAllKey[] = "****";
constexpr std::size_t kCommandFieldCount = 4;     // sign, class, instruction, name
constexpr std::size_t kStatusWordFieldCount = 5;  // sign, SW1, SW2, colour, meaning

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
  RunWithCleanUp(
      [&] {
        StartLoad(Commands, true, fileName);
        WalkEntryLines(kCommandFieldCount, CommandKey, [this](const EntryLine& entry) { AddCommand(entry); });
        RaiseLoadEvent(OnAfterLoad, true, fileName);
      },
      [&] { Commands.Sort("Name;ID"); });
}

void TTemplatesObject::LoadStatusWordTemplate(const std::string& fileName) {
  RunWithCleanUp(
      [&] {
        StartLoad(StatusWords, false, fileName);
        WalkEntryLines(kStatusWordFieldCount, StatusWordKey,
                       [this](const EntryLine& entry) { AddStatusWord(entry); });
        RaiseLoadEvent(OnAfterLoad, false, fileName);
      },
      [&] { AddCatchAllStatusWord(); }, [&] { StatusWords.Sort("SW;ID"); });
}

void TTemplatesObject::ClearTemplates() {
  StatusWords.Empty();
  Commands.Empty();
}

void TTemplatesObject::StartLoad(TKeyedTable& table, bool isCommandTable, const std::string& fileName) {
  table.Empty();
  AuxList.clear();
  RaiseLoadEvent(OnBeforeLoad, isCommandTable, fileName);
  try {
    // The last load's text lends its room to this one's.
    ReadTextFileLines(fileName, Lines);
  } catch (const std::exception&) {
    // A missing or unreadable file loads as an empty one.
    Lines.clear();
  }
}

void TTemplatesObject::RaiseLoadEvent(const TTemplateLoadEvent& event, bool isCommandTable,
                                      const std::string& fileName) {
  Raise(event, nullptr, OwnerTag, isCommandTable, fileName);
}

template <typename KeyOf, typename AddEntry>
void TTemplatesObject::WalkEntryLines(std::size_t fieldCount, const KeyOf& keyOf, const AddEntry& addEntry) {
  EntryLine entry;
  bool anyEntryLine = false;
  for (const std::string_view line : Lines) {
    const std::string_view trimmed = TrimLeadingControls(line);
    if (!IsEntryLine(trimmed)) continue;
    anyEntryLine = true;
    entry.Fields = SplitFields(trimmed, fieldCount);
    // Field 1 is the sign: only exactly "+" makes an entry.
    if (entry.Fields.Field[0] != "+") continue;
    entry.Key = keyOf(entry);
    addEntry(entry);
  }
  // Fields shows the fields of the last entry line, if any; they view Lines, so they are copied once, at the
  // end.
  if (anyEntryLine)
    Fields.assign(entry.Fields.Field.begin(), entry.Fields.Field.begin() + entry.Fields.Count);
}

std::string_view TTemplatesObject::CommandKey(EntryLine& entry) {
  return entry.Fields[3];
}

// A status word is known by its two halves joined, then cleaned as one text.
std::string_view TTemplatesObject::StatusWordKey(EntryLine& entry) {
  entry.JoinedHalves.assign(entry.Fields[1]).append(entry.Fields[2]);
  return CleanStatusWordText(entry.JoinedHalves, entry.CleanedKey);
}

void TTemplatesObject::AddCommand(const EntryLine& entry) {
  const auto& columns = commandColumns_;
  if (IsKnownKey(Commands, columns.Name, entry.Key)) return;
  const LineFields& fields = entry.Fields;
  // A field the line does not have stays empty, unlike an empty field, which reads as 00.
  HexDigits claRoom, insRoom;
  const std::string_view cla = fields.Count > 1 ? HexByteText(fields[1], claRoom) : std::string_view();
  const std::string_view ins = fields.Count > 2 ? HexByteText(fields[2], insRoom) : std::string_view();
  Commands.Append({{columns.Name, entry.Key}, {columns.Cla, cla}, {columns.Ins, ins}});
}

void TTemplatesObject::AddStatusWord(const EntryLine& entry) {
  const LineFields& fields = entry.Fields;
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
