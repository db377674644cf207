#pragma once

#include <filesystem>
#include <string>

// Key and value names shared by the two halves of the settings store.
namespace tessaly::registry_layout {

// Joins file-system path parts below the working folder.
inline constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

inline const std::string kMakerKey = "\\SOFTWARE\\Orvane";
inline const std::string kProductKey = "\\SOFTWARE\\Orvane\\Tessaly Easy";
inline const std::string kCardTypes = "Card Types";
inline const std::string kPreferences = "Preferences";
inline const std::string kATRs = "ATRs";
inline const std::string kWorkDir = "WorkDir";
inline const std::string kTemplatesFolder = "Templates";

inline const std::string kUseDefaultType = "Use Default Type";
inline const std::string kDefaultCardTypeName = "Default Card Type Name";
inline const std::string kIsoCardTypeName = "ISO-7816 Smart Card";
inline const std::string kGsmCardTypeName = "GSM SIM Card";

// Relative to the maker key.
inline std::string CardTypeKey(const std::string& name) {
  return kCardTypes + "\\" + name;
}
inline std::string CardTypeATRsKey(const std::string& name) {
  return CardTypeKey(name) + "\\" + kATRs;
}

}  // namespace tessaly::registry_layout
