#include "templates/KeyedTable.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <optional>
#include <utility>

#include "platform/TessalyError.h"

namespace tessaly {
namespace {

unsigned char FoldCase(unsigned char byte) {
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// Eight bytes as one number, the first byte highest, so that numbers order as the bytes do.
std::uint64_t BigEndianWord(const unsigned char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  return word;
}

// FoldCase on each of eight bytes at once: a byte from 'A' to 'Z' gets the lower-case bit 0x20.
std::uint64_t FoldCaseOfBytes(std::uint64_t word) {
  constexpr std::uint64_t kEachByte = 0x0101010101010101u;
  constexpr std::uint64_t kHighBits = 0x80 * kEachByte;
  // Below 0x80 a byte plus 0x80 - c carries into its high bit exactly when the byte is c or more.
  const std::uint64_t low = word & ~kHighBits;
  const std::uint64_t fromA = low + (0x80 - 'A') * kEachByte;
  const std::uint64_t pastZ = low + (0x80 - 'Z' - 1) * kEachByte;
  const std::uint64_t upper = fromA & ~pastZ & ~word & kHighBits;
  return word | (upper >> 2);
}

// Negative, zero or positive as left sorts before, with or after right, ignoring the case of ASCII letters.
int CompareTextIgnoringCase(std::string_view left, std::string_view right) {
  const std::size_t common = std::min(left.size(), right.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (left[i] == right[i]) continue;
    const int difference =
        FoldCase(static_cast<unsigned char>(left[i])) - FoldCase(static_cast<unsigned char>(right[i]));
    if (difference != 0) return difference;
  }
  return left.size() < right.size() ? -1 : (left.size() > right.size() ? 1 : 0);
}

// Column names are short: comparing them in line is cheaper than calling memcmp.
bool SameName(std::string_view left, std::string_view right) {
  if (left.size() != right.size()) return false;
  for (std::size_t i = 0; i < left.size(); ++i) {
    if (left[i] != right[i]) return false;
  }
  return true;
}

std::vector<std::string_view> SplitColumnList(std::string_view list) {
  std::vector<std::string_view> names;
  while (!list.empty()) {
    const std::size_t end = std::min(list.find(';'), list.size());
    if (end > 0) names.push_back(list.substr(0, end));
    list.remove_prefix(std::min(end + 1, list.size()));
  }
  return names;
}

// Orders items by their 64-bit Key; the caller orders items with equal keys. Large runs are sorted a byte
// at a time from the lowest (a radix sort: no comparisons to mispredict), skipping the bytes all keys
// share, so that keys which all begin alike cost one pass over them; small runs, where counting does not
// pay, are sorted by comparison.
template <typename Item>
void SortByKey(Item* items, std::size_t count, std::vector<Item>& scratch) {
  constexpr std::size_t kSmallest = 256;
  if (count < kSmallest) {
    std::sort(items, items + count, [](const Item& left, const Item& right) { return left.Key < right.Key; });
    return;
  }
  std::uint64_t varying = 0;
  for (std::size_t i = 1; i < count; ++i) varying |= items[i].Key ^ items[0].Key;
  if (varying == 0) return;
  scratch.resize(count);
  Item* from = items;
  Item* to = scratch.data();
  for (unsigned shift = 0; shift < 64; shift += 8) {
    if (((varying >> shift) & 0xFF) == 0) continue;
    std::array<std::size_t, 256> starts{};
    for (std::size_t i = 0; i < count; ++i) ++starts[(from[i].Key >> shift) & 0xFF];
    std::size_t start = 0;
    for (std::size_t& slot : starts) start += std::exchange(slot, start);
    for (std::size_t i = 0; i < count; ++i) to[starts[(from[i].Key >> shift) & 0xFF]++] = from[i];
    std::swap(from, to);
  }
  if (from != items) std::copy(from, from + count, items);
}

}  // namespace

TKeyedTable::TKeyedTable(std::vector<TColumn> columns)
    : columns_(std::move(columns)), values_(columns_.size()), indexes_(columns_.size()) {
  if (columns_.size() > kMaxColumns) throw ETessalyError("Too many fields");
}

TKeyedTable::TKeyedTable(const TKeyedTable& other)
    : columns_(other.columns_),
      values_(other.values_),
      count_(other.count_),
      order_(other.order_),
      current_(other.current_),
      lastNumber_(other.lastNumber_),
      indexes_(other.columns_.size()) {
  for (TColumnValues& column : values_) {
    for (std::string_view& text : column.Texts) text = texts_.Store(text);
  }
}

TKeyedTable& TKeyedTable::operator=(const TKeyedTable& other) {
  if (this != &other) {
    TKeyedTable copy(other);
    Swap(copy);
  }
  return *this;
}

TKeyedTable::TKeyedTable(TKeyedTable&& other) noexcept {
  Swap(other);
}

TKeyedTable& TKeyedTable::operator=(TKeyedTable&& other) noexcept {
  TKeyedTable taken(std::move(other));
  Swap(taken);
  return *this;
}

void TKeyedTable::Swap(TKeyedTable& other) noexcept {
  std::swap(columns_, other.columns_);
  std::swap(texts_, other.texts_);
  std::swap(values_, other.values_);
  std::swap(count_, other.count_);
  std::swap(order_, other.order_);
  std::swap(current_, other.current_);
  std::swap(lastNumber_, other.lastNumber_);
  std::swap(indexes_, other.indexes_);
}

void TKeyedTable::Empty() {
  for (TColumnValues& values : values_) {
    values.Texts.clear();
    values.Integers.clear();
  }
  texts_.Clear();
  count_ = 0;
  order_.clear();
  current_ = 0;
  lastNumber_ = 0;
  DropIndexes();
}

bool TKeyedTable::Locate(TColumnRef column, std::string_view text) {
  if (column.Position >= columns_.size()) throw ETessalyError("Field not found");
  const TIndex& index = IndexOf(column.Position);
  const std::optional<std::size_t> found = index.FirstEntry.Find(text);
  if (!found) return false;
  current_ = RowAt(*found);
  return true;
}

void TKeyedTable::PrepareLocate(TColumnRef column, std::string_view text) const {
  // Only an index already built has memory worth fetching; a locate builds the others.
  if (column.Position < indexes_.size() && indexes_[column.Position].Built) {
    indexes_[column.Position].FirstEntry.Prefetch(text);
  }
}

std::string TKeyedTable::AsText(std::string_view column) const {
  const std::size_t position = ColumnIndex(column);
  return count_ == 0 ? std::string() : ValueText(position, current_);
}

std::string TKeyedTable::TextAt(std::size_t entry, std::string_view column) const {
  const std::size_t position = ColumnIndex(column);
  if (entry >= count_) throw ETessalyError("Table entry " + std::to_string(entry) + " out of range");
  return ValueText(position, RowAt(entry));
}

void TKeyedTable::Append(std::initializer_list<std::pair<std::string_view, TValue>> values) {
  TGivenValues given{};
  std::size_t next = 0;
  for (const auto& [name, value] : values) {
    // Values usually come in the columns' order, so the search starts after the last one found.
    const std::size_t position = ColumnIndex(name, next);
    next = position + 1 < columns_.size() ? position + 1 : 0;
    Give(given, position, value);
  }
  Store(given);
}

void TKeyedTable::Append(std::initializer_list<std::pair<TColumnRef, TValue>> values) {
  TGivenValues given{};
  for (const auto& [column, value] : values) {
    if (column.Position >= columns_.size()) throw ETessalyError("Field not found");
    Give(given, column.Position, value);
  }
  Store(given);
}

// Everything is checked before anything is stored, so a failed append leaves the table as it was.
void TKeyedTable::Give(TGivenValues& given, std::size_t position, const TValue& value) const {
  const TColumnKind kind = columns_[position].Kind;
  const bool fits = kind == TColumnKind::Text
                        ? std::holds_alternative<std::string_view>(value)
                        : kind == TColumnKind::Integer && std::holds_alternative<std::int32_t>(value);
  if (!fits) throw ETessalyError("Field '" + columns_[position].Name + "' cannot take this value");
  given[position] = &value;
}

void TKeyedTable::Store(const TGivenValues& given) {
  if (count_ >= kMaxEntries) throw ETessalyError("Too many entries");
  // A sorted table's order takes the new row last; it is given back with the columns' values on failure.
  if (!order_.empty()) order_.push_back(static_cast<std::uint32_t>(count_));
  try {
    for (std::size_t position = 0; position < columns_.size(); ++position) {
      TColumnValues& column = values_[position];
      switch (columns_[position].Kind) {
        case TColumnKind::Text:
          column.Texts.push_back(texts_.Store(given[position] ? std::get<std::string_view>(*given[position])
                                                              : std::string_view()));
          break;
        case TColumnKind::Integer:
          column.Integers.push_back(given[position] ? std::get<std::int32_t>(*given[position]) : 0);
          break;
        case TColumnKind::RunningNumber:
          column.Integers.push_back(lastNumber_ + 1);
          break;
      }
    }
  } catch (...) {
    // Columns that took the value give it back, so that all of them keep one value per entry.
    for (TColumnValues& column : values_) {
      if (column.Texts.size() > count_) column.Texts.pop_back();
      if (column.Integers.size() > count_) column.Integers.pop_back();
    }
    if (order_.size() > count_) order_.pop_back();
    throw;
  }
  ++lastNumber_;
  current_ = count_++;
  AddToIndexes(count_ - 1);
}

// An entry to sort with the part of its first sort column that decides at the current depth, as one
// number: an integer, or seven bytes of the text from the depth's offset on, case folded, high byte first,
// padded with the lowest byte, followed by a byte that counts how many bytes are left (up to eight). A
// shorter text thus sorts before a longer one that begins with it, and sorting needs no visit to the
// column store and one comparison of numbers per pair.
struct TKeyedTable::TSortItem {
  static constexpr std::size_t kPrefixBytes = 7;

