#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/ApduFields.h"
#include "device/ApduScript.h"
#include "device/CardExchange.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace tessaly {

class ExchangeAnswerView;
struct TCardInfo;

// What the page asks of the device layer for the card in reader-table entry n.
struct ReaderExchange {
  std::function<bool(int reader)> CardOpen;
  // Starts an exchange; done runs once, when it ends. Raises an exception when the reader refuses it now.
  std::function<void(int reader, std::span<const std::uint8_t> command, ExchangeDone done)> Transmit;
  // Gives up the exchange under way.
  std::function<void(int reader)> Cancel;
};

// Raised when an exchange has ended, answered or not.
using ExchangedEvent =
    std::function<void(int reader, const std::vector<std::uint8_t>& command, const ExchangeOutcome& outcome)>;

// The Exchange page: a command built from its fields (or chosen by name from the reader's command table)
// sent to an open card, the answer with the meaning of its status word, the session's history, and
// scripts of commands saved, loaded and run again. The card answers in its own time: while a command is
// under way, Send turns into Cancel, and a script's Run into Stop.
class ExchangePage final : public QWidget {
  Q_OBJECT

 public:
  explicit ExchangePage(QWidget* parent = nullptr);

  void SetReaderExchange(ReaderExchange exchange) { exchange_ = std::move(exchange); }
  void SetOnExchanged(ExchangedEvent handler) { onExchanged_ = std::move(handler); }
  // Raised when a script run has ended, with the number of commands the card answered.
  void SetOnScriptEnded(std::function<void(int answered)> handler) { onScriptEnded_ = std::move(handler); }

  // Lists the readers with an open card again. A card that has just become ready in the chosen reader (or
  // in the first, when none was chosen) puts its card type's default APDU into the fields.
  void CardChanged(const std::string& readerName, const TCardInfo& card);
  // Lists the readers and their commands again, keeping the choices (after a card type has changed).
  void RefreshReaders();

  // Sends the command the fields make up; bad input is refused with a message and nothing is sent.
  // Returns whether the command went to the card; its answer shows when it comes.
  bool Send();
  bool SendCommand(const std::vector<std::uint8_t>& command);
  bool ExchangeUnderWay() const { return underWay_ >= 0; }
  // Gives up the command under way and stops a script run.
  void Cancel();
  // Puts the command's CLA and INS into the fields, by its name in the reader's command table.
  bool ChooseCommand(const QString& name);

  bool SaveScript(const QString& fileName);
  // Reads a script to run; a bad script is refused whole and the loaded one stays.
  bool LoadScript(const QString& fileName);
  // Starts running the loaded script, one command after the answer of the one before, stopping after the
  // first answer other than 9000 or 61xx unless "Continue on error" is checked. Returns whether it started.
  bool RunScript();
  bool ScriptRunning() const { return scriptRunning_; }
  // Takes the script and runs it as Run would once a card is ready in the chosen reader: at once when one
  // is, otherwise when the first one becomes ready.
  void RunScriptWhenReady(std::vector<ApduScriptLine> script, const QString& name);
  bool ScriptWaitsForCard() const { return scriptWaitsForCard_; }
  void StopWaitingForCard() { scriptWaitsForCard_ = false; }
  // The commands the card answered in the last run.
  int ScriptAnswered() const { return scriptAnswered_; }
  // The selected history entries (all when none is selected) as script lines.
  QString HistoryText() const;

  QComboBox& ReaderChoice() { return *readerChoice_; }
  QComboBox& CommandChoice() { return *commandChoice_; }
  QLineEdit& FieldEdit(ApduField field);
  QCheckBox& ExtendedLengthBox() { return *extendedLength_; }
  QPushButton& SendButton() { return *send_; }
  QPushButton& RunButton() { return *run_; }
  QLabel& MessageLabel() { return *message_; }
  // The status word of the last answer with its meaning, in the colour of its status-word entry.
  QLabel& StatusWordLabel() { return *statusWord_; }
  ExchangeAnswerView& AnswerView() { return *answer_; }
  QListWidget& History() { return *history_; }
  QCheckBox& ContinueOnErrorBox() { return *continueOnError_; }
  QLabel& ScriptLabel() { return *scriptLabel_; }

 private:
  QWidget* MakeCommandGroup();
  QWidget* MakeAnswerGroup();
  QWidget* MakeHistoryGroup();
  QLineEdit* MakeByteEdit(ApduField field, int width);
  void FillCommands();
  void ShowDefaultApdu(int reader);
  void SetFields(const ApduFieldTexts& fields);
  ApduFieldTexts Fields() const;
  // The reader chosen, when it still holds an open card; otherwise -1 with the reason shown.
  int ChosenOpenReader();
  void ShowRefusal(const QString& message, QLineEdit* field = nullptr);
  void ClearRefusal();
  // Sends to the chosen reader; then runs once the answer is shown. False when the command could not be
  // sent.
  bool StartExchange(const std::vector<std::uint8_t>& command, ExchangeDone then = {});
  void ExchangeEnded(int reader, const std::vector<std::uint8_t>& command, const ExchangeOutcome& outcome);
  void ShowUnderWay(bool underWay);
  void RunWaitingScript();
  void RunNextScriptLine();
  void ScriptLineAnswered(int lineNumber, const ExchangeOutcome& outcome);
  void EndScript(const QString& message, bool refusal);
  void ShowAnswer(const ExchangeResult& result, int reader);
  void AddToHistory(const std::vector<std::uint8_t>& command, const std::vector<std::uint8_t>& response,
                    int reader);
  void CopyHistory();
  void AskAndSave();
  void AskAndLoad();

  QComboBox* const readerChoice_;
  QComboBox* const commandChoice_;
  std::vector<QLineEdit*> fieldEdits_;  // in the order of ApduField
  QCheckBox* const extendedLength_;
  QPushButton* const send_;
  QPushButton* const run_;
  QLabel* const message_;
  QLabel* const statusWord_;
  ExchangeAnswerView* const answer_;
  QListWidget* const history_;
  QCheckBox* const continueOnError_;
  QLabel* const scriptLabel_;
  ReaderExchange exchange_;
  ExchangedEvent onExchanged_;
  std::function<void(int)> onScriptEnded_;
  // The reader whose card has a command of this page under way, or -1.
  int underWay_ = -1;
  std::vector<ApduScriptLine> script_;
  bool scriptRunning_ = false;
  bool stopRequested_ = false;
  bool scriptWaitsForCard_ = false;
  std::size_t scriptNext_ = 0;
  int scriptAnswered_ = 0;
};

}  // namespace tessaly
