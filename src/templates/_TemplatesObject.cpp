#include "templates/_TemplatesObject.h"

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
                {"ID", TColumnKind::RunningNumber}}) {}

void TTemplatesObject::LoadCommandTemplate(const std::string& fileName) {
  RunWithFinalSteps(
      [&] {
        StartLoad(Commands, true, fileName);
        for (const std::string& line : Lines) AddCommandLine(line);
        Raise(OnAfterLoad, true, fileName);
      },
      {[&] { Commands.Sort("Name;ID"); }});
}

void TTemplatesObject::LoadStatusWordTemplate(const std::string& fileName) {
  RunWithFinalSteps(
      [&] {
        StartLoad(StatusWords, false, fileName);
        for (const std::string& line : Lines) AddStatusWordLine(line);
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
  Lines.clear();
  try {
    Lines = ReadTextFileLines(fileName);
  } catch (const std::exception&) {
    // A missing or unreadable file loads as an empty one.
    Lines.clear();
  }
}

void TTemplatesObject::Raise(const TTemplateLoadEvent& event, bool isCommandTable,
                             const std::string& fileName) {
  if (event) event(nullptr, OwnerTag, isCommandTable, fileName);
}

void TTemplatesObject::AddCommandLine(std::string_view line) {
  line = TrimLeadingControls(line);
  if (!IsEntryLine(line)) return;
  SplitFields(line, kCommandFieldCount, Fields);
  // A field the line does not have stays empty, unlike an empty field, which reads as 00.
  const std::string cla = Fields.size() > 1 ? HexByteText(Fields[1]) : std::string();
  const std::string ins = Fields.size() > 2 ? HexByteText(Fields[2]) : std::string();
  const std::string_view name = Fields.size() > 3 ? Fields[3] : std::string_view();
  if (Fields[0] != "+") return;

  // A failed locate leaves the current entry, so an empty name matches only while the table is empty.
  Commands.Locate("Name", name);
  if (Commands.AsText("Name") == name) return;
  Commands.Append({{"Name", name}, {"Cla", cla}, {"Ins", ins}});
}

void TTemplatesObject::AddStatusWordLine(std::string_view line) {
  line = TrimLeadingControls(line);
  if (!IsEntryLine(line)) return;
  SplitFields(line, kStatusWordFieldCount, Fields);
  const std::string_view sw1 = Fields.size() > 1 ? Fields[1] : std::string_view();
  const std::string_view sw2 = Fields.size() > 2 ? Fields[2] : std::string_view();
  const std::string_view colour = Fields.size() > 3 ? Fields[3] : std::string_view();
  const std::string_view verbose = Fields.size() > 4 ? Fields[4] : std::string_view();
  if (Fields[0] != "+") return;

  const std::string sw = CleanStatusWordText(std::string(sw1) + std::string(sw2));
  StatusWords.Locate("SW", sw);
  if (StatusWords.AsText("SW") == sw) return;
  StatusWords.Append({{"SW", sw},
                      {"SW1", CleanStatusWordText(sw1)},
                      {"SW2", CleanStatusWordText(sw2)},
                      {"Color", ColourValue(colour)},
                      {"Verbose", verbose}});
}

void TTemplatesObject::AddCatchAllStatusWord() {
  StatusWords.Locate("SW", kCatchAllKey);
  if (StatusWords.AsText("SW") == kCatchAllKey) return;
  StatusWords.Append(
      {{"SW", kCatchAllKey}, {"SW1", "**"}, {"SW2", "**"}, {"Color", 0}, {"Verbose", "Not defined"}});
}

}  // namespace tessaly
