#pragma once

#include <QWidget>

#include "app/EventLogModel.h"
#include "app/LogFile.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableView;

namespace tessaly {

// The Event Log page: the kernel's log records in a table that follows the newest record unless the user
// has scrolled away from the end, with a filter, a choice of record kinds, Clear, Copy and Save.
class EventLogPage final : public QWidget {
  Q_OBJECT

 public:
  // Shows the records of a model that outlives the page.
  explicit EventLogPage(EventLogModel& model, QWidget* parent = nullptr);
  // Shows a model of its own.
  explicit EventLogPage(QWidget* parent = nullptr, std::size_t capacity = EventLogModel::DefaultCapacity);

  EventLogModel& Model() { return *model_; }
  QTableView& View() { return *view_; }
  QLineEdit& FilterEdit() { return *filterEdit_; }
  QComboBox& KindChoice() { return *kindChoice_; }
  QLabel& CountLabel() { return *countLabel_; }
  // The whole record of the current row, its details unabridged.
  QPlainTextEdit& RecordText() { return *recordText_; }

  // The selected rows, one line each, columns separated by tabs.
  QString SelectedRowsText() const;
  void CopySelectedRows();
  // Writes the shown records; a file that cannot be written is reported in an error box. Returns whether
  // the file was written.
  bool SaveShownRecords(const QString& fileName, LogFileFormat format);

 private:
  QWidget* MakeToolBar();
  int ColumnWidthFor(const QString& sample) const;
  // As wide as the time of day, or as date and time while the records lie on more than one day.
  void FitTimeColumn();
  void ApplyFilter();
  void AskAndSave();
  void ShowCounts();
  void RememberWhetherAtEnd();
  void FollowEnd();
  void KeepRowsInPlace(const QModelIndex& parent, int first, int last);
  void ShowCurrentRecord();

  EventLogModel* const model_;
  QTableView* const view_;
  QLineEdit* const filterEdit_;
  QComboBox* const kindChoice_;
  QLabel* const countLabel_;
  QPlainTextEdit* const recordText_;
  bool wasAtEnd_ = true;
};

}  // namespace tessaly
