#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>

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
  const TKeyedTable copy(table);
  EXPECT_EQ(Rows(copy, {"Size", "Name"}), (Table{{"-2", "C"}, {"3", "b"}, {"10", "a"}}));
  // After a sort, the first match is the first in the new order.
  table.Sort("Cla;Name");
  EXPECT_TRUE(table.Locate("Cla", "A0"));
  EXPECT_EQ(table.AsText("Name"), "a");
}

TEST(KeyedTable, IntegersThatTieKeepTheirOrderOrAreOrderedByTheNextColumn) {
  TKeyedTable table({{"Name", Kind::Text}, {"Size", Kind::Integer}, {"ID", Kind::RunningNumber}});
  for (const auto& [name, size] : std::vector<std::pair<std::string, std::int32_t>>{
           {"d", 300}, {"c", INT32_MIN}, {"b", 300}, {"a", INT32_MAX}, {"e", -1}, {"f", 300}}) {
    table.Append({{"Name", name}, {"Size", size}});
  }
  table.Sort("Size");
  EXPECT_EQ(Rows(table, {"Name"}), (Table{{"c"}, {"e"}, {"d"}, {"b"}, {"f"}, {"a"}}));
  table.Sort("Size;Name");
  EXPECT_EQ(Rows(table, {"Name"}), (Table{{"c"}, {"e"}, {"b"}, {"d"}, {"f"}, {"a"}}));
}

TEST(KeyedTable, CopiesAndMovesLocateInTheirOwnEntries) {
  auto original = std::make_unique<TKeyedTable>(MakeTable());
  original->Locate("Name", "b");
  TKeyedTable copy(*original);
  TKeyedTable assigned({{"Other", Kind::Text}});
  assigned = *original;
  TKeyedTable moved(MakeTable());
  moved.Locate("Name", "b");
  TKeyedTable movedFrom = std::move(moved);
  TKeyedTable moveAssigned({{"Other", Kind::Text}});
  moveAssigned = std::move(movedFrom);
  original.reset();
  for (TKeyedTable* table : {&copy, &assigned, &moveAssigned}) {
    EXPECT_EQ(table->AsText("Name"), "b");
    table->Append({{"Name", std::string("d")}});
    EXPECT_TRUE(table->Locate("Name", "C"));
    EXPECT_EQ(table->AsText("Cla"), "00");
    EXPECT_TRUE(table->Locate("Name", "d"));
    EXPECT_EQ(table->AsText("ID"), "4");
  }
  EXPECT_EQ(moved.Count(), 0u);
  EXPECT_THROW(moved.AsText("Name"), ETessalyError);
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

  // Columns looked up once behave as their names do; a table moved from has none left to refer to.
  const TKeyedTable::TColumnRef name = table.Column("Name");
  const TKeyedTable::TColumnRef size = table.Column("Size");
  EXPECT_THROW(table.Column("Nope"), ETessalyError);
  EXPECT_THROW(table.Append({{size, std::string("3")}}), ETessalyError);
  table.Append({{name, std::string("d")}, {size, 4}});
  EXPECT_TRUE(table.Locate(name, "b"));
  EXPECT_EQ(table.AsText("Size"), "3");
  TKeyedTable taken = std::move(table);
  EXPECT_THROW(table.Locate(name, "b"), ETessalyError);
  EXPECT_THROW(table.Append({{name, std::string("e")}}), ETessalyError);
  EXPECT_TRUE(taken.Locate(name, "d"));
  EXPECT_EQ(taken.AsText("Size"), "4");
}

// Up to mostPieces pieces picked at random, joined.
std::string RandomText(std::mt19937& random, const std::vector<std::string>& pieces, int mostPieces) {
  std::string result;
  for (int count = std::uniform_int_distribution<int>(0, mostPieces)(random); count > 0; --count) {
    result += pieces[std::uniform_int_distribution<std::size_t>(0, pieces.size() - 1)(random)];
  }
  return result;
}

// The table as a plain list of rows, searched and sorted the obvious way.
struct ReferenceTable {
  struct Row {
    std::string text, other;
    int number;
  };
  std::vector<Row> rows;
  std::size_t current = 0;

  void Locate(const std::string& text) {
    const auto found =
        std::find_if(rows.begin(), rows.end(), [&](const Row& row) { return row.text == text; });
    if (found != rows.end()) current = static_cast<std::size_t>(found - rows.begin());
  }
  // By the text or the other column alone; entries that tie keep their order.
  void Sort(std::string Row::*column) {
    const int currentNumber = rows[current].number;
    std::vector<std::pair<std::string, std::size_t>> keys;  // lower-case text, position
    for (std::size_t row = 0; row < rows.size(); ++row) {
      std::string lower = rows[row].*column;
      for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
      keys.emplace_back(std::move(lower), row);
    }
    // Byte order with unsigned bytes, ties kept in their order.
    std::stable_sort(keys.begin(), keys.end(), [](const auto& left, const auto& right) {
      return std::lexicographical_compare(
          left.first.begin(), left.first.end(), right.first.begin(), right.first.end(),
          [](char x, char y) { return static_cast<unsigned char>(x) < static_cast<unsigned char>(y); });
    });
    std::vector<Row> sorted;
    for (const auto& key : keys) sorted.push_back(rows[key.second]);
    rows = std::move(sorted);
    current = static_cast<std::size_t>(
        std::find_if(rows.begin(), rows.end(), [&](const Row& row) { return row.number == currentNumber; }) -
        rows.begin());
  }
};

