#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "app/LogRecord.h"

namespace tessaly {

// The kept log records and the rows of those that pass the filter. Records handed to Append are taken in
// at the next turn of the event loop, all at once, so that a burst from the kernel costs the view one
// insertion; Flush takes them in at once. Only the newest Capacity records are kept.
class EventLogModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { NumberColumn, TimeColumn, SourceColumn, EventColumn, DetailsColumn, ColumnCount };
  static constexpr std::size_t DefaultCapacity = 100'000;

  explicit EventLogModel(QObject* parent = nullptr, std::size_t capacity = DefaultCapacity);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

  void Append(LogRecord record);
  void Flush();
  // Forgets every record, the dropped count included.
  void Clear();

  // Case-insensitive text looked for in every column; an empty text matches every record.
  void SetFilter(const QString& text, LogKind kind);

  // Every kept record, oldest first, whether the filter shows it or not; takes pending records in first.
  void ForEachKept(const std::function<void(const LogRecord&)>& visit);
  // Writes every kept record, whatever a filter shows, in the format the file's suffix names (CSV for
  // another). Raises ELogFileError when the file cannot be written.
  void SaveKeptRecords(const QString& fileName);

  const LogRecord& RecordAt(int row) const;
  QString ColumnText(const LogRecord& record, int column) const;
  std::size_t KeptCount() const { return records_.size() + pending_.size(); }
  std::uint64_t DroppedCount() const { return dropped_; }
  // Whether the Time column shows dates: the kept records lie on more than one day.
  bool DatesShown() const { return datesShown_; }

 signals:
  // The kept or dropped count changed.
  void CountsChanged();
  void DatesShownChanged();

 private:
  bool Matches(const LogRecord& record) const;
  // The same text object for repeated sources and event names, so that a repeat costs no memory.
  void ShareTexts(LogRecord& record);
  void DropOldest(std::size_t count);
  void Rebuild();
  void UpdateDatesShown();

  std::size_t capacity_;
  std::deque<LogRecord> records_;
  // Sequence number of records_.front(); a record's sequence number never changes while it is kept.
  std::uint64_t firstSequence_ = 0;
  // Sequence numbers of the shown records, ascending.
  std::deque<std::uint64_t> shown_;
  std::deque<LogRecord> pending_;
  bool flushScheduled_ = false;
  std::uint64_t dropped_ = 0;
  bool datesShown_ = false;
  QString filterText_;
  LogKind filterKind_ = LogKind::All;
  QHash<QString, QString> sharedTexts_;
};

}  // namespace tessaly