  std::uint64_t Key;
  std::uint32_t Row;
  std::uint32_t Position;  // before the sort

  bool TiesWith(const TSortItem& other) const { return Key == other.Key; }
  // A text with more left than the prefix holds goes on to the next depth.
  bool GoesOn() const { return (Key & 0xFF) > kPrefixBytes; }
};

void TKeyedTable::Sort(std::string_view columnList) {
  std::vector<std::size_t> keys;
  for (std::string_view name : SplitColumnList(columnList)) keys.push_back(ColumnIndex(name));

  std::vector<TSortItem> items(count_);
  for (std::size_t position = 0; position < count_; ++position) {
    items[position].Row = static_cast<std::uint32_t>(RowAt(position));
    items[position].Position = static_cast<std::uint32_t>(position);
  }
  if (!keys.empty()) SortByFirstColumn(items, keys);

  // Only the order changes: the rows stay where they are, and so does the current one. A table that was
  // in append order already needs no order of its own.
  std::vector<std::uint32_t> order;
  const bool inAppendOrder = std::all_of(items.begin(), items.end(), [&](const TSortItem& item) {
    return item.Row == static_cast<std::size_t>(&item - items.data());
  });
  if (!inAppendOrder) {
    order.reserve(count_);
    for (const TSortItem& item : items) order.push_back(item.Row);
  }
  DropIndexes();
  order_.swap(order);
}

// Sorts seven bytes at a time: the items are sorted by their prefixes, and each run of items that tie and
// go on is sorted again by the next seven bytes. Texts sharing a long beginning thus cost one pass per
// seven shared bytes instead of long comparisons, and a work list instead of recursion keeps any
// text length off the stack. Items equal in the first column are ordered by the other columns, then by
// their position before the sort, which keeps ties in their order.
void TKeyedTable::SortByFirstColumn(std::vector<TSortItem>& items,
                                    const std::vector<std::size_t>& keys) const {
  struct TRun {
    std::size_t Begin, End, Offset;
  };
  std::vector<TRun> work{{0, items.size(), 0}};
  std::vector<TSortItem> scratch;
  while (!work.empty()) {
    const TRun run = work.back();
    work.pop_back();
    const auto begin = items.begin() + static_cast<std::ptrdiff_t>(run.Begin);
    const auto end = items.begin() + static_cast<std::ptrdiff_t>(run.End);
    for (auto item = begin; item != end; ++item) FillSortPrefix(*item, keys.front(), run.Offset);
    SortByKey(items.data() + run.Begin, run.End - run.Begin, scratch);
    for (auto tieBegin = begin; tieBegin != end;) {
      const auto tieEnd =
          std::find_if(tieBegin + 1, end, [&](const TSortItem& item) { return !item.TiesWith(*tieBegin); });
      if (tieEnd - tieBegin > 1) {
        if (tieBegin->GoesOn()) {
          work.push_back({static_cast<std::size_t>(tieBegin - items.begin()),
                          static_cast<std::size_t>(tieEnd - items.begin()),
                          run.Offset + TSortItem::kPrefixBytes});
        } else {
          std::sort(tieBegin, tieEnd, [&](const TSortItem& left, const TSortItem& right) {
            for (std::size_t key = 1; key < keys.size(); ++key) {
              const int comparison = Compare(keys[key], left.Row, right.Row);
              if (comparison != 0) return comparison < 0;
            }
            return left.Position < right.Position;
          });
        }
      }
      tieBegin = tieEnd;
    }
  }
}

void TKeyedTable::FillSortPrefix(TSortItem& item, std::size_t column, std::size_t offset) const {
  if (columns_[column].Kind != TColumnKind::Text) {
    // Above a byte count of 0, so that an integer never goes on.
    const std::uint32_t ordered =
        static_cast<std::uint32_t>(values_[column].Integers[item.Row]) ^ 0x80000000u;
    item.Key = std::uint64_t{ordered} << 8;
    return;
  }
  const std::string_view text = values_[column].Texts[item.Row];
  const std::size_t left = text.size() > offset ? text.size() - offset : 0;
  // Texts with a whole word left are read in place; shorter rests are padded first.
  unsigned char padded[sizeof(std::uint64_t)] = {};
  const unsigned char* bytes = padded;
  if (left >= sizeof padded) {
    bytes = reinterpret_cast<const unsigned char*>(text.data() + offset);
  } else if (left > 0) {
    std::memcpy(padded, text.data() + offset, left);
  }
  const std::uint64_t prefix = FoldCaseOfBytes(BigEndianWord(bytes)) & ~std::uint64_t{0xFF};
  item.Key = prefix | std::min(left, TSortItem::kPrefixBytes + 1);
}

std::size_t TKeyedTable::ColumnIndex(std::string_view column, std::size_t firstTry) const {
  for (std::size_t tried = 0, position = firstTry; tried < columns_.size(); ++tried) {
    if (SameName(columns_[position].Name, column)) return position;
    if (++position == columns_.size()) position = 0;
  }
  throw ETessalyError("Field '" + std::string(column) + "' not found");
}

std::string TKeyedTable::ValueText(std::size_t column, std::size_t row) const {
  if (columns_[column].Kind == TColumnKind::Text) return std::string(values_[column].Texts[row]);
  return std::to_string(values_[column].Integers[row]);
}

int TKeyedTable::Compare(std::size_t column, std::size_t leftRow, std::size_t rightRow) const {
  const TColumnValues& values = values_[column];
  if (columns_[column].Kind == TColumnKind::Text) {
    return CompareTextIgnoringCase(values.Texts[leftRow], values.Texts[rightRow]);
  }
  const std::int32_t a = values.Integers[leftRow];
  const std::int32_t b = values.Integers[rightRow];
  return a < b ? -1 : (a > b ? 1 : 0);
}

TKeyedTable::TIndex& TKeyedTable::IndexOf(std::size_t column) {
  TIndex& index = indexes_[column];
  if (index.Built) return index;
  try {
    index.FirstEntry.Reserve(count_);
    for (std::size_t position = 0; position < count_; ++position) AddToIndex(index, column, position);
  } catch (...) {
    index.FirstEntry.Clear();  // the next build starts afresh
    index.OwnTexts.clear();
    throw;
  }
  index.Built = true;
  return index;
}

void TKeyedTable::AddToIndex(TIndex& index, std::size_t column, std::size_t position) {
  const std::size_t row = RowAt(position);
  const std::string_view text = columns_[column].Kind == TColumnKind::Text
                                    ? values_[column].Texts[row]
                                    : std::string_view(index.OwnTexts.emplace_back(ValueText(column, row)));
  // An earlier entry with the same text stays the first one.
  index.FirstEntry.Add(text, position);
}

void TKeyedTable::AddToIndexes(std::size_t position) {
  try {
    for (std::size_t column = 0; column < columns_.size(); ++column) {
      if (indexes_[column].Built) AddToIndex(indexes_[column], column, position);
    }
  } catch (...) {
    DropIndexes();  // an index that missed the new entry would make locates fail
    throw;
  }
}

void TKeyedTable::DropIndexes() {
  for (TIndex& index : indexes_) {
    if (!index.Built) continue;
    index.Built = false;
    index.FirstEntry.Clear();
    index.OwnTexts.clear();
  }
}

}  // namespace tessaly
