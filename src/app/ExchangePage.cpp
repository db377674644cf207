#include "app/ExchangePage.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "app/ExchangeAnswerView.h"
#include "device/ApduText.h"
#include "platform/ErrorBox.h"
#include "platform/RaiseEvent.h"
#include "platform/TextFile.h"
#include "readers/ReaderTable.h"
#include "templates/_TemplatesObject.h"

namespace tessaly {
namespace {

constexpr int kCommandRole = Qt::UserRole;   // history: the command's bytes; commands: the name
constexpr int kNoteRole = Qt::UserRole + 1;  // history: the answer's status word and meaning
constexpr int kClaRole = Qt::UserRole + 1;   // commands
constexpr int kInsRole = Qt::UserRole + 2;   // commands

const QString kRefusalStyle = QStringLiteral("color: #B00000;");
const QString kBadFieldStyle = QStringLiteral("QLineEdit { background: #FFE0E0; }");

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

QByteArray BytesOf(const std::vector<std::uint8_t>& bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size())};
}

std::vector<std::uint8_t> BytesOf(const QByteArray& bytes) {
  return {bytes.begin(), bytes.end()};
}

const TReaderHead& Entry(int reader) {
  return ReaderTable[static_cast<std::size_t>(reader)];
}

bool HoldsReadyCard(int reader) {
  const TReaderHead& entry = Entry(reader);
  return entry.ReaderInUse != 0 && entry.CardInfo.CardState >= csCardReady;
}

const TKeyedTable* StatusWordsOf(int reader) {
  const TTemplatesObject* templates = Entry(reader).Templates;
  return templates != nullptr ? &templates->StatusWords : nullptr;
}

QLabel* Caption(const QString& text, QWidget* buddy) {
  auto* label = new QLabel(text);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

ExchangePage::ExchangePage(QWidget* parent)
    : QWidget(parent),
      readerChoice_(new QComboBox),
      commandChoice_(new QComboBox),
      extendedLength_(new QCheckBox(QStringLiteral("Extended"))),
      send_(new QPushButton(QStringLiteral("Send"))),
      run_(new QPushButton(QStringLiteral("Run"))),
      message_(new QLabel),
      statusWord_(new QLabel),
      answer_(new ExchangeAnswerView),
      history_(new QListWidget),
      continueOnError_(new QCheckBox(QStringLiteral("Continue on error"))),
      scriptLabel_(new QLabel(QStringLiteral("No script loaded"))) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->setSpacing(4);
  layout->addWidget(MakeCommandGroup());
  auto* splitter = new QSplitter(Qt::Horizontal);
  splitter->addWidget(MakeAnswerGroup());
  splitter->addWidget(MakeHistoryGroup());
  splitter->setStretchFactor(0, 3);
  splitter->setStretchFactor(1, 2);
  splitter->setChildrenCollapsible(false);
  layout->addWidget(splitter, 1);

  connect(readerChoice_, &QComboBox::activated, this, [this] {
    FillCommands();
    if (readerChoice_->currentIndex() >= 0) ShowDefaultApdu(readerChoice_->currentData().toInt());
  });
  connect(commandChoice_, &QComboBox::activated, this,
          [this](int index) { ChooseCommand(commandChoice_->itemData(index, kCommandRole).toString()); });
  connect(send_, &QPushButton::clicked, this, [this] {
    if (ExchangeUnderWay()) {
      Cancel();
    } else {
      Send();
    }
  });
  for (QLineEdit* edit : fieldEdits_) connect(edit, &QLineEdit::returnPressed, this, &ExchangePage::Send);
  connect(history_, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { SendCommand(BytesOf(item->data(kCommandRole).toByteArray())); });
}

QLineEdit* ExchangePage::MakeByteEdit(ApduField field, int width) {
  auto* edit = new QLineEdit;
  edit->setFixedWidth(width);
  edit->setAccessibleName(QString::fromLatin1(ApduFieldName(field)));
  fieldEdits_.push_back(edit);
  return edit;
}

