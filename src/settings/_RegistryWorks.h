#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/TessalyError.h"
#include "settings/PreferencesRecords.h"

namespace tessaly {

// Passed to the handlers of the two catalogue events.
struct TRegistryDataChangedInfo {
  std::uint8_t Kind = 0;
  std::string CardTypeName;
  // Hexadecimal digits without spaces; empty for a card-type change.
  std::string ATR;
};

struct TVersion {
  std::int32_t Major = 0;
  std::int32_t Minor = 0;
  // Major and Minor in decimal, joined by a point.
  std::string Text;
};

enum TVersionSyncStatus : std::uint8_t {
  vsEqual = 0,
  vsNotStored = 1,  // "Version Major" or "Version Minor" missing
  vsStoredOlder = 2,
  vsStoredNewer = 3,
};

struct TVersionSyncInfo {
  TVersionSyncStatus Status = vsEqual;
  TVersion ProgramVersion;
  TVersion StoredVersion;
};

// A card-type name that cannot name a registry key: empty, holding a backslash, or longer than 255
// characters.
class ECardTypeNameError : public ETessalyError {
 public:
  using ETessalyError::ETessalyError;
};

class TRegistrySettings;

using TRegistryDataChangedEvent = std::function<void(const TRegistryDataChangedInfo& info)>;
using TPreferencesChangedEvent = std::function<void()>;
using TSettingsNotifyEvent = std::function<void(TRegistrySettings& sender)>;

// The spaced form of an ATR: blanks removed, then single blanks between two-character groups.
std::string FormatHexPairs(const std::string& text);
// 1 "ISO-7816 Smart Card", 2 "GSM SIM Card", anything else "".
std::string BaseTypeName(std::uint8_t baseType);

// The settings store and card-type catalogue, kept in the registry under HKEY_LOCAL_MACHINE. Nothing is
// cached: every operation re-opens its keys and every getter that finds its value missing stores the
// default. Events are raised after the registry work, also when it failed; a handler may call the store
// again.
class TRegistrySettings : public TRegistry {
 public:
  // Creates the base keys in the process hive; the owner handle is kept for the host.
  explicit TRegistrySettings(std::uint32_t ownerHandle);
  TRegistrySettings(std::uint32_t ownerHandle, std::shared_ptr<RegistryHive> hive);

  std::uint32_t OwnerHandle() const { return ownerHandle_; }

  // Close the current key and open the base key without creating it; false when it cannot be opened.
  bool OpenMakerKey();
  bool OpenProductKey();

  // The component folder followed by "- Smart Cards Works", joined by the native separator, when that folder
  // can be made or written there; otherwise "- Smart Cards Works" in "orvane" in the user's data folder, and
  // the component folder's when the environment names no data folder. Leaves the file system as it was.
  static std::string DefaultWorkDir();

  std::string GetWorkDir();
  // These write the value and create the folder (one level); a folder that cannot be created is reported
  // in an error box and the operation returns normally.
  void SetWorkDir(const std::string& folder);
  void SetEventsPath(const std::string& path);
  void SetInfoPath(const std::string& path);
  void SetTemplatesPath(const std::string& path);
  // Replace the first "$(WorkDir)" (letter case ignored) by the working folder, or the other way round.
  std::string ExpandWorkDir(const std::string& path);
  std::string CollapseWorkDir(const std::string& path);

  std::int32_t GetProtocol();
  void SetProtocol(std::int32_t protocol);
  std::int32_t GetSharing();
  bool GetAutoOpen();
  void SetAutoOpen(bool autoOpen);
  std::int32_t GetClosingMode();
  void SetClosingMode(std::int32_t closingMode);
  std::int32_t GetEventLogMode();
  void SetEventLogMode(std::int32_t mode);
  bool GetSeparateHexBytes();
  void SetSeparateHexBytes(bool separate);
  bool GetUseDefaultType();
  void SetUseDefaultType(bool useDefault);
  std::string GetDefaultCardTypeName();
  void SetDefaultCardTypeName(const std::string& name);

  // Creates "Interface\Monitor" below the product key and reports whether it holds "F1_Width".
  bool MonitorLayoutExists();
  // Resets the preferences the version upgrade owns and creates the working folders; raises no event.
  void WriteDefaultPreferences();
  static TVersion GetProgramVersion();
  TVersionSyncInfo GetVersionSyncInfo();
  // Start-up: on a first run or after an upgrade writes the defaults, seeds the card types and then the
  // version, all in one atomic run of the hive; an equal version only seeds; a newer one is left alone.
  void SynchroniseSettings();
  // Start-up, after the synchronisation: writes each shipped template file that the working folder's
  // "Templates" folder lacks, creating that folder (one level) when it is missing. A file already there,
  // whatever it holds, is the user's and stays. A failure is shown in the working-folder error box and ends
  // the installation without being raised. Without a stored working folder nothing is written.
  void InstallShippedTemplates();

