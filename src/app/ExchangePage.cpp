#include "app/ExchangePage.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>

#include "app/CardControls.h"
#include "app/CommandFields.h"
#include "app/ExchangeAnswerView.h"
#include "app/ExchangeHistoryPane.h"
#include "app/ExchangeStructureView.h"
#include "app/PageLayout.h"
#include "app/QtText.h"
#include "device/ApduText.h"
#include "device/PcscError.h"
#include "device/Transcript.h"
#include "pcsc/PcscCodes.h"
#include "platform/ErrorBox.h"
#include "platform/HexText.h"
#include "platform/RaiseEvent.h"
#include "platform/TextFile.h"
#include "platform/TextRules.h"
#include "readers/ReaderTable.h"
#include "readers/Vocabulary.h"
#include "templates/_TemplatesObject.h"

namespace tessaly {
namespace {

const QString kRefusalStyle = QStringLiteral("color: #B00000;");
constexpr char kUnderWay[] = "A command is under way: wait for its answer, or cancel it";
const QString kWaitingForAnswer = QStringLiteral("Waiting for the card's answer...");

const TReaderHead& Entry(int reader) {
  return ReaderTable[static_cast<std::size_t>(reader)];
}

QString NameOf(int reader) {
  return Text(Entry(reader).ReaderName);
}

QString ReaderText(int reader) {
  const TReaderHead& entry = Entry(reader);
  const std::uint8_t state = entry.CardInfo.CardState;
  const std::string card = state >= csCardReady     ? entry.CardInfo.Preferences.CardTypeName
                           : state == csCardInvalid ? std::string("card unusable")
                                                    : std::string("card closed");
  return Text(entry.ReaderName + " (" + card + ")");
}

QString ProtocolText(std::int32_t protocol) {
  if (protocol == kProtocolT0) return QStringLiteral("T=0");
  if (protocol == kProtocolT1) return QStringLiteral("T=1");
  return Text(ProtocolToStr(protocol));
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

// A label as high as lines of its text, so that the page does not move when its text comes and goes.
void ReserveLines(QLabel& label, int lines) {
  label.setWordWrap(true);
  label.setTextInteractionFlags(Qt::TextSelectableByMouse);
  label.setFixedHeight(lines * label.fontMetrics().lineSpacing() + 2);
  label.setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

template <typename Call>
void Require(const Call& call, int reader) {
  if (!call) throw EDeviceError("No card is open in " + Entry(reader).ReaderName);
}

}  // namespace

ExchangePage::ExchangePage(QWidget* parent)
    : QWidget(parent),
      readerChoice_(new QComboBox),
      cardControls_(new CardControls),
      fields_(new CommandFields(this)),
      send_(new QPushButton(QStringLiteral("Send"))),
      run_(new QPushButton(QStringLiteral("Run"))),
      message_(new QLabel),
      statusWord_(new QLabel),
      answer_(new ExchangeAnswerView),
      structure_(new ExchangeStructureView),
      answerTabs_(new QTabWidget),
      history_(new ExchangeHistoryPane),
      continueOnError_(new QCheckBox(QStringLiteral("Continue on error"))),
      scriptLabel_(new QLabel(QStringLiteral("No script loaded"))),
      script_({[this](const std::vector<std::uint8_t>& command, ExchangeDone done) {
                 return StartExchange(command, std::move(done));
               },
               [this](CardDone done) { return StartReset(std::move(done)); },
               // The answer is in the history by the time the run hears of it.
               [this](const ExchangeOutcome& outcome) {
                 const ExchangeHistory& entries = history_->Entries();
                 return HexText(StatusWordOf(outcome.Result.Response)) + " " +
                        entries.At(entries.Count() - 1).Meaning;
               }},
              [this](const std::string& message, bool stoppedEarly) { ScriptEnded(message, stoppedEarly); }) {
  QVBoxLayout* layout = PageColumn(*this);
  layout->addWidget(MakeCommandGroup());
  auto* splitter = new QSplitter(Qt::Horizontal);
  splitter->addWidget(MakeAnswerGroup());
  splitter->addWidget(history_);
  // The answer takes the larger part: its data rows are 8 bytes wide, hex and text.
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 0);
  splitter->setSizes({360, 200});
  splitter->setChildrenCollapsible(false);
  layout->addWidget(splitter, 1);
  layout->addWidget(MakeScriptGroup());

  connect(readerChoice_, &QComboBox::activated, this, [this] {
    RefreshReaders();
    if (HoldsOpenCard(Entry(ChosenReader()))) ShowDefaultApdu(ChosenReader());
  });
  connect(send_, &QPushButton::clicked, this, [this] {
    if (ExchangeUnderWay()) {
      Cancel();
    } else {
      Send();
    }
  });
  for (const ApduField field :
       {ApduField::Cla, ApduField::Ins, ApduField::P1, ApduField::P2, ApduField::Data, ApduField::Le}) {
    connect(&fields_->Edit(field), &QLineEdit::returnPressed, this, &ExchangePage::Send);
  }
  connect(cardControls_, &CardControls::ResetClicked, this, &ExchangePage::ResetCard);
  connect(cardControls_, &CardControls::ReconnectClicked, this, &ExchangePage::ReconnectCard);
  connect(cardControls_, &CardControls::DisconnectClicked, this, &ExchangePage::DisconnectCard);
  connect(history_, &ExchangeHistoryPane::EntryActivated, this, &ExchangePage::RepeatHistoryEntry);
}

QComboBox& ExchangePage::CommandChoice() {
  return fields_->CommandChoice();
}

QLineEdit& ExchangePage::FieldEdit(ApduField field) {
  return fields_->Edit(field);
}

QCheckBox& ExchangePage::ExtendedLengthBox() {
  return fields_->ExtendedLength();
}

QWidget* ExchangePage::MakeCommandGroup() {
  auto* group = new QWidget;
  auto* grid = new QGridLayout(group);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setVerticalSpacing(4);
  readerChoice_->setPlaceholderText(QStringLiteral("No card in a reader"));
  grid->addWidget(Caption(QStringLiteral("&Reader"), readerChoice_), 0, 0);
  grid->addWidget(readerChoice_, 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("Card")), 1, 0);
  grid->addWidget(cardControls_, 1, 1);

