#include "TestText.h"
#include "app/EventLogPage.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <vector>

#include "AppTestSupport.h"
#include "ErrorBoxRecorder.h"
#include "TempDir.h"
#include "readers/EventCodes.h"

namespace tessaly::test {
namespace {

constexpr qint64 kStartMs = 1'700'000'000'123;

LogRecord Record(std::int32_t number, std::uint8_t code, QString source, QString name, QString details = {}) {
  return {number, code, kStartMs + number, std::move(source), std::move(name), std::move(details)};
}

// A short session: the service, a card and one exchange in reader "Reader A", and one error.
std::vector<LogRecord> Session() {
  return {Record(1, ecServiceConnected, "PC/SC", "Service connected"),
          Record(2, ecCardDetected, "Reader A", "Card detected", "Card was detected in the reader"),
          Record(3, ecCardReady, "Reader A", "Card ready", "ATR = 3B 8F 80 01"),
          Record(4, ecDataSent, "Reader A", "Data sent", "Sent: { 00 A4 }  Received: { 90 00 }"),
          Record(5, ecError, "Reader A", "Error", "0x8010000C : no smart card")};
}

std::vector<std::int32_t> ShownNumbers(EventLogModel& model) {
  model.Flush();
  std::vector<std::int32_t> numbers;
  for (int row = 0; row < model.rowCount(); ++row) numbers.push_back(model.RecordAt(row).Number);
  return numbers;
}

// Splits RFC 4180 text into rows of fields.
std::vector<QStringList> ParseCsv(const QString& text) {
  std::vector<QStringList> rows;
  QStringList row;
  QString field;
  bool quoted = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row << field;
      field.clear();
    } else if (c == '\r' || c == '\n') {
      // Readers such as Python's csv module end a row at a lone CR or LF too.
      row << field;
      field.clear();
      rows.push_back(row);
      row.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      field += c;
    }
  }
  return rows;
}

QString ReadAll(const QString& fileName) {
  QFile file(fileName);
  EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << fileName.toStdString();
  return QString::fromUtf8(file.readAll());
}

class EventLogPageTest : public ApplicationTest {
 protected:
  void Append(const std::vector<LogRecord>& records) {
    for (const LogRecord& record : records) page_->Model().Append(record);
  }

  // Made after the application object.
  std::unique_ptr<EventLogPage> page_;
  void SetUp() override {
    ApplicationTest::SetUp();
    page_ = std::make_unique<EventLogPage>();
  }
  void TearDown() override {
    page_.reset();
    ApplicationTest::TearDown();
  }
};

TEST_F(EventLogPageTest, TheFilterLooksInEveryColumnWithoutRegardToCase) {
  Append(Session());
  page_->FilterEdit().setText("reader a");
  EXPECT_EQ(ShownNumbers(page_->Model()), (std::vector<std::int32_t>{2, 3, 4, 5}));
  page_->FilterEdit().setText("8010000c");
  EXPECT_EQ(ShownNumbers(page_->Model()), (std::vector<std::int32_t>{5}));
  page_->FilterEdit().setText("pc/sc");
  EXPECT_EQ(ShownNumbers(page_->Model()), (std::vector<std::int32_t>{1}));
  page_->FilterEdit().setText("a4");
  EXPECT_EQ(ShownNumbers(page_->Model()), (std::vector<std::int32_t>{4}));
  page_->FilterEdit().clear();
  EXPECT_EQ(ShownNumbers(page_->Model()).size(), 5u);
}

TEST_F(EventLogPageTest, TheKindChoiceShowsErrorsCardEventsOrExchanges) {
  Append(Session());
  const std::vector<std::pair<QString, std::vector<std::int32_t>>> cases = {
      {"Errors only", {5}}, {"Card events", {2, 3}}, {"Exchanges", {4}}, {"All records", {1, 2, 3, 4, 5}}};
  for (const auto& [kind, numbers] : cases) {
    page_->KindChoice().setCurrentText(kind);
    EXPECT_EQ(ShownNumbers(page_->Model()), numbers) << kind.toStdString();
  }
  // Filter and kind together; records arriving later are filtered too.
  page_->KindChoice().setCurrentText("Card events");
  page_->FilterEdit().setText("ready");
  Append({Record(6, ecCardReady, "Reader B", "Card ready"),
          Record(7, ecCardDetected, "Reader B", "Card detected")});
  EXPECT_EQ(ShownNumbers(page_->Model()), (std::vector<std::int32_t>{3, 6}));
}