  // Card-type catalogue. Lists are returned by value, so an event handler that calls the catalogue again
  // cannot change a list its caller is still walking. WriteCardType, AssignATR, DeleteCardType and
  // RenameCardType refuse a name that cannot be a key name with ECardTypeNameError before they touch the
  // registry or raise an event: an empty name would address "Card Types" itself, a backslash a key below
  // another card type. CheckCardTypeName is that check, for callers that check before they ask.
  static void CheckCardTypeName(const std::string& name);
  void ReadCardType(const std::string& name, TPreferencesATRRec& record);
  // False when a write failed part way: the failure was shown in the error box and what was written before
  // it stays.
  bool WriteCardType(const std::string& name, const TPreferencesATRRec& record);
  // Renames the card type from to to with every value and ATR it holds, in one atomic run of the hive; a
  // card type already named to (letter case ignored) is replaced, and to may change only the letter case.
  // "Default Card Type Name" follows when it named either. Raises OnCardTypeChanged for from, then for to,
  // also after a failure, which then reaches the caller with the catalogue as it was (on the file hive).
  void RenameCardType(const std::string& from, const std::string& to);
  // The card-type names, in the order the registry lists the subkeys of "Card Types".
  std::vector<std::string> GetCardTypeNames();
  // Removes the card type's key with everything below it, then raises OnCardTypeChanged, also after a
  // failure. A name without a key deletes nothing; a key the registry keeps raises ERegistryException.
  void DeleteCardType(const std::string& name);
  // The card type's ATRs without spaces, in enumeration order.
  std::vector<std::string> GetCardTypeATRs(const std::string& name);
  // One line ATR=card-type name per stored ATR.
  std::vector<std::string> GetATRIndex();
  // Moves the ATR to the card type: it is removed from every other one.
  void AssignATR(const std::string& name, const std::string& atr);
  // The full path of the template file with "$(WorkDir)" expanded; empty when the value is missing.
  std::string GetCOSTemplatePath(const std::string& name);
  std::string GetSWTemplatePath(const std::string& name);
  void MakeDefaultCardType(std::uint8_t baseType, TPreferencesATRRec& record);
  void AddDefaultCardType(std::uint8_t baseType, const std::string& name);
  // Seeds the two default card types into an empty catalogue; every failure is swallowed.
  void EnsureCardTypes();

  void SetOnCardTypeChanged(TRegistryDataChangedEvent handler);
  void SetOnATRAssigned(TRegistryDataChangedEvent handler);
  void SetOnConnectionPreferencesChanged(TPreferencesChangedEvent handler);
  void SetOnSeparateHexBytesChanged(TSettingsNotifyEvent handler);
  void SetOnEventLogModeChanged(TSettingsNotifyEvent handler);

 private:
  void CreateBaseKeys();
  bool OpenBaseKey(const std::string& baseKey);
  // A failed open raises ERegistryException naming the key, so that no value operation ever acts on the
  // key that happened to be current before (or on the root key).
  void CreateKeyOrRaise(const std::string& key);
  // Open the base key (without create) and then its subkey with create; "" stands for the base key itself.
  void OpenOrRaise(const std::string& baseKey, const std::string& subkey);
  // Open the base key and its subkey without create; false when either is missing.
  bool TryOpenExisting(const std::string& baseKey, const std::string& subkey);

  std::optional<std::string> ReadPreferenceString(const std::string& name);
  std::optional<std::int32_t> ReadPreferenceInteger(const std::string& name);
  std::optional<bool> ReadPreferenceBool(const std::string& name);
  void SetSubfolderPath(const std::string& valueName, const std::string& path);

  std::string TemplatePath(const std::string& name, const std::string& valueName);
  // cos and sw are the template paths as stored, with "$(WorkDir)" collapsed.
  void WriteCardTypeValues(const std::string& name, const TPreferencesATRRec& record, const std::string& cos,
                           const std::string& sw);
  void ReadCardTypeValues(const std::string& name, TPreferencesATRRec& record);

  // Writes a preference (an integer, or a bool as 1 or 0), then raises its change event, also when the write
  // failed (see RunWithCleanUp). The event of a refused write is raised under raisingAfterRefusedWrite_.
  template <typename Value>
  void WritePreference(const std::string& name, Value value, void (TRegistrySettings::*raise)());
  // Whether a getter that finds its value missing stores the default. Not while the event of a refused write
  // is raised: a handler's nested read would store, fail and raise again without end.
  bool MayStoreDefault() const { return !raisingAfterRefusedWrite_; }

  void RaiseCardTypeChanged(const std::string& name);
  void RaiseATRAssigned(const std::string& name, const std::string& atr);
  void RaiseConnectionPreferencesChanged();
  void RaiseSeparateHexBytesChanged();
  void RaiseEventLogModeChanged();

  std::uint32_t ownerHandle_;
  TRegistryDataChangedEvent onCardTypeChanged_;
  TRegistryDataChangedEvent onATRAssigned_;
  TPreferencesChangedEvent onConnectionPreferencesChanged_;
  TSettingsNotifyEvent onSeparateHexBytesChanged_;
  TSettingsNotifyEvent onEventLogModeChanged_;
  bool raisingAfterRefusedWrite_ = false;
};

}  // namespace tessaly
