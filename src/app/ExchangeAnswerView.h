#pragma once

#include <QColor>
#include <QTreeWidget>

#include "device/CardExchange.h"
#include "device/Transcript.h"
#include "templates/StatusWordLookup.h"

class QTreeWidgetItem;

namespace tessaly {

class TKeyedTable;

// The colour a status-word entry names, given as a Windows colour value (red in the low byte).
QColor StatusWordColour(std::uint32_t colour);

// The answer of one command: its data as offset, hex and printable ASCII, the status word with the meaning
// and colour of its status-word entry, and, when the card needed more than one exchange (T=0 GET RESPONSE
// or a repeat with the right Le), every exchange under "Steps".
class ExchangeAnswerView final : public QTreeWidget {
  Q_OBJECT

 public:
  static constexpr int BytesPerRow = 8;

  explicit ExchangeAnswerView(QWidget* parent = nullptr);

  // statusWords may be null (a reader without templates): every status word is then "Not defined".
  void Show(const ExchangeResult& result, const TKeyedTable* statusWords);

  // A row of the answer by its caption ("SW1 SW2", "Steps", "1 Received", "0000"); null when absent.
  QTreeWidgetItem* Row(const QString& caption) const;

 private:
  void AddData(const std::vector<std::uint8_t>& data);
  QTreeWidgetItem* AddStatusWord(QTreeWidgetItem* parent, const QString& caption,
                                 const std::vector<std::uint8_t>& response, const TKeyedTable* statusWords);
  void AddSteps(const ExchangeResult& result, const TKeyedTable* statusWords);
};

}  // namespace tessaly
