#include "templates/KeyedTable.h"

#include <algorithm>
#include <array>
#include <deque>
#include <optional>

#include "platform/TessalyError.h"
#include "platform/TextRules.h"
#include "templates/TextArena.h"
#include "templates/TextIndex.h"

namespace tessaly {
namespace {

using TColumnKind = TKeyedTable::TColumnKind;
using TValue = TKeyedTable::TValue;

std::vector<std::string_view> SplitColumnList(std::string_view list) {
  std::vector<std::string_view> names;
  while (!list.empty()) {
    const std::size_t end = std::min(list.find(';'), list.size());
    if (end > 0) names.push_back(list.substr(0, end));
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return names;
}

// The values of one column, one per row; texts view the table's arena.
struct ColumnValues {
  std::vector<std::string_view> Texts;
  std::vector<std::int32_t> Integers;
};

// The first entry for each text of one column. It views the column's texts, or for an integer column the
// index's own texts. Built on the first locate in its column; an index no longer built keeps its room for
// the next build.
struct ColumnIndex {
  bool Built = false;
  TextIndex FirstEntry;
  std::deque<std::string> OwnTexts;
};

// The value given for each column of an append, by position; null for a column left empty.
using ValuesByColumn = std::array<const TValue*, TKeyedTable::kMaxColumns>;

// Byte order with unsigned bytes, a text before the longer ones it begins. Written out rather than
// string_view::compare, whose library call costs more than the comparison of a short key itself.
int CompareBytes(std::string_view left, std::string_view right) {
  const std::size_t common = std::min(left.size(), right.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (left[i] != right[i])
      return static_cast<unsigned char>(left[i]) < static_cast<unsigned char>(right[i]) ? -1 : 1;
  }
  return left.size() < right.size() ? -1 : (left.size() > right.size() ? 1 : 0);
}

// One sort column's keys by row: texts case folded, or integers as they are.
struct SortKeys {
  bool IsText;
  std::vector<std::string_view> FoldedTexts;
  const std::vector<std::int32_t>* Integers;

  int Compare(std::size_t leftRow, std::size_t rightRow) const {
    if (IsText) return CompareBytes(FoldedTexts[leftRow], FoldedTexts[rightRow]);
    const std::int32_t left = (*Integers)[leftRow];
    const std::int32_t right = (*Integers)[rightRow];
    return left < right ? -1 : (left > right ? 1 : 0);
  }
};

}  // namespace

struct TKeyedTable::Storage {
  explicit Storage(std::vector<TColumn> columnList)
      : Columns(std::move(columnList)), Values(Columns.size()), Indexes(Columns.size()) {}

  Storage(const Storage& other)
      : Columns(other.Columns),
        Values(other.Values),
        Count(other.Count),
        Order(other.Order),
        Current(other.Current),
        LastNumber(other.LastNumber),
        Indexes(other.Columns.size()) {
    for (ColumnValues& column : Values) {
      for (std::string_view& text : column.Texts) text = Texts.Store(text);
    }
  }

  std::size_t PositionOf(std::string_view name) const;
  void CheckPosition(std::size_t position) const {
    if (position >= Columns.size()) throw ETessalyError("Field not found");
  }
  // The row that holds the entry at a position in the table's order.
  std::size_t RowAt(std::size_t position) const { return Order.empty() ? position : Order[position]; }
  std::string ValueText(std::size_t column, std::size_t row) const;
  void Empty();
  bool Locate(std::size_t column, std::string_view text);
  void TakeValue(ValuesByColumn& given, std::size_t position, const TValue& value) const;
  void Store(const ValuesByColumn& given);
  void Sort(std::string_view columnList);
  ColumnIndex& BuiltIndex(std::size_t column);
  void AddToIndex(ColumnIndex& index, std::size_t column, std::size_t position);
  void AddToIndexes(std::size_t position);
  void DropIndexes();

