// The card-type catalogue half of TRegistrySettings: "Card Types" below the maker key, one subkey per card
// type with its values and an "ATRs" subkey holding one empty string value per ATR.

#include <exception>
#include <filesystem>
#include <utility>

#include "platform/CleanUp.h"
#include "platform/ErrorBox.h"
#include "platform/TextRules.h"
#include "settings/RegistryLayout.h"
#include "settings/_RegistryWorks.h"

namespace tessaly {

using namespace registry_layout;

namespace {

const std::string kBaseType = "Base Type";
const std::string kTemplatesCOS = "Templates COS";
const std::string kTemplatesSW = "Templates SW";
const std::string kApduCla = "DefaultAPDU Cla";
const std::string kApduIns = "DefaultAPDU Ins";
const std::string kApduP1 = "DefaultAPDU P1";
const std::string kApduP2 = "DefaultAPDU P2";
const std::string kApduP3 = "DefaultAPDU P3";
const std::string kApduLe = "DefaultAPDU Le";
const std::string kApduDataIn = "DefaultAPDU DataIn";

// Runs catalogue work whose failures are reported in the card-type error box instead of raised; false
// after such a failure.
template <typename Work>
bool ReportingFailures(Work&& work) {
  try {
    work();
    return true;
  } catch (const std::exception& error) {
    ShowErrorBox(std::string("Error Message :\r\n\r\n") + error.what() + "\r\n");
    return false;
  }
}

constexpr std::size_t kMaxKeyNameLength = 255;

std::string DefaultTemplatePath(const std::string& fileName) {
  return TRegistrySettings::DefaultWorkDir() + kSeparator + kTemplatesFolder + kSeparator + fileName;
}

}  // namespace

void TRegistrySettings::CheckCardTypeName(const std::string& name) {
  if (name.empty()) throw ECardTypeNameError("A card type needs a name");
  if (name.find('\\') != std::string::npos) {
    throw ECardTypeNameError("A card type name cannot contain a backslash: \"" + name + "\"");
  }
  if (name.size() > kMaxKeyNameLength) {
    throw ECardTypeNameError("A card type name can have at most 255 characters; this one has " +
                             std::to_string(name.size()));
  }
}

std::string FormatHexPairs(const std::string& text) {
  const std::string digits = WithoutBlanks(text);
  std::string result;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    result += digits[i];
    const bool endsPair = i % 2 == 1;
    if (endsPair && i + 1 < digits.size()) result += ' ';
  }
  return result;
}

std::string BaseTypeName(std::uint8_t baseType) {
  switch (baseType) {
    case kIsoBaseType:
      return kIsoCardTypeName;
    case kGsmBaseType:
      return kGsmCardTypeName;
    default:
      return "";
  }
}

void TRegistrySettings::ReadCardType(const std::string& name, TPreferencesATRRec& record) {
  record = TPreferencesATRRec{};
  record.CardTypeName = name;
  OpenOrRaise(kMakerKey, CardTypeKey(name));
  // The record keeps what was read before a failure.
  ReportingFailures([&] { ReadCardTypeValues(name, record); });
}

void TRegistrySettings::ReadCardTypeValues(const std::string& name, TPreferencesATRRec& record) {
  TReaderWindowPreferences& window = record.WindowPreferences;
  TAPDUPreferences& apdu = window.DefaultAPDU;
  if (ValueExists(kBaseType)) record.BaseType = static_cast<std::uint8_t>(ReadInteger(kBaseType) & 0xFF);
  const std::pair<const std::string*, std::string*> texts[] = {
      {&kTemplatesCOS, &window.TemplatesCOS},
      {&kTemplatesSW, &window.TemplatesSW},
      {&kApduCla, &apdu.Cla},
      {&kApduIns, &apdu.Ins},
      {&kApduP1, &apdu.P1},
      {&kApduP2, &apdu.P2},
      {&kApduP3, &apdu.P3},
      {&kApduLe, &apdu.Le},
      {&kApduDataIn, &apdu.DataIn},
  };
  for (const auto& [valueName, field] : texts) {
    if (ValueExists(*valueName)) *field = ReadString(*valueName);
  }
  OpenOrRaise(kMakerKey, CardTypeATRsKey(name));
  for (const std::string& atr : GetValueNames()) record.ATRs += FormatHexPairs(atr) + "\r\n";
}