TEST_F(EventLogPageTest, OnlyTheNewestRecordsAreKeptAndTheDroppedOnesAreCounted) {
  EventLogPage small(nullptr, 1000);
  for (int number = 1; number <= 2500; ++number) {
    small.Model().Append(Record(number, number % 10 == 0 ? ecError : ecDataSent, "R", "x"));
    if (number % 700 == 0) small.Model().Flush();
  }
  const std::vector<std::int32_t> shown = ShownNumbers(small.Model());
  ASSERT_EQ(shown.size(), 1000u);
  EXPECT_EQ(shown.front(), 1501);
  EXPECT_EQ(shown.back(), 2500);
  EXPECT_EQ(small.Model().DroppedCount(), 1500u);
  EXPECT_EQ(small.CountLabel().text(), "1000 shown of 1000, 1500 older dropped");

  // A filter shows among the kept records only; dropping more takes shown rows away from the top.
  small.KindChoice().setCurrentText("Errors only");
  EXPECT_EQ(ShownNumbers(small.Model()).size(), 100u);
  for (int number = 2501; number <= 2600; ++number) small.Model().Append(Record(number, ecError, "R", "x"));
  const std::vector<std::int32_t> errors = ShownNumbers(small.Model());
  EXPECT_EQ(errors.size(), 190u);
  EXPECT_EQ(errors.front(), 1610);
  EXPECT_EQ(errors.back(), 2600);

  small.Model().Clear();
  EXPECT_EQ(small.Model().rowCount(), 0);
  EXPECT_EQ(small.CountLabel().text(), "0 shown of 0");
}

// The fields of a record as the files hold them.
QStringList SavedFields(const LogRecord& record) {
  return {QString::number(record.Number),
          LogTimeText(record.TimeMs),
          QString::number(record.EventCode),
          record.Source,
          record.EventName,
          record.Details};
}

QStringList JsonFields(const QJsonObject& json) {
  return {QString::number(json["number"].toInt()),
          json["time"].toString(),
          QString::number(json["code"].toInt()),
          json["source"].toString(),
          json["event"].toString(),
          json["details"].toString()};
}

TEST_F(EventLogPageTest, CapacityAndOneMoreRecordsBeforeOneFlushLeaveCapacityRowsAndOneDropped) {
  for (const std::size_t capacity : {1u, 5u}) {
    EventLogPage small(nullptr, capacity);
    const auto last = static_cast<std::int32_t>(capacity) + 1;
    for (std::int32_t number = 1; number <= last; ++number) {
      small.Model().Append(Record(number, ecDataSent, "R", "x"));
    }
    const std::vector<std::int32_t> shown = ShownNumbers(small.Model());
    ASSERT_EQ(shown.size(), capacity);
    EXPECT_EQ(shown.front(), 2);
    EXPECT_EQ(shown.back(), last);
    EXPECT_EQ(small.Model().DroppedCount(), 1u);
    EXPECT_EQ(small.CountLabel().text(),
              QStringLiteral("%1 shown of %1, 1 older dropped").arg(capacity).toStdString().c_str());

    // With the page full, as many again and one more: the newest stay, all the others are counted.
    for (std::int32_t number = last + 1; number <= 2 * last; ++number) {
      small.Model().Append(Record(number, ecDataSent, "R", "x"));
    }
    EXPECT_EQ(ShownNumbers(small.Model()).front(), last + 2);
    EXPECT_EQ(small.Model().DroppedCount(), capacity + 2);
  }
}

