#pragma once

#include <QAbstractListModel>
#include <cstdint>
#include <string>
#include <vector>

#include "device/ApduScript.h"
#include "device/CardExchange.h"

namespace tessaly {

// One entry of the history: a command the card answered, or a warm reset of the card.
struct ExchangeRecord {
  ApduScriptStep Step = ApduScriptStep::Send;
  std::vector<std::uint8_t> Command;
  // The whole answer (data and status word) and every physical exchange it took.
  ExchangeResult Result;
  // The meaning of the status word, as the reader's status-word table gave it at the time.
  std::string Meaning;
  // After a reset, the card's ATR.
  std::string Atr;
};

// The forms the history is copied and saved in.
enum class HistoryForm {
  Transcript,  // scriptor's form: every command with its whole answer, its meaning and its steps
  Script,      // the commands alone, one a line, "reset" for a reset
};

// The session's exchanges and resets, oldest first. A row shows the command and the answer's status word;
// its tooltip holds the whole entry as a transcript.
class ExchangeHistory final : public QAbstractListModel {
  Q_OBJECT

 public:
  using QAbstractListModel::QAbstractListModel;

  void AddExchange(std::vector<std::uint8_t> command, ExchangeResult result, std::string meaning);
  void AddReset(std::string atr);
  void Clear();

  const ExchangeRecord& At(int row) const { return records_.at(static_cast<std::size_t>(row)); }
  int Count() const { return static_cast<int>(records_.size()); }
  // The entries of the rows given (every row when none is given), in the history's order, in the form
  // asked for; every line ends in "\n".
  std::string Text(HistoryForm form, std::vector<int> rows = {}) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  void Add(ExchangeRecord record);

  std::vector<ExchangeRecord> records_;
};

}  // namespace tessaly
