#include "app/EventLogPage.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <vector>

#include "AppTestSupport.h"
#include "ErrorBoxRecorder.h"
#include "TempDir.h"
#include "connection/EventCodes.h"

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
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      row << field;
      field.clear();
      rows.push_back(row);
      row.clear();
      ++i;
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

TEST_F(EventLogPageTest, SavedCsvAndJsonLinesFilesReadBackAsTheSameRecords) {
  std::vector<LogRecord> records = Session();
  records.push_back(
      Record(6, ecError, "Reader, \"quoted\"", "Error", "line one\r\nline two, with \"quotes\"\n"));
  records.push_back(Record(7, ecDataSent, QString::fromUtf8("Lecteur \xc3\xa9"), "Data sent", ""));
  Append(records);
  TempDir folder;
  const QString csvFile = QString::fromStdString((folder / "log.csv").string());
  const QString jsonFile = QString::fromStdString((folder / "log.jsonl").string());
  ASSERT_TRUE(page_->SaveShownRecords(csvFile, LogFileFormat::Csv));
  ASSERT_TRUE(page_->SaveShownRecords(jsonFile, LogFileFormat::JsonLines));

  const std::vector<QStringList> rows = ParseCsv(ReadAll(csvFile));
  ASSERT_EQ(rows.size(), records.size() + 1);
  EXPECT_EQ(rows[0], (QStringList{"Number", "Time", "Code", "Source", "Event", "Details"}));
  const QStringList jsonLines = ReadAll(jsonFile).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(jsonLines.size(), static_cast<qsizetype>(records.size()));
  for (std::size_t i = 0; i < records.size(); ++i) {
    const LogRecord& record = records[i];
    const QStringList expected = {QString::number(record.Number),
                                  LogTimeText(record.TimeMs),
                                  QString::number(record.EventCode),
                                  record.Source,
                                  record.EventName,
                                  record.Details};
    EXPECT_EQ(rows[i + 1], expected) << i;
    const QJsonObject json = QJsonDocument::fromJson(jsonLines[static_cast<qsizetype>(i)].toUtf8()).object();
    const QStringList fromJson = {QString::number(json["number"].toInt()),
                                  json["time"].toString(),
                                  QString::number(json["code"].toInt()),
                                  json["source"].toString(),
                                  json["event"].toString(),
                                  json["details"].toString()};
    EXPECT_EQ(fromJson, expected) << i;
  }
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

}  // namespace
}  // namespace tessaly::test
