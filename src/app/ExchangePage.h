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
  std::function<ExchangeResult(int reader, std::span<const std::uint8_t> command)> Transmit;
};

// The Exchange page: a command built from its fields (or chosen by name from the reader's command table)
// sent to an open card, the answer with the meaning of its status word, the session's history, and
// scripts of commands saved, loaded and run again.
class ExchangePage final : public QWidget {
  Q_OBJECT

 public:
  explicit ExchangePage(QWidget* parent = nullptr);

  void SetReaderExchange(ReaderExchange exchange) { exchange_ = std::move(exchange); }

  // Lists the readers with an open card again. A card that has just become ready in the chosen reader (or
  // in the first, when none was chosen) puts its card type's default APDU into the fields.
  void CardChanged(const std::string& readerName, const TCardInfo& card);
  // Lists the readers and their commands again, keeping the choices (after a card type has changed).
  void RefreshReaders();

  // Sends the command the fields make up; bad input is refused with a message and nothing is sent.
  // Returns whether an answer came.
  bool Send();
  bool SendCommand(const std::vector<std::uint8_t>& command);
  // Puts the command's CLA and INS into the fields, by its name in the reader's command table.
  bool ChooseCommand(const QString& name);

  bool SaveScript(const QString& fileName);
  // Reads a script to run; a bad script is refused whole and the loaded one stays.
  bool LoadScript(const QString& fileName);
  // Runs the loaded script, stopping after the first answer other than 9000 or 61xx unless "Continue on
  // error" is checked. Returns the number of commands sent.
  int RunScript();
  // The selected history entries (all when none is selected) as script lines.
  QString HistoryText() const;

  QComboBox& ReaderChoice() { return *readerChoice_; }
  QComboBox& CommandChoice() { return *commandChoice_; }
  QLineEdit& FieldEdit(ApduField field);
  QCheckBox& ExtendedLengthBox() { return *extendedLength_; }
  QPushButton& SendButton() { return *send_; }
  QLabel& MessageLabel() { return *message_; }
  // The status word of the last answer with its meaning, in the colour of its status-word entry.
  QLabel& StatusWordLabel() { return *statusWord_; }
  ExchangeAnswerView& AnswerView() { return *answer_; }
  QListWidget& History() { return *history_; }
  QCheckBox& ContinueOnErrorBox() { return *continueOnError_; }
  QLabel& ScriptLabel() { return *scriptLabel_; }

 protected:
  void showEvent(QShowEvent* event) override;

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
  // Sends to the chosen reader and shows the answer; nothing when the command could not be sent.
  std::optional<ExchangeResult> Exchange(const std::vector<std::uint8_t>& command);
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
  QLabel* const message_;
  QLabel* const statusWord_;
  ExchangeAnswerView* const answer_;
  QListWidget* const history_;
  QCheckBox* const continueOnError_;
  QLabel* const scriptLabel_;
  ReaderExchange exchange_;
  std::vector<ApduScriptLine> script_;
};

}  // namespace tessaly