  std::vector<TColumn> Columns;
  TextArena Texts;
  std::vector<ColumnValues> Values;
  std::size_t Count = 0;
  // Entries are stored in rows in append order; a sort orders the rows without moving them. Empty while
  // the table's order is the append order.
  std::vector<std::uint32_t> Order;
  std::size_t Current = 0;  // the current entry's row
  std::int32_t LastNumber = 0;
  // Kept up to date by appends once built; a sort or empty unbuilds them.
  std::vector<ColumnIndex> Indexes;
};

std::size_t TKeyedTable::Storage::PositionOf(std::string_view name) const {
  const auto found = std::find_if(Columns.begin(), Columns.end(),
                                  [&](const TColumn& column) { return column.Name == name; });
  if (found == Columns.end()) throw ETessalyError("Field '" + std::string(name) + "' not found");
  return static_cast<std::size_t>(found - Columns.begin());
}

std::string TKeyedTable::Storage::ValueText(std::size_t column, std::size_t row) const {
  if (Columns[column].Kind == TColumnKind::Text) return std::string(Values[column].Texts[row]);
  return std::to_string(Values[column].Integers[row]);
}

void TKeyedTable::Storage::Empty() {
  for (ColumnValues& values : Values) {
    values.Texts.clear();
    values.Integers.clear();
  }
  Texts.Clear();
  Count = 0;
  Order.clear();
  Current = 0;
  LastNumber = 0;
  DropIndexes();
}

bool TKeyedTable::Storage::Locate(std::size_t column, std::string_view text) {
  CheckPosition(column);
  const std::optional<std::size_t> found = BuiltIndex(column).FirstEntry.Find(text);
  if (!found) return false;
  Current = RowAt(*found);
  return true;
}

// Everything is checked before anything is stored, so a failed append leaves the table as it was.
void TKeyedTable::Storage::TakeValue(ValuesByColumn& given, std::size_t position, const TValue& value) const {
  CheckPosition(position);
  const TColumnKind kind = Columns[position].Kind;
  const bool fits = kind == TColumnKind::Text
                        ? std::holds_alternative<std::string_view>(value)
                        : kind == TColumnKind::Integer && std::holds_alternative<std::int32_t>(value);
  if (!fits) throw ETessalyError("Field '" + Columns[position].Name + "' cannot take this value");
  given[position] = &value;
}

void TKeyedTable::Storage::Store(const ValuesByColumn& given) {
  if (Count >= kMaxEntries) throw ETessalyError("Too many entries");
  // A sorted table's order takes the new row last; it is given back with the columns' values on failure.
  if (!Order.empty()) Order.push_back(static_cast<std::uint32_t>(Count));
  try {
    for (std::size_t position = 0; position < Columns.size(); ++position) {
      ColumnValues& column = Values[position];
      switch (Columns[position].Kind) {
        case TColumnKind::Text:
          column.Texts.push_back(Texts.Store(given[position] ? std::get<std::string_view>(*given[position])
                                                             : std::string_view()));
          break;
        case TColumnKind::Integer:
          column.Integers.push_back(given[position] ? std::get<std::int32_t>(*given[position]) : 0);
          break;
        case TColumnKind::RunningNumber:
          column.Integers.push_back(LastNumber + 1);
          break;
      }
    }
  } catch (...) {
    // Columns that took the value give it back, so that all of them keep one value per entry.
    for (ColumnValues& column : Values) {
      if (column.Texts.size() > Count) column.Texts.pop_back();
      if (column.Integers.size() > Count) column.Integers.pop_back();
    }
    if (Order.size() > Count) Order.pop_back();
    throw;
  }
  ++LastNumber;
  Current = Count++;
  AddToIndexes(Count - 1);
}

// Sorts the entries by the keys of the sort columns; a stable sort keeps entries that tie in their order.
// Text keys are folded once, into an arena of their own; each item carries its first key, so that most
// comparisons read nothing else.
void TKeyedTable::Storage::Sort(std::string_view columnList) {
  std::vector<SortKeys> keys;
  TextArena foldedTexts;
  std::string folded;
  for (std::string_view name : SplitColumnList(columnList)) {
    const std::size_t column = PositionOf(name);
    SortKeys& columnKeys =
        keys.emplace_back(SortKeys{Columns[column].Kind == TColumnKind::Text, {}, &Values[column].Integers});
    if (!columnKeys.IsText) continue;
    columnKeys.FoldedTexts.reserve(Count);
    for (std::string_view text : Values[column].Texts) {
      folded.assign(text);
      std::transform(folded.begin(), folded.end(), folded.begin(), AsciiLower);
      columnKeys.FoldedTexts.push_back(foldedTexts.Store(folded));
    }
  }

  struct Item {
    std::string_view FirstText;
    std::int32_t FirstInteger;
    std::uint32_t Row;
  };
  std::vector<Item> items(Count);
  for (std::size_t position = 0; position < Count; ++position) {
    const std::size_t row = RowAt(position);
    Item& item = items[position];
    item.Row = static_cast<std::uint32_t>(row);
    if (keys.empty()) continue;
    if (keys.front().IsText) {
      item.FirstText = keys.front().FoldedTexts[row];
    } else {
      item.FirstInteger = (*keys.front().Integers)[row];
    }
  }
  const auto before = [&](const Item& left, const Item& right) {
    if (const int first = CompareBytes(left.FirstText, right.FirstText); first != 0) return first < 0;
    if (left.FirstInteger != right.FirstInteger) return left.FirstInteger < right.FirstInteger;
    for (std::size_t key = 1; key < keys.size(); ++key) {
      const int comparison = keys[key].Compare(left.Row, right.Row);
      if (comparison != 0) return comparison < 0;
    }
    return false;
  };
  // Template files are often written in order already; checking costs one comparison per entry.
  if (!std::is_sorted(items.begin(), items.end(), before))
    std::stable_sort(items.begin(), items.end(), before);

  // Only the order changes: the rows stay where they are, and so does the current one. A table that is in
  // append order needs no order of its own.
  std::vector<std::uint32_t> order;
  const bool inAppendOrder = std::all_of(items.begin(), items.end(), [&](const Item& item) {
    return item.Row == static_cast<std::size_t>(&item - items.data());
  });
  if (!inAppendOrder) {
    order.reserve(Count);
    for (const Item& item : items) order.push_back(item.Row);
  }
  DropIndexes();
  Order.swap(order);
}

ColumnIndex& TKeyedTable::Storage::BuiltIndex(std::size_t column) {
  ColumnIndex& index = Indexes[column];
  if (index.Built) return index;
  try {
    index.FirstEntry.Reserve(Count);
    for (std::size_t position = 0; position < Count; ++position) AddToIndex(index, column, position);
  } catch (...) {
    index.FirstEntry.Clear();  // the next build starts afresh
    index.OwnTexts.clear();
    throw;
  }
  index.Built = true;
  return index;
}

void TKeyedTable::Storage::AddToIndex(ColumnIndex& index, std::size_t column, std::size_t position) {
  const std::size_t row = RowAt(position);
  const std::string_view text = Columns[column].Kind == TColumnKind::Text
                                    ? Values[column].Texts[row]
                                    : std::string_view(index.OwnTexts.emplace_back(ValueText(column, row)));
  // An earlier entry with the same text stays the first one.
  index.FirstEntry.Add(text, position);
}

void TKeyedTable::Storage::AddToIndexes(std::size_t position) {
  try {
    for (std::size_t column = 0; column < Columns.size(); ++column) {
      if (Indexes[column].Built) AddToIndex(Indexes[column], column, position);
    }
  } catch (...) {
    DropIndexes();  // an index that missed the new entry would make locates fail
    throw;
  }
}

void TKeyedTable::Storage::DropIndexes() {
  for (ColumnIndex& index : Indexes) {
    if (!index.Built) continue;
    index.Built = false;
    index.FirstEntry.Clear();
    index.OwnTexts.clear();
  }
}

TKeyedTable::TKeyedTable(std::vector<TColumn> columns) {
  if (columns.size() > kMaxColumns) throw ETessalyError("Too many fields");
  storage_ = std::make_unique<Storage>(std::move(columns));
}

TKeyedTable::TKeyedTable(const TKeyedTable& other) : storage_(std::make_unique<Storage>(other.Read())) {}

TKeyedTable& TKeyedTable::operator=(const TKeyedTable& other) {
  if (this != &other) storage_ = std::make_unique<Storage>(other.Read());
  return *this;
}

TKeyedTable::TKeyedTable(TKeyedTable&& other) noexcept = default;
TKeyedTable& TKeyedTable::operator=(TKeyedTable&& other) noexcept = default;
TKeyedTable::~TKeyedTable() = default;

const TKeyedTable::Storage& TKeyedTable::Read() const {
  static const Storage kNoColumns{std::vector<TColumn>{}};
  return storage_ ? *storage_ : kNoColumns;
}

TKeyedTable::Storage& TKeyedTable::Write() {
  if (!storage_) storage_ = std::make_unique<Storage>(std::vector<TColumn>{});
  return *storage_;
}

std::size_t TKeyedTable::Count() const {
  return Read().Count;
}

void TKeyedTable::Empty() {
  Write().Empty();
}

std::string TKeyedTable::AsText(std::string_view column) const {
  const Storage& stored = Read();
  const std::size_t position = stored.PositionOf(column);
  return stored.Count == 0 ? std::string() : stored.ValueText(position, stored.Current);
}

std::string TKeyedTable::TextAt(std::size_t entry, std::string_view column) const {
  const Storage& stored = Read();
  const std::size_t position = stored.PositionOf(column);
  if (entry >= stored.Count) throw ETessalyError("Table entry " + std::to_string(entry) + " out of range");
  return stored.ValueText(position, stored.RowAt(entry));
}

TKeyedTable::TColumnRef TKeyedTable::Column(std::string_view name) const {
  return {Read().PositionOf(name)};
}

bool TKeyedTable::Locate(TColumnRef column, std::string_view text) {
  return Write().Locate(column.Position, text);
}

void TKeyedTable::Append(std::initializer_list<std::pair<std::string_view, TValue>> values) {
  Storage& stored = Write();
  ValuesByColumn given{};
  for (const auto& [name, value] : values) stored.TakeValue(given, stored.PositionOf(name), value);
  stored.Store(given);
}

void TKeyedTable::Append(std::initializer_list<std::pair<TColumnRef, TValue>> values) {
  Storage& stored = Write();
  ValuesByColumn given{};
  for (const auto& [column, value] : values) stored.TakeValue(given, column.Position, value);
  stored.Store(given);
}

void TKeyedTable::Sort(std::string_view columnList) {
  Write().Sort(columnList);
}

}  // namespace tessaly
