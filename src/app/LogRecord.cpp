#include "app/LogRecord.h"

#include <QDateTime>

#include "readers/EventCodes.h"

namespace tessaly {

bool KindMatches(LogKind kind, std::uint8_t eventCode) {
  switch (kind) {
    case LogKind::Errors:
      return eventCode == ecError;
    case LogKind::CardEvents:
      return eventCode >= ecWaitingForCard && eventCode <= ecCardReady;
    case LogKind::Exchanges:
      return eventCode == ecBeforeDataSending || eventCode == ecDataSent;
    case LogKind::All:
      break;
  }
  return true;
}

QString LogTimeText(qint64 timeMs) {
  // Records arrive in bursts within one second: the text of that second is made once (converting to local
  // time is the costly step) and only the milliseconds are added for each record.
  thread_local qint64 cachedSecond = -1;
  thread_local QString secondText;
  thread_local QString offsetText;
  const qint64 second = timeMs >= 0 ? timeMs / 1000 : (timeMs - 999) / 1000;
  if (second != cachedSecond) {
    const QDateTime local = QDateTime::fromSecsSinceEpoch(second);
    const QString iso = local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODate);
    secondText = iso.left(19);
    offsetText = iso.mid(19);
    cachedSecond = second;
  }
  const qint64 millis = timeMs - second * 1000;
  return secondText + QLatin1Char('.') + QString::number(millis).rightJustified(3, QLatin1Char('0')) +
         offsetText;
}

namespace {

constexpr qsizetype kDateLength = 10;  // "2026-12-08"
constexpr qsizetype kTimeLength = 12;  // "15:40:01.123"

}  // namespace

QString LogDateText(qint64 timeMs) {
  return LogTimeText(timeMs).left(kDateLength);
}

QString LogTimeOfDayText(qint64 timeMs) {
  return LogTimeText(timeMs).mid(kDateLength + 1, kTimeLength);
}

QString LogDateAndTimeText(qint64 timeMs) {
  const QString text = LogTimeText(timeMs);
  return text.left(kDateLength) + QLatin1Char(' ') + text.mid(kDateLength + 1, kTimeLength);
}

}  // namespace tessaly