  // CLA heads the row of the single bytes; the others carry their captions beside them, and the command's
  // name follows them.
  constexpr int kByteWidth = 38;
  constexpr int kGapBeforeCaption = 8;
  QLineEdit& cla = fields_->Edit(ApduField::Cla);
  cla.setFixedWidth(kByteWidth);
  grid->addWidget(Caption(QStringLiteral("CLA"), &cla), 2, 0);
  auto* bytes = new QHBoxLayout;
  bytes->addWidget(&cla);
  for (const auto& [field, caption] :
       {std::pair{ApduField::Ins, "INS"}, std::pair{ApduField::P1, "P1"}, std::pair{ApduField::P2, "P2"}}) {
    QLineEdit& edit = fields_->Edit(field);
    edit.setFixedWidth(kByteWidth);
    bytes->addSpacing(kGapBeforeCaption);
    bytes->addWidget(Caption(QString::fromLatin1(caption), &edit));
    bytes->addWidget(&edit);
  }
  bytes->addSpacing(kGapBeforeCaption * 2);
  bytes->addWidget(Caption(QStringLiteral("Co&mmand"), &fields_->CommandChoice()));
  bytes->addWidget(&fields_->CommandChoice(), 1);
  grid->addLayout(bytes, 2, 1);

  QLineEdit& data = fields_->Edit(ApduField::Data);
  QLineEdit& le = fields_->Edit(ApduField::Le);
  le.setFixedWidth(kByteWidth + 8);
  grid->addWidget(Caption(QStringLiteral("&Data"), &data), 3, 0);
  auto* dataRow = new QHBoxLayout;
  dataRow->addWidget(&data, 1);
  dataRow->addSpacing(kGapBeforeCaption);
  dataRow->addWidget(Caption(QStringLiteral("Le"), &le));
  dataRow->addWidget(&le);
  dataRow->addSpacing(kGapBeforeCaption);
  dataRow->addWidget(&fields_->ExtendedLength());
  // Wide enough for "Cancel" too, so that the row stays put while a command is under way.
  send_->setMinimumWidth(send_->fontMetrics().horizontalAdvance(QStringLiteral("Cancel")) + 24);
  dataRow->addWidget(send_);
  grid->addLayout(dataRow, 3, 1);