TEST_F(EventLogPageTest, TheTableShowsTheFilesTimeWithoutItsOffsetAndTheDateOnceRecordsSpanTwoDays) {
  constexpr qint64 kTwoDaysMs = 2 * 24 * 3600 * 1000;
  const auto timeCell = [this](int row) {
    return page_->Model().index(row, EventLogModel::TimeColumn).data().toString();
  };
  const int timeOfDayWidth = page_->View().columnWidth(EventLogModel::TimeColumn);
  page_->Model().Append({1, ecMessage, kStartMs, "R", "x", ""});
  page_->Model().Flush();
  const QString file = LogTimeText(kStartMs);
  EXPECT_EQ(timeCell(0), file.mid(11, 12));
  EXPECT_FALSE(page_->Model().DatesShown());

  page_->Model().Append({2, ecMessage, kStartMs + kTwoDaysMs, "R", "x", ""});
  page_->Model().Flush();
  EXPECT_TRUE(page_->Model().DatesShown());
  EXPECT_EQ(timeCell(0), file.left(10) + " " + file.mid(11, 12));
  EXPECT_EQ(timeCell(1), LogTimeText(kStartMs + kTwoDaysMs).left(10) + " " + file.mid(11, 12));
  EXPECT_GT(page_->View().columnWidth(EventLogModel::TimeColumn), timeOfDayWidth);

  page_->Model().Clear();
  EXPECT_FALSE(page_->Model().DatesShown());
  EXPECT_EQ(page_->View().columnWidth(EventLogModel::TimeColumn), timeOfDayWidth);
}

TEST_F(EventLogPageTest, SavedCsvJsonAndJsonLinesFilesReadBackAsTheSameRecords) {
  std::vector<LogRecord> records = Session();
  records.push_back(
      Record(6, ecError, "Reader, \"quoted\"", "Error", "line one\r\nline two, with \"quotes\"\n"));
  records.push_back(Record(7, ecDataSent, QString::fromUtf8("Lecteur \xc3\xa9"), "Data sent", ""));
  records.push_back(Record(8, ecError, "R", "Error", "a lone\rcarriage return"));
  Append(records);
  TempDir folder;
  const QString csvFile = QString::fromStdString((folder / "log.csv").string());
  const QString jsonFile = QString::fromStdString((folder / "log.json").string());
  const QString jsonLinesFile = QString::fromStdString((folder / "log.jsonl").string());
  ASSERT_TRUE(page_->SaveShownRecords(csvFile, LogFileFormat::Csv));
  ASSERT_TRUE(page_->SaveShownRecords(jsonFile, LogFileFormat::Json));
  ASSERT_TRUE(page_->SaveShownRecords(jsonLinesFile, LogFileFormat::JsonLines));

  const std::vector<QStringList> rows = ParseCsv(ReadAll(csvFile));
  ASSERT_EQ(rows.size(), records.size() + 1);
  EXPECT_EQ(rows[0], (QStringList{"Number", "Time", "Code", "Source", "Event", "Details"}));
  QJsonParseError parsed;
  const QJsonDocument array = QJsonDocument::fromJson(ReadAll(jsonFile).toUtf8(), &parsed);
  ASSERT_EQ(parsed.error, QJsonParseError::NoError) << parsed.errorString().toStdString();
  ASSERT_TRUE(array.isArray());
  ASSERT_EQ(array.array().size(), static_cast<qsizetype>(records.size()));
  const QStringList jsonLines = ReadAll(jsonLinesFile).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(jsonLines.size(), static_cast<qsizetype>(records.size()));
  for (std::size_t i = 0; i < records.size(); ++i) {
    const QStringList expected = SavedFields(records[i]);
    const auto at = static_cast<qsizetype>(i);
    EXPECT_EQ(rows[i + 1], expected) << i;
    EXPECT_EQ(JsonFields(array.array()[at].toObject()), expected) << i;
    EXPECT_EQ(JsonFields(QJsonDocument::fromJson(jsonLines[at].toUtf8()).object()), expected) << i;
  }

  // No record is still an array.
  page_->Model().Clear();
  ASSERT_TRUE(page_->SaveShownRecords(jsonFile, LogFileFormat::Json));
  const QJsonDocument empty = QJsonDocument::fromJson(ReadAll(jsonFile).toUtf8());
  EXPECT_TRUE(empty.isArray() && empty.array().isEmpty()) << ReadAll(jsonFile).toStdString();
}

