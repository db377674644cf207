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
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>
#include <vector>

#include "app/PageLayout.h"
#include "platform/ErrorBox.h"

namespace tessaly {
namespace {

constexpr int kRowHeight = 18;

}  // namespace

EventLogPage::EventLogPage(QWidget* parent, std::size_t capacity)
    : EventLogPage(*new EventLogModel(nullptr, capacity), parent) {
  model_->setParent(this);
}

EventLogPage::EventLogPage(EventLogModel& model, QWidget* parent)
    : QWidget(parent),
      model_(&model),
      view_(new QTableView(this)),
      filterEdit_(new QLineEdit(this)),
      kindChoice_(new QComboBox(this)),
      countLabel_(new QLabel(this)),
      recordText_(new QPlainTextEdit(this)) {
  view_->setModel(model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setWordWrap(false);
  view_->verticalHeader()->hide();
  // Fixed row heights and column widths: nothing has to measure 100,000 rows.
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultSectionSize(kRowHeight);
  // Number, time, source and event as wide as their usual texts, measured once from samples instead of from
  // 100,000 rows; the details take the rest of the width, so that the page needs no sideways scroll (longer
  // texts are cut short in the table and whole in the pane below it).
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  view_->setColumnWidth(EventLogModel::NumberColumn, ColumnWidthFor(QStringLiteral("00000")));
  view_->setColumnWidth(EventLogModel::SourceColumn, ColumnWidthFor(QStringLiteral("PC/SC interface")));
  view_->setColumnWidth(EventLogModel::EventColumn, ColumnWidthFor(QStringLiteral("Card detected")));
  FitTimeColumn();
  recordText_->setReadOnly(true);
  recordText_->setFixedHeight(4 * fontMetrics().lineSpacing());
  recordText_->setPlaceholderText(QStringLiteral("The record of the current row"));

  QVBoxLayout* layout = PageColumn(*this);
  layout->addWidget(MakeToolBar());
  layout->addWidget(view_, 1);
  layout->addWidget(recordText_);

  connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this, &EventLogPage::RememberWhetherAtEnd);
  connect(model_, &QAbstractItemModel::rowsInserted, this, &EventLogPage::FollowEnd);
  connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this, &EventLogPage::RememberWhetherAtEnd);
  connect(model_, &QAbstractItemModel::rowsRemoved, this, &EventLogPage::KeepRowsInPlace);
  connect(model_, &EventLogModel::CountsChanged, this, &EventLogPage::ShowCounts);
  connect(model_, &EventLogModel::DatesShownChanged, this, &EventLogPage::FitTimeColumn);
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          &EventLogPage::ShowCurrentRecord);
  connect(model_, &QAbstractItemModel::modelReset, this, &EventLogPage::ShowCurrentRecord);
  auto* copy = new QShortcut(QKeySequence::Copy, view_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(copy, &QShortcut::activated, this, &EventLogPage::CopySelectedRows);
  ShowCounts();
}

int EventLogPage::ColumnWidthFor(const QString& sample) const {
  constexpr int kCellPadding = 12;
  return view_->fontMetrics().horizontalAdvance(sample) + kCellPadding;
}

void EventLogPage::FitTimeColumn() {
  const QString sample =
      model_->DatesShown() ? QStringLiteral("0000-00-00 00:00:00.000") : QStringLiteral("00:00:00.000");
  view_->setColumnWidth(EventLogModel::TimeColumn, ColumnWidthFor(sample));
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
  save->setToolTip(QStringLiteral("Save the shown records as CSV, JSON or JSON Lines"));
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

void EventLogPage::ShowCurrentRecord() {
  const QModelIndex current = view_->selectionModel()->currentIndex();
  if (!current.isValid()) {
    recordText_->clear();
    return;
  }
  const LogRecord& record = model_->RecordAt(current.row());
  QStringList heading;
  for (int column = 0; column < EventLogModel::DetailsColumn; ++column) {
    heading << model_->ColumnText(record, column);
  }
  recordText_->setPlainText(heading.join(QStringLiteral("  ")) + QLatin1Char('\n') + record.Details);
}

void EventLogPage::KeepRowsInPlace(const QModelIndex&, int first, int last) {
  // The oldest rows went away above the ones the user is reading: the view moves up with them.
  QScrollBar* bar = view_->verticalScrollBar();
  if (!wasAtEnd_) bar->setValue(std::max(bar->value() - (last - first + 1), 0));
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
  const std::vector<std::pair<QString, LogFileFormat>> filters = {
      {QStringLiteral("CSV files (*.csv)"), LogFileFormat::Csv},
      {QStringLiteral("JSON files (*.json)"), LogFileFormat::Json},
      {QStringLiteral("JSON Lines files (*.jsonl)"), LogFileFormat::JsonLines}};
  QStringList filterTexts;
  for (const auto& filter : filters) filterTexts << filter.first;
  QString chosenFilter;
  const QString fileName =
      QFileDialog::getSaveFileName(this, QStringLiteral("Save the event log"), QString(),
                                   filterTexts.join(QStringLiteral(";;")), &chosenFilter);
  if (fileName.isEmpty()) return;
  LogFileFormat filterFormat = LogFileFormat::Csv;
  for (const auto& [text, format] : filters) {
    if (text == chosenFilter) filterFormat = format;
  }
  const LogFileChoice choice = ChooseLogFile(fileName, filterFormat);
  SaveShownRecords(choice.FileName, choice.Format);
}

}  // namespace tessaly
