#include <gtest/gtest.h>

#include <string>

#include "CardBytes.h"
#include "device/ApduScript.h"
#include "device/DeviceStateText.h"
#include "device/PcscService.h"
#include "device/Transcript.h"
#include "platform/TextRules.h"
#include "templates/KeyedTable.h"

namespace tessaly::test {
namespace {

TEST(DeviceStateText, SaysWhatTheReaderHolds) {
  struct Case {
    DeviceState State;
    const char* Text;
  };
  const Case cases[] = {
      {{kStateEmpty, false, false, false, ""}, "No card"},
      {{kStatePresent, false, false, false, ""}, "Card present"},
      {{kStatePresent | kStateInUse, false, false, false, ""}, "Card in use, shared"},
      {{kStatePresent | kStateExclusive, false, false, false, ""}, "Card in use, exclusive"},
      // This program's own use shows before the service reports it.
      {{kStatePresent, true, true, false, ""}, "Card in use, exclusive"},
      {{kStatePresent | kStateInUse, true, false, true, ""},
       "Card in use, shared; its last call has not been answered"},
      {{kStatePresent | kStateMute, false, false, false, "it does not answer a reset"},
       "Card unusable: it does not answer a reset"},
      // A reason left from a card that has gone says nothing.
      {{kStateEmpty, false, false, false, "it does not answer a reset"}, "No card"},
  };
  for (const Case& c : cases) EXPECT_EQ(DeviceStateText(c.State), c.Text);
}

TEST(Transcript, WritesTheWholeAnswerWithItsMeaningAndEveryStep) {
  TKeyedTable statusWords({{"SW", TKeyedTable::TColumnKind::Text},
                           {"Color", TKeyedTable::TColumnKind::Integer},
                           {"Verbose", TKeyedTable::TColumnKind::Text}});
  statusWords.Append({{"SW", "9000"}, {"Verbose", "Normal processing"}});
  ExchangeOutcome outcome;
  outcome.Result.Steps = {{CardBytes("00 B0 00 00 00"), CardBytes("61 02")},
                          {CardBytes("00 C0 00 00 02"), CardBytes("41 42 90 00")}};
  outcome.Result.Response = CardBytes("41 42 90 00");

  EXPECT_EQ(TranscriptText(CardBytes("00 B0 00 00 00"), outcome, &statusWords),
            "> 00 B0 00 00 00\n"
            "< 41 42 90 00 : Normal processing\n"
            "# step 1: 00 B0 00 00 00 -> 61 02\n"
            "# step 2: 00 C0 00 00 02 -> 41 42 90 00\n");

  outcome.Result.Steps.resize(1);
  outcome.Failure = "The card did not answer within 30 s";
  EXPECT_EQ(TranscriptText(CardBytes("00 B0 00 00 00"), outcome, nullptr),
            "> 00 B0 00 00 00\n"
            "# no answer: The card did not answer within 30 s\n");

  EXPECT_EQ(ResetTranscriptText("3B 02 14 50", ""), "> RESET\n< OK: 3B 02 14 50\n");
  EXPECT_EQ(ResetTranscriptText("3B 02 14 50", "SCardReconnect: the card was removed"),
            "> RESET\n< KO: SCardReconnect: the card was removed\n");
}

TEST(Transcript, AnAnswerOfBerTlvIsFollowedByItsTreeAsCommentsThatAScriptLoadSkips) {
  ExchangeOutcome outcome;
  outcome.Result.Response = CardBytes("62 07 82 01 01 83 02 2F 01 00 50 04 56 49 53 41 90 00");
  outcome.Result.Steps = {{CardBytes("00 A4 00 04 02 2F 01 00"), CardBytes("61 10")},
                          {CardBytes("00 C0 00 00 10"), outcome.Result.Response}};
  const std::string text = TranscriptText(CardBytes("00 A4 00 04 02 2F 01 00"), outcome, "Done");
  EXPECT_EQ(text,
            "> 00 A4 00 04 02 2F 01 00\n"
            "< 62 07 82 01 01 83 02 2F 01 00 50 04 56 49 53 41 90 00 : Done\n"
            "# 62 File control parameters (FCP) template, 7 bytes\n"
            "#   82 File descriptor, 1 byte: 01 (working EF, not shareable, transparent)\n"
            "#   83 File identifier, 2 bytes: 2F 01\n"
            "# 50 Application label, 4 bytes: 56 49 53 41 \"VISA\"\n"
            "# step 1: 00 A4 00 04 02 2F 01 00 -> 61 10\n"
            "# step 2: 00 C0 00 00 10 -> 62 07 82 01 01 83 02 2F 01 00 50 04 56 49 53 41 90 00\n");
  const std::vector<ApduScriptLine> script = ParseApduScript(SplitLines(text));
  ASSERT_EQ(script.size(), 1u);
  EXPECT_EQ(script[0].Command, CardBytes("00 A4 00 04 02 2F 01 00"));

  // Data that stop short of TLV, and an answer of its status word alone, have no tree.
  for (const char* response : {"62 08 82 01 01 90 00", "00 00 90 00", "90 00"}) {
    outcome.Result.Response = CardBytes(response);
    outcome.Result.Steps.resize(1);
    EXPECT_EQ(TranscriptText(CardBytes("00 B0 00 00 00"), outcome, "Done"),
              "> 00 B0 00 00 00\n< " + std::string(response) + " : Done\n");
  }
}

}  // namespace
}  // namespace tessaly::test