QLineEdit& ExchangePage::FieldEdit(ApduField field) {
  return *fieldEdits_[static_cast<std::size_t>(field)];
}

QWidget* ExchangePage::MakeCommandGroup() {
  auto* group = new QWidget;
  auto* grid = new QGridLayout(group);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setVerticalSpacing(4);
  readerChoice_->setPlaceholderText(QStringLiteral("No card is open"));
  commandChoice_->setPlaceholderText(QStringLiteral("Command by name"));
  grid->addWidget(Caption(QStringLiteral("&Reader"), readerChoice_), 0, 0);
  grid->addWidget(readerChoice_, 0, 1);
  grid->addWidget(Caption(QStringLiteral("Co&mmand"), commandChoice_), 1, 0);
  grid->addWidget(commandChoice_, 1, 1);

  // CLA heads the row of the single bytes; the others carry their captions beside them.
  constexpr int kByteWidth = 38;
  constexpr int kGapBeforeCaption = 8;
  auto* bytes = new QHBoxLayout;
  grid->addWidget(Caption(QStringLiteral("CLA"), MakeByteEdit(ApduField::Cla, kByteWidth)), 2, 0);
  bytes->addWidget(fieldEdits_.back());
  for (const auto& [field, caption] :
       {std::pair{ApduField::Ins, "INS"}, std::pair{ApduField::P1, "P1"}, std::pair{ApduField::P2, "P2"}}) {
    QLineEdit* edit = MakeByteEdit(field, kByteWidth);
    bytes->addSpacing(kGapBeforeCaption);
    bytes->addWidget(Caption(QString::fromLatin1(caption), edit));
    bytes->addWidget(edit);
  }
  auto* data = new QLineEdit;
  data->setAccessibleName(QStringLiteral("Data"));
  data->setPlaceholderText(QStringLiteral("hex bytes, blanks allowed"));
  fieldEdits_.push_back(data);
  QLineEdit* le = MakeByteEdit(ApduField::Le, kByteWidth + 8);
  le->setPlaceholderText(QStringLiteral("none"));
  bytes->addSpacing(kGapBeforeCaption);
  bytes->addWidget(Caption(QStringLiteral("Le"), le));
  bytes->addWidget(le);
  bytes->addSpacing(kGapBeforeCaption);
  extendedLength_->setToolTip(QStringLiteral("Extended length: up to 65535 data bytes and a two-byte Le"));
  bytes->addWidget(extendedLength_);
  bytes->addStretch(1);
  send_->setToolTip(QStringLiteral("Send the command to the card (Enter in a field does the same)"));
  bytes->addWidget(send_);
  grid->addLayout(bytes, 2, 1);

  grid->addWidget(Caption(QStringLiteral("&Data"), data), 3, 0);
  grid->addWidget(data, 3, 1);
  message_->setWordWrap(true);
  message_->setStyleSheet(kRefusalStyle);
  message_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  grid->addWidget(message_, 4, 0, 1, 2);
  return group;
}

QWidget* ExchangePage::MakeAnswerGroup() {
  auto* group = new QWidget;
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  statusWord_->setWordWrap(true);
  statusWord_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  statusWord_->setText(QStringLiteral("No answer yet"));
  layout->addWidget(statusWord_);
  layout->addWidget(answer_, 1);
  return group;
}

