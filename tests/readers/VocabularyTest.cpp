#include "readers/Vocabulary.h"

#include <gtest/gtest.h>

#include <string>

#include "pcsc/PcscCodes.h"
#include "readers/EventCodes.h"

namespace tessaly {
namespace {

template <typename Code, typename Text>
struct Row {
  Code code;
  Text text;
};

TEST(Vocabulary, ProtocolNamesIncludingAutodetectAndUnknownCodes) {
  const Row<std::int32_t, std::string> rows[] = {
      {kProtocolUndefined, "UNDEFINED"},
      {kProtocolT0, "T0"},
      {kProtocolT1, "T1"},
      {0x10000, "RAW"},
      {INT32_MIN, "DEFAULT"},
      {-1, "AUTODETECT"},
      {3, "UNKNOWN"},
      {0x20000, "UNKNOWN"},
      {-2, "UNKNOWN"},
      {INT32_MAX, "UNKNOWN"},
  };
  for (const auto& row : rows) EXPECT_EQ(ProtocolToStr(row.code), row.text) << row.code;
}

TEST(Vocabulary, ShareModeNamesAndEmptyFallback) {
  const Row<std::int32_t, std::string> rows[] = {
      {1, "EXCLUSIVE USE"}, {2, "CARD SHARED"}, {3, "DIRECT READER CONTROL"}, {0, ""}, {4, ""}, {-1, ""},
  };
  for (const auto& row : rows) EXPECT_EQ(ShareModeToStr(row.code), row.text) << row.code;
}

TEST(Vocabulary, ClosingModeNamesAndEmptyFallback) {
  const Row<std::int32_t, std::string> rows[] = {
      {0, "LEAVE CARD"}, {1, "RESET CARD"}, {2, "UNPOWER CARD"}, {3, "EJECT CARD"}, {4, ""}, {-1, ""},
  };
  for (const auto& row : rows) EXPECT_EQ(DispositionToStr(row.code), row.text) << row.code;
}

TEST(Vocabulary, InterfaceKindsAndTheNotSelectedFallback) {
  struct InterfaceRow {
    std::uint8_t kind;
    std::string service;
    std::string interface;
  };
  const InterfaceRow rows[] = {
      {1, "MS Smart Card service", "PC/SC interface"},    {2, "Towitoko CHIPDRIVE", "CardServer interface"},
      {0, "*** Not selected", "Interface not defined"},   {3, "*** Not selected", "Interface not defined"},
      {255, "*** Not selected", "Interface not defined"},
  };
  for (const auto& row : rows) {
    const TServiceInfo info = InterfaceServiceInfo(row.kind);
    EXPECT_EQ(info.ServiceName, row.service) << int{row.kind};
    EXPECT_EQ(info.InterfaceName, row.interface) << int{row.kind};
  }
}

TEST(Vocabulary, EventNamesAtTheEdgesOfTheTable) {
  const Row<std::uint8_t, std::u16string> rows[] = {
      {0, u"Message"},
      {1, u"Error"},
      {11, u"Devices list changed"},
      {17, u"State was changed"},
      {18, u"Waiting for card"},
      {19, u"Card detected"},
      {20, u"Card invalid"},
      {21, u"Card ready"},
      {22, u"Before Card Type data loading"},
      {25, u"Template Loaded"},
      {31, u"Driver disconnected"},
      {32, u"Message"},
      {255, u"Message"},
  };
  for (const auto& row : rows) EXPECT_EQ(EventCodeToStr(row.code), row.text) << int{row.code};
}

TEST(Vocabulary, EveryConnectionEventHasANameOfItsOwn) {
  for (int code = ecError; code <= ecDriverDisconnected; ++code) {
    const std::u16string name = EventCodeToStr(static_cast<std::uint8_t>(code));
    EXPECT_FALSE(name.empty()) << code;
    EXPECT_NE(name, u"Message") << code;
  }
}

TEST(Vocabulary, CardEventsAreNamedAfterTheCardStates) {
  for (std::uint8_t state = 1; state <= 4; ++state) {
    EXPECT_EQ(EventCodeToStr(static_cast<std::uint8_t>(ecWaitingForCard + state - 1)), CardStateToStr(state));
  }
}

TEST(Vocabulary, CardPromptsAreKeyedByEventCode) {
  const Row<std::uint8_t, std::u16string> rows[] = {
      {18, u"Insert card into a reader, please..."},
      {19, u"Card was detected in the reader"},
      {20, u"This card is invalid"},
      {21, u""},
      {1, u""},
      {2, u""},
      {0, u""},
  };
  for (const auto& row : rows) EXPECT_EQ(CardPromptToStr(row.code), row.text) << int{row.code};
}

TEST(Vocabulary, CardStateNamesAndEmptyFallback) {
  const Row<std::uint8_t, std::u16string> rows[] = {
      {1, u"Waiting for card"},
      {2, u"Card detected"},
      {3, u"Card invalid"},
      {4, u"Card ready"},
      {0, u""},
      {5, u""},
  };
  for (const auto& row : rows) EXPECT_EQ(CardStateToStr(row.code), row.text) << int{row.code};
}

TEST(Vocabulary, TextHelpers) {
  EXPECT_EQ(BoolToYesNo(true), "Yes");
  EXPECT_EQ(BoolToYesNo(false), "No");
  EXPECT_EQ(TextOrNoInfo(""), "< no info >");
  EXPECT_EQ(TextOrNoInfo(" "), " ");
  EXPECT_EQ(TextOrNoInfo("T1"), "T1");
}

}  // namespace
}  // namespace tessaly
