#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

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
  ~TKeyedTable();

  std::size_t Count() const;

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
  TColumnRef Column(std::string_view name) const;
  bool Locate(TColumnRef column, std::string_view text);
  void Append(std::initializer_list<std::pair<TColumnRef, TValue>> values);

  // Sorts by the columns named in a ";"-separated list ("Name;ID"), ascending: texts compare without
  // regard to ASCII letter case, integers by value; the first column decides, the next breaks ties, and
  // entries that tie on all of them keep their order. The current entry stays the same entry.
  void Sort(std::string_view columnList);

 private:
  struct Storage;  // columns, values, text arena, order and indexes

  // A table moved from reads as a table without columns, and takes new storage when it is written to.
  const Storage& Read() const;
  Storage& Write();

  std::unique_ptr<Storage> storage_;
};

}  // namespace tessaly
