#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/PcscError.h"
#include "settings/PreferencesRecords.h"

namespace tessaly {

// The parts of a command as a person types them: one byte each for CLA, INS, P1 and P2, the data as
// hexadecimal bytes (blanks allowed) and Le, empty when no answer data is expected.
enum class ApduField { Cla, Ins, P1, P2, Data, Le };

struct ApduFieldTexts {
  std::string Cla, Ins, P1, P2, Data, Le;
};

// An input refused before anything is sent, with the field it concerns.
class EApduInputError : public EDeviceError {
 public:
  EApduInputError(ApduField field, const std::string& message) : EDeviceError(message), field_(field) {}

  ApduField Field() const { return field_; }

 private:
  ApduField field_;
};

// The field's caption as the page shows it ("CLA", "Data", ...).
const char* ApduFieldName(ApduField field);

// The byte a one-byte field (CLA, INS, P1, P2) holds as it encodes it, or nothing when it holds none.
std::optional<std::uint8_t> FieldByte(const std::string& text);

// Encodes the fields as a command. Without extended length the data has at most 255 bytes and Le is one
// byte (00 asks for 256); with it, up to 65,535 data bytes and a two-byte Le. Raises EApduInputError for the
// first field that is not hexadecimal, has an odd number of digits, is out of range or too long.
std::vector<std::uint8_t> BuildCommand(const ApduFieldTexts& fields, bool extendedLength);

// The fields of a card type's default APDU. P3 stands for Le when the APDU carries no data and names no Le,
// as in a READ BINARY written with P3 alone; with data, P3 is the data's length and the data decide it.
ApduFieldTexts FieldsOf(const TAPDUPreferences& defaultApdu);

}  // namespace tessaly
