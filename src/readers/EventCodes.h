#pragma once

#include <cstdint>

namespace tessaly {

// Codes of the connection events; 0 and every code above ecDriverDisconnected stand for a plain message.
enum TEventCode : std::uint8_t {
  ecMessage = 0,
  ecError = 1,
  ecDriverNotSelected = 2,
  ecDriverSelected = 3,
  ecBeforeDriverLoading = 4,
  ecDriverNotLoaded = 5,
  ecDriverLoaded = 6,
  ecBeforeServiceConnection = 7,
  ecServiceNotConnected = 8,
  ecServiceConnected = 9,
  ecBeforeDevicesList = 10,
  ecDevicesListChanged = 11,
  ecReaderStateChanged = 12,
  ecBeforeReaderOpening = 13,
  ecReaderOpened = 14,
  ecBeforeReaderClosing = 15,
  ecReaderClosed = 16,
  ecStateWasChanged = 17,
  ecWaitingForCard = 18,
  ecCardDetected = 19,
  ecCardInvalid = 20,
  ecCardReady = 21,
  ecBeforeCardTypeLoading = 22,
  ecCardTypeLoaded = 23,
  ecBeforeTemplateLoading = 24,
  ecTemplateLoaded = 25,
  ecBeforeDataSending = 26,
  ecDataSent = 27,
  ecBeforeServiceDisconnection = 28,
  ecServiceDisconnected = 29,
  ecBeforeDriverDisconnection = 30,
  ecDriverDisconnected = 31,
};

}  // namespace tessaly
