#include "app/EventLogModel.h"

#include <QTimer>
#include <algorithm>

#include "app/LogFile.h"

namespace tessaly {
namespace {

// Distinct sources and event names are few (readers and the connection); beyond this many the texts are
// kept per record instead of growing the table without end.
constexpr qsizetype kMaxSharedTexts = 1024;

QString OneLine(const QString& text) {
  if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) return text;
  return QString(text)
      .replace(QLatin1Char('\r'), QLatin1Char(' '))
      .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

}  // namespace

EventLogModel::EventLogModel(QObject* parent, std::size_t capacity)
    : QAbstractTableModel(parent), capacity_(std::max<std::size_t>(capacity, 1)) {}

int EventLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(shown_.size());
}

int EventLogModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

const LogRecord& EventLogModel::RecordAt(int row) const {
  return records_[shown_[static_cast<std::size_t>(row)] - firstSequence_];
}

QString EventLogModel::ColumnText(const LogRecord& record, int column) const {
  switch (column) {
    case NumberColumn:
      return QString::number(record.Number);
    case TimeColumn:
      return LogTimeText(record.TimeMs);
    case SourceColumn:
      return record.Source;
    case EventColumn:
      return record.EventName;
    case DetailsColumn:
      return record.Details;
    default:
      return {};
  }
}

QVariant EventLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const LogRecord& record = RecordAt(index.row());
  switch (role) {
    case Qt::DisplayRole:
      // One line per row, and the time without its offset: the whole texts are in the tool tips.
      if (index.column() == TimeColumn) {
        return datesShown_ ? LogDateAndTimeText(record.TimeMs) : LogTimeOfDayText(record.TimeMs);
      }
      if (index.column() == DetailsColumn) return OneLine(record.Details);
      return ColumnText(record, index.column());
    case Qt::ToolTipRole:
      return ColumnText(record, index.column());
    case Qt::TextAlignmentRole:
      return index.column() == NumberColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default:
      return {};
  }
}

QVariant EventLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case NumberColumn:
      return QStringLiteral("No.");
    case TimeColumn:
      return QStringLiteral("Time");
    case SourceColumn:
      return QStringLiteral("Source");
    case EventColumn:
      return QStringLiteral("Event");
    case DetailsColumn:
      return QStringLiteral("Details");
    default:
      return {};
  }
}

void EventLogModel::ShareTexts(LogRecord& record) {
  for (QString* text : {&record.Source, &record.EventName}) {
    if (text->isEmpty()) continue;
    const auto found = sharedTexts_.constFind(*text);
    if (found != sharedTexts_.cend()) {
      *text = found.value();
    } else if (sharedTexts_.size() < kMaxSharedTexts) {
      sharedTexts_.insert(*text, *text);
    }
  }
}

void EventLogModel::Append(LogRecord record) {
  ShareTexts(record);
  // Records that could never be kept are not held until the flush.
  if (pending_.size() == capacity_) {
    pending_.pop_front();
    ++dropped_;
  }
  pending_.push_back(std::move(record));
  if (!flushScheduled_) {
    flushScheduled_ = true;
    QTimer::singleShot(0, this, &EventLogModel::Flush);
  }
}

void EventLogModel::DropOldest(std::size_t count) {
  const std::uint64_t keptFrom = firstSequence_ + count;
  const auto firstKeptRow = std::lower_bound(shown_.begin(), shown_.end(), keptFrom);
  const auto removedRows = static_cast<int>(firstKeptRow - shown_.begin());
  if (removedRows > 0) beginRemoveRows({}, 0, removedRows - 1);
  shown_.erase(shown_.begin(), firstKeptRow);
  records_.erase(records_.begin(), records_.begin() + static_cast<std::ptrdiff_t>(count));
  firstSequence_ = keptFrom;
  if (removedRows > 0) endRemoveRows();
  dropped_ += count;
}

void EventLogModel::Flush() {
  flushScheduled_ = false;
  if (pending_.empty()) return;
  const std::size_t total = records_.size() + pending_.size();
  if (total > capacity_) DropOldest(std::min(total - capacity_, records_.size()));

  std::vector<std::uint64_t> newRows;
  const std::uint64_t nextSequence = firstSequence_ + records_.size();
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    if (Matches(pending_[i])) newRows.push_back(nextSequence + i);
  }
  const int firstRow = rowCount();
  if (!newRows.empty()) beginInsertRows({}, firstRow, firstRow + static_cast<int>(newRows.size()) - 1);
  std::move(pending_.begin(), pending_.end(), std::back_inserter(records_));
  pending_.clear();
  shown_.insert(shown_.end(), newRows.begin(), newRows.end());
  if (!newRows.empty()) endInsertRows();
  UpdateDatesShown();
  emit CountsChanged();
}

void EventLogModel::UpdateDatesShown() {
  const bool spansDays =
      !records_.empty() && LogDateText(records_.front().TimeMs) != LogDateText(records_.back().TimeMs);
  if (spansDays == datesShown_) return;
  datesShown_ = spansDays;
  if (rowCount() > 0) emit dataChanged(index(0, TimeColumn), index(rowCount() - 1, TimeColumn));
  emit DatesShownChanged();
}

void EventLogModel::ForEachKept(const std::function<void(const LogRecord&)>& visit) {
  Flush();
  for (const LogRecord& record : records_) visit(record);
}

void EventLogModel::Clear() {
  beginResetModel();
  firstSequence_ += records_.size();
  records_.clear();
  shown_.clear();
  pending_.clear();
  dropped_ = 0;
  endResetModel();
  UpdateDatesShown();
  emit CountsChanged();
}

bool EventLogModel::Matches(const LogRecord& record) const {
  if (!KindMatches(filterKind_, record.EventCode)) return false;
  if (filterText_.isEmpty()) return true;
  for (int column = 0; column < ColumnCount; ++column) {
    if (ColumnText(record, column).contains(filterText_, Qt::CaseInsensitive)) return true;
  }
  return false;
}

void EventLogModel::SetFilter(const QString& text, LogKind kind) {
  if (text == filterText_ && kind == filterKind_) return;
  filterText_ = text;
  filterKind_ = kind;
  Rebuild();
}

void EventLogModel::Rebuild() {
  beginResetModel();
  shown_.clear();
  for (std::size_t i = 0; i < records_.size(); ++i) {
    if (Matches(records_[i])) shown_.push_back(firstSequence_ + i);
  }
  endResetModel();
}

void EventLogModel::SaveKeptRecords(const QString& fileName) {
  SaveLogFile(fileName, LogFileFormatOf(fileName),
              [this](const std::function<void(const LogRecord&)>& write) { ForEachKept(write); });
}

}  // namespace tessaly
