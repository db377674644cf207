#include "pcsc/PcscResults.h"

#include <array>
#include <cstdio>

namespace tessaly {
namespace {

struct PcscCode {
  std::uint32_t Code;
  const char* Name;
  const char* Text;
};

// The standard PC/SC result codes with their names and the meaning the PC/SC headers give them.
constexpr std::array kPcscCodes{
    PcscCode{0x00000000, "SCARD_S_SUCCESS", "no error"},
    PcscCode{0x80100001, "SCARD_F_INTERNAL_ERROR", "an internal consistency check failed"},
    PcscCode{0x80100002, "SCARD_E_CANCELLED", "the action was cancelled"},
    PcscCode{0x80100003, "SCARD_E_INVALID_HANDLE", "the supplied handle was invalid"},
    PcscCode{0x80100004, "SCARD_E_INVALID_PARAMETER", "a parameter could not be properly interpreted"},
    PcscCode{0x80100005, "SCARD_E_INVALID_TARGET", "registry start-up information is missing or invalid"},
    PcscCode{0x80100006, "SCARD_E_NO_MEMORY", "not enough memory available to complete the command"},
    PcscCode{0x80100007, "SCARD_F_WAITED_TOO_LONG", "an internal consistency timer has expired"},
    PcscCode{0x80100008, "SCARD_E_INSUFFICIENT_BUFFER", "the data buffer is too small for the returned data"},
    PcscCode{0x80100009, "SCARD_E_UNKNOWN_READER", "the specified reader name is not recognised"},
    PcscCode{0x8010000A, "SCARD_E_TIMEOUT", "the user-specified timeout value has expired"},
    PcscCode{0x8010000B, "SCARD_E_SHARING_VIOLATION",
             "the smart card cannot be accessed because of other "
             "connections outstanding"},
    PcscCode{0x8010000C, "SCARD_E_NO_SMARTCARD",
             "the operation requires a smart card, but no smart card is "
             "in the device"},
    PcscCode{0x8010000D, "SCARD_E_UNKNOWN_CARD", "the specified smart card name is not recognised"},
    PcscCode{0x8010000E, "SCARD_E_CANT_DISPOSE",
             "the system could not dispose of the media in the requested "
             "manner"},
    PcscCode{0x8010000F, "SCARD_E_PROTO_MISMATCH",
             "the requested protocols are incompatible with the protocol "
             "currently in use with the card"},
    PcscCode{0x80100010, "SCARD_E_NOT_READY", "the reader or smart card is not ready to accept commands"},
    PcscCode{0x80100011, "SCARD_E_INVALID_VALUE",
             "one or more of the supplied parameters values could not be "
             "properly interpreted"},
    PcscCode{0x80100012, "SCARD_E_SYSTEM_CANCELLED", "the action was cancelled by the system"},
    PcscCode{0x80100013, "SCARD_F_COMM_ERROR", "an internal communications error has been detected"},
    PcscCode{0x80100014, "SCARD_F_UNKNOWN_ERROR",
             "an internal error has been detected, but the source is "
             "unknown"},
    PcscCode{0x80100015, "SCARD_E_INVALID_ATR",
             "an ATR obtained from the registry is not a valid ATR string"},
    PcscCode{0x80100016, "SCARD_E_NOT_TRANSACTED", "an attempt was made to end a non-existent transaction"},
    PcscCode{0x80100017, "SCARD_E_READER_UNAVAILABLE",
             "the specified reader is not currently available for "
             "use"},
    PcscCode{0x80100018, "SCARD_P_SHUTDOWN",
             "the operation has been aborted to allow the server application "
             "to exit"},
    PcscCode{0x80100019, "SCARD_E_PCI_TOO_SMALL", "the PCI receive buffer was too small"},
    PcscCode{0x8010001A, "SCARD_E_READER_UNSUPPORTED",
             "the reader driver does not meet minimal requirements "
             "for support"},
    PcscCode{0x8010001B, "SCARD_E_DUPLICATE_READER",
             "the reader driver did not produce a unique reader name"},
    PcscCode{0x8010001C, "SCARD_E_CARD_UNSUPPORTED",
             "the smart card does not meet minimal requirements for "
             "support"},
    PcscCode{0x8010001D, "SCARD_E_NO_SERVICE", "the smart-card service is not running"},
    PcscCode{0x8010001E, "SCARD_E_SERVICE_STOPPED", "the smart-card service has shut down"},
    PcscCode{0x8010001F, "SCARD_E_UNEXPECTED", "an unexpected card error has occurred"},
    PcscCode{0x80100020, "SCARD_E_ICC_INSTALLATION", "no primary provider can be found for the smart card"},
    PcscCode{0x80100021, "SCARD_E_ICC_CREATEORDER",
             "the requested order of object creation is not supported"},
    PcscCode{0x80100022, "SCARD_E_UNSUPPORTED_FEATURE",
             "this smart card does not support the requested "
             "feature"},
    PcscCode{0x80100023, "SCARD_E_DIR_NOT_FOUND",
             "the identified directory does not exist in the smart card"},
    PcscCode{0x80100024, "SCARD_E_FILE_NOT_FOUND", "the identified file does not exist in the smart card"},
    PcscCode{0x80100025, "SCARD_E_NO_DIR", "the supplied path does not represent a smart-card directory"},
    PcscCode{0x80100026, "SCARD_E_NO_FILE", "the supplied path does not represent a smart-card file"},
    PcscCode{0x80100027, "SCARD_E_NO_ACCESS", "access is denied to this file"},
    PcscCode{0x80100028, "SCARD_E_WRITE_TOO_MANY",
             "the smart card does not have enough memory to store the "
             "information"},
    PcscCode{0x80100029, "SCARD_E_BAD_SEEK",
             "there was an error trying to set the smart-card file object "
             "pointer"},
    PcscCode{0x8010002A, "SCARD_E_INVALID_CHV", "the supplied PIN is incorrect"},
    PcscCode{0x8010002B, "SCARD_E_UNKNOWN_RES_MNG",
             "an unrecognised error code was returned from a layered "
             "component"},
    PcscCode{0x8010002C, "SCARD_E_NO_SUCH_CERTIFICATE", "the requested certificate does not exist"},
    PcscCode{0x8010002D, "SCARD_E_CERTIFICATE_UNAVAILABLE",
             "the requested certificate could not be obtained"},
    PcscCode{0x8010002E, "SCARD_E_NO_READERS_AVAILABLE", "cannot find a smart-card reader"},
    PcscCode{0x8010002F, "SCARD_E_COMM_DATA_LOST",
             "a communications error with the smart card has been "
             "detected"},
    PcscCode{0x80100030, "SCARD_E_NO_KEY_CONTAINER",
             "the requested key container does not exist on the smart "
             "card"},
    PcscCode{0x80100031, "SCARD_E_SERVER_TOO_BUSY",
             "the smart-card resource manager is too busy to complete "
             "this operation"},
    PcscCode{0x80100065, "SCARD_W_UNSUPPORTED_CARD",
             "the reader cannot communicate with the card, due to ATR "
             "string configuration conflicts"},
    PcscCode{0x80100066, "SCARD_W_UNRESPONSIVE_CARD", "the smart card is not responding to a reset"},
    PcscCode{0x80100067, "SCARD_W_UNPOWERED_CARD", "power has been removed from the smart card"},
    PcscCode{0x80100068, "SCARD_W_RESET_CARD",
             "the smart card has been reset, so any shared state "
             "information is invalid"},
    PcscCode{0x80100069, "SCARD_W_REMOVED_CARD", "the smart card has been removed"},
    PcscCode{0x8010006A, "SCARD_W_SECURITY_VIOLATION", "access was denied because of a security violation"},
    PcscCode{0x8010006B, "SCARD_W_WRONG_CHV",
             "the card cannot be accessed because the wrong PIN was "
             "presented"},
    PcscCode{0x8010006C, "SCARD_W_CHV_BLOCKED", "the maximum number of PIN entry attempts has been reached"},
    PcscCode{0x8010006D, "SCARD_W_EOF", "the end of the smart-card file has been reached"},
    PcscCode{0x8010006E, "SCARD_W_CANCELLED_BY_USER",
             "the user pressed Cancel on a smart-card selection "
             "dialog"},
    PcscCode{0x8010006F, "SCARD_W_CARD_NOT_AUTHENTICATED", "no PIN was presented to the smart card"},
};

}  // namespace

std::string PcscCodeText(std::uint32_t code) {
  char hex[11];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(code));
  for (const PcscCode& known : kPcscCodes) {
    if (known.Code == code) return std::string(known.Name) + " (" + hex + "): " + known.Text;
  }
  return std::string("PC/SC error (") + hex + ")";
}

}  // namespace tessaly
