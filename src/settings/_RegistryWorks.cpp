#include "settings/_RegistryWorks.h"

#include <charconv>
#include <exception>
#include <filesystem>
#include <system_error>
#include <tuple>
#include <type_traits>
#include <utility>

#include "pcsc/PcscCodes.h"
#include "platform/CleanUp.h"
#include "platform/ErrorBox.h"
#include "platform/RaiseEvent.h"
#include "platform/TextRules.h"
#include "settings/ProductIdentity.h"
#include "settings/RegistryLayout.h"
#include "settings/WorkingFolder.h"

namespace tessaly {

using namespace registry_layout;

namespace {

const std::string kWorkDirMacro = "$(WorkDir)";
const std::string kWorkFolderName = "- Smart Cards Works";

const std::string kEventsPath = "WorkDir EventsPath";
const std::string kInfoPath = "WorkDir InfoPath";
const std::string kTemplatesPath = "WorkDir TemplatesPath";
const std::string kAutoOpen = "Connection_OnDetect_PC/SC_AutoOpen";
const std::string kSharing = "Connection_OnDetect_PC/SC_Sharing";
const std::string kProtocol = "Connection_OnDetect_PC/SC_Protocol";
const std::string kClosingMode = "Connection_OnDetect_PC/SC_ClosingMode";
const std::string kSeparateHexBytes = "Separate_Hex_Bytes";
const std::string kEventLogMode = "Event_Log_Mode";
const std::string kVersionMajor = "Version Major";
const std::string kVersionMinor = "Version Minor";

constexpr std::int32_t kDefaultProtocol = kProtocolAutoDetect;
constexpr std::int32_t kDefaultSharing = kShareShared;
constexpr std::int32_t kDefaultClosingMode = kResetCard;
constexpr std::int32_t kDefaultEventLogMode = kLogMainEvents;

std::string WorkDirSubfolder(const std::string& name) {
  return kWorkDirMacro + kSeparator + name;
}

// A new account has no data folder yet, and SetWorkDir makes one level only. A failure shows when the
// working folder itself cannot be made.
std::string DefaultWorkDirWithItsParents() {
  const std::string folder = TRegistrySettings::DefaultWorkDir();
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ignored);
  return folder;
}

void CreateFolderOrReport(const std::string& folder) {
  try {
    CreateFolder(folder);
  } catch (const std::exception& error) {
    ReportWorkingFolderFailure(error);
  }
}

// An empty text counts as 0; anything but a decimal integer gives nothing.
std::optional<std::int32_t> ParseVersionNumber(const std::string& text) {
  if (text.empty()) return 0;
  std::int32_t value = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, value);
  if (error != std::errc() || end != last) return std::nullopt;
  return value;
}

// Replaces the first occurrence of pattern, found without regard to letter case; an empty pattern replaces
// nothing.
std::string ReplaceFirstIgnoringCase(std::string_view text, const std::string& pattern,
                                     const std::string& replacement) {
  const std::size_t found = FindIgnoringAsciiCase(text, pattern);
  if (found == std::string_view::npos) return std::string(text);
  return std::string(text.substr(0, found)) + replacement + std::string(text.substr(found + pattern.size()));
}

TVersion MakeVersion(std::int32_t major, std::int32_t minor) {
  return {major, minor, std::to_string(major) + "." + std::to_string(minor)};
}

}  // namespace

TRegistrySettings::TRegistrySettings(std::uint32_t ownerHandle)
    : TRegistrySettings(ownerHandle, OpenProcessHive()) {}

TRegistrySettings::TRegistrySettings(std::uint32_t ownerHandle, std::shared_ptr<RegistryHive> hive)
    : TRegistry(std::move(hive)), ownerHandle_(ownerHandle) {
  CreateBaseKeys();
}

void TRegistrySettings::CreateBaseKeys() {
  SetRootKey(RootKey::LocalMachine);
  CreateKeyOrRaise(kMakerKey);
  CloseKey();
  CreateKeyOrRaise(kMakerKey + "\\" + kCardTypes);
  CloseKey();
  CreateKeyOrRaise(kProductKey);
  CreateKeyOrRaise(kPreferences);
  CloseKey();
}

bool TRegistrySettings::OpenBaseKey(const std::string& baseKey) {
  CloseKey();
  return OpenKey(baseKey, false);
}

bool TRegistrySettings::OpenMakerKey() {
  return OpenBaseKey(kMakerKey);
}