TEST_F(EventLogPageTest, TheSuffixNamesTheFormatAndTheDialogsFilterAddsItsOwnToANameWithout) {
  struct Case {
    QString given;
    LogFileFormat filter;
    QString fileName;
    LogFileFormat format;
  };
  const std::vector<Case> cases = {
      {"/tmp/a.csv", LogFileFormat::Json, "/tmp/a.csv", LogFileFormat::Csv},
      {"/tmp/a.JSON", LogFileFormat::Csv, "/tmp/a.JSON", LogFileFormat::Json},
      {"/tmp/a.jsonl", LogFileFormat::Json, "/tmp/a.jsonl", LogFileFormat::JsonLines},
      {"/tmp/a", LogFileFormat::Json, "/tmp/a.json", LogFileFormat::Json},
      {"/tmp/a", LogFileFormat::JsonLines, "/tmp/a.jsonl", LogFileFormat::JsonLines},
      {"/tmp/a.txt", LogFileFormat::JsonLines, "/tmp/a.txt", LogFileFormat::JsonLines},
  };
  for (const Case& c : cases) {
    const LogFileChoice choice = ChooseLogFile(c.given, c.filter);
    EXPECT_EQ(choice.FileName, c.fileName) << c.given.toStdString();
    EXPECT_EQ(choice.Format, c.format) << c.given.toStdString();
  }
  EXPECT_EQ(LogFileFormatOf("/tmp/a.txt"), LogFileFormat::Csv);
  EXPECT_EQ(LogFileFormatOf("/tmp/a.jsonl"), LogFileFormat::JsonLines);
}

TEST_F(EventLogPageTest, ASaveShowsTheRecordsTheFilterLeavesAndAFileThatCannotBeWrittenIsReported) {
  Append(Session());
  page_->KindChoice().setCurrentText("Errors only");
  TempDir folder;
  const QString fileName = QString::fromStdString((folder / "errors.jsonl").string());
  ASSERT_TRUE(page_->SaveShownRecords(fileName, LogFileFormat::JsonLines));
  EXPECT_EQ(ReadAll(fileName).count('\n'), 1);

  ErrorBoxRecorder boxes;
  const QString unwritable = QString::fromStdString((folder / "missing" / "log.csv").string());
  EXPECT_FALSE(page_->SaveShownRecords(unwritable, LogFileFormat::Csv));
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_TRUE(boxes.Texts()[0].starts_with("Cannot save the event log to " + unwritable.toStdString() + ": "))
      << boxes.Texts()[0];
}

// While it lives, a write that would make a file longer than the limit fails (with EFBIG, SIGXFSZ being
// ignored meanwhile), as a write does on a full disk.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : previousHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    const rlimit limited{bytes, previous_.rlim_max};
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previousHandler_)(int);
};

TEST_F(EventLogPageTest, ASaveWhoseLastWriteFailsReportsItAndLeavesTheOlderFileAsItWas) {
  for (int number = 1; number <= 2000; ++number) {
    page_->Model().Append(Record(number, ecDataSent, "Reader A", "Data sent", "Sent: { 00 B0 00 00 10 }"));
  }
  TempDir folder;
  for (const auto& [name, format] :
       {std::pair{"log.csv", LogFileFormat::Csv}, std::pair{"log.json", LogFileFormat::Json},
        std::pair{"log.jsonl", LogFileFormat::JsonLines}}) {
    const QString whole = QString::fromStdString((folder / "whole").string());
    ASSERT_TRUE(page_->SaveShownRecords(whole, format));
    const auto size = std::filesystem::file_size(folder / "whole");
    ASSERT_GT(size, 64u * 1024) << "the save must take more than one buffer's write";
    const std::filesystem::path older = folder / name;
    std::ofstream(older) << "the older log\n";

    // One byte short: every write but the last goes through.
    ErrorBoxRecorder boxes;
    bool saved = true;
    {
      const FileSizeLimit limit(size - 1);
      saved = page_->SaveShownRecords(QString::fromStdString(older.string()), format);
    }
    EXPECT_FALSE(saved) << name;
    ASSERT_EQ(boxes.Texts().size(), 1u) << name;
    EXPECT_TRUE(boxes.Texts()[0].starts_with("Cannot save the event log to " + older.string() + ": "))
        << boxes.Texts()[0];
    EXPECT_EQ(FileText(older), "the older log\n") << name;
    std::filesystem::remove(folder / "whole");
  }
  // Nothing is left behind but the older files.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()), {}), 3);
}

