#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "connection/Connection.h"
#include "readers/ReaderTable.h"

namespace tessaly {
class TTemplatesObject;
class TTreeControl;
}  // namespace tessaly

namespace tessaly::test {

// A device layer without hardware: it drives a connection through the stages of a smart-card session the
// way a PC/SC layer does, keeping the connection's reader names and the reader table consistent and
// raising each stage's events through the connection's slots ("Before..." events before the stage, the
// others after it). Each reader gets a templates object and a card-information list of its own.
// Destroying it zeroes the service context and the reader table, so no entry outlives what it points to.
class TSimulatedDevice {
 public:
  static constexpr std::uint32_t kServiceContext = 0x5C5C0001;

  explicit TSimulatedDevice(TConnection& connection);
  ~TSimulatedDevice();
  TSimulatedDevice(const TSimulatedDevice&) = delete;
  TSimulatedDevice& operator=(const TSimulatedDevice&) = delete;

  // Interface kind 0 raises OnDriverNotSelected; any other becomes the connection's interface kind.
  void SelectDriver(std::uint8_t interfaceKind);
  void LoadDriver(bool succeeds = true);
  // Holds the service context and sets the connection state to 1.
  void ConnectService(bool succeeds = true);
  // Takes at most ten names: name i goes to entry i. Sets the connection state to 2.
  void ListReaders(const std::vector<std::string>& names);
  // SelectDriver(1), LoadDriver, ConnectService and ListReaders in a row.
  void StartSession(const std::vector<std::string>& readerNames);

  void OpenReader(int n);
  void CloseReader(int n);
  // Card detected (state 2), then ready (state 4) with its ATR, protocol and information; the connection
  // loads the card type before OnCardReady is raised.
  void InsertCard(int n, const std::string& atr, std::int32_t activeProtocol = 2,
                  const std::vector<std::string>& infoLines = {});
  void InsertInvalidCard(int n);
  // Back to waiting for a card (state 1); the connection clears the card data.
  void RemoveCard(int n);
  void Exchange(int n, const std::string& sentBytes, const std::string& receivedBytes);
  void ReportError(const std::string& source, std::int32_t code, const std::string& message);
  void ReportAux(int channel, const std::string& source, std::int32_t code, const std::string& text);
  void ShowMessage(const std::string& text);
  void HideMessage();
  void DisconnectService();
  void UnloadDriver();

  void AttachMonitor(TTreeControl* tree) {
    connection_.Monitor = tree;
    attachedMonitor_ = tree;
  }
  TTemplatesObject& Templates(int n);

 private:
  TReaderHead& Entry(int n);
  const std::string& Name(int n) { return Entry(n).ReaderName; }
  void RaiseReaderState(int n, std::uint32_t stateWord, const std::string& stateText);

  TConnection& connection_;
  std::array<std::unique_ptr<TTemplatesObject>, kReaderCount> templates_;
  std::array<std::vector<std::string>, kReaderCount> infoLists_;
  // The monitor this device attached, which it detaches again when it goes.
  TTreeControl* attachedMonitor_ = nullptr;
};

}  // namespace tessaly::test
