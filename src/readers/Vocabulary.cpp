#include "readers/Vocabulary.h"

#include <array>
#include <string_view>

#include "pcsc/PcscCodes.h"
#include "readers/EventCodes.h"
#include "readers/ReaderTable.h"

namespace tessaly {

namespace {

// Indexed by event code; the four card events take their names from the card states instead.
constexpr std::array<std::u16string_view, ecDriverDisconnected + 1> kEventNames = {
    u"Message",
    u"Error",
    u"Driver not selected",
    u"Driver selected",
    u"Before driver loading",
    u"Driver not loaded",
    u"Driver loaded",
    u"Before service connection",
    u"Service not connected",
    u"Service connected",
    u"Before devices list",
    u"Devices list changed",
    u"Reader state changed",
    u"Before reader opening",
    u"Reader opened",
    u"Before reader closing",
    u"Reader closed",
    u"State was changed",
    {},
    {},
    {},
    {},
    u"Before Card Type data loading",
    u"Card Type data loaded",
    u"Before Template Loading",
    u"Template Loaded",
    u"Before data sending",
    u"Data sent",
    u"Before service disconnection",
    u"Service disconnected",
    u"Before driver disconnection",
    u"Driver disconnected",
};

}  // namespace

std::string ProtocolToStr(std::int32_t code) {
  switch (code) {
    case kProtocolUndefined:
      return "UNDEFINED";
    case kProtocolT0:
      return "T0";
    case kProtocolT1:
      return "T1";
    case kProtocolRaw:
      return "RAW";
    case kProtocolDefault:
      return "DEFAULT";
    case kProtocolAutoDetect:
      return "AUTODETECT";
    default:
      return "UNKNOWN";
  }
}

std::string ShareModeToStr(std::int32_t code) {
  switch (code) {
    case kShareExclusive:
      return "EXCLUSIVE USE";
    case kShareShared:
      return "CARD SHARED";
    case kShareDirect:
      return "DIRECT READER CONTROL";
    default:
      return {};
  }
}

std::string DispositionToStr(std::int32_t code) {
  switch (code) {
    case kLeaveCard:
      return "LEAVE CARD";
    case kResetCard:
      return "RESET CARD";
    case kUnpowerCard:
      return "UNPOWER CARD";
    case kEjectCard:
      return "EJECT CARD";
    default:
      return {};
  }
}

TServiceInfo InterfaceServiceInfo(std::uint8_t kind) {
  switch (kind) {
    case kInterfacePcsc:
      return {"MS Smart Card service", "PC/SC interface"};
    case kInterfaceCardServer:
      return {"Towitoko CHIPDRIVE", "CardServer interface"};
    default:
      return {"*** Not selected", "Interface not defined"};
  }
}

std::u16string EventCodeToStr(std::uint8_t code) {
  if (code >= ecWaitingForCard && code <= ecCardReady) {
    return CardStateToStr(static_cast<std::uint8_t>(csWaitingForCard + (code - ecWaitingForCard)));
  }
  if (code >= kEventNames.size()) return std::u16string(kEventNames[ecMessage]);
  return std::u16string(kEventNames[code]);
}

std::u16string CardPromptToStr(std::uint8_t code) {
  switch (code) {
    case ecWaitingForCard:
      return u"Insert card into a reader, please...";
    case ecCardDetected:
      return u"Card was detected in the reader";
    case ecCardInvalid:
      return u"This card is invalid";
    default:
      return {};
  }
}

std::u16string CardStateToStr(std::uint8_t state) {
  switch (state) {
    case csWaitingForCard:
      return u"Waiting for card";
    case csCardDetected:
      return u"Card detected";
    case csCardInvalid:
      return u"Card invalid";
    case csCardReady:
      return u"Card ready";
    default:
      return {};
  }
}

std::string BoolToYesNo(bool value) {
  return value ? "Yes" : "No";
}

std::string TextOrNoInfo(const std::string& text) {
  return text.empty() ? "< no info >" : text;
}

}  // namespace tessaly
