// A first start cut off anywhere (a kill, a crash) is completed by the next start.
#include "InterruptedHive.h"
#include "SettingsFixture.h"

namespace tessaly::test {
namespace {

class InterruptedStart : public SettingsFixture {
 protected:
  // Runs a start whose hive is cut off at the write numbered interruptAt; false when the start made fewer
  // writes and so ran to its end.
  bool InterruptedFirstStart(int interruptAt) {
    auto hive = std::make_shared<InterruptedHive>(Hive(), interruptAt);
    try {
      TRegistrySettings(0, hive).SynchroniseSettings();
    } catch (const Interrupted&) {
      return true;
    }
    return false;
  }
};

TEST_F(InterruptedStart, TheNextStartLeavesWhatAnUninterruptedFirstStartLeaves) {
#ifdef _WIN32
  GTEST_SKIP() << "the Windows registry has no atomic runs: a cut-off start keeps what it wrote";
#endif
  TRegistrySettings(0, Hive()).SynchroniseSettings();
  const auto uninterrupted = DumpLocalMachine();
  int interruptAt = 1;
  for (;; ++interruptAt) {
    ASSERT_TRUE(DeleteKey("SOFTWARE"));
    if (!InterruptedFirstStart(interruptAt)) break;
    TRegistrySettings(0, Hive()).SynchroniseSettings();
    EXPECT_EQ(DumpLocalMachine(), uninterrupted) << "cut off at write " << interruptAt;
  }
  // Every write of a first start was a place to cut it off.
  EXPECT_GT(interruptAt, 20);
}

}  // namespace
}  // namespace tessaly::test
