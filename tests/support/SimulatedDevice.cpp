#include "SimulatedDevice.h"

#include <algorithm>

#include "pcsc/PcscStates.h"
#include "platform/RaiseEvent.h"
#include "templates/_TemplatesObject.h"

namespace tessaly::test {

TSimulatedDevice::TSimulatedDevice(TConnection& connection) : connection_(connection) {
  for (std::size_t i = 0; i < kReaderCount; ++i) {
    templates_[i] = std::make_unique<TTemplatesObject>();
    templates_[i]->OwnerTag = static_cast<std::uint32_t>(i);
  }
}

TSimulatedDevice::~TSimulatedDevice() {
  ServiceContext = 0;
  ReaderTable.fill(TReaderHead{});
  if (connection_.Monitor == attachedMonitor_) connection_.Monitor = nullptr;
}

TReaderHead& TSimulatedDevice::Entry(int n) {
  return ReaderTable.at(static_cast<std::size_t>(n));
}

TTemplatesObject& TSimulatedDevice::Templates(int n) {
  return *templates_.at(static_cast<std::size_t>(n));
}

void TSimulatedDevice::SelectDriver(std::uint8_t interfaceKind) {
  if (interfaceKind == 0) {
    Raise(connection_.OnDriverNotSelected, connection_);
    return;
  }
  connection_.InterfaceKind = interfaceKind;
  Raise(connection_.OnDriverSelected, connection_);
}

void TSimulatedDevice::LoadDriver(bool succeeds) {
  Raise(connection_.OnBeforeDriverLoading, connection_);
  if (!succeeds) {
    Raise(connection_.OnDriverNotLoaded, connection_);
    return;
  }
  connection_.Drivers.SelectedName = connection_.InterfaceKind == 2 ? "CardServer" : "PC/SC";
  connection_.Drivers.Names = {"PC/SC", "CardServer"};
  TDriverInfo& driver =
      connection_.InterfaceKind == 2 ? connection_.CardServerDriver : connection_.PCSCDriver;
  driver = TDriverInfo{connection_.InterfaceKind == 2 ? "CSCT32.DLL" : "WINSCARD.DLL", 1};
  Raise(connection_.OnDriverLoaded, connection_);
}

void TSimulatedDevice::ConnectService(bool succeeds) {
  Raise(connection_.OnBeforeServiceConnection, connection_);
  if (!succeeds) {
    Raise(connection_.OnServiceNotConnected, connection_);
    return;
  }
  ServiceContext = kServiceContext;
  connection_.ConnectionState = 1;
  Raise(connection_.OnServiceConnected, connection_);
}

void TSimulatedDevice::ListReaders(const std::vector<std::string>& names) {
  Raise(connection_.OnBeforeDevicesList, connection_);
  const std::size_t count = std::min(names.size(), kReaderCount);
  connection_.Readers.assign(names.begin(), names.begin() + static_cast<std::ptrdiff_t>(count));
  for (std::size_t i = 0; i < kReaderCount; ++i) {
    TReaderHead& entry = ReaderTable[i];
    const bool inUse = i < count;
    entry.ReaderName = inUse ? names[i] : std::string();
    entry.ReaderInUse = inUse ? 1 : 0;
    entry.Templates = inUse ? templates_[i].get() : nullptr;
    entry.CardInfo.CardState = inUse ? csWaitingForCard : csNoCard;
    entry.CardInfo.ActiveProtocol = -1;
  }
  connection_.ConnectionState = 2;
  Raise(connection_.OnDevicesListChanged, connection_, static_cast<std::uint32_t>(count));
}

void TSimulatedDevice::StartSession(const std::vector<std::string>& readerNames) {
  SelectDriver(1);
  LoadDriver();
  ConnectService();
  ListReaders(readerNames);
}

void TSimulatedDevice::OpenReader(int n) {
  Raise(connection_.OnBeforeReaderOpening, connection_, Name(n), static_cast<std::uint32_t>(n));
  Raise(connection_.OnReaderOpened, connection_, Name(n), static_cast<std::uint32_t>(n));
}

void TSimulatedDevice::CloseReader(int n) {
  Raise(connection_.OnBeforeReaderClosing, connection_, Name(n), static_cast<std::uint32_t>(n));
  Raise(connection_.OnReaderClosed, connection_, Name(n), static_cast<std::uint32_t>(n));
}

void TSimulatedDevice::RaiseReaderState(int n, std::uint32_t stateWord, const std::string& stateText) {
  const std::vector<std::string> stateLines{"State=" + stateText, "Reader=" + Name(n)};
  Raise(connection_.OnReaderStateChanged, connection_, static_cast<std::uint32_t>(n), stateWord, Name(n),
        stateLines, std::uint32_t{0});
}

void TSimulatedDevice::InsertCard(int n, const std::string& atr, std::int32_t activeProtocol,
                                  const std::vector<std::string>& infoLines) {
  TCardInfo& card = Entry(n).CardInfo;
  RaiseReaderState(n, kStatePresent, "PRESENT");
  card.CardState = csCardDetected;
  Raise(connection_.OnCardDetected, connection_, Name(n), card, static_cast<std::uint32_t>(n));
  card.ATR = atr;
  card.ActiveProtocol = activeProtocol;
  infoLists_[static_cast<std::size_t>(n)] = infoLines;
  card.InfoList = &infoLists_[static_cast<std::size_t>(n)];
  card.CardState = csCardReady;
  connection_.LoadCardType(n);
  Raise(connection_.OnCardReady, connection_, Name(n), card, static_cast<std::uint32_t>(n));
}

void TSimulatedDevice::InsertInvalidCard(int n) {
  TCardInfo& card = Entry(n).CardInfo;
  RaiseReaderState(n, kStatePresent | kStateMute, "MUTE");
  card.CardState = csCardInvalid;
  connection_.LoadCardType(n);
  Raise(connection_.OnCardInvalid, connection_, Name(n), card, static_cast<std::uint32_t>(n));
}

void TSimulatedDevice::RemoveCard(int n) {
  TCardInfo& card = Entry(n).CardInfo;
  RaiseReaderState(n, kStateEmpty, "EMPTY");
  card.CardState = csWaitingForCard;
  card.ActiveProtocol = -1;
  connection_.LoadCardType(n);
  Raise(connection_.OnWaitingForCard, connection_, Name(n), card, static_cast<std::uint32_t>(n));
}

void TSimulatedDevice::Exchange(int n, const std::string& sentBytes, const std::string& receivedBytes) {
  Raise(connection_.OnBeforeDataSending, connection_, Name(n), static_cast<std::uint32_t>(n));
  Raise(connection_.OnDataSent, connection_, Name(n), sentBytes, receivedBytes);
}

void TSimulatedDevice::ReportError(const std::string& source, std::int32_t code, const std::string& message) {
  Raise(connection_.OnError, connection_, source, code, message);
}

void TSimulatedDevice::ReportAux(int channel, const std::string& source, std::int32_t code,
                                 const std::string& text) {
  Raise(channel == 1 ? connection_.OnAuxReport1 : connection_.OnAuxReport2, connection_, source, code, text);
}

void TSimulatedDevice::ShowMessage(const std::string& text) {
  Raise(connection_.OnShowMessage, text);
}

void TSimulatedDevice::HideMessage() {
  Raise(connection_.OnHideMessage);
}

void TSimulatedDevice::DisconnectService() {
  Raise(connection_.OnBeforeServiceDisconnection, connection_);
  ServiceContext = 0;
  connection_.ConnectionState = 0;
  Raise(connection_.OnServiceDisconnected, connection_);
}

void TSimulatedDevice::UnloadDriver() {
  Raise(connection_.OnBeforeDriverDisconnection, connection_);
  connection_.PCSCDriver = {};
  connection_.CardServerDriver = {};
  Raise(connection_.OnDriverDisconnected, connection_);
}

}  // namespace tessaly::test
