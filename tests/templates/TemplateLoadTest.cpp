#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "TemplateFiles.h"
#include "platform/TessalyError.h"
#include "templates/_TemplatesObject.h"

namespace tessaly::test {
namespace {

using Table = std::vector<std::vector<std::string>>;

const std::vector<std::string> kNotDefined = {"****", "**", "**", "0", "Not defined"};

Table CommandRows(const TTemplatesObject& templates) {
  return Rows(templates.Commands, {"Name", "Cla", "Ins"});
}

Table StatusWordRows(const TTemplatesObject& templates) {
  return Rows(templates.StatusWords, {"SW", "SW1", "SW2", "Color", "Verbose"});
}

// Records each notification with its arguments and the size of the table being loaded at that moment.
class TemplateLoad : public testing::Test {
 protected:
  TemplateLoad() {
    templates.OwnerTag = 0xCAFEF00D;
    templates.SetOnBeforeLoad(Recorder("before"));
    templates.SetOnAfterLoad(Recorder("after"));
  }

  TTemplateLoadEvent Recorder(const std::string& name) {
    return
        [this, name](void* sender, std::uint32_t ownerTag, bool isCommandTable, const std::string& fileName) {
          const TKeyedTable& table = isCommandTable ? templates.Commands : templates.StatusWords;
          events.push_back(name + " " + (sender == nullptr ? "null" : "sender") + " " +
                           std::to_string(ownerTag) + " " + std::to_string(isCommandTable) + " " + fileName +
                           " " + std::to_string(table.Count()));
        };
  }

  std::string Event(const std::string& name, bool isCommandTable, const std::string& fileName,
                    std::size_t count) const {
    return name + " null " + std::to_string(0xCAFEF00D) + " " + std::to_string(isCommandTable) + " " +
           fileName + " " + std::to_string(count);
  }

