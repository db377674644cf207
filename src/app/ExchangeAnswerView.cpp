#include "app/ExchangeAnswerView.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QHeaderView>
#include <span>

#include "device/ApduText.h"
#include "platform/HexText.h"

namespace tessaly {
namespace {

enum Column { kCaptionColumn, kHexColumn, kTextColumn };

QString Hex(std::span<const std::uint8_t> bytes) {
  return QString::fromStdString(HexText(bytes));
}

}  // namespace

QColor StatusWordColour(std::uint32_t colour) {
  return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

ExchangeAnswerView::ExchangeAnswerView(QWidget* parent) : QTreeWidget(parent) {
  setColumnCount(3);
  setHeaderLabels({QStringLiteral("Answer"), QStringLiteral("Hex"), QStringLiteral("Text")});
  // The hex column fits one row of data bytes and the text column takes the rest, so that a row's hex and
  // text are in view together without scrolling sideways. Longer hex (a step's command) and long meanings
  // are elided and shown whole in their tooltips.
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  constexpr int kCellMargins = 12;
  // The text column stretches from the width of one row of data bytes, not from the style's default: the
  // header keeps a stretched section at least as wide as it was before.
  header()->resizeSection(kTextColumn,
                          QFontMetrics(fixed).horizontalAdvance(QString(BytesPerRow, 'W')) + kCellMargins);
  header()->setStretchLastSection(true);
  header()->setSectionResizeMode(kCaptionColumn, QHeaderView::ResizeToContents);
  header()->setSectionResizeMode(kHexColumn, QHeaderView::Interactive);
  header()->resizeSection(
      kHexColumn, QFontMetrics(fixed).horizontalAdvance(QString(3 * BytesPerRow - 1, '0')) + kCellMargins);
  setTextElideMode(Qt::ElideRight);
  setIndentation(10);
  setRootIsDecorated(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
}

QTreeWidgetItem* ExchangeAnswerView::Row(const QString& caption) const {
  const auto found = findItems(caption, Qt::MatchExactly | Qt::MatchRecursive, kCaptionColumn);
  return found.isEmpty() ? nullptr : found.front();
}

void ExchangeAnswerView::Show(const ExchangeResult& result, const TKeyedTable* statusWords) {
  clear();
  const std::vector<std::uint8_t>& response = result.Response;
  AddData(std::vector<std::uint8_t>(response.begin(), response.end() - StatusWordOf(response).size()));
  AddStatusWord(invisibleRootItem(), QStringLiteral("SW1 SW2"), response, statusWords);
  if (result.Steps.size() > 1) AddSteps(result, statusWords);
}

void ExchangeAnswerView::AddData(const std::vector<std::uint8_t>& data) {
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  for (std::size_t offset = 0; offset < data.size(); offset += BytesPerRow) {
    const auto row =
        std::span(data).subspan(offset, std::min<std::size_t>(BytesPerRow, data.size() - offset));
    auto* item = new QTreeWidgetItem(this);
    item->setText(kCaptionColumn, QStringLiteral("%1").arg(offset, 4, 16, QLatin1Char('0')).toUpper());
    item->setText(kHexColumn, Hex(row));
    item->setText(kTextColumn, QString::fromLatin1(PrintableAscii(row)));
    item->setFont(kHexColumn, fixed);
    item->setFont(kTextColumn, fixed);
  }
}

QTreeWidgetItem* ExchangeAnswerView::AddStatusWord(QTreeWidgetItem* parent, const QString& caption,
                                                   const std::vector<std::uint8_t>& response,
                                                   const TKeyedTable* statusWords) {
  const TStatusWordMeaning meaning = MeaningOf(response, statusWords);
  auto* item = new QTreeWidgetItem(parent);
  item->setText(kCaptionColumn, caption);
  item->setText(kHexColumn, Hex(StatusWordOf(response)));
  item->setText(kTextColumn, QString::fromStdString(meaning.Verbose));
  item->setToolTip(kTextColumn, QString::fromStdString(meaning.Verbose));
  item->setToolTip(kCaptionColumn, QString::fromStdString("Status-word entry " + meaning.Key));
  const QColor colour = StatusWordColour(meaning.Colour);
  for (const int column : {kHexColumn, kTextColumn}) item->setForeground(column, colour);
  QFont bold = font();
  bold.setBold(true);
  item->setFont(kHexColumn, bold);
  return item;
}

void ExchangeAnswerView::AddSteps(const ExchangeResult& result, const TKeyedTable* statusWords) {
  auto* steps = new QTreeWidgetItem(this);
  steps->setText(kCaptionColumn, QStringLiteral("Steps"));
  steps->setText(kTextColumn, QStringLiteral("%1 exchanges with the card").arg(result.Steps.size()));
  int number = 1;
  for (const ExchangeStep& step : result.Steps) {
    auto* sent = new QTreeWidgetItem(steps);
    sent->setText(kCaptionColumn, QStringLiteral("%1 Sent").arg(number));
    sent->setText(kHexColumn, Hex(step.Command));
    sent->setToolTip(kHexColumn, Hex(step.Command));
    sent->setFont(kHexColumn, QFontDatabase::systemFont(QFontDatabase::FixedFont));
    QTreeWidgetItem* received =
        AddStatusWord(steps, QStringLiteral("%1 Received").arg(number), step.Response, statusWords);
    received->setToolTip(kHexColumn, Hex(step.Response));
    if (const std::size_t dataBytes = step.Response.size() - StatusWordOf(step.Response).size();
        dataBytes > 0)
      received->setText(kTextColumn,
                        QStringLiteral("%1 (%2 data bytes)").arg(received->text(kTextColumn)).arg(dataBytes));
    ++number;
  }
  steps->setExpanded(true);
}

}  // namespace tessaly