bool TRegistrySettings::OpenProductKey() {
  return OpenBaseKey(kProductKey);
}

void TRegistrySettings::CreateKeyOrRaise(const std::string& key) {
  const bool absolute = !key.empty() && key.front() == '\\';
  const std::string fullPath = absolute || !HasCurrentKey() ? key : "\\" + CurrentPath() + "\\" + key;
  if (!OpenKey(key, true)) throw ERegistryException("Failed to open key '" + fullPath + "'");
}

void TRegistrySettings::OpenOrRaise(const std::string& baseKey, const std::string& subkey) {
  if (!OpenBaseKey(baseKey)) throw ERegistryException("Failed to open key '" + baseKey + "'");
  if (!subkey.empty()) CreateKeyOrRaise(subkey);
}

bool TRegistrySettings::TryOpenExisting(const std::string& baseKey, const std::string& subkey) {
  return OpenBaseKey(baseKey) && OpenKey(subkey, false);
}

// A component folder the user cannot write (an installed program's) or none at all (the folder would be the
// file-system root) gives way to the user's data folder.
std::string TRegistrySettings::DefaultWorkDir() {
  const std::string besideComponent = ComponentFolder() + kSeparator + kWorkFolderName;
  if (!ComponentFolder().empty() && CanUseAsWorkFolder(besideComponent, ComponentFolder()))
    return besideComponent;
  const std::string parent = UserWorkFolderParent();
  return parent.empty() ? besideComponent : parent + kSeparator + kWorkFolderName;
}

// ---- Working folder ----

std::string TRegistrySettings::GetWorkDir() {
  if (auto stored = ReadPreferenceString(kWorkDir)) return *stored;
  const std::string folder = DefaultWorkDirWithItsParents();
  SetWorkDir(folder);
  return folder;
}

void TRegistrySettings::SetWorkDir(const std::string& folder) {
  OpenOrRaise(kProductKey, kPreferences);
  WriteString(kWorkDir, folder);
  CreateFolderOrReport(folder);
}

void TRegistrySettings::SetSubfolderPath(const std::string& valueName, const std::string& path) {
  const std::string full = ExpandWorkDir(path);
  const std::string stored = CollapseWorkDir(path);
  OpenOrRaise(kProductKey, kPreferences);
  WriteString(valueName, stored);
  CreateFolderOrReport(full);
}

void TRegistrySettings::SetEventsPath(const std::string& path) {
  SetSubfolderPath(kEventsPath, path);
}

void TRegistrySettings::SetInfoPath(const std::string& path) {
  SetSubfolderPath(kInfoPath, path);
}

void TRegistrySettings::SetTemplatesPath(const std::string& path) {
  SetSubfolderPath(kTemplatesPath, path);
}

std::string TRegistrySettings::ExpandWorkDir(const std::string& path) {
  return ReplaceFirstIgnoringCase(TrimLeadingControls(path), kWorkDirMacro, GetWorkDir());
}

std::string TRegistrySettings::CollapseWorkDir(const std::string& path) {
  return ReplaceFirstIgnoringCase(TrimLeadingControls(path), GetWorkDir(), kWorkDirMacro);
}

// ---- Preferences ----

template <typename Value>
void TRegistrySettings::WritePreference(const std::string& name, Value value,
                                        void (TRegistrySettings::*raise)()) {
  bool refused = true;
  RunWithCleanUp<FailureKept::Last>(
      [&] {
        OpenOrRaise(kProductKey, kPreferences);
        if constexpr (std::is_same_v<Value, bool>) {
          WriteBool(name, value);
        } else {
          WriteInteger(name, value);
        }
        refused = false;
      },
      [&] {
        // A handler that reads the preference again after a refused write must not store it again.
        const bool outer = std::exchange(raisingAfterRefusedWrite_, raisingAfterRefusedWrite_ || refused);
        RunWithCleanUp([&] { (this->*raise)(); }, [&] { raisingAfterRefusedWrite_ = outer; });
      });
}

std::optional<std::string> TRegistrySettings::ReadPreferenceString(const std::string& name) {
  if (!TryOpenExisting(kProductKey, kPreferences) || !ValueExists(name)) return std::nullopt;
  return ReadString(name);
}

std::optional<std::int32_t> TRegistrySettings::ReadPreferenceInteger(const std::string& name) {
  if (!TryOpenExisting(kProductKey, kPreferences) || !ValueExists(name)) return std::nullopt;
  return ReadInteger(name);
}

