#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TemplateFiles.h"
#include "platform/TessalyError.h"
#include "templates/KeyedTable.h"

namespace tessaly::test {
namespace {

using Kind = TKeyedTable::TColumnKind;
using Table = std::vector<std::vector<std::string>>;

TKeyedTable MakeTable() {
  TKeyedTable table(
      {{"Name", Kind::Text}, {"Cla", Kind::Text}, {"Size", Kind::Integer}, {"ID", Kind::RunningNumber}});
  table.Append({{"Name", std::string("b")}, {"Cla", std::string("A0")}, {"Size", 3}});
  table.Append({{"Name", std::string("C")}, {"Cla", std::string("00")}, {"Size", -2}});
  table.Append({{"Name", std::string("a")}, {"Cla", std::string("A0")}, {"Size", 10}});
  return table;
}

TEST(KeyedTable, EmptyTableReadsAsEmptyText) {
  TKeyedTable table({{"Name", Kind::Text}, {"Size", Kind::Integer}});
  EXPECT_EQ(table.AsText("Name"), "");
  EXPECT_EQ(table.AsText("Size"), "");
  EXPECT_FALSE(table.Locate("Name", ""));
}

TEST(KeyedTable, AppendedEntryBecomesCurrentAndGetsTheNextRunningNumber) {
  TKeyedTable table = MakeTable();
  EXPECT_EQ(table.AsText("Name"), "a");
  EXPECT_EQ(Rows(table, {"Name", "Cla", "Size", "ID"}),
            (Table{{"b", "A0", "3", "1"}, {"C", "00", "-2", "2"}, {"a", "A0", "10", "3"}}));
  table.Empty();
  table.Append({{"Name", std::string("x")}});
  EXPECT_EQ(Rows(table, {"Name", "Cla", "Size", "ID"}), (Table{{"x", "", "0", "1"}}));
}

TEST(KeyedTable, LocateFindsTheFirstExactMatchAndAFailureLeavesTheCurrentEntry) {
  TKeyedTable table = MakeTable();
  EXPECT_TRUE(table.Locate("Cla", "A0"));
  EXPECT_EQ(table.AsText("Name"), "b");
  EXPECT_FALSE(table.Locate("Name", "c"));
  EXPECT_FALSE(table.Locate("Name", "C "));
  EXPECT_EQ(table.AsText("Name"), "b");
  EXPECT_TRUE(table.Locate("Size", "-2"));
  EXPECT_EQ(table.AsText("Name"), "C");
  // An entry appended after the column was searched is found, and an earlier match still comes first.
  table.Append({{"Name", std::string("d")}, {"Cla", std::string("FF")}});
  table.Append({{"Name", std::string("e")}, {"Cla", std::string("A0")}});
  EXPECT_TRUE(table.Locate("Cla", "FF"));
  EXPECT_EQ(table.AsText("Name"), "d");
  EXPECT_TRUE(table.Locate("Cla", "A0"));
  EXPECT_EQ(table.AsText("Name"), "b");
}

TEST(KeyedTable, SortOrdersTextWithoutCaseAndIntegersByValueKeepingTheCurrentEntry) {
  TKeyedTable table = MakeTable();
  table.Locate("Name", "C");
  table.Sort("Name;ID");
  EXPECT_EQ(Rows(table, {"Name"}), (Table{{"a"}, {"b"}, {"C"}}));
  EXPECT_EQ(table.AsText("Name"), "C");
  table.Sort("Size");
  EXPECT_EQ(Rows(table, {"Size"}), (Table{{"-2"}, {"3"}, {"10"}}));
  // After a sort, the first match is the first in the new order.
  table.Sort("Cla;Name");
  EXPECT_TRUE(table.Locate("Cla", "A0"));
  EXPECT_EQ(table.AsText("Name"), "a");
}

TEST(KeyedTable, UnknownColumnsAndMismatchedValuesFailWithoutStoring) {
  TKeyedTable table = MakeTable();
  EXPECT_THROW(table.Locate("name", "a"), ETessalyError);
  EXPECT_THROW(table.AsText("Nope"), ETessalyError);
  EXPECT_THROW(table.Sort("Name;Nope"), ETessalyError);
  EXPECT_THROW(table.Append({{"Size", std::string("3")}}), ETessalyError);
  EXPECT_THROW(table.Append({{"Name", 3}}), ETessalyError);
  EXPECT_THROW(table.Append({{"ID", 7}}), ETessalyError);
  EXPECT_THROW(table.TextAt(3, "Name"), ETessalyError);
  EXPECT_EQ(table.Count(), 3u);
}

}  // namespace
}  // namespace tessaly::test
