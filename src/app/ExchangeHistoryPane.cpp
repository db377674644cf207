#include "app/ExchangeHistoryPane.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QSaveFile>
#include <QVBoxLayout>

#include "platform/ErrorBox.h"

namespace tessaly {

ExchangeHistoryPane::ExchangeHistoryPane(QWidget* parent)
    : QWidget(parent), entries_(new ExchangeHistory(this)), view_(new QListView), form_(new QComboBox) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  form_->addItem(QStringLiteral("as transcript"), static_cast<int>(HistoryForm::Transcript));
  form_->addItem(QStringLiteral("as script"), static_cast<int>(HistoryForm::Script));
  form_->setToolTip(
      QStringLiteral("Copy and Save give every command with its whole answer (scriptor's transcript), or the "
                     "commands alone as a script"));
  auto* heading = new QHBoxLayout;
  heading->addWidget(new QLabel(QStringLiteral("History")));
  heading->addStretch(1);
  heading->addWidget(form_);
  layout->addLayout(heading);

  view_->setModel(entries_);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setTextElideMode(Qt::ElideMiddle);
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view_->setUniformItemSizes(true);
  view_->setToolTip(QStringLiteral("The exchanges of this session; a double click sends a command again"));
  layout->addWidget(view_, 1);
  connect(view_, &QListView::doubleClicked, this,
          [this](const QModelIndex& index) { emit EntryActivated(index.row()); });
  connect(entries_, &QAbstractItemModel::rowsInserted, view_, &QListView::scrollToBottom);

  auto* copy = new QPushButton(QStringLiteral("Copy"));
  copy->setToolTip(QStringLiteral("Copy the selected entries (or all) in the form chosen"));
  auto* save = new QPushButton(QStringLiteral("Save..."));
  save->setToolTip(QStringLiteral("Save the history in the form chosen"));
  auto* clear = new QPushButton(QStringLiteral("Clear"));
  connect(copy, &QPushButton::clicked, this, &ExchangeHistoryPane::Copy);
  connect(save, &QPushButton::clicked, this, &ExchangeHistoryPane::AskAndSave);
  connect(clear, &QPushButton::clicked, this, &ExchangeHistoryPane::Clear);
  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(4);
  for (QPushButton* button : {copy, save, clear}) {
    // Narrower than the style's least push button, so that the answer beside keeps its room.
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(button->text()) + 16);
    buttons->addWidget(button);
  }
  layout->addLayout(buttons);
}

HistoryForm ExchangeHistoryPane::Form() const {
  return static_cast<HistoryForm>(form_->currentData().toInt());
}

std::vector<int> ExchangeHistoryPane::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : view_->selectionModel()->selectedRows()) rows.push_back(index.row());
  return rows;
}

QString ExchangeHistoryPane::Text() const {
  return QString::fromStdString(entries_->Text(Form(), SelectedRows()));
}

void ExchangeHistoryPane::Copy() {
  if (entries_->Count() > 0) QApplication::clipboard()->setText(Text());
}

bool ExchangeHistoryPane::Save(const QString& fileName) {
  QString name = fileName;
  if (QFileInfo(name).suffix().isEmpty()) name += Form() == HistoryForm::Script ? ".apdu" : ".txt";
  QSaveFile file(name);
  const std::string text = entries_->Text(Form());
  // Text mode writes the platform's line ends. A failed write is remembered by the file and reported by
  // commit; the old file then stays.
  if (file.open(QIODevice::WriteOnly | QIODevice::Text))
    file.write(text.data(), static_cast<qint64>(text.size()));
  if (!file.commit()) {
    ShowErrorBox("Cannot save the history to " + name.toStdString() + ": " +
                 file.errorString().toStdString());
    return false;
  }
  return true;
}

void ExchangeHistoryPane::AskAndSave() {
  const bool script = Form() == HistoryForm::Script;
  QFileDialog dialog(this, script ? QStringLiteral("Save the commands as a script")
                                  : QStringLiteral("Save the history as a transcript"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  // The dialog adds the suffix itself, so that it asks before replacing the file of the whole name.
  dialog.setDefaultSuffix(script ? QStringLiteral("apdu") : QStringLiteral("txt"));
  dialog.setNameFilters(
      {script ? QStringLiteral("APDU scripts (*.apdu)") : QStringLiteral("Transcripts (*.txt)"),
       QStringLiteral("All files (*)")});
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    Save(dialog.selectedFiles().front());
}

}  // namespace tessaly