QWidget* ExchangePage::MakeHistoryGroup() {
  auto* group = new QWidget;
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  history_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  history_->setToolTip(QStringLiteral("The exchanges of this session; a double click sends a command again"));
  layout->addWidget(new QLabel(QStringLiteral("History")));
  layout->addWidget(history_, 1);

  auto* copy = new QPushButton(QStringLiteral("Copy"));
  auto* save = new QPushButton(QStringLiteral("Save..."));
  save->setToolTip(QStringLiteral("Save the commands of the history as a script"));
  auto* load = new QPushButton(QStringLiteral("Load..."));
  run_->setToolTip(QStringLiteral("Send the loaded script's commands one after the other"));
  connect(copy, &QPushButton::clicked, this, &ExchangePage::CopyHistory);
  connect(save, &QPushButton::clicked, this, &ExchangePage::AskAndSave);
  connect(load, &QPushButton::clicked, this, &ExchangePage::AskAndLoad);
  connect(run_, &QPushButton::clicked, this, [this] {
    if (scriptRunning_) {
      Cancel();
    } else {
      RunScript();
    }
  });
  auto* buttons = new QGridLayout;
  buttons->setSpacing(4);
  buttons->addWidget(copy, 0, 0);
  buttons->addWidget(save, 0, 1);
  buttons->addWidget(load, 1, 0);
  buttons->addWidget(run_, 1, 1);
  layout->addLayout(buttons);
  layout->addWidget(continueOnError_);
  scriptLabel_->setWordWrap(true);
  layout->addWidget(scriptLabel_);
  return group;
}

void ExchangePage::RefreshReaders() {
  const int chosen = readerChoice_->currentIndex() >= 0 ? readerChoice_->currentData().toInt() : -1;
  {
    const QSignalBlocker blocker(readerChoice_);
    readerChoice_->clear();
    for (int reader = 0; reader < static_cast<int>(kReaderCount); ++reader) {
      if (!HoldsReadyCard(reader)) continue;
      const TReaderHead& entry = Entry(reader);
      readerChoice_->addItem(Text(entry.ReaderName + " (" + entry.CardInfo.Preferences.CardTypeName + ")"),
                             reader);
    }
    const int index = readerChoice_->findData(chosen);
    readerChoice_->setCurrentIndex(index >= 0 || readerChoice_->count() == 0 ? index : 0);
  }
  FillCommands();
}

void ExchangePage::CardChanged(const std::string& readerName, const TCardInfo& card) {
  RefreshReaders();
  if (card.CardState < csCardReady || readerChoice_->currentIndex() < 0) return;
  const int reader = readerChoice_->currentData().toInt();
  if (Entry(reader).ReaderName != readerName) return;
  ShowDefaultApdu(reader);
  RunWaitingScript();
}

void ExchangePage::RunScriptWhenReady(std::vector<ApduScriptLine> script, const QString& name) {
  script_ = std::move(script);
  scriptLabel_->setText(QStringLiteral("%1: %2 commands").arg(name).arg(script_.size()));
  scriptWaitsForCard_ = true;
  RefreshReaders();
  RunWaitingScript();
}

void ExchangePage::RunWaitingScript() {
  if (!scriptWaitsForCard_ || readerChoice_->currentIndex() < 0) return;
  const int reader = readerChoice_->currentData().toInt();
  if (exchange_.CardOpen && !exchange_.CardOpen(reader)) return;
  scriptWaitsForCard_ = false;
  RunScript();
}

void ExchangePage::FillCommands() {
  const QString chosen = commandChoice_->currentData(kCommandRole).toString();
  const QSignalBlocker blocker(commandChoice_);
  commandChoice_->clear();
  const int reader = readerChoice_->currentIndex() >= 0 ? readerChoice_->currentData().toInt() : -1;
  const TTemplatesObject* templates = reader >= 0 ? Entry(reader).Templates : nullptr;
  if (templates == nullptr) return;
  const TKeyedTable& commands = templates->Commands;
  for (std::size_t entry = 0; entry < commands.Count(); ++entry) {
    const QString name = Text(commands.TextAt(entry, "Name"));
    const QString cla = Text(commands.TextAt(entry, "Cla"));
    const QString ins = Text(commands.TextAt(entry, "Ins"));
    commandChoice_->addItem(QStringLiteral("%1  (%2 %3)").arg(name, cla, ins));
    const int index = commandChoice_->count() - 1;
    commandChoice_->setItemData(index, name, kCommandRole);
    commandChoice_->setItemData(index, cla, kClaRole);
    commandChoice_->setItemData(index, ins, kInsRole);
  }
  commandChoice_->setCurrentIndex(commandChoice_->findData(chosen, kCommandRole));
}

