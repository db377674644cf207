#include <gtest/gtest.h>

#include <functional>

#include "platform/RaiseEvent.h"

namespace tessaly::test {
namespace {

// Outside every handler, so that a handler can still read them after its own captures are gone.
int liveWitnesses = 0;
int witnessesSeenAfterReplacing = -1;

// A capture that counts the handlers holding one.
struct Witness {
  Witness() { ++liveWitnesses; }
  Witness(const Witness&) { ++liveWitnesses; }
  ~Witness() { --liveWitnesses; }
};

TEST(RaiseEvent, AnEmptySlotIsNotCalled) {
  std::function<void(int)> slot;
  EXPECT_NO_THROW(Raise(slot, 1));
}

TEST(RaiseEvent, AHandlerThatReplacesItsOwnSlotRunsToItsEnd) {
  std::function<void()> slot;
  slot = [&slot, witness = Witness()] {
    static_cast<void>(witness);
    slot = [] {};
    // The slot no longer holds this handler: only the copy Raise made keeps the running one alive.
    witnessesSeenAfterReplacing = liveWitnesses;
  };
  ASSERT_EQ(liveWitnesses, 1);

  Raise(slot);

  EXPECT_EQ(witnessesSeenAfterReplacing, 1);
  EXPECT_EQ(liveWitnesses, 0);  // the copy is gone once the raise returns
}

}  // namespace
}  // namespace tessaly::test
