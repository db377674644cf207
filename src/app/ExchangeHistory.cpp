#include "app/ExchangeHistory.h"

#include <algorithm>

#include "device/ApduText.h"
#include "device/Transcript.h"
#include "platform/HexText.h"

namespace tessaly {
namespace {

std::string TranscriptOf(const ExchangeRecord& record) {
  if (record.Step == ApduScriptStep::Reset) return ResetTranscriptText(record.Atr, {});
  return TranscriptText(record.Command, ExchangeOutcome{record.Result, {}}, record.Meaning);
}

ApduScriptLine ScriptLineOf(const ExchangeRecord& record) {
  return {0, record.Step, record.Command};
}

QString RowText(const ExchangeRecord& record) {
  if (record.Step == ApduScriptStep::Reset) return QStringLiteral("reset  \u2192 OK");
  return QString::fromStdString(HexText(record.Command) + "  \u2192 " +
                                HexText(StatusWordOf(record.Result.Response)));
}

}  // namespace

void ExchangeHistory::AddExchange(std::vector<std::uint8_t> command, ExchangeResult result,
                                  std::string meaning) {
  Add({ApduScriptStep::Send, std::move(command), std::move(result), std::move(meaning), {}});
}

void ExchangeHistory::AddReset(std::string atr) {
  Add({ApduScriptStep::Reset, {}, {}, {}, std::move(atr)});
}

void ExchangeHistory::Add(ExchangeRecord record) {
  const int row = Count();
  beginInsertRows({}, row, row);
  records_.push_back(std::move(record));
  endInsertRows();
}

void ExchangeHistory::Clear() {
  beginResetModel();
  records_.clear();
  endResetModel();
}

std::string ExchangeHistory::Text(HistoryForm form, std::vector<int> rows) const {
  if (rows.empty()) {
    for (int row = 0; row < Count(); ++row) rows.push_back(row);
  }
  std::sort(rows.begin(), rows.end());
  if (form == HistoryForm::Transcript) {
    std::string text;
    for (const int row : rows) text += TranscriptOf(At(row));
    return text;
  }
  std::vector<ApduScriptLine> script;
  for (const int row : rows) script.push_back(ScriptLineOf(At(row)));
  return ApduScriptText(script);
}

int ExchangeHistory::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

QVariant ExchangeHistory::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= Count()) return {};
  const ExchangeRecord& record = At(index.row());
  if (role == Qt::DisplayRole) return RowText(record);
  if (role == Qt::ToolTipRole) return QString::fromStdString(TranscriptOf(record)).trimmed();
  return {};
}

}  // namespace tessaly