bool ExchangePage::ChooseCommand(const QString& name) {
  const int index = commandChoice_->findData(name, kCommandRole);
  if (index < 0) return false;
  commandChoice_->setCurrentIndex(index);
  FieldEdit(ApduField::Cla).setText(commandChoice_->itemData(index, kClaRole).toString());
  FieldEdit(ApduField::Ins).setText(commandChoice_->itemData(index, kInsRole).toString());
  return true;
}

void ExchangePage::ShowDefaultApdu(int reader) {
  SetFields(FieldsOf(Entry(reader).CardInfo.Preferences.WindowPreferences.DefaultAPDU));
  commandChoice_->setCurrentIndex(-1);
  ClearRefusal();
}

void ExchangePage::SetFields(const ApduFieldTexts& fields) {
  FieldEdit(ApduField::Cla).setText(Text(fields.Cla));
  FieldEdit(ApduField::Ins).setText(Text(fields.Ins));
  FieldEdit(ApduField::P1).setText(Text(fields.P1));
  FieldEdit(ApduField::P2).setText(Text(fields.P2));
  FieldEdit(ApduField::Data).setText(Text(fields.Data));
  FieldEdit(ApduField::Le).setText(Text(fields.Le));
}

ApduFieldTexts ExchangePage::Fields() const {
  const auto text = [this](ApduField field) {
    return fieldEdits_[static_cast<std::size_t>(field)]->text().toStdString();
  };
  return {text(ApduField::Cla), text(ApduField::Ins),  text(ApduField::P1),
          text(ApduField::P2),  text(ApduField::Data), text(ApduField::Le)};
}

void ExchangePage::ShowRefusal(const QString& message, QLineEdit* field) {
  message_->setStyleSheet(kRefusalStyle);
  message_->setText(message);
  if (field == nullptr) return;
  field->setStyleSheet(kBadFieldStyle);
  field->setFocus();
  field->selectAll();
}

void ExchangePage::ClearRefusal() {
  message_->clear();
  for (QLineEdit* edit : fieldEdits_) edit->setStyleSheet(QString());
}

int ExchangePage::ChosenOpenReader() {
  RefreshReaders();
  if (readerChoice_->currentIndex() < 0) {
    ShowRefusal(QStringLiteral("No reader holds an open card: open one on the Monitor page"));
    return -1;
  }
  const int reader = readerChoice_->currentData().toInt();
  if (!exchange_.Transmit || (exchange_.CardOpen && !exchange_.CardOpen(reader))) {
    ShowRefusal(QStringLiteral("No card is open in %1").arg(Text(Entry(reader).ReaderName)));
    return -1;
  }
  return reader;
}

bool ExchangePage::Send() {
  ClearRefusal();
  std::vector<std::uint8_t> command;
  try {
    command = BuildCommand(Fields(), extendedLength_->isChecked());
  } catch (const EApduInputError& refusal) {
    ShowRefusal(Text(refusal.what()), &FieldEdit(refusal.Field()));
    return false;
  }
  return SendCommand(command);
}

bool ExchangePage::SendCommand(const std::vector<std::uint8_t>& command) {
  if (ExchangeUnderWay()) {
    ShowRefusal(QStringLiteral("A command is under way: wait for its answer, or cancel it"));
    return false;
  }
  return StartExchange(command);
}

bool ExchangePage::StartExchange(const std::vector<std::uint8_t>& command, ExchangeDone then) {
  ClearRefusal();
  const int reader = ChosenOpenReader();
  if (reader < 0) return false;
  try {
    exchange_.Transmit(reader, command,
                       [this, reader, command, then = std::move(then)](const ExchangeOutcome& outcome) {
                         ExchangeEnded(reader, command, outcome);
                         if (then) then(outcome);
                       });
  } catch (const std::exception& failure) {
    ShowRefusal(Text(failure.what()));
    return false;
  }
  underWay_ = reader;
  ShowUnderWay(true);
  return true;
}

