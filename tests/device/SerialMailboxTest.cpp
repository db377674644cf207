#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "device/SerialMailbox.h"

namespace tessaly::test {
namespace {

using Lines = std::vector<std::string>;

class SerialMailboxTest : public ::testing::Test {
 protected:
  Lines done_;
  Lines failures_;
  SerialMailbox mailbox_{[this](std::exception_ptr failure) {
    try {
      std::rethrow_exception(failure);
    } catch (const std::exception& caught) {
      failures_.push_back(caught.what());
    }
  }};
};

TEST_F(SerialMailboxTest, ATaskThatArrivesWhileOneRunsWaitsForItsEnd) {
  // The first task lets "messages" through in its middle, as a monitor update does.
  mailbox_.Post([&] {
    done_.push_back("first begins");
    mailbox_.Post([&] { done_.push_back("second"); });
    done_.push_back("first ends");
  });
  EXPECT_EQ(done_, (Lines{"first begins", "first ends", "second"}));
  EXPECT_TRUE(mailbox_.Idle());
}

TEST_F(SerialMailboxTest, AnAwaitedCallHoldsNewTasksButNotItsContinuation) {
  mailbox_.Post([&] {
    done_.push_back("open begins");
    mailbox_.Await();
  });
  mailbox_.Post([&] { done_.push_back("state change"); });
  EXPECT_EQ(done_, Lines{"open begins"});
  EXPECT_FALSE(mailbox_.Idle());

  mailbox_.PostNext([&] { done_.push_back("next stage"); });
  mailbox_.Resume([&] { done_.push_back("open ends"); });
  EXPECT_EQ(done_, (Lines{"open begins", "open ends", "next stage", "state change"}));
  EXPECT_TRUE(mailbox_.Idle());
}

TEST_F(SerialMailboxTest, AFailingTaskIsReportedAndTheNextOneRuns) {
  mailbox_.Post([&] {
    mailbox_.Post([&] { done_.push_back("after the failure"); });
    throw std::runtime_error("SCardConnect: the card is mute");
  });
  EXPECT_EQ(failures_, Lines{"SCardConnect: the card is mute"});
  EXPECT_EQ(done_, Lines{"after the failure"});
}

TEST_F(SerialMailboxTest, ClearingDropsWhatWaitsAndForgetsAwaitedCalls) {
  mailbox_.Post([&] { mailbox_.Await(); });
  mailbox_.Post([&] { done_.push_back("dropped"); });
  mailbox_.Clear();
  EXPECT_TRUE(mailbox_.Idle());
  mailbox_.Post([&] { done_.push_back("taken"); });
  EXPECT_EQ(done_, Lines{"taken"});
}

}  // namespace
}  // namespace tessaly::test
