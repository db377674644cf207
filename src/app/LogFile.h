#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "app/LogRecord.h"
#include "platform/TessalyError.h"

namespace tessaly {

enum class LogFileFormat {
  Csv,        // RFC 4180: a header row, CRLF line ends, fields quoted where needed; UTF-8
  JsonLines,  // one JSON object per record and line; UTF-8
};

class ELogFileError : public ETessalyError {
 public:
  using ETessalyError::ETessalyError;
};

// The header row of a CSV file, with its line end; empty for JSON Lines.
QByteArray LogFileHeader(LogFileFormat format);
// One record as a line of the format, with its line end.
QByteArray LogFileLine(LogFileFormat format, const LogRecord& record);

// Writes the header and the records that forEachRecord hands to its callback, replacing the file only
// once everything is written. Raises ELogFileError naming the file and the cause when it cannot be written.
void SaveLogFile(const QString& fileName, LogFileFormat format,
                 const std::function<void(const std::function<void(const LogRecord&)>&)>& forEachRecord);

// The format a file name asks for by its extension: ".jsonl" and ".json" for JSON Lines, CSV otherwise.
LogFileFormat LogFileFormatOf(const QString& fileName);

}  // namespace tessaly