bool TRegistrySettings::WriteCardType(const std::string& name, const TPreferencesATRRec& record) {
  CheckCardTypeName(name);
  bool written = false;
  RunWithCleanUp<FailureKept::Last>(
      [&] {
        const std::string cos = CollapseWorkDir(record.WindowPreferences.TemplatesCOS);
        const std::string sw = CollapseWorkDir(record.WindowPreferences.TemplatesSW);
        OpenOrRaise(kMakerKey, CardTypeKey(name));
        // What was written before a failure stays.
        written = ReportingFailures([&] { WriteCardTypeValues(name, record, cos, sw); });
      },
      [&] { RaiseCardTypeChanged(name); });
  return written;
}

// Both events: for a user of the store the card type from is gone, as after DeleteCardType, and the card
// type to is written, as after WriteCardType. The ATRs moved with their card type and no other card type's
// list changed, so OnATRAssigned is not raised.
void TRegistrySettings::RenameCardType(const std::string& from, const std::string& to) {
  CheckCardTypeName(from);
  CheckCardTypeName(to);
  RunWithCleanUp<FailureKept::Last>(
      [&] {
        Atomically([&] {
          const std::string defaultName = GetDefaultCardTypeName();
          OpenOrRaise(kMakerKey, "");
          MoveKey(CardTypeKey(from), CardTypeKey(to));
          // Unlisted ATRs are assigned to the key named exactly as the default: the default follows the
          // card type it named, and names the card type that replaced it in the case it now has.
          if (EqualsIgnoringAsciiCase(defaultName, from) || EqualsIgnoringAsciiCase(defaultName, to)) {
            SetDefaultCardTypeName(to);
          }
        });
      },
      [&] {
        RaiseCardTypeChanged(from);
        RaiseCardTypeChanged(to);
      });
}

void TRegistrySettings::WriteCardTypeValues(const std::string& name, const TPreferencesATRRec& record,
                                            const std::string& cos, const std::string& sw) {
  const TAPDUPreferences& apdu = record.WindowPreferences.DefaultAPDU;
  WriteInteger(kBaseType, record.BaseType);
  WriteString(kTemplatesCOS, cos);
  WriteString(kTemplatesSW, sw);
  WriteString(kApduCla, apdu.Cla);
  WriteString(kApduIns, apdu.Ins);
  WriteString(kApduP1, apdu.P1);
  WriteString(kApduP2, apdu.P2);
  WriteString(kApduP3, apdu.P3);
  WriteString(kApduLe, apdu.Le);
  WriteString(kApduDataIn, apdu.DataIn);
  // The whole list is replaced; other card types keep the same ATRs if they list them.
  OpenOrRaise(kMakerKey, "");
  DeleteKey(CardTypeATRsKey(name));
  CreateKeyOrRaise(CardTypeATRsKey(name));
  for (const std::string& line : SplitLines(record.ATRs)) WriteString(WithoutBlanks(line), "");
}

std::vector<std::string> TRegistrySettings::GetCardTypeNames() {
  OpenOrRaise(kMakerKey, kCardTypes);
  return GetKeyNames();
}

void TRegistrySettings::DeleteCardType(const std::string& name) {
  CheckCardTypeName(name);
  RunWithCleanUp<FailureKept::Last>(
      [&] {
        OpenOrRaise(kMakerKey, "");
        if (!DeleteKey(CardTypeKey(name)) && KeyExists(CardTypeKey(name))) {
          throw ERegistryException("Failed to delete key '" + kMakerKey + "\\" + CardTypeKey(name) + "'");
        }
      },
      [&] { RaiseCardTypeChanged(name); });
}

