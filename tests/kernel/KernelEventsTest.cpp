#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "KernelEventsFixture.h"
#include "platform/CodePage.h"
#include "platform/TessalyError.h"

namespace tessaly::test {
namespace {

const std::string kReader = "Reader 0";

// A whole session on one reader: every connection event with a code passes by once.
void RunSession(TSimulatedDevice& device) {
  device.StartSession({kReader});
  device.OpenReader(0);
  device.InsertCard(0, "3B 02 14 50");
  device.Exchange(0, "00 A4 00 00 02", "90 00");
  device.RemoveCard(0);
  device.InsertInvalidCard(0);
  device.CloseReader(0);
  device.DisconnectService();
  device.UnloadDriver();
}

// One line of what a session and the error reported after it raise, and the log modes that raise it. In a
// record ("OnLog") the record number and the clock's seconds count up within each mode: each "#" stands for
// the record's number.
struct SessionLine {
  const char* Text;
  unsigned Modes;  // bit n for mode n
};

constexpr unsigned kZero = 1, kOne = 2, kTwo = 4;
constexpr unsigned kMain = kZero | kOne, kAll = kZero | kOne | kTwo;

// Mode 0 records every event, mode 1 the main ones, mode 2 only errors; every mode passes each event on,
// except that mode 2 drops reader-state changes.
const SessionLine kSessionLines[] = {
    {"OnLog(#, 3, MS Smart Card service, Driver selected, , +#s)", kZero},
    {"OnLog(#, 4, MS Smart Card service, Before driver loading, , +#s)", kZero},
    {"OnLog(#, 6, MS Smart Card service, Driver loaded, , +#s)", kMain},
    {"OnLog(#, 7, MS Smart Card service, Before service connection, , +#s)", kZero},
    {"OnLog(#, 9, MS Smart Card service, Service connected, , +#s)", kMain},
    {"OnServiceConnected()", kAll},
    {"OnLog(#, 10, MS Smart Card service, Before devices list, , +#s)", kZero},
    {"OnLog(#, 11, MS Smart Card service, Devices list changed, , +#s)", kZero},
    {"OnDevicesListChanged(connection, 1)", kAll},
    {"OnLog(#, 13, Reader 0, Before reader opening, , +#s)", kZero},
    {"OnLog(#, 14, Reader 0, Reader opened, , +#s)", kZero},
    {"OnLog(#, 12, Reader 0, Reader state changed, 0x00000020 : PRESENT : Reader 0, +#s)", kMain},
    {"OnReaderStateChanged(connection, 0, 32, Reader 0, [State=PRESENT|Reader=Reader 0], 0)", kMain},
    {"OnLog(#, 19, Reader 0, Card detected, Card was detected in the reader, +#s)", kMain},
    {"OnCardStateChanged(Reader 0, 2)", kAll},
    {"OnCardDetected(Reader 0, entry 0)", kAll},
    {"OnLog(#, 21, Reader 0, Card ready, ATR = 3B 02 14 50, +#s)", kMain},
    {"OnCardStateChanged(Reader 0, 4)", kAll},
    {"OnCardReady(Reader 0, entry 0)", kAll},
    {"OnLog(#, 26, Reader 0, Before data sending, , +#s)", kZero},
    {"OnLog(#, 27, Reader 0, Data sent, Sent: { 00 A4 00 00 02 }  Received: { 90 00 }, +#s)", kMain},
    {"OnDataSent(Reader 0, 00 A4 00 00 02, 90 00)", kAll},
    {"OnLog(#, 12, Reader 0, Reader state changed, 0x00000010 : EMPTY : Reader 0, +#s)", kMain},
    {"OnReaderStateChanged(connection, 0, 16, Reader 0, [State=EMPTY|Reader=Reader 0], 0)", kMain},
    {"OnLog(#, 18, Reader 0, Waiting for card, Insert card into a reader, please..., +#s)", kMain},
    {"OnCardStateChanged(Reader 0, 1)", kAll},
    {"OnWaitingForCard(Reader 0, entry 0)", kAll},
    {"OnLog(#, 12, Reader 0, Reader state changed, 0x00000220 : MUTE : Reader 0, +#s)", kMain},
    {"OnReaderStateChanged(connection, 0, 544, Reader 0, [State=MUTE|Reader=Reader 0], 0)", kMain},
    {"OnLog(#, 20, Reader 0, Card invalid, This card is invalid, +#s)", kMain},
    {"OnCardStateChanged(Reader 0, 3)", kAll},
    {"OnCardInvalid(Reader 0, entry 0)", kAll},
    {"OnLog(#, 15, Reader 0, Before reader closing, , +#s)", kZero},
    {"OnLog(#, 16, Reader 0, Reader closed, , +#s)", kZero},
    {"OnLog(#, 28, MS Smart Card service, Before service disconnection, , +#s)", kZero},
    {"OnCardStateChanged(, 1)", kAll},
    {"OnLog(#, 29, MS Smart Card service, Service disconnected, , +#s)", kMain},
    {"OnConnectionDown()", kAll},
    {"OnLog(#, 30, MS Smart Card service, Before driver disconnection, , +#s)", kZero},
    {"OnLog(#, 31, MS Smart Card service, Driver disconnected, , +#s)", kMain},
    {"OnConnectionDown()", kAll},
    // The error each mode's run reports after the session.
    {"OnLog(#, 1, MS Smart Card service, Error, Lost, +#s)", kOne},
    {"OnError(connection, , 0, Lost)", kOne},
    {"OnLog(#, 1, Reader 0, Error, 0x00000005 : Gone, +#s)", kTwo},
    {"OnError(connection, Reader 0, 5, Gone)", kTwo},
};

// The lines of one mode, with the records numbered.
Lines SessionLinesOf(int mode, int& records) {
  Lines lines;
  records = 0;
  for (const SessionLine& line : kSessionLines) {
    if ((line.Modes & (1u << mode)) == 0) continue;
    std::string text = line.Text;
    if (text.starts_with("OnLog(")) {
      const std::string number = std::to_string(++records);
      for (std::size_t at = text.find('#'); at != std::string::npos; at = text.find('#', at)) {
        text.replace(at, 1, number);
      }
    }
    lines.push_back(std::move(text));
  }
  return lines;
}

class LogModeTest : public KernelEventsTest, public ::testing::WithParamInterface<int> {};

TEST_P(LogModeTest, ASessionIsRecordedAsTheModeSaysAndEveryEventButDroppedOnesIsPassedOn) {
  const int mode = GetParam();
  // Mode 0 is the kernel's mode before any is stored.
  if (mode != 0) {
    StoreLogMode(mode);
    ASSERT_EQ(kernel_.EventLogMode, mode);
  }
  RunSession(device_);
  if (mode == 1) device_.ReportError("", 0, "Lost");
  if (mode == 2) device_.ReportError("Reader 0", 5, "Gone");

  int records = 0;
  EXPECT_EQ(recorder_.Events(), SessionLinesOf(mode, records));
  EXPECT_EQ(kernel_.EventCount, records);
}

INSTANTIATE_TEST_SUITE_P(Modes, LogModeTest, ::testing::Values(0, 1, 2));

TEST_F(KernelEventsTest, OnlyTheLowByteOfTheStoredModeCounts) {
  StoreLogMode(2);
  StoreLogMode(256);
  EXPECT_EQ(kernel_.EventLogMode, 0);
  StoreLogMode(0x7FFFFF01);
  EXPECT_EQ(kernel_.EventLogMode, 1);
  StoreLogMode(-1);
  EXPECT_EQ(kernel_.EventLogMode, 255);

  device_.SelectDriver(1);
  device_.ReportError("", 1, "Only this");
  EXPECT_EQ(recorder_.Records(),
            (Lines{"OnLog(1, 1, MS Smart Card service, Error, 0x00000001 : Only this, +1s)"}));
}

TEST_F(KernelEventsTest, FailedStagesRecordAndReportTheConnectionDown) {
  device_.SelectDriver(0);
  device_.LoadDriver(false);
  device_.ConnectService(false);
  device_.ReportAux(1, "Aux", 1, "ignored");
  device_.ReportAux(2, "Aux", 2, "ignored");

  EXPECT_EQ(recorder_.Events(), (Lines{
                                    "OnLog(1, 2, Connection, Driver not selected, , +1s)",
                                    "OnConnectionDown()",
                                    "OnLog(2, 4, Connection, Before driver loading, , +2s)",
                                    "OnLog(3, 5, Connection, Driver not loaded, , +3s)",
                                    "OnConnectionDown()",
                                    "OnLog(4, 7, Connection, Before service connection, , +4s)",
                                    "OnLog(5, 8, Connection, Service not connected, , +5s)",
                                    "OnConnectionDown()",
                                }));
}

TEST_F(KernelEventsTest, NumbersAndClockAdvanceWithoutASubscriber) {
  const TKernelLogEvent subscriber = std::move(kernel_.OnLog);
  kernel_.OnLog = nullptr;
  device_.StartSession({kReader});
  kernel_.OnLog = subscriber;
  device_.OpenReader(0);
  kernel_.LogEvent(ecMessage, u"Host", u"Hello");
  kernel_.LogEvent(200, u"", u"");
  kernel_.EventCount = INT32_MAX;
  kernel_.LogEvent(ecMessage, u"", u"");

  EXPECT_EQ(recorder_.Records(), (Lines{
                                     "OnLog(8, 13, Reader 0, Before reader opening, , +8s)",
                                     "OnLog(9, 14, Reader 0, Reader opened, , +9s)",
                                     "OnLog(10, 0, Host, Message, Hello, +10s)",
                                     "OnLog(11, 200, , Message, , +11s)",
                                     "OnLog(-2147483648, 0, , Message, , +12s)",
                                 }));
}

TEST_F(KernelEventsTest, AFailingLogSubscriberLosesOnlyItsRecord) {
  kernel_.OnLog = [this](std::int32_t number, auto...) {
    recorder_.Add("OnLog(" + std::to_string(number) + ")");
    throw ETessalyError("log full");
  };
  EXPECT_NO_THROW(device_.ReportError("", 0, "First"));
  EXPECT_NO_THROW(device_.ConnectService());

  EXPECT_EQ(recorder_.Events(), (Lines{
                                    "OnLog(1)",
                                    "OnError(connection, , 0, First)",
                                    "OnLog(2)",
                                    "OnLog(3)",
                                    "OnServiceConnected()",
                                }));
}

TEST_F(KernelEventsTest, TheSystemClockStampsRecordsUnlessTestsFixIt) {
  kernel_.SetLogClock({});
  std::chrono::system_clock::time_point stamped;
  kernel_.OnLog = [&](auto, auto, auto&, auto&, auto&, std::chrono::system_clock::time_point time) {
    stamped = time;
  };
  const auto before = std::chrono::system_clock::now();
  kernel_.LogEvent(ecMessage, u"", u"");
  EXPECT_GE(stamped, before);
  EXPECT_LE(stamped, std::chrono::system_clock::now());
}

TEST_F(KernelEventsTest, ErrorDetailsShowTheCodeAsUnsignedHexAndTheSourceFallsBackToTheConnection) {
  device_.ReportError("", 0, "Message alone");
  device_.ReportError("Reader 0", static_cast<std::int32_t>(0x8010000C), "No smart card");
  device_.SelectDriver(2);
  device_.ReportError("", -1, "Unknown");

  EXPECT_EQ(recorder_.Events(), (Lines{
                                    "OnLog(1, 1, Connection, Error, Message alone, +1s)",
                                    "OnError(connection, , 0, Message alone)",
                                    "OnLog(2, 1, Reader 0, Error, 0x8010000C : No smart card, +2s)",
                                    "OnError(connection, Reader 0, -2146435060, No smart card)",
                                    "OnLog(3, 3, Towitoko CHIPDRIVE, Driver selected, , +3s)",
                                    "OnLog(4, 1, Towitoko CHIPDRIVE, Error, 0xFFFFFFFF : Unknown, +4s)",
                                    "OnError(connection, , -1, Unknown)",
                                }));
}

TEST_F(KernelEventsTest, TheExchangeLogCopiesBothTextsAsReceived) {
  device_.StartSession({kReader});
  recorder_.Clear();
  device_.Exchange(0, "", "");
  device_.Exchange(0, " 00A4 ", "6A82  ");
  device_.Exchange(0, "80 CA 9F 7F", "");

  EXPECT_EQ(recorder_.Records(),
            (Lines{
                "OnLog(8, 26, Reader 0, Before data sending, , +8s)",
                "OnLog(9, 27, Reader 0, Data sent, Sent: {  }  Received: {  }, +9s)",
                "OnLog(10, 26, Reader 0, Before data sending, , +10s)",
                "OnLog(11, 27, Reader 0, Data sent, Sent: {  00A4  }  Received: { 6A82   }, +11s)",
                "OnLog(12, 26, Reader 0, Before data sending, , +12s)",
                "OnLog(13, 27, Reader 0, Data sent, Sent: { 80 CA 9F 7F }  Received: {  }, +13s)",
            }));
}

TEST_F(KernelEventsTest, WideTextsAreConvertedFromTheAnsiCodePage) {
  const std::string source = "Lecteur \xC3\xA9";
  const std::string message = "Carte \xE9\xFF";
  std::u16string loggedSource;
  std::u16string loggedDetails;
  kernel_.OnLog = [&](auto, auto, const std::u16string& s, auto&, const std::u16string& d, auto) {
    loggedSource = s;
    loggedDetails = d;
  };
  device_.ReportError(source, 0, message);
  EXPECT_EQ(loggedSource, AnsiToWide(source));
  EXPECT_EQ(loggedDetails, AnsiToWide(message));

  device_.Exchange(0, "\xB5", "");
  EXPECT_EQ(loggedDetails, u"Sent: { " + AnsiToWide("\xB5") + u" }  Received: {  }");
}

TEST_F(KernelEventsTest, MessageTextsAreShownAndHiddenInPairsWithoutRecords) {
  device_.HideMessage();
  device_.ShowMessage("Insert card");
  EXPECT_TRUE(kernel_.MessageShown);
  device_.HideMessage();
  device_.HideMessage();
  EXPECT_FALSE(kernel_.MessageShown);
  device_.ShowMessage("One");
  device_.ShowMessage("Two");
  device_.HideMessage();

  EXPECT_EQ(recorder_.Events(), (Lines{
                                    "OnShowMessage(Insert card)",
                                    "OnHideMessage()",
                                    "OnShowMessage(One)",
                                    "OnShowMessage(Two)",
                                    "OnHideMessage()",
                                }));
  EXPECT_EQ(kernel_.EventCount, 0);
}

TEST_F(KernelEventsTest, AFailingCardStateSubscriberSkipsTheCardEvent) {
  kernel_.OnCardStateChanged = [this](const std::string& reader, std::uint8_t state) {
    recorder_.Add("OnCardStateChanged(" + reader + ", " + std::to_string(state) + ") fails");
    throw ETessalyError("refused");
  };
  device_.StartSession({kReader});
  recorder_.Clear();

  EXPECT_NO_THROW(device_.InsertCard(0, "3B 00"));
  EXPECT_NO_THROW(device_.RemoveCard(0));
  EXPECT_THROW(device_.InsertInvalidCard(0), ETessalyError);
  EXPECT_THROW(device_.DisconnectService(), ETessalyError);

  EXPECT_EQ(recorder_.Events(),
            (Lines{
                "OnLog(8, 12, Reader 0, Reader state changed, 0x00000020 : PRESENT : Reader 0, +8s)",
                "OnReaderStateChanged(connection, 0, 32, Reader 0, [State=PRESENT|Reader=Reader 0], 0)",
                "OnLog(9, 19, Reader 0, Card detected, Card was detected in the reader, +9s)",
                "OnCardStateChanged(Reader 0, 2) fails",
                "OnLog(10, 21, Reader 0, Card ready, ATR = 3B 00, +10s)",
                "OnCardStateChanged(Reader 0, 4) fails",
                "OnLog(11, 12, Reader 0, Reader state changed, 0x00000010 : EMPTY : Reader 0, +11s)",
                "OnReaderStateChanged(connection, 0, 16, Reader 0, [State=EMPTY|Reader=Reader 0], 0)",
                "OnLog(12, 18, Reader 0, Waiting for card, Insert card into a reader, please..., +12s)",
                "OnCardStateChanged(Reader 0, 1) fails",
                "OnLog(13, 12, Reader 0, Reader state changed, 0x00000220 : MUTE : Reader 0, +13s)",
                "OnReaderStateChanged(connection, 0, 544, Reader 0, [State=MUTE|Reader=Reader 0], 0)",
                "OnLog(14, 20, Reader 0, Card invalid, This card is invalid, +14s)",
                "OnCardStateChanged(Reader 0, 3) fails",
                "OnLog(15, 28, MS Smart Card service, Before service disconnection, , +15s)",
                "OnCardStateChanged(, 1) fails",
            }));
}

TEST_F(KernelEventsTest, CardEventsFollowTheRecordEvenWhenItFails) {
  kernel_.OnLog = [](auto...) { throw ETessalyError("log full"); };
  device_.StartSession({kReader});
  recorder_.Clear();
  device_.InsertCard(0, "3B 00");

  EXPECT_EQ(recorder_.Events(),
            (Lines{
                "OnReaderStateChanged(connection, 0, 32, Reader 0, [State=PRESENT|Reader=Reader 0], 0)",
                "OnCardStateChanged(Reader 0, 2)",
                "OnCardDetected(Reader 0, entry 0)",
                "OnCardStateChanged(Reader 0, 4)",
                "OnCardReady(Reader 0, entry 0)",
            }));
}

}  // namespace
}  // namespace tessaly::test
