#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CardBytes.h"
#include "device/ApduText.h"
#include "device/CardExchange.h"

namespace tessaly::test {
namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  return HexText(bytes);
}

// The commands a completion sends while the card gives these answers, one per exchange.
std::vector<std::string> CommandsSent(const std::string& command, const std::vector<std::string>& answers) {
  ExchangeCompletion completion(CardBytes(command));
  std::vector<std::string> sent;
  for (const std::string& answer : answers) {
    sent.push_back(Hex(completion.Next()));
    if (!completion.Take(CardBytes(answer))) break;
  }
  return sent;
}

TEST(ExchangeCompletion, JoinsTheDataOfEveryGetResponseBehindTheLastStatusWord) {
  // 300 bytes handed out as 256 + 44 after 61 00 and 61 2C.
  const std::vector<std::uint8_t> first(256, 0xA1);
  const std::vector<std::uint8_t> second(44, 0xB2);
  std::vector<std::uint8_t> firstAnswer = first;
  firstAnswer.insert(firstAnswer.end(), {0x61, 0x2C});
  std::vector<std::uint8_t> secondAnswer = second;
  secondAnswer.insert(secondAnswer.end(), {0x90, 0x00});

  ExchangeCompletion completion(CardBytes("00 B0 00 00 00"));
  ASSERT_TRUE(completion.Take(CardBytes("61 00")));
  EXPECT_EQ(Hex(completion.Next()), "00 C0 00 00 00");
  ASSERT_TRUE(completion.Take(firstAnswer));
  EXPECT_EQ(Hex(completion.Next()), "00 C0 00 00 2C");
  ASSERT_FALSE(completion.Take(secondAnswer));

  std::vector<std::uint8_t> whole = first;
  whole.insert(whole.end(), second.begin(), second.end());
  whole.insert(whole.end(), {0x90, 0x00});
  EXPECT_EQ(completion.Result().Response, whole);
  EXPECT_EQ(completion.Result().Steps.size(), 3u);
}

TEST(ExchangeCompletion, AsksForMoreDataOnTheCommandsLogicalChannel) {
  struct Case {
    const char* Command;
    const char* GetResponse;
  };
  const Case cases[] = {
      {"00 A4 04 00 02 3F 00", "00 C0 00 00 10"},  // basic channel
      {"03 A4 04 00 02 3F 00", "03 C0 00 00 10"},  // channel 3, first interindustry coding
      {"0D A4 04 00 02 3F 00", "01 C0 00 00 10"},  // channel 1 with secure messaging bits
      {"40 A4 04 00 02 3F 00", "40 C0 00 00 10"},  // channel 4, further interindustry coding
      {"6F A4 04 00 02 3F 00", "4F C0 00 00 10"},  // channel 19 with secure messaging and chaining
      {"80 CA 00 66 00", "00 C0 00 00 10"},        // a proprietary class asks in the basic channel
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CommandsSent(c.Command, {"61 10", "90 00"}),
              (std::vector<std::string>{c.Command, c.GetResponse}))
        << c.Command;
  }
}

TEST(ExchangeCompletion, RepeatsAWrongLeOnceWithTheLeTheCardAsksFor) {
  struct Case {
    const char* Command;
    const char* Repeat;  // empty: the command is not repeated
  };
  const Case cases[] = {
      {"00 B0 00 00", "00 B0 00 00 1A"},                       // case 1 gains an Le
      {"00 B0 00 00 FF", "00 B0 00 00 1A"},                    // case 2: its Le is replaced
      {"00 A4 04 00 02 3F 00", "00 A4 04 00 02 3F 00 1A"},     // case 3 gains an Le
      {"00 A4 04 00 02 3F 00 FF", "00 A4 04 00 02 3F 00 1A"},  // case 4: its Le is replaced, not doubled
      {"00 B0 00 00 00 01 00", ""},                            // extended length: no repeat
  };
  for (const Case& c : cases) {
    const std::vector<std::string> sent = CommandsSent(c.Command, {"6C 1A", "6C 1B", "90 00"});
    const std::vector<std::string> expected = *c.Repeat != '\0'
                                                  ? std::vector<std::string>{c.Command, c.Repeat}
                                                  : std::vector<std::string>{c.Command};
    EXPECT_EQ(sent, expected) << c.Command;
  }
}

TEST(ExchangeCompletion, GivesUpOnACardThatKeepsAnsweringMoreData) {
  ExchangeCompletion completion(CardBytes("00 B0 00 00 00"));
  int exchanges = 1;
  while (completion.Take(CardBytes("01 61 01")) && exchanges < 1000) ++exchanges;
  EXPECT_EQ(exchanges, 65) << "the command and 64 GET RESPONSEs";
  EXPECT_EQ(completion.Result().Response.size(), 65u + 2);
}

TEST(ExchangeCompletion, EndsAtAnAnswerWithoutAStatusWord) {
  for (const char* answer : {"", "90"}) {
    ExchangeCompletion completion(CardBytes("00 B0 00 00 00"));
    EXPECT_FALSE(completion.Take(CardBytes(answer))) << answer;
    EXPECT_FALSE(HasStatusWord(completion.Result().Response)) << answer;
  }
}

}  // namespace
}  // namespace tessaly::test