std::optional<bool> TRegistrySettings::ReadPreferenceBool(const std::string& name) {
  if (!TryOpenExisting(kProductKey, kPreferences) || !ValueExists(name)) return std::nullopt;
  return ReadBool(name);
}

std::int32_t TRegistrySettings::GetProtocol() {
  if (auto stored = ReadPreferenceInteger(kProtocol)) return *stored;
  if (MayStoreDefault()) SetProtocol(kDefaultProtocol);
  return kDefaultProtocol;
}

void TRegistrySettings::SetProtocol(std::int32_t protocol) {
  WritePreference(kProtocol, protocol, &TRegistrySettings::RaiseConnectionPreferencesChanged);
}

// There is no setter for the sharing mode: only its default is ever stored here.
std::int32_t TRegistrySettings::GetSharing() {
  if (auto stored = ReadPreferenceInteger(kSharing)) return *stored;
  if (!MayStoreDefault()) return kDefaultSharing;
  WritePreference(kSharing, kDefaultSharing, &TRegistrySettings::RaiseConnectionPreferencesChanged);
  return kDefaultSharing;
}

bool TRegistrySettings::GetAutoOpen() {
  if (auto stored = ReadPreferenceBool(kAutoOpen)) return *stored;
  if (MayStoreDefault()) SetAutoOpen(true);
  return true;
}

void TRegistrySettings::SetAutoOpen(bool autoOpen) {
  WritePreference(kAutoOpen, autoOpen, &TRegistrySettings::RaiseConnectionPreferencesChanged);
}

std::int32_t TRegistrySettings::GetClosingMode() {
  if (auto stored = ReadPreferenceInteger(kClosingMode)) return *stored;
  if (MayStoreDefault()) SetClosingMode(kDefaultClosingMode);
  return kDefaultClosingMode;
}

void TRegistrySettings::SetClosingMode(std::int32_t closingMode) {
  WritePreference(kClosingMode, closingMode, &TRegistrySettings::RaiseConnectionPreferencesChanged);
}

std::int32_t TRegistrySettings::GetEventLogMode() {
  if (auto stored = ReadPreferenceInteger(kEventLogMode)) return *stored;
  if (MayStoreDefault()) SetEventLogMode(kDefaultEventLogMode);
  return kDefaultEventLogMode;
}

void TRegistrySettings::SetEventLogMode(std::int32_t mode) {
  WritePreference(kEventLogMode, mode, &TRegistrySettings::RaiseEventLogModeChanged);
}

bool TRegistrySettings::GetSeparateHexBytes() {
  if (auto stored = ReadPreferenceBool(kSeparateHexBytes)) return *stored;
  if (MayStoreDefault()) SetSeparateHexBytes(true);
  return true;
}

void TRegistrySettings::SetSeparateHexBytes(bool separate) {
  WritePreference(kSeparateHexBytes, separate, &TRegistrySettings::RaiseSeparateHexBytesChanged);
}

bool TRegistrySettings::GetUseDefaultType() {
  OpenOrRaise(kMakerKey, kCardTypes);
  if (ValueExists(kUseDefaultType)) return ReadBool(kUseDefaultType);
  SetUseDefaultType(false);
  return false;
}

void TRegistrySettings::SetUseDefaultType(bool useDefault) {
  OpenOrRaise(kMakerKey, kCardTypes);
  WriteBool(kUseDefaultType, useDefault);
}

std::string TRegistrySettings::GetDefaultCardTypeName() {
  OpenOrRaise(kMakerKey, kCardTypes);
  if (ValueExists(kDefaultCardTypeName)) return ReadString(kDefaultCardTypeName);
  SetDefaultCardTypeName(kIsoCardTypeName);
  return kIsoCardTypeName;
}

void TRegistrySettings::SetDefaultCardTypeName(const std::string& name) {
  OpenOrRaise(kMakerKey, kCardTypes);
  WriteString(kDefaultCardTypeName, name);
}

bool TRegistrySettings::MonitorLayoutExists() {
  OpenOrRaise(kProductKey, "Interface");
  CreateKeyOrRaise("Monitor");
  return ValueExists("F1_Width");
}

