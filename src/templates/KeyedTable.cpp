#include "templates/KeyedTable.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "platform/TessalyError.h"

namespace tessaly {
namespace {

unsigned char FoldCase(unsigned char byte) {
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// Negative, zero or positive as left sorts before, with or after right, ignoring the case of ASCII letters.
// The first bytes up to `from` are known to compare equal.
int CompareTextIgnoringCase(std::string_view left, std::string_view right, std::size_t from = 0) {
  const std::size_t common = std::min(left.size(), right.size());
  for (std::size_t i = std::min(from, common); i < common; ++i) {
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

// Puts the values in the given order, through a scratch vector whose room the next call reuses.
template <typename T>
void Reorder(std::vector<T>& values, const std::vector<std::size_t>& order, std::vector<T>& scratch) {
  scratch.clear();
  scratch.reserve(order.size());
  for (std::size_t entry : order) scratch.push_back(std::move(values[entry]));
  values.swap(scratch);
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
  current_ = 0;
  lastNumber_ = 0;
  DropIndexes();
}

bool TKeyedTable::Locate(std::string_view column, std::string_view text) {
  const TIndex& index = IndexOf(ColumnIndex(column));
  const std::optional<std::size_t> found = index.FirstEntry.Find(text);
  if (!found) return false;
  current_ = *found;
  return true;
}

std::string TKeyedTable::AsText(std::string_view column) const {
  const std::size_t position = ColumnIndex(column);
  return count_ == 0 ? std::string() : ValueText(position, current_);
}

std::string TKeyedTable::TextAt(std::size_t entry, std::string_view column) const {
  const std::size_t position = ColumnIndex(column);
  if (entry >= count_) throw ETessalyError("Table entry " + std::to_string(entry) + " out of range");
  return ValueText(position, entry);
}

void TKeyedTable::Append(std::initializer_list<std::pair<std::string_view, TValue>> values) {
  // Everything is checked before anything is stored, so a failed append leaves the table as it was.
  std::array<const TValue*, kMaxColumns> given{};
  std::size_t next = 0;
  for (const auto& [name, value] : values) {
    // Values usually come in the columns' order, so the search starts after the last one found.
    const std::size_t position = ColumnIndex(name, next);
    next = position + 1 < columns_.size() ? position + 1 : 0;
    const TColumnKind kind = columns_[position].Kind;
    const bool fits = kind == TColumnKind::Text
                          ? std::holds_alternative<std::string_view>(value)
                          : kind == TColumnKind::Integer && std::holds_alternative<std::int32_t>(value);
    if (!fits) throw ETessalyError("Field '" + std::string(name) + "' cannot take this value");
    given[position] = &value;
  }

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
    throw;
  }
  ++lastNumber_;
  current_ = count_++;
  AddToIndexes(current_);
}

// An entry to sort. The first sort column comes along: an integer or the start of a text packed so that
// comparing prefixes orders as comparing values does as far as they differ, and a view of the text for
// when they do not. This spares most visits to the column store during the sort.
struct TKeyedTable::TSortItem {
  std::uint64_t Prefix[2];
  std::string_view Text;
  std::size_t Entry;

  int CompareFirstKey(const TSortItem& other) const {
    for (std::size_t part = 0; part < std::size(Prefix); ++part) {
      if (Prefix[part] != other.Prefix[part]) return Prefix[part] < other.Prefix[part] ? -1 : 1;
    }
    return CompareTextIgnoringCase(Text, other.Text, sizeof Prefix);
  }
};

void TKeyedTable::Sort(std::string_view columnList) {
  std::vector<std::size_t> keys;
  for (std::string_view name : SplitColumnList(columnList)) keys.push_back(ColumnIndex(name));

  std::vector<TSortItem> items;
  items.reserve(count_);
  for (std::size_t entry = 0; entry < count_; ++entry) {
    items.push_back(keys.empty() ? TSortItem{{0, 0}, {}, entry} : SortItem(keys.front(), entry));
  }
  // Entries that tie on every column keep their order: the position before the sort decides last.
  std::sort(items.begin(), items.end(), [&](const TSortItem& left, const TSortItem& right) {
    if (const int comparison = left.CompareFirstKey(right); comparison != 0) return comparison < 0;
    for (std::size_t key = 1; key < keys.size(); ++key) {
      const int comparison = Compare(keys[key], left.Entry, right.Entry);
      if (comparison != 0) return comparison < 0;
    }
    return left.Entry < right.Entry;
  });

  std::vector<std::size_t> order;
  order.reserve(count_);
  for (const TSortItem& item : items) order.push_back(item.Entry);
  DropIndexes();
  std::vector<std::string_view> textScratch;
  std::vector<std::int32_t> integerScratch;
  for (TColumnValues& column : values_) {
    if (!column.Texts.empty()) Reorder(column.Texts, order, textScratch);
    if (!column.Integers.empty()) Reorder(column.Integers, order, integerScratch);
  }
  if (count_ > 0)
    current_ = static_cast<std::size_t>(std::find(order.begin(), order.end(), current_) - order.begin());
}

TKeyedTable::TSortItem TKeyedTable::SortItem(std::size_t column, std::size_t entry) const {
  TSortItem item{{0, 0}, {}, entry};
  if (columns_[column].Kind == TColumnKind::Text) {
    // The first sixteen bytes, case folded, high byte first; a shorter text is padded with the lowest byte.
    item.Text = values_[column].Texts[entry];
    for (std::size_t i = 0; i < sizeof item.Prefix; ++i) {
      std::uint64_t& part = item.Prefix[i / sizeof(std::uint64_t)];
      part = (part << 8) | (i < item.Text.size() ? FoldCase(static_cast<unsigned char>(item.Text[i])) : 0u);
    }
  } else {
    item.Prefix[0] = static_cast<std::uint32_t>(values_[column].Integers[entry]) ^ 0x80000000u;
  }
  return item;
}

std::size_t TKeyedTable::ColumnIndex(std::string_view column, std::size_t firstTry) const {
  for (std::size_t tried = 0, position = firstTry; tried < columns_.size(); ++tried) {
    if (SameName(columns_[position].Name, column)) return position;
    if (++position == columns_.size()) position = 0;
  }
  throw ETessalyError("Field '" + std::string(column) + "' not found");
}

std::string TKeyedTable::ValueText(std::size_t column, std::size_t entry) const {
  if (columns_[column].Kind == TColumnKind::Text) return std::string(values_[column].Texts[entry]);
  return std::to_string(values_[column].Integers[entry]);
}

int TKeyedTable::Compare(std::size_t column, std::size_t left, std::size_t right) const {
  const TColumnValues& values = values_[column];
  if (columns_[column].Kind == TColumnKind::Text) {
    return CompareTextIgnoringCase(values.Texts[left], values.Texts[right]);
  }
  const std::int32_t a = values.Integers[left];
  const std::int32_t b = values.Integers[right];
  return a < b ? -1 : (a > b ? 1 : 0);
}

TKeyedTable::TIndex& TKeyedTable::IndexOf(std::size_t column) {
  TIndex& index = indexes_[column];
  if (index.Built) return index;
  try {
    index.FirstEntry.Reserve(count_);
    for (std::size_t entry = 0; entry < count_; ++entry) AddToIndex(index, column, entry);
  } catch (...) {
    index.FirstEntry.Clear();  // the next build starts afresh
    index.OwnTexts.clear();
    throw;
  }
  index.Built = true;
  return index;
}

void TKeyedTable::AddToIndex(TIndex& index, std::size_t column, std::size_t entry) {
  const std::string_view text = columns_[column].Kind == TColumnKind::Text
                                    ? values_[column].Texts[entry]
                                    : std::string_view(index.OwnTexts.emplace_back(ValueText(column, entry)));
  // An earlier entry with the same text stays the first one.
  index.FirstEntry.Add(text, entry);
}

void TKeyedTable::AddToIndexes(std::size_t entry) {
  try {
    for (std::size_t column = 0; column < columns_.size(); ++column) {
      if (indexes_[column].Built) AddToIndex(indexes_[column], column, entry);
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
