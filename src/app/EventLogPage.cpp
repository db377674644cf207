#include "app/EventLogPage.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/ErrorBox.h"

namespace tessaly {
namespace {

constexpr int kRowHeight = 18;

}  // namespace

EventLogPage::EventLogPage(QWidget* parent, std::size_t capacity)
    : QWidget(parent),
      model_(new EventLogModel(this, capacity)),
      view_(new QTableView(this)),
      filterEdit_(new QLineEdit(this)),
      kindChoice_(new QComboBox(this)),
      countLabel_(new QLabel(this)) {
  view_->setModel(model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setWordWrap(false);
  view_->verticalHeader()->hide();
  // Fixed row heights and column widths: nothing has to measure 100,000 rows.
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->setColumnWidth(EventLogModel::NumberColumn, 50);
  view_->setColumnWidth(EventLogModel::TimeColumn, 100);
  view_->setColumnWidth(EventLogModel::SourceColumn, 110);
  view_->setColumnWidth(EventLogModel::EventColumn, 120);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  layout->addWidget(MakeToolBar());
  layout->addWidget(view_, 1);

  connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this, &EventLogPage::RememberWhetherAtEnd);
  connect(model_, &QAbstractItemModel::rowsInserted, this, &EventLogPage::FollowEnd);
  connect(model_, &EventLogModel::CountsChanged, this, &EventLogPage::ShowCounts);
  auto* copy = new QShortcut(QKeySequence::Copy, view_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(copy, &QShortcut::activated, this, &EventLogPage::CopySelectedRows);
  ShowCounts();
}

QWidget* EventLogPage::MakeToolBar() {
  auto* bar = new QWidget(this);
  auto* rows = new QVBoxLayout(bar);
  rows->setContentsMargins(0, 0, 0, 0);
  rows->setSpacing(4);

  filterEdit_->setPlaceholderText(QStringLiteral("Filter (any column)"));
  filterEdit_->setClearButtonEnabled(true);
  kindChoice_->addItem(QStringLiteral("All records"), static_cast<int>(LogKind::All));
  kindChoice_->addItem(QStringLiteral("Errors only"), static_cast<int>(LogKind::Errors));
  kindChoice_->addItem(QStringLiteral("Card events"), static_cast<int>(LogKind::CardEvents));
  kindChoice_->addItem(QStringLiteral("Exchanges"), static_cast<int>(LogKind::Exchanges));
  connect(filterEdit_, &QLineEdit::textChanged, this, &EventLogPage::ApplyFilter);
  connect(kindChoice_, &QComboBox::currentIndexChanged, this, &EventLogPage::ApplyFilter);
  auto* filterRow = new QHBoxLayout;
  filterRow->addWidget(filterEdit_, 1);
  filterRow->addWidget(kindChoice_);
  rows->addLayout(filterRow);

  auto* clear = new QPushButton(QStringLiteral("Clear"), bar);
  auto* copy = new QPushButton(QStringLiteral("Copy"), bar);
  auto* save = new QPushButton(QStringLiteral("Save..."), bar);
  copy->setToolTip(QStringLiteral("Copy the selected rows as text"));
  save->setToolTip(QStringLiteral("Save the shown records as CSV or JSON Lines"));
  connect(clear, &QPushButton::clicked, model_, &EventLogModel::Clear);
  connect(copy, &QPushButton::clicked, this, &EventLogPage::CopySelectedRows);
  connect(save, &QPushButton::clicked, this, &EventLogPage::AskAndSave);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(clear);
  buttonRow->addWidget(copy);
  buttonRow->addWidget(save);
  buttonRow->addWidget(countLabel_, 1);
  rows->addLayout(buttonRow);
  return bar;
}

void EventLogPage::ApplyFilter() {
  model_->SetFilter(filterEdit_->text(), static_cast<LogKind>(kindChoice_->currentData().toInt()));
  ShowCounts();
  view_->scrollToBottom();
}

void EventLogPage::ShowCounts() {
  QString text = QStringLiteral("%1 shown of %2").arg(model_->rowCount()).arg(model_->KeptCount());
  if (model_->DroppedCount() > 0) {
    text += QStringLiteral(", %1 older dropped").arg(model_->DroppedCount());
  }
  countLabel_->setText(text);
}

void EventLogPage::RememberWhetherAtEnd() {
  const QScrollBar* bar = view_->verticalScrollBar();
  wasAtEnd_ = bar->value() == bar->maximum();
}

void EventLogPage::FollowEnd() {
  if (wasAtEnd_) view_->scrollToBottom();
}

QString EventLogPage::SelectedRowsText() const {
  QModelIndexList rows = view_->selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  QString text;
  for (const QModelIndex& row : rows) {
    const LogRecord& record = model_->RecordAt(row.row());
    QStringList columns;
    for (int column = 0; column < EventLogModel::ColumnCount; ++column) {
      columns << model_->ColumnText(record, column);
    }
    text += columns.join(QLatin1Char('\t')) + QLatin1Char('\n');
  }
  return text;
}

void EventLogPage::CopySelectedRows() {
  const QString text = SelectedRowsText();
  if (!text.isEmpty()) QApplication::clipboard()->setText(text);
}

bool EventLogPage::SaveShownRecords(const QString& fileName, LogFileFormat format) {
  model_->Flush();
  try {
    SaveLogFile(fileName, format, [this](const std::function<void(const LogRecord&)>& write) {
      for (int row = 0; row < model_->rowCount(); ++row) write(model_->RecordAt(row));
    });
    return true;
  } catch (const ELogFileError& failure) {
    ShowErrorBox(failure.what());
    return false;
  }
}

void EventLogPage::AskAndSave() {
  const QString csv = QStringLiteral("CSV files (*.csv)");
  const QString json = QStringLiteral("JSON Lines files (*.jsonl)");
  QString chosenFilter;
  const QString fileName = QFileDialog::getSaveFileName(this, QStringLiteral("Save the event log"), QString(),
                                                        csv + QStringLiteral(";;") + json, &chosenFilter);
  if (fileName.isEmpty()) return;
  const LogFileFormat format = chosenFilter == json ? LogFileFormat::JsonLines : LogFileFormatOf(fileName);
  SaveShownRecords(fileName, format);
}

}  // namespace tessaly