void ExchangePage::ExchangeEnded(int reader, const std::vector<std::uint8_t>& command,
                                 const ExchangeOutcome& outcome) {
  underWay_ = -1;
  ShowUnderWay(false);
  if (outcome.Answered()) {
    ShowAnswer(outcome.Result, reader);
    AddToHistory(command, outcome.Result.Response, reader);
  } else {
    ShowRefusal(Text(outcome.Failure));
    statusWord_->setStyleSheet(QString());
    statusWord_->setText(QStringLiteral("No answer"));
  }
  Raise(onExchanged_, reader, command, outcome);
}

void ExchangePage::ShowUnderWay(bool underWay) {
  send_->setText(underWay ? QStringLiteral("Cancel") : QStringLiteral("Send"));
  send_->setToolTip(underWay
                        ? QStringLiteral("Give up waiting for the card's answer")
                        : QStringLiteral("Send the command to the card (Enter in a field does the same)"));
  if (underWay && !scriptRunning_) {
    message_->setStyleSheet(QString());
    message_->setText(QStringLiteral("Waiting for the card's answer..."));
  }
}

void ExchangePage::Cancel() {
  // A script run stops at the answer under way, or here when none is.
  stopRequested_ = scriptRunning_;
  if (ExchangeUnderWay()) {
    if (exchange_.Cancel) exchange_.Cancel(underWay_);
  } else if (scriptRunning_) {
    EndScript(QStringLiteral("Script stopped"), true);
  }
}

void ExchangePage::ShowAnswer(const ExchangeResult& result, int reader) {
  answer_->Show(result, StatusWordsOf(reader));
  const std::vector<std::uint8_t>& response = result.Response;
  const TStatusWordMeaning meaning = MeaningOf(response, StatusWordsOf(reader));
  statusWord_->setText(QStringLiteral("SW1 SW2 = %1: %2")
                           .arg(Text(HexBytes(StatusWordOf(response), true)), Text(meaning.Verbose)));
  statusWord_->setStyleSheet(
      QStringLiteral("font-weight: bold; color: %1;").arg(StatusWordColour(meaning.Colour).name()));
}

void ExchangePage::AddToHistory(const std::vector<std::uint8_t>& command,
                                const std::vector<std::uint8_t>& response, int reader) {
  const std::string statusWord = HexBytes(StatusWordOf(response), true);
  const std::string note = statusWord + " " + MeaningOf(response, StatusWordsOf(reader)).Verbose;
  auto* item = new QListWidgetItem(Text(HexBytes(command, true) + "  \u2192 " + statusWord), history_);
  item->setData(kCommandRole, BytesOf(command));
  item->setData(kNoteRole, Text(note));
  item->setToolTip(Text(note));
  history_->scrollToItem(item);
}

QString ExchangePage::HistoryText() const {
  QList<QListWidgetItem*> items = history_->selectedItems();
  if (items.isEmpty()) {
    for (int row = 0; row < history_->count(); ++row) items.append(history_->item(row));
  }
  std::sort(items.begin(), items.end(), [this](QListWidgetItem* left, QListWidgetItem* right) {
    return history_->row(left) < history_->row(right);
  });
  QStringList lines;
  for (const QListWidgetItem* item : items) {
    lines.append(Text(ApduScriptLineText(
        {BytesOf(item->data(kCommandRole).toByteArray()), item->data(kNoteRole).toString().toStdString()})));
  }
  return lines.join(QLatin1Char('\n'));
}

void ExchangePage::CopyHistory() {
  if (history_->count() > 0) QApplication::clipboard()->setText(HistoryText());
}

