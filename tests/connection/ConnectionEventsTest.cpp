#include "ConnectionFixture.h"

namespace tessaly::test {
namespace {

using ::testing::ElementsAre;

TEST(ConnectionName, FollowsTheInterfaceKind) {
  std::unique_ptr<TRegistrySettings> noStore;
  TConnection connection(noStore, 0);
  const std::pair<std::uint8_t, const char*> cases[] = {
      {0, "Connection"}, {1, "MS Smart Card service"}, {2, "Towitoko CHIPDRIVE"}, {3, "*** Not selected"}};
  for (const auto& [kind, name] : cases) {
    connection.InterfaceKind = kind;
    EXPECT_EQ(connection.DisplayName(), name) << int(kind);
  }
}

// Binds every slot through its setter; each handler records its event's name and arguments.
class ConnectionEvents : public ConnectionFixture {
 protected:
  ConnectionEvents() {
    auto plain = [this](const char* name) { return [this, name](TConnection&) { Log(name); }; };
    auto reader = [this](const char* name) {
      return [this, name](TConnection&, const std::string& r, std::uint32_t v) { Log(name, r, v); };
    };
    auto card = [this](const char* name) {
      return [this, name](TConnection&, const std::string& r, TCardInfo& c, std::uint32_t) {
        Log(name, r, c.ATR, int(c.CardState));
      };
    };
    auto report = [this](const char* name) {
      return [this, name](TConnection& s, const std::string& src, std::int32_t code,
                          const std::string& text) { Log(name, s.DisplayName(), src, code, text); };
    };
    connection_.SetOnDevicesListChanged(
        [this](TConnection&, std::uint32_t count) { Log("DevicesListChanged", count); });
    connection_.SetOnError(report("Error"));
    connection_.SetOnServiceConnected(plain("ServiceConnected"));
    connection_.SetOnBeforeDriverDisconnection(plain("BeforeDriverDisconnection"));
    connection_.SetOnServiceNotConnected(plain("ServiceNotConnected"));
    connection_.SetOnServiceDisconnected(plain("ServiceDisconnected"));
    connection_.SetOnDriverLoaded(plain("DriverLoaded"));
    connection_.SetOnBeforeDriverLoading(plain("BeforeDriverLoading"));
    connection_.SetOnDriverDisconnected(plain("DriverDisconnected"));
    connection_.SetOnDriverNotLoaded(plain("DriverNotLoaded"));
    connection_.SetOnBeforeServiceConnection(plain("BeforeServiceConnection"));
    connection_.SetOnBeforeServiceDisconnection(plain("BeforeServiceDisconnection"));
    connection_.SetOnDriverNotSelected(plain("DriverNotSelected"));
    connection_.SetOnReaderStateChanged(
        [this](TConnection&, std::uint32_t, std::uint32_t word, const std::string& r,
               const std::vector<std::string>& lines,
               std::uint32_t) { Log("ReaderStateChanged", r, word, lines.front()); });
    connection_.SetOnReaderOpened(reader("ReaderOpened"));
    connection_.SetOnReaderClosed(reader("ReaderClosed"));
    connection_.SetOnCardDetected(card("CardDetected"));
    connection_.SetOnCardInvalid(card("CardInvalid"));
    connection_.SetOnCardReady(card("CardReady"));
    connection_.SetOnWaitingForCard(card("WaitingForCard"));
    connection_.SetOnDriverSelected(plain("DriverSelected"));
    connection_.SetOnBeforeDevicesList(plain("BeforeDevicesList"));
    connection_.SetOnBeforeReaderClosing(reader("BeforeReaderClosing"));
    connection_.SetOnBeforeReaderOpening(reader("BeforeReaderOpening"));
    connection_.SetOnBeforeDataSending(reader("BeforeDataSending"));
    connection_.SetOnAuxReport1(report("AuxReport1"));
    connection_.SetOnAuxReport2(report("AuxReport2"));
    connection_.SetOnCardTypeResolved(
        [this](TConnection&, const std::string& r, TCardInfo& c, TReaderHead& e) {
          Log("CardTypeResolved", r, c.Preferences.CardTypeName, e.ReaderName);
        });
    connection_.SetOnHideMessage([this] { Log("HideMessage"); });
    connection_.SetOnShowMessage([this](const std::string& text) { Log("ShowMessage", text); });
    connection_.SetOnDataSent([this](TConnection&, const std::string& r, const std::string& sent,
                                     const std::string& received) { Log("DataSent", r, sent, received); });
  }

  template <typename... Args>
  void Log(const char* name, const Args&... args) {
    std::string line = name;
    ((line += ' ', line += Text(args)), ...);
    log_.push_back(line);
  }
  static std::string Text(const std::string& text) { return text; }
  template <typename Number>
  static std::string Text(Number number) {
    return std::to_string(number);
  }

  std::vector<std::string> log_;
};

TEST_F(ConnectionEvents, SessionRaisesEveryEventThroughItsOwnSlotInStageOrder) {
  device_.SelectDriver(0);
  device_.StartSession({"Reader A"});
  device_.OpenReader(0);
  device_.InsertCard(0, "3B021450");
  device_.Exchange(0, "00 A4 00 00 02 3F 00", "90 00");
  device_.ReportError("", -5, "Sharing violation");
  device_.ReportAux(1, "Reader A", 1, "first");
  device_.ReportAux(2, "Reader A", 2, "second");
  device_.ShowMessage("Please wait");
  device_.HideMessage();
  device_.RemoveCard(0);
  device_.InsertInvalidCard(0);
  device_.CloseReader(0);
  device_.DisconnectService();
  device_.UnloadDriver();
  device_.LoadDriver(false);
  device_.ConnectService(false);

  EXPECT_THAT(log_,
              ElementsAre("DriverNotSelected", "DriverSelected", "BeforeDriverLoading", "DriverLoaded",
                          "BeforeServiceConnection", "ServiceConnected", "BeforeDevicesList",
                          "DevicesListChanged 1", "BeforeReaderOpening Reader A 0", "ReaderOpened Reader A 0",
                          "ReaderStateChanged Reader A 32 State=PRESENT", "CardDetected Reader A  2",
                          "CardTypeResolved Reader A Bank Card Reader A", "CardReady Reader A 3B021450 5",
                          "BeforeDataSending Reader A 0", "DataSent Reader A 00 A4 00 00 02 3F 00 90 00",
                          "Error MS Smart Card service  -5 Sharing violation",
                          "AuxReport1 MS Smart Card service Reader A 1 first",
                          "AuxReport2 MS Smart Card service Reader A 2 second", "ShowMessage Please wait",
                          "HideMessage", "ReaderStateChanged Reader A 16 State=EMPTY",
                          "WaitingForCard Reader A  1", "ReaderStateChanged Reader A 544 State=MUTE",
                          "CardInvalid Reader A  3", "BeforeReaderClosing Reader A 0",
                          "ReaderClosed Reader A 0", "BeforeServiceDisconnection", "ServiceDisconnected",
                          "BeforeDriverDisconnection", "DriverDisconnected", "BeforeDriverLoading",
                          "DriverNotLoaded", "BeforeServiceConnection", "ServiceNotConnected"));
}

TEST_F(ConnectionEvents, SetterReplacesTheEarlierHandler) {
  int first = 0;
  int second = 0;
  connection_.SetOnHideMessage([&] { ++first; });
  connection_.SetOnHideMessage([&] { ++second; });
  device_.HideMessage();
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 1);
}

}  // namespace
}  // namespace tessaly::test
