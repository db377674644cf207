#include "app/LogFile.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace tessaly {
namespace {

// Quoted when it holds a comma, a quote or a line break, with its quotes doubled (RFC 4180, 2.6 and 2.7).
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

QByteArray JsonLine(const LogRecord& record) {
  const QJsonObject object{
      {QStringLiteral("number"), record.Number},   {QStringLiteral("time"), LogTimeText(record.TimeMs)},
      {QStringLiteral("code"), record.EventCode},  {QStringLiteral("source"), record.Source},
      {QStringLiteral("event"), record.EventName}, {QStringLiteral("details"), record.Details}};
  return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

[[noreturn]] void RaiseCannotSave(const QString& fileName, const QString& cause) {
  throw ELogFileError("Cannot save the event log to " + fileName.toStdString() + ": " + cause.toStdString());
}

}  // namespace

QByteArray LogFileHeader(LogFileFormat format) {
  return format == LogFileFormat::Csv ? QByteArray("Number,Time,Code,Source,Event,Details\r\n")
                                      : QByteArray();
}

QByteArray LogFileLine(LogFileFormat format, const LogRecord& record) {
  return format == LogFileFormat::Csv ? CsvLine(record) : JsonLine(record);
}

void SaveLogFile(const QString& fileName, LogFileFormat format,
                 const std::function<void(const std::function<void(const LogRecord&)>&)>& forEachRecord) {
  QSaveFile file(fileName);
  if (!file.open(QIODevice::WriteOnly)) RaiseCannotSave(fileName, file.errorString());
  file.write(LogFileHeader(format));
  forEachRecord([&](const LogRecord& record) { file.write(LogFileLine(format, record)); });
  // A failed write is remembered by the file and reported here; nothing replaces the old file then.
  if (!file.commit()) RaiseCannotSave(fileName, file.errorString());
}

LogFileFormat LogFileFormatOf(const QString& fileName) {
  const bool json = fileName.endsWith(QStringLiteral(".jsonl"), Qt::CaseInsensitive) ||
                    fileName.endsWith(QStringLiteral(".json"), Qt::CaseInsensitive);
  return json ? LogFileFormat::JsonLines : LogFileFormat::Csv;
}

}  // namespace tessaly
