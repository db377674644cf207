#include "app/LogFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace tessaly {
namespace {

// Quoted when it holds a comma, a quote or a line break (a lone CR too: readers end a row there), with its
// quotes doubled (RFC 4180, 2.6 and 2.7).
QByteArray CsvField(const QString& text) {
  QByteArray field = text.toUtf8();
  if (!field.contains(',') && !field.contains('"') && !field.contains('\n') && !field.contains('\r')) {
    return field;
  }
  field.replace("\"", "\"\"");
  return '"' + field + '"';
}

QByteArray CsvLine(const LogRecord& record) {
  return QByteArray::number(record.Number) + ',' + CsvField(LogTimeText(record.TimeMs)) + ',' +
         QByteArray::number(record.EventCode) + ',' + CsvField(record.Source) + ',' +
         CsvField(record.EventName) + ',' + CsvField(record.Details) + "\r\n";
}

QByteArray JsonObjectText(const LogRecord& record) {
  const QJsonObject object{
      {QStringLiteral("number"), record.Number},   {QStringLiteral("time"), LogTimeText(record.TimeMs)},
      {QStringLiteral("code"), record.EventCode},  {QStringLiteral("source"), record.Source},
      {QStringLiteral("event"), record.EventName}, {QStringLiteral("details"), record.Details}};
  return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray Header(LogFileFormat format) {
  switch (format) {
    case LogFileFormat::Csv:
      return "Number,Time,Code,Source,Event,Details\r\n";
    case LogFileFormat::Json:
      return "[";
    case LogFileFormat::JsonLines:
      break;
  }
  return {};
}

// The array's objects each on a line of their own, so that the file reads and compares line by line too.
QByteArray RecordText(LogFileFormat format, const LogRecord& record, bool first) {
  switch (format) {
    case LogFileFormat::Csv:
      return CsvLine(record);
    case LogFileFormat::Json:
      return (first ? "\n" : ",\n") + JsonObjectText(record);
    case LogFileFormat::JsonLines:
      break;
  }
  return JsonObjectText(record) + '\n';
}

QByteArray Footer(LogFileFormat format, bool anyRecord) {
  if (format != LogFileFormat::Json) return {};
  return anyRecord ? "\n]\n" : "]\n";
}

[[noreturn]] void RaiseCannotSave(const QString& fileName, const QString& cause) {
  throw ELogFileError("Cannot save the event log to " + fileName.toStdString() + ": " + cause.toStdString());
}

// A device or a pipe cannot be replaced by a new file (and must not be: renaming over /dev/full as root
// would put a file in its place), and it holds no older log to keep.
bool IsSpecialFile(const QString& fileName) {
  const QFileInfo info(fileName);
  return info.exists() && !info.isFile() && !info.isDir();
}

}  // namespace

void SaveLogFile(const QString& fileName, LogFileFormat format,
                 const std::function<void(const std::function<void(const LogRecord&)>&)>& forEachRecord) {
  const bool direct = IsSpecialFile(fileName);
  QSaveFile replacement(fileName);
  QFile target(fileName);
  QFileDevice& file = direct ? static_cast<QFileDevice&>(target) : replacement;
  if (!file.open(QIODevice::WriteOnly)) RaiseCannotSave(fileName, file.errorString());
  file.write(Header(format));
  bool first = true;
  forEachRecord([&](const LogRecord& record) {
    file.write(RecordText(format, record, first));
    first = false;
  });
  file.write(Footer(format, !first));
  // The last buffered bytes go out here, where a full disk shows; the older file then stays as it was.
  if (!file.flush() || file.error() != QFileDevice::NoError) {
    const QString cause = file.errorString();
    if (!direct) replacement.cancelWriting();
    RaiseCannotSave(fileName, cause);
  }
  if (direct) {
    target.close();
    if (target.error() != QFileDevice::NoError) RaiseCannotSave(fileName, target.errorString());
  } else if (!replacement.commit()) {
    RaiseCannotSave(fileName, replacement.errorString());
  }
}

std::optional<LogFileFormat> LogFileFormatNamed(const QString& fileName) {
  for (const LogFileFormat format : {LogFileFormat::Csv, LogFileFormat::Json, LogFileFormat::JsonLines}) {
    if (fileName.endsWith(LogFileSuffix(format), Qt::CaseInsensitive)) return format;
  }
  return std::nullopt;
}

LogFileFormat LogFileFormatOf(const QString& fileName) {
  return LogFileFormatNamed(fileName).value_or(LogFileFormat::Csv);
}

LogFileChoice ChooseLogFile(const QString& fileName, LogFileFormat filterFormat) {
  if (const auto named = LogFileFormatNamed(fileName)) return {fileName, *named};
  const bool anySuffix = !QFileInfo(fileName).suffix().isEmpty();
  return {anySuffix ? fileName : fileName + LogFileSuffix(filterFormat), filterFormat};
}

QString LogFileSuffix(LogFileFormat format) {
  switch (format) {
    case LogFileFormat::Json:
      return QStringLiteral(".json");
    case LogFileFormat::JsonLines:
      return QStringLiteral(".jsonl");
    case LogFileFormat::Csv:
      break;
  }
  return QStringLiteral(".csv");
}

}  // namespace tessaly
