#pragma once

#include <QWidget>
#include <vector>

#include "app/ExchangeHistory.h"

class QComboBox;
class QListView;

namespace tessaly {

// The Exchange page's history: the list of the session's entries, the form they go out in, and Copy, Save
// and Clear. A double click on an entry asks the page to do it again.
class ExchangeHistoryPane final : public QWidget {
  Q_OBJECT

 public:
  explicit ExchangeHistoryPane(QWidget* parent = nullptr);

  ExchangeHistory& Entries() { return *entries_; }
  QListView& View() { return *view_; }
  QComboBox& FormChoice() { return *form_; }

  // The selected entries (all when none is selected) in the form chosen, as Copy puts them.
  QString Text() const;
  // Writes every entry in the form chosen, with the platform's line ends; a name without a suffix gets the
  // form's (".apdu" for a script, ".txt" for a transcript). A failure is shown in an error box and leaves
  // an older file of that name as it was. Returns whether the file was written.
  bool Save(const QString& fileName);
  void Clear() { entries_->Clear(); }

 signals:
  void EntryActivated(int row);

 private:
  HistoryForm Form() const;
  std::vector<int> SelectedRows() const;
  void Copy();
  void AskAndSave();

  ExchangeHistory* const entries_;
  QListView* const view_;
  QComboBox* const form_;
};

}  // namespace tessaly