bool ExchangePage::SaveScript(const QString& fileName) {
  std::vector<ApduScriptEntry> entries;
  for (int row = 0; row < history_->count(); ++row) {
    const QListWidgetItem* item = history_->item(row);
    entries.push_back(
        {BytesOf(item->data(kCommandRole).toByteArray()), item->data(kNoteRole).toString().toStdString()});
  }
  QSaveFile file(fileName);
  const std::string text = WriteApduScript(entries);
  // A failed write is remembered by the file and reported by commit; the old file then stays.
  if (file.open(QIODevice::WriteOnly)) file.write(text.data(), static_cast<qint64>(text.size()));
  if (!file.commit()) {
    ShowErrorBox("Cannot save the script " + fileName.toStdString() + ": " +
                 file.errorString().toStdString());
    return false;
  }
  return true;
}

bool ExchangePage::LoadScript(const QString& fileName) {
  try {
    script_ = ParseApduScript(ReadTextFileLines(QFile::encodeName(fileName).toStdString()));
  } catch (const std::exception& failure) {
    ShowErrorBox("Cannot load the script " + fileName.toStdString() + ": " + failure.what());
    return false;
  }
  scriptLabel_->setText(
      QStringLiteral("%1: %2 commands").arg(QFileInfo(fileName).fileName()).arg(script_.size()));
  return true;
}

bool ExchangePage::RunScript() {
  if (script_.empty() || scriptRunning_) return false;
  if (ExchangeUnderWay()) {
    ShowRefusal(QStringLiteral("A command is under way: wait for its answer, or cancel it"));
    return false;
  }
  scriptRunning_ = true;
  stopRequested_ = false;
  scriptNext_ = 0;
  scriptAnswered_ = 0;
  run_->setText(QStringLiteral("Stop"));
  RunNextScriptLine();
  return true;
}

void ExchangePage::RunNextScriptLine() {
  if (scriptNext_ == script_.size()) {
    return EndScript(QStringLiteral("Script done: %1 commands sent").arg(scriptAnswered_), false);
  }
  const ApduScriptLine& line = script_[scriptNext_++];
  const int lineNumber = line.LineNumber;
  const bool started = StartExchange(line.Command, [this, lineNumber](const ExchangeOutcome& outcome) {
    ScriptLineAnswered(lineNumber, outcome);
  });
  if (!started)
    EndScript(QStringLiteral("Script stopped at line %1: %2").arg(lineNumber).arg(message_->text()), true);
}

void ExchangePage::ScriptLineAnswered(int lineNumber, const ExchangeOutcome& outcome) {
  const QString stoppedAt = QStringLiteral("Script stopped at line %1: %2").arg(lineNumber);
  if (!outcome.Answered()) return EndScript(stoppedAt.arg(Text(outcome.Failure)), true);
  ++scriptAnswered_;
  if (!AnswerLetsScriptGoOn(outcome.Result.Response) && !continueOnError_->isChecked()) {
    const QListWidgetItem* last = history_->item(history_->count() - 1);
    return EndScript(stoppedAt.arg(last->data(kNoteRole).toString()), true);
  }
  if (stopRequested_) return EndScript(QStringLiteral("Script stopped after line %1").arg(lineNumber), true);
  RunNextScriptLine();
}

void ExchangePage::EndScript(const QString& message, bool refusal) {
  scriptRunning_ = false;
  run_->setText(QStringLiteral("Run"));
  if (refusal) {
    ShowRefusal(message);
  } else {
    message_->setStyleSheet(QString());
    message_->setText(message);
  }
  Raise(onScriptEnded_, scriptAnswered_);
}

void ExchangePage::AskAndSave() {
  const QString fileName =
      QFileDialog::getSaveFileName(this, QStringLiteral("Save the commands as a script"), QString(),
                                   QStringLiteral("APDU scripts (*.apdu);;All files (*)"));
  if (!fileName.isEmpty()) SaveScript(fileName);
}

void ExchangePage::AskAndLoad() {
  const QString fileName =
      QFileDialog::getOpenFileName(this, QStringLiteral("Load a script"), QString(),
                                   QStringLiteral("APDU scripts (*.apdu);;All files (*)"));
  if (!fileName.isEmpty()) LoadScript(fileName);
}

}  // namespace tessaly
