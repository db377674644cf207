#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "app/LogRecord.h"
#include "platform/TessalyError.h"

namespace tessaly {

enum class LogFileFormat {
  Csv,        // RFC 4180: a header row, CRLF line ends, fields quoted where needed; UTF-8
  Json,       // one JSON array of one object per record; UTF-8
  JsonLines,  // one JSON object per record and line; UTF-8
};

class ELogFileError : public ETessalyError {
 public:
  using ETessalyError::ETessalyError;
};

// Writes the records that forEachRecord hands to its callback. A file is replaced only once everything is
// written, so that a failed save leaves an older file of that name as it was; a target that is not a file
// (a device, a pipe) is written directly. Raises ELogFileError naming the file and the cause when it cannot
// be written.
void SaveLogFile(const QString& fileName, LogFileFormat format,
                 const std::function<void(const std::function<void(const LogRecord&)>&)>& forEachRecord);

// The format a file name's suffix names (".csv", ".json", ".jsonl", letter case ignored); none for another.
std::optional<LogFileFormat> LogFileFormatNamed(const QString& fileName);
// The format of the suffix, CSV for a name without one of the three.
LogFileFormat LogFileFormatOf(const QString& fileName);
// ".csv", ".json" or ".jsonl".
QString LogFileSuffix(LogFileFormat format);

struct LogFileChoice {
  QString FileName;
  LogFileFormat Format;
};
// What a Save dialog's answer asks for: the format the name's suffix names, else the chosen filter's, whose
// suffix a name without any is given.
LogFileChoice ChooseLogFile(const QString& fileName, LogFileFormat filterFormat);

}  // namespace tessaly