  ReserveLines(*message_, 2);
  message_->setStyleSheet(kRefusalStyle);
  grid->addWidget(message_, 4, 0, 1, 2);
  ShowUnderWay(false);
  return group;
}

QWidget* ExchangePage::MakeAnswerGroup() {
  auto* group = new QWidget;
  auto* layout = new QVBoxLayout(group);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  ReserveLines(*statusWord_, 2);
  statusWord_->setText(QStringLiteral("No answer yet"));
  layout->addWidget(statusWord_);
  // Tabs rather than views side by side: the page's width holds one answer view that shows 8 bytes a row
  // without scrolling sideways.
  answerTabs_->setDocumentMode(true);
  answerTabs_->addTab(answer_, QStringLiteral("He&x"));
  answerTabs_->addTab(structure_, QStringLiteral("S&tructure"));
  answerTabs_->setTabToolTip(
      0, QStringLiteral("The answer's data as offset, hex and text, and its status word"));
  answerTabs_->setTabToolTip(1, QStringLiteral("The answer's data decoded as BER-TLV data objects"));
  auto* copy = new QToolButton;
  copy->setDefaultAction(&structure_->CopyAction());
  answerTabs_->setCornerWidget(copy);
  connect(answerTabs_, &QTabWidget::currentChanged, copy,
          [this, copy] { copy->setVisible(answerTabs_->currentWidget() == structure_); });
  copy->setVisible(false);
  layout->addWidget(answerTabs_, 1);
  return group;
}

QWidget* ExchangePage::MakeScriptGroup() {
  auto* group = new QWidget;
  auto* layout = new QHBoxLayout(group);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(4);
  auto* load = new QPushButton(QStringLiteral("Load..."));
  load->setToolTip(QStringLiteral("Load a script (scriptor's, or a transcript's commands)"));
  run_->setToolTip(QStringLiteral("Send the loaded script's commands one after the other"));
  run_->setMinimumWidth(run_->fontMetrics().horizontalAdvance(QStringLiteral("Stop")) + 24);
  connect(load, &QPushButton::clicked, this, &ExchangePage::AskAndLoad);
  connect(run_, &QPushButton::clicked, this, [this] {
    if (ScriptRunning()) {
      Cancel();
    } else {
      RunScript();
    }
  });
  connect(continueOnError_, &QCheckBox::toggled, this,
          [this](bool goOn) { script_.SetContinueOnError(goOn); });
  // A long file name must not widen the page.
  scriptLabel_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  layout->addWidget(new QLabel(QStringLiteral("Script")));
  layout->addWidget(load);
  layout->addWidget(run_);
  layout->addWidget(continueOnError_);
  layout->addSpacing(8);
  layout->addWidget(scriptLabel_, 1);
  return group;
}

int ExchangePage::ChosenReader() const {
  return readerChoice_->currentIndex() >= 0 ? readerChoice_->currentData().toInt() : -1;
}

void ExchangePage::RefreshReaders() {
  const int chosen = ChosenReader();
  {
    const QSignalBlocker blocker(readerChoice_);
    readerChoice_->clear();
    for (int reader = 0; reader < static_cast<int>(kReaderCount); ++reader) {
      if (HoldsCard(Entry(reader))) readerChoice_->addItem(ReaderText(reader), reader);
    }
    const int index = readerChoice_->findData(chosen);
    readerChoice_->setCurrentIndex(index >= 0 || readerChoice_->count() == 0 ? index : 0);
  }
  const int reader = ChosenReader();
  const TTemplatesObject* templates =
      reader >= 0 && HoldsOpenCard(Entry(reader)) ? Entry(reader).Templates : nullptr;
  fields_->SetCommands(templates != nullptr ? &templates->Commands : nullptr);
  ShowCardControls();
}

void ExchangePage::ShowCardControls() {
  const int reader = ChosenReader();
  CardControls::CardState state = CardControls::CardState::None;
  if (reader >= 0) {
    const bool open = exchange_.CardOpen ? exchange_.CardOpen(reader) : HoldsOpenCard(Entry(reader));
    state = open ? CardControls::CardState::Open : CardControls::CardState::Closed;
  }
  cardControls_->ShowCardState(state, ExchangeUnderWay() || CardOperationUnderWay() || ScriptRunning());
}

void ExchangePage::CardChanged(const std::string& readerName, const TCardInfo& card) {
  RefreshReaders();
  const int reader = ChosenReader();
  if (card.CardState < csCardReady || reader < 0 || Entry(reader).ReaderName != readerName) return;
  ShowDefaultApdu(reader);
  RunWaitingScript();
}

void ExchangePage::RunScriptWhenReady(std::vector<ApduScriptLine> script, const QString& name) {
  script_.Load(std::move(script));
  ShowScript(name);
  scriptWaitsForCard_ = true;
  RefreshReaders();
  RunWaitingScript();
}

void ExchangePage::RunWaitingScript() {
  const int reader = ChosenReader();
  if (!scriptWaitsForCard_ || reader < 0 || !HoldsOpenCard(Entry(reader))) return;
  // A card the page is connecting or resetting runs the script once that has ended.
  if (ExchangeUnderWay() || CardOperationUnderWay()) return;
  if (exchange_.CardOpen && !exchange_.CardOpen(reader)) return;
  scriptWaitsForCard_ = false;
  RunScript();
}

bool ExchangePage::ChooseCommand(const QString& name) {
  return fields_->ChooseCommand(name);
}

void ExchangePage::ShowDefaultApdu(int reader) {
  fields_->SetFields(FieldsOf(Entry(reader).CardInfo.Preferences.WindowPreferences.DefaultAPDU));
  ClearRefusal();
}

void ExchangePage::ShowRefusal(const QString& message) {
  message_->setStyleSheet(kRefusalStyle);
  message_->setText(message);
}

void ExchangePage::ShowNote(const QString& message) {
  message_->setStyleSheet(QString());
  message_->setText(message);
}

void ExchangePage::ClearRefusal() {
  message_->clear();
  fields_->ClearMarks();
}

bool ExchangePage::Send() {
  ClearRefusal();
  std::vector<std::uint8_t> command;
  try {
    command = fields_->Command();
  } catch (const EApduInputError& refusal) {
    ShowRefusal(Text(refusal.what()));
    return false;
  }
  return SendCommand(command);
}

bool ExchangePage::SendCommand(const std::vector<std::uint8_t>& command) {
  const std::string refusal = StartExchange(command);
  if (!refusal.empty()) ShowRefusal(Text(refusal));
  return refusal.empty();
}

std::string ExchangePage::StartExchange(const std::vector<std::uint8_t>& command, ExchangeDone then) {
  if (ExchangeUnderWay()) return kUnderWay;
  ClearRefusal();
  RefreshReaders();
  const int reader = ChosenReader();
  if (reader < 0) return "No reader holds an open card: open one on the Monitor page";
  if (!exchange_.Transmit || (exchange_.CardOpen && !exchange_.CardOpen(reader))) {
    return "No card is open in " + Entry(reader).ReaderName + ": connect it first";
  }
  try {
    exchange_.Transmit(reader, command,
                       [this, reader, command, then = std::move(then)](const ExchangeOutcome& outcome) {
                         ExchangeEnded(reader, command, outcome);
                         if (then) then(outcome);
                       });
  } catch (const std::exception& failure) {
    return failure.what();
  }
  underWay_ = reader;
  ShowUnderWay(true);
  return {};
}

void ExchangePage::ExchangeEnded(int reader, const std::vector<std::uint8_t>& command,
                                 const ExchangeOutcome& outcome) {
  underWay_ = -1;
  ShowUnderWay(false);
  if (outcome.Answered()) {
    ShowAnswer(outcome.Result, reader);
    history_->Entries().AddExchange(command, outcome.Result,
                                    MeaningOf(outcome.Result.Response, StatusWordsOf(reader)).Verbose);
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
  if (underWay && !ScriptRunning()) ShowNote(kWaitingForAnswer);
  if (!underWay && message_->text() == kWaitingForAnswer) message_->clear();
  ShowCardControls();
}

void ExchangePage::Cancel() {
  // A script run stops at the end of the step under way, or here when none is.
  script_.Stop();
  if (ExchangeUnderWay() && exchange_.Cancel) exchange_.Cancel(underWay_);
}

void ExchangePage::ShowAnswer(const ExchangeResult& result, int reader) {
  answer_->Show(result, StatusWordsOf(reader));
  const std::vector<std::uint8_t>& response = result.Response;
  structure_->Show(std::span(response).first(response.size() - StatusWordOf(response).size()));
  const TStatusWordMeaning meaning = MeaningOf(response, StatusWordsOf(reader));
  statusWord_->setText(
      QStringLiteral("SW1 SW2 = %1: %2").arg(Text(HexText(StatusWordOf(response))), Text(meaning.Verbose)));
  statusWord_->setStyleSheet(
      QStringLiteral("font-weight: bold; color: %1;").arg(StatusWordColour(meaning.Colour).name()));
}

std::string ExchangePage::StartCardOperation(
    const QString& underWay, const std::function<void(int reader, CardDone done)>& operation,
    std::function<void(int reader, const std::string& failure)> ended) {
  if (ExchangeUnderWay() || CardOperationUnderWay()) return kUnderWay;
  ClearRefusal();
  RefreshReaders();
  const int reader = ChosenReader();
  if (reader < 0) return "No reader holds a card";
  cardBusy_ = reader;
  try {
    operation(reader, [this, reader, ended = std::move(ended)](const std::string& failure) {
      cardBusy_ = -1;
      if (!failure.empty()) ShowRefusal(Text(failure));
      ended(reader, failure);
      ShowCardControls();
      RunWaitingScript();
    });
  } catch (const std::exception& failure) {
    cardBusy_ = -1;
    ShowCardControls();
    return failure.what();
  }
  if (CardOperationUnderWay()) ShowNote(underWay.arg(NameOf(reader)));
  ShowCardControls();
  return {};
}

std::string ExchangePage::StartReset(CardDone then) {
  return StartCardOperation(
      QStringLiteral("Resetting the card in %1..."),
      [this](int reader, CardDone done) {
        Require(exchange_.Reset, reader);
        exchange_.Reset(reader, std::move(done));
      },
      [this, then = std::move(then)](int reader, const std::string& failure) {
        if (failure.empty()) {
          history_->Entries().AddReset(Entry(reader).CardInfo.ATR);
          ShowNote(QStringLiteral("The card in %1 was reset").arg(NameOf(reader)));
        }
        Raise(onCardReset_, reader, failure);
        if (then) then(failure);
      });
}

bool ExchangePage::ResetCard() {
  const std::string refusal = StartReset();
  if (!refusal.empty()) ShowRefusal(Text(refusal));
  return refusal.empty();
}

bool ExchangePage::ReconnectCard() {
  const std::int32_t protocol = cardControls_->Protocol();
  const std::string refusal = StartCardOperation(
      QStringLiteral("Connecting the card in %1..."),
      [this, protocol](int reader, CardDone done) {
        Require(exchange_.Reconnect, reader);
        exchange_.Reconnect(reader, protocol, std::move(done));
      },
      [this](int reader, const std::string& failure) {
        if (!failure.empty()) return;
        ShowNote(QStringLiteral("The card in %1 is connected under %2")
                     .arg(NameOf(reader), ProtocolText(Entry(reader).CardInfo.ActiveProtocol)));
      });
  if (!refusal.empty()) ShowRefusal(Text(refusal));
  return refusal.empty();
}

bool ExchangePage::DisconnectCard() {
  const std::int32_t closingMode = cardControls_->ClosingMode();
  const std::string refusal = StartCardOperation(
      QStringLiteral("Closing the card in %1..."),
      [this, closingMode](int reader, CardDone done) {
        Require(exchange_.Disconnect, reader);
        exchange_.Disconnect(reader, closingMode, std::move(done));
      },
      [this, closingMode](int reader, const std::string& failure) {
        if (!failure.empty()) return;
        ShowNote(QStringLiteral("The card in %1 was closed (%2)")
                     .arg(NameOf(reader), Text(DispositionToStr(closingMode))));
      });
  if (!refusal.empty()) ShowRefusal(Text(refusal));
  return refusal.empty();
}

void ExchangePage::RepeatHistoryEntry(int row) {
  const ExchangeRecord& record = history_->Entries().At(row);
  if (record.Step == ApduScriptStep::Reset) {
    ResetCard();
  } else {
    SendCommand(record.Command);
  }
}

bool ExchangePage::LoadScript(const QString& fileName) {
  try {
    script_.Load(ParseApduScript(ReadTextFileLines(QFile::encodeName(fileName).toStdString())));
  } catch (const std::exception& failure) {
    ShowErrorBox("Cannot load the script " + fileName.toStdString() + ": " + failure.what());
    return false;
  }
  ShowScript(QFileInfo(fileName).fileName());
  return true;
}

void ExchangePage::ShowScript(const QString& name) {
  const auto& steps = script_.Script();
  const auto resets =
      static_cast<std::size_t>(std::count_if(steps.begin(), steps.end(), [](const ApduScriptLine& line) {
        return line.Step == ApduScriptStep::Reset;
      }));
  QString text = name + QStringLiteral(": ") + Text(CountOf(steps.size() - resets, "command"));
  if (resets > 0) text += QStringLiteral(", ") + Text(CountOf(resets, "reset"));
  scriptLabel_->setText(text);
}

bool ExchangePage::RunScript() {
  if (ScriptRunning()) return false;
  if (ExchangeUnderWay() || CardOperationUnderWay()) {
    ShowRefusal(QString::fromLatin1(kUnderWay));
    return false;
  }
  script_.SetContinueOnError(continueOnError_->isChecked());
  run_->setText(QStringLiteral("Stop"));
  if (!script_.Start()) {
    run_->setText(QStringLiteral("Run"));
    return false;
  }
  ShowCardControls();
  return true;
}

void ExchangePage::ScriptEnded(const std::string& message, bool stoppedEarly) {
  run_->setText(QStringLiteral("Run"));
  if (stoppedEarly) {
    ShowRefusal(Text(message));
  } else {
    ShowNote(Text(message));
  }
  ShowCardControls();
  Raise(onScriptEnded_, script_.Answered());
}

void ExchangePage::AskAndLoad() {
  const QString fileName =
      QFileDialog::getOpenFileName(this, QStringLiteral("Load a script"), QString(),
                                   QStringLiteral("Scripts and transcripts (*.apdu *.txt);;All files (*)"));
  if (!fileName.isEmpty()) LoadScript(fileName);
}

}  // namespace tessaly