std::vector<std::string> TRegistrySettings::GetCardTypeATRs(const std::string& name) {
  OpenOrRaise(kMakerKey, CardTypeATRsKey(name));
  return GetValueNames();
}

std::vector<std::string> TRegistrySettings::GetATRIndex() {
  std::vector<std::string> index;
  // Every card detection reads the whole index: the hive lists all card types' ATRs at once, in one
  // snapshot, rather than opening two keys per card type.
  ReadSnapshot([&] {
    OpenOrRaise(kMakerKey, kCardTypes);
    for (SubkeyValueNames& cardType : GetValueNamesBelowSubkeys(kATRs)) {
      // A card type without its "ATRs" key gets an empty one, as every catalogue read does.
      const std::vector<std::string> atrs =
          cardType.ValueNames ? std::move(*cardType.ValueNames) : GetCardTypeATRs(cardType.Subkey);
      for (const std::string& atr : atrs) index.push_back(atr + "=" + cardType.Subkey);
    }
  });
  return index;
}

// The name must match the key's name exactly: a name in another letter case takes the ATR away from the
// card type it names as well, and the ATR ends up nowhere. Callers may rely on that, so it stays.
void TRegistrySettings::AssignATR(const std::string& name, const std::string& atr) {
  CheckCardTypeName(name);
  const std::string stored = WithoutBlanks(atr);
  RunWithCleanUp<FailureKept::Last>(
      [&] {
        if (stored.empty()) return;
        OpenOrRaise(kMakerKey, kCardTypes);
        for (const std::string& cardType : GetKeyNames()) {
          OpenOrRaise(kMakerKey, CardTypeATRsKey(cardType));
          if (cardType == name) {
            WriteString(stored, "");
          } else {
            DeleteValue(stored);
          }
        }
      },
      [&] { RaiseATRAssigned(name, stored); });
}

std::string TRegistrySettings::TemplatePath(const std::string& name, const std::string& valueName) {
  OpenOrRaise(kMakerKey, CardTypeKey(name));
  if (!ValueExists(valueName)) return "";
  return ExpandWorkDir(ReadString(valueName));
}

std::string TRegistrySettings::GetCOSTemplatePath(const std::string& name) {
  return TemplatePath(name, kTemplatesCOS);
}

std::string TRegistrySettings::GetSWTemplatePath(const std::string& name) {
  return TemplatePath(name, kTemplatesSW);
}

void TRegistrySettings::MakeDefaultCardType(std::uint8_t baseType, TPreferencesATRRec& record) {
  record = TPreferencesATRRec{};
  record.BaseType = baseType;
  ReportingFailures([&] {
    const bool gsm = baseType == kGsmBaseType;
    TReaderWindowPreferences& window = record.WindowPreferences;
    window.TemplatesCOS = DefaultTemplatePath(gsm ? "GSM-11.11.cct" : "ISO-7816-4.cct");
    window.TemplatesSW = DefaultTemplatePath(gsm ? "GSM-11.11.swt" : "ISO-7816-4.swt");
    // SELECT of the master file 3F00; SIM cards take the GSM 11.11 class byte.
    window.DefaultAPDU = TAPDUPreferences{gsm ? "A0" : "00", "A4", "00", "00", "02", "", "3F 00"};
  });
}

void TRegistrySettings::AddDefaultCardType(std::uint8_t baseType, const std::string& name) {
  TPreferencesATRRec record;
  MakeDefaultCardType(baseType, record);
  WriteCardType(name, record);
}

void TRegistrySettings::EnsureCardTypes() {
  try {
    OpenOrRaise(kProductKey, kPreferences);
    OpenOrRaise(kMakerKey, kCardTypes);
    if (GetKeyNames().empty()) {
      AddDefaultCardType(kIsoBaseType, kIsoCardTypeName);
      AddDefaultCardType(kGsmBaseType, kGsmCardTypeName);
    }
    MonitorLayoutExists();
  } catch (const std::exception&) {
    // Start-up must not fail over the catalogue.
  }
}

}  // namespace tessaly
