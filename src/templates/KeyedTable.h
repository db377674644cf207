#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "templates/TextArena.h"
#include "templates/TextIndex.h"

namespace tessaly {

// An in-memory table of entries with named columns and a current entry. It offers what the template
// tables need: empty, locate, read the current entry, append and store, and sort.
class TKeyedTable {
 public:
  enum class TColumnKind {
    Text,
    Integer,        // a 32-bit integer
    RunningNumber,  // an integer the table fills itself: 1, 2, 3, ... in append order
  };
  struct TColumn {
    std::string Name;
    TColumnKind Kind;
  };
  // A value to store: the table keeps its own copy of a text.
  using TValue = std::variant<std::string_view, std::int32_t>;

  static constexpr std::size_t kMaxColumns = 16;
  static constexpr std::size_t kMaxEntries = 0xFFFF'FFFE;

  explicit TKeyedTable(std::vector<TColumn> columns);
  // A copy holds its own texts and builds its own indexes. A table moved from has no columns left.
  TKeyedTable(const TKeyedTable& other);
  TKeyedTable& operator=(const TKeyedTable& other);
  TKeyedTable(TKeyedTable&& other) noexcept;
  TKeyedTable& operator=(TKeyedTable&& other) noexcept;

  std::size_t Count() const { return count_; }

  // Removes every entry and restarts the running number; the columns stay, and so does the room the
  // entries took, for the next load.
  void Empty();

  // Makes the first entry whose column reads exactly (with case) as text the current one and returns
  // true; when there is none, returns false and leaves the current entry where it was.
  bool Locate(std::string_view column, std::string_view text) { return Locate(Column(column), text); }

  // The column of the current entry as text; an empty table reads as the empty text.
  std::string AsText(std::string_view column) const;

  // The column of the entry at a position in the table's order.
  std::string TextAt(std::size_t entry, std::string_view column) const;

  // Appends an entry with the given columns set (the others empty or 0) and stores it; the stored entry
  // becomes the current one. A running-number column cannot be set.
  void Append(std::initializer_list<std::pair<std::string_view, TValue>> values);

  // A column looked up by its name once, for the calls a load makes entry after entry. It is good for the
  // table that gave it and for copies of that table.
  struct TColumnRef {
    std::size_t Position;
  };
  TColumnRef Column(std::string_view name) const { return {ColumnIndex(name)}; }
  bool Locate(TColumnRef column, std::string_view text);
  // Tells the table that a locate of the text in the column comes soon, so that it can start fetching the
  // memory the locate reads. Changes nothing; a load calls it one entry ahead.
  void PrepareLocate(TColumnRef column, std::string_view text) const;
  void Append(std::initializer_list<std::pair<TColumnRef, TValue>> values);

  // Sorts by the columns named in a ";"-separated list ("Name;ID"), ascending: texts compare without
  // regard to case, integers by value; the first column decides, the next breaks ties, and entries that
  // tie on all of them keep their order. The current entry stays the same entry.
  void Sort(std::string_view columnList);

 private:
  // The values of one column, one per row; texts view the table's arena.
  struct TColumnValues {
    std::vector<std::string_view> Texts;
    std::vector<std::int32_t> Integers;
  };
  // The first entry for each text of one column. It views the column's texts, or for an integer column
  // the index's own texts. Built on the first locate in its column; an index no longer built keeps its
  // room for the next build.
  struct TIndex {
    bool Built = false;
    TTextIndex FirstEntry;
    std::deque<std::string> OwnTexts;
  };
  struct TSortItem;

  // The value given for each column, by position; null for a column left empty.
  using TGivenValues = std::array<const TValue*, kMaxColumns>;

  void Swap(TKeyedTable& other) noexcept;
  void Give(TGivenValues& given, std::size_t position, const TValue& value) const;
  void Store(const TGivenValues& given);
  std::size_t ColumnIndex(std::string_view column, std::size_t firstTry = 0) const;
  // The row that holds the entry at a position in the table's order.
  std::size_t RowAt(std::size_t position) const { return order_.empty() ? position : order_[position]; }
  std::string ValueText(std::size_t column, std::size_t row) const;
  int Compare(std::size_t column, std::size_t leftRow, std::size_t rightRow) const;
  void SortByFirstColumn(std::vector<TSortItem>& items, const std::vector<std::size_t>& keys) const;
  void FillSortPrefix(TSortItem& item, std::size_t column, std::size_t offset) const;
  TIndex& IndexOf(std::size_t column);
  void AddToIndex(TIndex& index, std::size_t column, std::size_t position);
  void AddToIndexes(std::size_t position);
  void DropIndexes();

  std::vector<TColumn> columns_;
  TTextArena texts_;
  std::vector<TColumnValues> values_;
  std::size_t count_ = 0;
  // Entries are stored in rows in append order; a sort orders the rows without moving them. Empty while
  // the table's order is the append order.
  std::vector<std::uint32_t> order_;
  std::size_t current_ = 0;  // the current entry's row
  std::int32_t lastNumber_ = 0;
  // Kept up to date by appends once built; a sort or empty unbuilds them.
  std::vector<TIndex> indexes_;
};

}  // namespace tessaly
