#include <algorithm>

#include "ConnectionFixture.h"

namespace tessaly::test {
namespace {

// A connection whose monitor is a tree in memory with the top node and readers group a host creates.
class ConnectionMonitor : public ConnectionFixture {
 protected:
  ConnectionMonitor() {
    TTreeNode* top = AppendMonitorNode(tree_, tree_.RootNode(), mkTop, "Tessaly Easy");
    AppendMonitorNode(tree_, top, mkReadersGroup, "Readers");
    device_.AttachMonitor(&tree_);
  }

  bool TreeShows(const std::string& text) const {
    const auto lines = tree_.Outline();
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.find(text) != line.npos; });
  }
};

TEST_F(ConnectionMonitor, ApplyWithoutReadersOnlySetsTheOnDetectPreferencesAndShowsThem) {
  OnDetectParams.StatusFlag = 9;
  connection_.InterfaceKind = 1;
  connection_.ConnectionState = 1;
  connection_.ApplyOnDetectParams(false, 1, 1, 3);

  EXPECT_EQ(OnDetectParams, (TConnectParams{0, false, 1, 1, 3}));
  EXPECT_EQ(ReaderTable[0].DetectParams, TConnectParams{});
  EXPECT_TRUE(TreeShows("Preferred Protocol = T0"));
  EXPECT_TRUE(TreeShows("Card Closing Mode = EJECT CARD"));
}

TEST_F(ConnectionMonitor, ApplyCopiesThePreferencesIntoEveryNamedReader) {
  device_.StartSession({"Reader A", "Reader B"});
  ReaderTable[1].CurrentParams.Protocol = 2;
  connection_.ApplyOnDetectParams(true, -1, 2, 1);

  const TConnectParams expected{0, true, -1, 2, 1};
  for (int n = 0; n < 2; ++n) {
    EXPECT_EQ(ReaderTable[n].DetectParams, expected) << n;
    EXPECT_EQ(ReaderTable[n].CurrentParams, expected) << n;
  }
  EXPECT_EQ(ReaderTable[2].CurrentParams, TConnectParams{});
}

TEST_F(ConnectionMonitor, PreferencesAreShownOnlyForPCSCAndWithValuesOnlyOnceConnected) {
  connection_.InterfaceKind = 2;
  connection_.ConnectionState = 1;
  connection_.ShowPreferencesInMonitor();
  EXPECT_FALSE(TreeShows("Card Detecting Defaults"));

  connection_.InterfaceKind = 1;
  connection_.ConnectionState = 0;
  OnDetectParams = {0, true, 2, 2, 0};
  connection_.ShowPreferencesInMonitor();
  EXPECT_TRUE(TreeShows("Preferred Protocol"));
  EXPECT_FALSE(TreeShows("Preferred Protocol ="));

  connection_.ConnectionState = 1;
  connection_.ShowPreferencesInMonitor();
  EXPECT_TRUE(TreeShows("Preferred Protocol = T1"));
}

TEST_F(ConnectionMonitor, RefreshShowsEveryReaderInUseWithItsCard) {
  device_.StartSession({"Reader A", "Reader B"});
  device_.InsertCard(0, "3B021450");
  connection_.RefreshAllReaders();

  EXPECT_TRUE(TreeShows("Reader A"));
  EXPECT_TRUE(TreeShows("Reader B"));
  EXPECT_TRUE(TreeShows("ATR = 3B021450"));
}

TEST_F(ConnectionMonitor, ReloadOnAHiveWithoutTheFourValuesStoresTheirDefaultsThroughReentrance) {
  device_.StartSession({"Reader A", "Reader B"});
  connection_.ReloadOnDetectParams();

  // Each stored default re-enters the reload through the kernel before the read returns.
  EXPECT_EQ(preferencesChanged_, 4);
  const TConnectParams defaults{0, true, -1, 2, 1};
  EXPECT_EQ(OnDetectParams, defaults);
  EXPECT_EQ(ReaderTable[0].CurrentParams, defaults);
  EXPECT_EQ(ReaderTable[1].DetectParams, defaults);
  EXPECT_TRUE(TreeShows("Preferred Protocol = AUTODETECT"));

  connection_.ReloadOnDetectParams();
  EXPECT_EQ(preferencesChanged_, 4);
}

TEST_F(ConnectionMonitor, ReloadWithoutStoreChangesNothing) {
  settings_.reset();
  OnDetectParams.Protocol = 7;
  connection_.ReloadOnDetectParams();
  EXPECT_EQ(OnDetectParams.Protocol, 7);
}

}  // namespace
}  // namespace tessaly::test