TEST(KeyedTable, BehavesAsAPlainListUnderRandomAppendsSortsAndLocates) {
  // Texts that share long prefixes, differ in case or only past sixteen bytes, and hold 8-bit bytes;
  // long ones fill the table's storage blocks quickly or need one of their own.
  const std::vector<std::string> pieces = {"",
                                           "a",
                                           "A",
                                           "b",
                                           "\xE9",
                                           "\xC1",
                                           "\xD0",
                                           "@[`{",
                                           "Z",
                                           "z",
                                           "0123456789abcdef",
                                           "0123456789ABCDEF",
                                           std::string(20'000, 'q'),
                                           std::string(70'000, 'Q')};
  std::mt19937 random(7);
  const auto text = [&] { return RandomText(random, pieces, 3); };

  // Sorts by the other column and appends in between leave the rows' order far from the append order, so
  // that entries tying in a later sort must keep their order in the table, not in the rows.
  TKeyedTable table({{"Text", Kind::Text}, {"Other", Kind::Text}, {"ID", Kind::RunningNumber}});
  ReferenceTable reference;
  for (int step = 0; step < 3000; ++step) {
    const int operation = std::uniform_int_distribution<int>(0, 99)(random);
    if (operation < 50) {
      const std::string appended = text();
      const std::string other = pieces[std::uniform_int_distribution<std::size_t>(0, 4)(random)];
      table.Append({{"Text", appended}, {"Other", other}});
      reference.rows.push_back({appended, other, static_cast<int>(reference.rows.size()) + 1});
      reference.current = reference.rows.size() - 1;
    } else if (operation < 98) {
      const std::string located = text();
      table.Locate("Text", located);
      reference.Locate(located);
    } else if (operation < 99) {
      // An emptied table reuses its storage and indexes: nothing of the old entries may show through.
      table.Empty();
      reference.rows.clear();
      reference.current = 0;
      table.Append({{"Text", "first after empty"}});
      reference.rows.push_back({"first after empty", "", 1});
    } else {
      const bool byText = std::uniform_int_distribution<int>(0, 1)(random) == 0;
      table.Sort(byText ? "Text" : "Other");
      reference.Sort(byText ? &ReferenceTable::Row::text : &ReferenceTable::Row::other);
    }
    ASSERT_EQ(table.AsText("ID"), std::to_string(reference.rows[reference.current].number))
        << "step " << step;
  }
  table.Sort("Other");
  reference.Sort(&ReferenceTable::Row::other);
  Table expected;
  for (const auto& row : reference.rows)
    expected.push_back({row.text, row.other, std::to_string(row.number)});
  EXPECT_EQ(Rows(table, {"Text", "Other", "ID"}), expected);
}

// Large tables are sorted by counting bytes rather than by comparing; their order must be the same.
TEST(KeyedTable, LargeTablesSortAsAPlainListDoes) {
  const std::vector<std::string> pieces = {"a",
                                           "A",
                                           "b",
                                           "\xE9",
                                           "\xC1",
                                           "@[`{",
                                           "Z",
                                           "z",
                                           "0",
                                           "9",
                                           "",
                                           std::string(40, 'm'),
                                           std::string(40, 'M')};
  std::mt19937 random(11);
  const auto text = [&] { return RandomText(random, pieces, 4); };
  TKeyedTable table({{"Text", Kind::Text}, {"Other", Kind::Text}, {"ID", Kind::RunningNumber}});
  ReferenceTable reference;
  for (int entry = 1; entry <= 4000; ++entry) {
    const std::string appended = text();
    const std::string other = text();
    table.Append({{"Text", appended}, {"Other", other}});
    reference.rows.push_back({appended, other, entry});
  }
  reference.current = reference.rows.size() - 1;
  for (const bool byText : {true, false, true}) {
    table.Sort(byText ? "Text" : "Other");
    reference.Sort(byText ? &ReferenceTable::Row::text : &ReferenceTable::Row::other);
    Table expected;
    for (const auto& row : reference.rows)
      expected.push_back({row.text, row.other, std::to_string(row.number)});
    ASSERT_EQ(Rows(table, {"Text", "Other", "ID"}), expected) << (byText ? "by text" : "by other");
    EXPECT_EQ(table.AsText("ID"), std::to_string(reference.rows[reference.current].number));
  }
}

}  // namespace
}  // namespace tessaly::test
