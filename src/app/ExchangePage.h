#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "app/ExchangeScriptRun.h"
#include "device/ApduFields.h"
#include "device/ApduScript.h"
#include "device/CardExchange.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace tessaly {

class CardControls;
class CommandFields;
class ExchangeAnswerView;
class ExchangeHistoryPane;
class ExchangeStructureView;
struct TCardInfo;

// What the page asks of the device layer for the card in reader-table entry n. Each call that starts
// something raises an exception when the reader refuses it now; otherwise its done runs once, when it ends.
struct ReaderExchange {
  std::function<bool(int reader)> CardOpen;
  std::function<void(int reader, std::span<const std::uint8_t> command, ExchangeDone done)> Transmit;
  // Gives up the exchange under way.
  std::function<void(int reader)> Cancel;
  // A warm reset of the open card.
  std::function<void(int reader, CardDone done)> Reset;
  // Connects the card afresh under the protocol given: an open one with a warm reset, a closed one opened.
  std::function<void(int reader, std::int32_t protocol, CardDone done)> Reconnect;
  std::function<void(int reader, std::int32_t closingMode, CardDone done)> Disconnect;
};

// Raised when an exchange has ended, answered or not.
using ExchangedEvent =
    std::function<void(int reader, const std::vector<std::uint8_t>& command, const ExchangeOutcome& outcome)>;
// Raised when a warm reset the page asked for has ended: an empty text, or the reason it failed.
using CardResetEvent = std::function<void(int reader, const std::string& failure)>;

// The Exchange page: a command built from its fields (or chosen by name from the reader's command table)
// sent to a card, the answer with the meaning of its status word (its data as hex, or as the structure of
// their BER-TLV data objects, on two tabs), the card's reset, reconnection and
// disconnection, the session's history (copied and saved as a transcript or a script), and scripts loaded
// and run. The card answers in its own time: while a command is under way, Send turns into Cancel, and a
// script's Run into Stop.
class ExchangePage final : public QWidget {
  Q_OBJECT

 public:
  explicit ExchangePage(QWidget* parent = nullptr);

  void SetReaderExchange(ReaderExchange exchange) { exchange_ = std::move(exchange); }
  void SetOnExchanged(ExchangedEvent handler) { onExchanged_ = std::move(handler); }
  void SetOnCardReset(CardResetEvent handler) { onCardReset_ = std::move(handler); }
  // Raised when a script run has ended, with the number of commands the card answered.
  void SetOnScriptEnded(std::function<void(int answered)> handler) { onScriptEnded_ = std::move(handler); }

  // Lists the readers holding a card again. A card that has just become ready in the chosen reader (or in
  // the first, when none was chosen) puts its card type's default APDU into the fields.
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

  // The card in the chosen reader, with the protocol and the closing mode chosen on the page. Each returns
  // whether the operation started; its end shows when it comes.
  bool ResetCard();
  bool ReconnectCard();
  bool DisconnectCard();
  bool CardOperationUnderWay() const { return cardBusy_ >= 0; }

  // Reads a script (or the commands of a transcript) to run; a bad one is refused whole and the loaded one
  // stays.
  bool LoadScript(const QString& fileName);
  // Starts running the loaded script (see ExchangeScriptRun). Returns whether it started.
  bool RunScript();
  bool ScriptRunning() const { return script_.Running(); }
  // Takes the script and runs it as Run would once a card is ready in the chosen reader: at once when one
  // is, otherwise when the first one becomes ready.
  void RunScriptWhenReady(std::vector<ApduScriptLine> script, const QString& name);
  bool ScriptWaitsForCard() const { return scriptWaitsForCard_; }
  void StopWaitingForCard() { scriptWaitsForCard_ = false; }
  // The commands the card answered in the last run.
  int ScriptAnswered() const { return script_.Answered(); }

  QComboBox& ReaderChoice() { return *readerChoice_; }
  QComboBox& CommandChoice();
  QLineEdit& FieldEdit(ApduField field);
  QCheckBox& ExtendedLengthBox();
  CardControls& Card() { return *cardControls_; }
  QPushButton& SendButton() { return *send_; }
  QPushButton& RunButton() { return *run_; }
  QLabel& MessageLabel() { return *message_; }
  // The status word of the last answer with its meaning, in the colour of its status-word entry.
  QLabel& StatusWordLabel() { return *statusWord_; }
  ExchangeAnswerView& AnswerView() { return *answer_; }
  ExchangeStructureView& StructureView() { return *structure_; }
  // The answer's "Hex" and "Structure" tabs.
  QTabWidget& AnswerTabs() { return *answerTabs_; }
  ExchangeHistoryPane& History() { return *history_; }
  QCheckBox& ContinueOnErrorBox() { return *continueOnError_; }
  QLabel& ScriptLabel() { return *scriptLabel_; }

 private:
  QWidget* MakeCommandGroup();
  QWidget* MakeAnswerGroup();
  QWidget* MakeScriptGroup();
  // The reader chosen, or -1.
  int ChosenReader() const;
  void ShowDefaultApdu(int reader);
  void ShowRefusal(const QString& message);
  void ShowNote(const QString& message);
  void ClearRefusal();
  // Sends to the chosen reader; then runs once the answer is shown. Returns why the command could not be
  // sent, or an empty text.
  std::string StartExchange(const std::vector<std::uint8_t>& command, ExchangeDone then = {});
  void ExchangeEnded(int reader, const std::vector<std::uint8_t>& command, const ExchangeOutcome& outcome);
  void ShowUnderWay(bool underWay);
  void ShowAnswer(const ExchangeResult& result, int reader);
  // Runs a card operation on the chosen reader; ended runs once it has ended, after a failure is shown.
  // Returns why it could not start, or an empty text.
  std::string StartCardOperation(const QString& underWay,
                                 const std::function<void(int reader, CardDone done)>& operation,
                                 std::function<void(int reader, const std::string& failure)> ended);
  std::string StartReset(CardDone then = {});
  void ShowCardControls();
  void ShowScript(const QString& name);
  void RunWaitingScript();
  void ScriptEnded(const std::string& message, bool stoppedEarly);
  void RepeatHistoryEntry(int row);
  void AskAndLoad();

  QComboBox* const readerChoice_;
  CardControls* const cardControls_;
  CommandFields* const fields_;
  QPushButton* const send_;
  QPushButton* const run_;
  QLabel* const message_;
  QLabel* const statusWord_;
  ExchangeAnswerView* const answer_;
  ExchangeStructureView* const structure_;
  QTabWidget* const answerTabs_;
  ExchangeHistoryPane* const history_;
  QCheckBox* const continueOnError_;
  QLabel* const scriptLabel_;
  ReaderExchange exchange_;
  ExchangedEvent onExchanged_;
  CardResetEvent onCardReset_;
  std::function<void(int)> onScriptEnded_;
  // The reader whose card has a command of this page under way, or -1.
  int underWay_ = -1;
  // The reader whose card is being reset, reconnected or disconnected by this page, or -1.
  int cardBusy_ = -1;
  ExchangeScriptRun script_;
  bool scriptWaitsForCard_ = false;
};

}  // namespace tessaly
