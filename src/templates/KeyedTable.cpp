#include "templates/KeyedTable.h"

#include <algorithm>
#include <numeric>

#include "platform/TessalyError.h"

namespace tessaly {
namespace {

unsigned char FoldCase(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// Negative, zero or positive as left sorts before, with or after right, ignoring the case of ASCII letters.
int CompareTextIgnoringCase(std::string_view left, std::string_view right) {
  const std::size_t common = std::min(left.size(), right.size());
  for (std::size_t i = 0; i < common; ++i) {
    const int difference = FoldCase(left[i]) - FoldCase(right[i]);
    if (difference != 0) return difference;
  }
  return left.size() < right.size() ? -1 : (left.size() > right.size() ? 1 : 0);
}

int CompareValues(const TKeyedTable::TValue& left, const TKeyedTable::TValue& right) {
  if (const auto* text = std::get_if<std::string>(&left)) {
    return CompareTextIgnoringCase(*text, std::get<std::string>(right));
  }
  const std::int32_t a = std::get<std::int32_t>(left);
  const std::int32_t b = std::get<std::int32_t>(right);
  return a < b ? -1 : (a > b ? 1 : 0);
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

}  // namespace

TKeyedTable::TKeyedTable(std::vector<TColumn> columns)
    : columns_(std::move(columns)), indexes_(columns_.size()) {}

void TKeyedTable::Empty() {
  entries_.clear();
  current_ = 0;
  lastNumber_ = 0;
  DropIndexes();
}

bool TKeyedTable::Locate(std::string_view column, std::string_view text) {
  const TIndex& index = IndexOf(ColumnIndex(column));
  const auto found = index.find(text);
  if (found == index.end()) return false;
  current_ = found->second;
  return true;
}

std::string TKeyedTable::AsText(std::string_view column) const {
  const std::size_t position = ColumnIndex(column);
  return entries_.empty() ? std::string() : ValueText(entries_[current_][position]);
}

std::string TKeyedTable::TextAt(std::size_t entry, std::string_view column) const {
  const std::size_t position = ColumnIndex(column);
  if (entry >= entries_.size()) throw ETessalyError("Table entry " + std::to_string(entry) + " out of range");
  return ValueText(entries_[entry][position]);
}

void TKeyedTable::Append(std::initializer_list<std::pair<std::string_view, TValue>> values) {
  TEntry entry;
  entry.reserve(columns_.size());
  for (const TColumn& column : columns_) {
    if (column.Kind == TColumnKind::Text) {
      entry.emplace_back(std::string());
    } else {
      entry.emplace_back(std::int32_t{0});
    }
  }
  for (const auto& [name, value] : values) {
    const std::size_t position = ColumnIndex(name);
    const TColumnKind kind = columns_[position].Kind;
    const bool fits = kind == TColumnKind::Text
                          ? std::holds_alternative<std::string>(value)
                          : kind == TColumnKind::Integer && std::holds_alternative<std::int32_t>(value);
    if (!fits) throw ETessalyError("Field '" + std::string(name) + "' cannot take this value");
    entry[position] = value;
  }
  for (std::size_t position = 0; position < columns_.size(); ++position) {
    if (columns_[position].Kind == TColumnKind::RunningNumber) entry[position] = lastNumber_ + 1;
  }

  entries_.push_back(std::move(entry));
  ++lastNumber_;
  current_ = entries_.size() - 1;
  try {
    for (std::size_t position = 0; position < columns_.size(); ++position) {
      // An earlier entry with the same text stays the first one.
      if (indexes_[position])
        indexes_[position]->try_emplace(ValueText(entries_[current_][position]), current_);
    }
  } catch (...) {
    DropIndexes();  // an index that missed the new entry would make locates fail
    throw;
  }
}

void TKeyedTable::Sort(std::string_view columnList) {
  std::vector<std::size_t> keys;
  for (std::string_view name : SplitColumnList(columnList)) keys.push_back(ColumnIndex(name));

  std::vector<std::size_t> order(entries_.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t left, std::size_t right) {
    for (std::size_t key : keys) {
      const int comparison = CompareValues(entries_[left][key], entries_[right][key]);
      if (comparison != 0) return comparison < 0;
    }
    return false;
  });

  std::vector<TEntry> sorted;
  sorted.reserve(entries_.size());
  std::size_t newCurrent = 0;
  for (std::size_t position = 0; position < order.size(); ++position) {
    if (order[position] == current_) newCurrent = position;
    sorted.push_back(std::move(entries_[order[position]]));
  }
  entries_ = std::move(sorted);
  current_ = newCurrent;
  DropIndexes();
}

std::size_t TKeyedTable::ColumnIndex(std::string_view column) const {
  for (std::size_t position = 0; position < columns_.size(); ++position) {
    if (columns_[position].Name == column) return position;
  }
  throw ETessalyError("Field '" + std::string(column) + "' not found");
}

std::string TKeyedTable::ValueText(const TValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return std::to_string(std::get<std::int32_t>(value));
}

void TKeyedTable::DropIndexes() {
  std::fill(indexes_.begin(), indexes_.end(), std::nullopt);
}

TKeyedTable::TIndex& TKeyedTable::IndexOf(std::size_t column) {
  std::optional<TIndex>& index = indexes_[column];
  if (!index) {
    index.emplace();
    index->reserve(entries_.size());
    for (std::size_t position = 0; position < entries_.size(); ++position) {
      index->try_emplace(ValueText(entries_[position][column]), position);
    }
  }
  return *index;
}

}  // namespace tessaly