// A copy of /dev/full in the test's own folder: were the save to replace it, only the copy would go.
TEST_F(EventLogPageTest, ASaveOntoAFullDeviceReportsTheCauseAndLeavesTheDeviceInPlace) {
  struct stat full {};
  TempDir folder;
  const std::filesystem::path device = folder / "full";
  if (stat("/dev/full", &full) != 0 || mknod(device.c_str(), S_IFCHR | 0666, full.st_rdev) != 0) {
    GTEST_SKIP() << "no device like /dev/full can be made here (making one takes root)";
  }
  Append(Session());
  ErrorBoxRecorder boxes;
  EXPECT_FALSE(page_->SaveShownRecords(QString::fromStdString(device.string()), LogFileFormat::Csv));
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0],
            "Cannot save the event log to " + device.string() + ": No space left on device");
  EXPECT_TRUE(std::filesystem::is_character_file(device));
}

TEST_F(EventLogPageTest, CopyGivesTheSelectedRowsAsTabSeparatedLines) {
  Append(Session());
  page_->Model().Flush();
  page_->View().selectRow(1);
  page_->View().selectionModel()->select(page_->Model().index(3, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
  EXPECT_EQ(page_->SelectedRowsText(), "2\t" + LogTimeText(kStartMs + 2) +
                                           "\tReader A\tCard detected\tCard was detected in the reader\n" +
                                           "4\t" + LogTimeText(kStartMs + 4) +
                                           "\tReader A\tData sent\tSent: { 00 A4 }  Received: { 90 00 }\n");
}

TEST_F(EventLogPageTest, TheNewestRecordStaysInViewUnlessTheUserScrolledAway) {
  page_->resize(560, 400);
  page_->show();
  QScrollBar& bar = *page_->View().verticalScrollBar();
  for (int number = 1; number <= 200; ++number) page_->Model().Append(Record(number, ecDataSent, "R", "x"));
  page_->Model().Flush();
  ASSERT_GT(bar.maximum(), 0);
  EXPECT_EQ(bar.value(), bar.maximum());

  bar.setValue(0);
  for (int number = 201; number <= 300; ++number) page_->Model().Append(Record(number, ecDataSent, "R", "x"));
  page_->Model().Flush();
  EXPECT_EQ(bar.value(), 0);

  bar.setValue(bar.maximum());
  page_->Model().Append(Record(301, ecDataSent, "R", "x"));
  page_->Model().Flush();
  EXPECT_EQ(bar.value(), bar.maximum());
}

TEST_F(EventLogPageTest, RecordsDroppedAboveTheRowsBeingReadDoNotMoveThem) {
  EventLogPage small(nullptr, 100);
  small.resize(560, 400);
  small.show();
  QTableView& view = small.View();
  for (int number = 1; number <= 100; ++number) small.Model().Append(Record(number, ecDataSent, "R", "x"));
  small.Model().Flush();
  view.verticalScrollBar()->setValue(40);
  const int readingRow = view.rowAt(0);
  const std::int32_t reading = small.Model().RecordAt(readingRow).Number;

  for (int number = 101; number <= 120; ++number) small.Model().Append(Record(number, ecDataSent, "R", "x"));
  small.Model().Flush();
  EXPECT_EQ(small.Model().RecordAt(view.rowAt(0)).Number, reading);
}

}  // namespace
}  // namespace tessaly::test
