#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

// The card types' base types: the standard whose commands a card type starts from.
inline constexpr std::uint8_t kIsoBaseType = 1;  // ISO/IEC 7816-4
inline constexpr std::uint8_t kGsmBaseType = 2;  // GSM 11.11, SIM cards

// The stored "Event_Log_Mode": which events the kernel records. The kernel acts on its low byte.
inline constexpr std::int32_t kLogEveryEvent = 0;
inline constexpr std::int32_t kLogMainEvents = 1;
inline constexpr std::int32_t kLogErrorsOnly = 2;

// The default APDU of a card type; each field is the text of the "DefaultAPDU" value of the same name.
struct TAPDUPreferences {
  std::string Cla;
  std::string Ins;
  std::string P1;
  std::string P2;
  std::string P3;
  std::string Le;
  std::string DataIn;
};

struct TReaderWindowPreferences {
  std::string TemplatesCOS;
  std::string TemplatesSW;
  // Held for hosts; the catalogue neither fills nor reads them.
  std::string Reserved1;
  std::string Reserved2;
  std::int32_t ReservedValue = 0;
  TAPDUPreferences DefaultAPDU;
};

// One card type, as the catalogue reads and writes it and as a reader's card record embeds it.
struct TPreferencesATRRec {
  TReaderWindowPreferences WindowPreferences;
  // The card type's ATRs in spaced form, each followed by CR LF.
  std::string ATRs;
  std::string CardTypeName;
  std::uint8_t BaseType = 0;
};

}  // namespace tessaly
