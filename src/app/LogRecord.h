#pragma once

#include <QString>
#include <cstdint>

namespace tessaly {

// One record of the kernel's event log as the Event Log page keeps it. The time is kept as milliseconds
// since the epoch; its text is made only when a row is shown or saved.
struct LogRecord {
  std::int32_t Number = 0;
  std::uint8_t EventCode = 0;
  qint64 TimeMs = 0;
  QString Source;
  QString EventName;
  QString Details;

  friend bool operator==(const LogRecord&, const LogRecord&) = default;
};

// Which records the page shows.
enum class LogKind { All, Errors, CardEvents, Exchanges };

bool KindMatches(LogKind kind, std::uint8_t eventCode);

// The local time with milliseconds, as the page shows and saves it: ISO 8601 with the offset from UTC,
// "2026-12-08T15:40:01.123+01:00".
QString LogTimeText(qint64 timeMs);
// The local date of the same text, "2026-12-08".
QString LogDateText(qint64 timeMs);
// The time of day of the same text, "15:40:01.123", as the table shows it while its records lie within one
// day.
QString LogTimeOfDayText(qint64 timeMs);
// The same text without the offset, "2026-12-08 15:40:01.123", as the table shows it otherwise.
QString LogDateAndTimeText(qint64 timeMs);

}  // namespace tessaly