  TempDir folder;
  TTemplatesObject templates;
  std::vector<std::string> events;
};

TEST_F(TemplateLoad, NotificationsFrameEachLoadWithTheirArguments) {
  const std::string commands = WriteFile(folder, "card.cct", "+\tA0\tA4\tSELECT\n+\t00\tB0\tREAD\n");
  const std::string statusWords = WriteFile(folder, "card.swt", "+\t90\t00\t00FF00\tOK\n");
  templates.LoadCommandTemplate(commands);
  templates.LoadStatusWordTemplate(statusWords);
  // The catch-all comes after OnAfterLoad: the status-word table holds one entry at that point.
  EXPECT_EQ(events, (std::vector<std::string>{
                        Event("before", true, commands, 0), Event("after", true, commands, 2),
                        Event("before", false, statusWords, 0), Event("after", false, statusWords, 1)}));
  EXPECT_EQ(StatusWordRows(templates), (Table{kNotDefined, {"9000", "90", "00", "65280", "OK"}}));
}

TEST_F(TemplateLoad, HandlersSeeTheLinesAndTheFieldsOfTheLastEntryLine) {
  std::vector<std::vector<std::string>> seen;
  templates.SetOnAfterLoad([&](void*, std::uint32_t, bool, const std::string&) {
    seen.push_back(templates.Fields);
    seen.emplace_back(templates.Lines.begin(), templates.Lines.end());
  });
  const std::string commands =
      WriteFile(folder, "card.cct", "+\tA0\tA4\tSELECT\n-\t00\tB0\n; trailing comment\n");
  const std::string statusWords = WriteFile(folder, "card.swt", "; nothing but a comment\n");
  templates.LoadCommandTemplate(commands);
  templates.LoadStatusWordTemplate(statusWords);

  // The disabled line was split last; a file without entry lines leaves the fields as they were.
  const std::vector<std::string> lastFields = {"-", "00", "B0"};
  EXPECT_EQ(seen,
            (std::vector<std::vector<std::string>>{lastFields,
                                                   {"+\tA0\tA4\tSELECT", "-\t00\tB0", "; trailing comment"},
                                                   lastFields,
                                                   {"; nothing but a comment"}}));
}

TEST_F(TemplateLoad, MissingFilesLoadEmptyTablesAndStillNotify) {
  const std::string missing = (folder / "missing.cct").string();
  const std::string directory = folder.Path().string();
  templates.LoadCommandTemplate(missing);
  templates.LoadStatusWordTemplate(directory);
  EXPECT_EQ(events, (std::vector<std::string>{
                        Event("before", true, missing, 0), Event("after", true, missing, 0),
                        Event("before", false, directory, 0), Event("after", false, directory, 0)}));
  EXPECT_EQ(templates.Commands.Count(), 0u);
  EXPECT_EQ(StatusWordRows(templates), Table{kNotDefined});
}

TEST_F(TemplateLoad, EachLoadStartsFromAnEmptyTableAndLeavesTheOtherAlone) {
  templates.LoadCommandTemplate(WriteFile(folder, "a.cct", "+\t00\tA4\tSELECT\n"));
  templates.LoadStatusWordTemplate(WriteFile(folder, "a.swt", "+\t90\t00\t0\tOK\n"));
  templates.AuxList.insert("left over");
  templates.LoadCommandTemplate(WriteFile(folder, "b.cct", "+\t00\tB0\tREAD\n"));
  EXPECT_EQ(CommandRows(templates), (Table{{"READ", "00", "B0"}}));
  EXPECT_EQ(StatusWordRows(templates), (Table{kNotDefined, {"9000", "90", "00", "0", "OK"}}));
  EXPECT_TRUE(templates.AuxList.empty());
}

TEST_F(TemplateLoad, ClearTemplatesEmptiesBothTablesWithoutCatchAllOrNotification) {
  templates.LoadCommandTemplate(WriteFile(folder, "a.cct", "+\t00\tA4\tSELECT\n"));
  templates.LoadStatusWordTemplate(WriteFile(folder, "a.swt", "+\t90\t00\t0\tOK\n"));
  events.clear();
  templates.ClearTemplates();
  EXPECT_EQ(templates.Commands.Count(), 0u);
  EXPECT_EQ(templates.StatusWords.Count(), 0u);
  EXPECT_TRUE(events.empty());
}

TEST_F(TemplateLoad, FailingAfterLoadHandlerStillSortsAndTheFailureReachesTheCaller) {
  templates.SetOnAfterLoad(
      [](void*, std::uint32_t, bool, const std::string&) { throw ETessalyError("handler"); });
  EXPECT_THROW(
      templates.LoadCommandTemplate(WriteFile(folder, "a.cct", "+\t01\t01\tzeta\n+\t02\t02\talpha\n")),
      ETessalyError);
  EXPECT_EQ(CommandRows(templates), (Table{{"alpha", "02", "02"}, {"zeta", "01", "01"}}));

  EXPECT_THROW(
      templates.LoadStatusWordTemplate(WriteFile(folder, "a.swt", "+\t90\t00\t0\tOK\n+\t61\txx\t0\tMore\n")),
      ETessalyError);
  EXPECT_EQ(StatusWordRows(templates),
            (Table{kNotDefined, {"61**", "61", "**", "0", "More"}, {"9000", "90", "00", "0", "OK"}}));
}

TEST_F(TemplateLoad, FailingBeforeLoadHandlerStillAddsTheCatchAll) {
  templates.LoadCommandTemplate(WriteFile(folder, "a.cct", "+\t00\tA4\tSELECT\n"));
  templates.SetOnBeforeLoad(
      [](void*, std::uint32_t, bool, const std::string&) { throw std::runtime_error("any"); });
  EXPECT_THROW(templates.LoadStatusWordTemplate(WriteFile(folder, "a.swt", "+\t90\t00\t0\tOK\n")),
               std::runtime_error);
  EXPECT_EQ(StatusWordRows(templates), Table{kNotDefined});
  EXPECT_THROW(templates.LoadCommandTemplate(WriteFile(folder, "b.cct", "+\t00\tB0\tREAD\n")),
               std::runtime_error);
  EXPECT_EQ(templates.Commands.Count(), 0u);
}

TEST_F(TemplateLoad, HandlerMayReloadTheOtherTable) {
  const std::string statusWords = WriteFile(folder, "a.swt", "+\t90\t00\t0\tOK\n");
  templates.SetOnAfterLoad([&](void*, std::uint32_t, bool isCommandTable, const std::string&) {
    if (isCommandTable) templates.LoadStatusWordTemplate(statusWords);
  });
  templates.LoadCommandTemplate(WriteFile(folder, "a.cct", "+\t00\tA4\tSELECT\n"));
  EXPECT_EQ(CommandRows(templates), (Table{{"SELECT", "00", "A4"}}));
  EXPECT_EQ(StatusWordRows(templates), (Table{kNotDefined, {"9000", "90", "00", "0", "OK"}}));
}

}  // namespace
}  // namespace tessaly::test
