#include <gtest/gtest.h>

#include "device/PcscError.h"
#include "device/VirtualReaderService.h"
#include "pcsc/PcscCodes.h"

namespace tessaly::test {
namespace {

constexpr std::uint32_t kBothProtocols = 3;

std::uint32_t ConnectFailure(VirtualReaderService& service, std::int32_t shareMode) {
  std::int32_t protocol = 0;
  try {
    service.Connect(VirtualReaderService::kReaderName, shareMode, kBothProtocols, protocol);
  } catch (const EPcscError& failure) {
    return failure.Code();
  }
  return kScardSuccess;
}

TEST(VirtualReaderService, AnExclusiveConnectionAndASharedOneExcludeEachOther) {
  VirtualReaderService service;
  service.EstablishContext();
  std::int32_t protocol = 0;
  const CardHandle exclusive =
      service.Connect(VirtualReaderService::kReaderName, kShareExclusive, kBothProtocols, protocol);
  EXPECT_EQ(ConnectFailure(service, kShareShared), kScardSharingViolation);
  EXPECT_EQ(ConnectFailure(service, kShareExclusive), kScardSharingViolation);
  service.Disconnect(exclusive, kLeaveCard);

  const CardHandle shared =
      service.Connect(VirtualReaderService::kReaderName, kShareShared, kBothProtocols, protocol);
  EXPECT_EQ(ConnectFailure(service, kShareExclusive), kScardSharingViolation);
  EXPECT_EQ(ConnectFailure(service, kShareShared), kScardSuccess);
  service.Disconnect(shared, kLeaveCard);
}

TEST(VirtualReaderService, KeepsItsJournalOnlyWhenAsked) {
  VirtualReaderService service;
  service.EstablishContext();
  EXPECT_TRUE(service.Journal().empty());
  service.KeepJournal();
  service.ReleaseContext();
  EXPECT_EQ(service.Journal(), std::vector<std::string>{"SCardReleaseContext"});
}

}  // namespace
}  // namespace tessaly::test