// "Connection_OnDetect_PC/SC_ClosingMode" is left out on purpose: an upgrade keeps the user's closing mode,
// and GetClosingMode stores the default the first time it is missing.
void TRegistrySettings::WriteDefaultPreferences() {
  OpenOrRaise(kProductKey, kPreferences);
  WriteBool(kAutoOpen, true);
  WriteInteger(kSharing, kDefaultSharing);
  WriteInteger(kProtocol, kDefaultProtocol);
  WriteBool(kSeparateHexBytes, true);
  WriteInteger(kEventLogMode, kDefaultEventLogMode);
  SetWorkDir(DefaultWorkDirWithItsParents());
  SetEventsPath(WorkDirSubfolder("Events"));
  SetInfoPath(WorkDirSubfolder("Info"));
  SetTemplatesPath(WorkDirSubfolder(kTemplatesFolder));
  GetUseDefaultType();
  GetDefaultCardTypeName();
}

// ---- Settings version ----

TVersion TRegistrySettings::GetProgramVersion() {
  const TProductIdentity& identity = ProductIdentity();
  const auto major = ParseVersionNumber(identity.MajorVersion);
  const auto minor = ParseVersionNumber(identity.MinorVersion);
  if (!major || !minor) return MakeVersion(0, 0);
  return MakeVersion(*major, *minor);
}

TVersionSyncInfo TRegistrySettings::GetVersionSyncInfo() {
  TVersionSyncInfo info;
  const bool opened = OpenProductKey();
  info.ProgramVersion = GetProgramVersion();
  if (!opened || !ValueExists(kVersionMajor) || !ValueExists(kVersionMinor)) {
    info.Status = vsNotStored;
    return info;
  }
  // An unreadable stored version counts as 0.0, so the defaults are written again.
  std::int32_t major = 0;
  std::int32_t minor = 0;
  try {
    major = ReadInteger(kVersionMajor);
    minor = ReadInteger(kVersionMinor);
  } catch (const std::exception&) {
    major = 0;
    minor = 0;
  }
  info.StoredVersion = MakeVersion(major, minor);
  const auto stored = std::tie(info.StoredVersion.Major, info.StoredVersion.Minor);
  const auto program = std::tie(info.ProgramVersion.Major, info.ProgramVersion.Minor);
  info.Status = stored == program ? vsEqual : (stored < program ? vsStoredOlder : vsStoredNewer);
  return info;
}

void TRegistrySettings::SynchroniseSettings() {
  const TVersionSyncInfo info = GetVersionSyncInfo();
  switch (info.Status) {
    case vsNotStored:
    case vsStoredOlder:
      // One atomic run with the version last: a start killed part way leaves the version as it was, so
      // the next start does the whole synchronisation again.
      Atomically([&] {
        WriteDefaultPreferences();
        EnsureCardTypes();
        OpenOrRaise(kProductKey, "");
        WriteInteger(kVersionMajor, info.ProgramVersion.Major);
        WriteInteger(kVersionMinor, info.ProgramVersion.Minor);
      });
      break;
    case vsEqual:
      EnsureCardTypes();
      break;
    case vsStoredNewer:
      break;
  }
}

// ---- Events ----

void TRegistrySettings::SetOnCardTypeChanged(TRegistryDataChangedEvent handler) {
  onCardTypeChanged_ = std::move(handler);
}

void TRegistrySettings::SetOnATRAssigned(TRegistryDataChangedEvent handler) {
  onATRAssigned_ = std::move(handler);
}

void TRegistrySettings::SetOnConnectionPreferencesChanged(TPreferencesChangedEvent handler) {
  onConnectionPreferencesChanged_ = std::move(handler);
}

void TRegistrySettings::SetOnSeparateHexBytesChanged(TSettingsNotifyEvent handler) {
  onSeparateHexBytesChanged_ = std::move(handler);
}

void TRegistrySettings::SetOnEventLogModeChanged(TSettingsNotifyEvent handler) {
  onEventLogModeChanged_ = std::move(handler);
}

void TRegistrySettings::RaiseCardTypeChanged(const std::string& name) {
  Raise(onCardTypeChanged_, TRegistryDataChangedInfo{0, name, ""});
}

void TRegistrySettings::RaiseATRAssigned(const std::string& name, const std::string& atr) {
  Raise(onATRAssigned_, TRegistryDataChangedInfo{0, name, atr});
}

void TRegistrySettings::RaiseConnectionPreferencesChanged() {
  Raise(onConnectionPreferencesChanged_);
}

void TRegistrySettings::RaiseSeparateHexBytesChanged() {
  Raise(onSeparateHexBytesChanged_, *this);
}

void TRegistrySettings::RaiseEventLogModeChanged() {
  Raise(onEventLogModeChanged_, *this);
}

}  // namespace tessaly
