#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "settings/PreferencesRecords.h"

namespace tessaly {

class TTemplatesObject;

// Card-state values of a card record.
enum TCardState : std::uint8_t {
  csNoCard = 0,
  csWaitingForCard = 1,
  csCardDetected = 2,
  csCardInvalid = 3,
  csCardReady = 4,       // a card is present and its data are valid
  csCardTypeLoaded = 5,  // the card type's preferences and templates have been loaded (or tried)
};

// Connection parameters of a reader.
struct TConnectParams {
  std::uint8_t StatusFlag = 0;
  bool AutoOpen = false;
  std::int32_t Protocol = 0;
  std::int32_t ShareMode = 0;
  std::int32_t ClosingMode = 0;

  friend bool operator==(const TConnectParams&, const TConnectParams&) = default;
};

// The card record of one reader.
struct TCardInfo {
  std::uint32_t DeviceWord = 0;  // kept for the device layer
  std::uint8_t CardState = csNoCard;
  std::int32_t ActiveProtocol = 0;
  std::string ATR;
  // Lines about the card ("name=value" items and headings); owned by the device layer.
  std::vector<std::string>* InfoList = nullptr;
  TPreferencesATRRec Preferences;
};

// One entry of the reader table.
struct TReaderHead {
  std::string ReaderName;
  std::uint32_t ReaderInUse = 0;
  TConnectParams CurrentParams;
  TConnectParams DetectParams;
  TCardInfo CardInfo;
  // The reader's command and status-word tables; owned by the device layer.
  TTemplatesObject* Templates = nullptr;
};

inline constexpr std::size_t kReaderCount = 10;

// Whether the reader holds a card the device layer has seen: open, closed or unusable.
bool HoldsCard(const TReaderHead& reader);
// Whether the reader holds an open card, ready for commands.
bool HoldsOpenCard(const TReaderHead& reader);

// Process-wide values: non-zero while the device layer holds a connection to the smart-card service,
// the on-detect preferences, and the table of ten readers.
extern std::uint32_t ServiceContext;
extern TConnectParams OnDetectParams;
extern std::array<TReaderHead, kReaderCount> ReaderTable;

// Entry operations on reader n of the table; an index outside 0 to 9 leaves the table untouched.

// Copies params into DetectParams of entry n.
void SetReaderDetectParams(int n, const TConnectParams& params);
// Copies DetectParams of entry n into its CurrentParams.
void ResetReaderParams(int n);
// Clears the card data of entry n when no usable card is in the reader (CardState below csCardReady).
// readers is the connection's reader list: an entry without a name there is left alone.
void ResetCardData(const std::vector<std::string>& readers, int n);

}  // namespace tessaly
