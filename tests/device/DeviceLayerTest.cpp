#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "DeviceLayerFixture.h"
#include "TempDir.h"
#include "atr/KnownCardList.h"
#include "device/CardInformation.h"
#include "device/PcscError.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

using namespace std::chrono_literals;

const std::string kCardReader = kReader;

TEST_F(DeviceLayerTest, AStartWithACardTakesItTheWholeRoad) {
  layer_->Start();
  Settle();

  EXPECT_EQ(TakeLog(), StartWithCardLog());
  EXPECT_NE(ServiceContext, 0u);
  EXPECT_EQ(kernel_.Connection->InterfaceKind, 1);
  EXPECT_EQ(kernel_.Connection->ConnectionState, 2);
  EXPECT_EQ(kernel_.Connection->Readers, Lines{kCardReader});
  const TCardInfo& card = Entry(0).CardInfo;
  EXPECT_EQ(card.CardState, csCardTypeLoaded);
  EXPECT_EQ(card.ATR, kAtr);
  EXPECT_EQ(card.ActiveProtocol, 2);
  EXPECT_EQ(card.Preferences.CardTypeName, kDefaultCardType);
  // The card-information lines are the ATR's analysis, headed "ATR".
  ASSERT_NE(card.InfoList, nullptr);
  ASSERT_FALSE(card.InfoList->empty());
  EXPECT_EQ(card.InfoList->front(), "ATR");
  ASSERT_NE(Entry(0).Templates, nullptr);
  EXPECT_EQ(Entry(0).CurrentParams, OnDetectParams);
  // A first start hands the unknown ATR to the default card type.
  EXPECT_EQ(kernel_.Settings->GetATRIndex(),
            Lines{"3B9E118031FE458031805A54657373616C792056439E=" + std::string(kDefaultCardType)});
}

TEST_F(DeviceLayerTest, AChosenListOfKnownCardsNamesTheCardInItsInformation) {
  TempDir folder;
  const auto listFile = folder / "cards.txt";
  std::ofstream(listFile) << "3B 9E 11 80 31 FE 45 80 31 80 5A 54 65 73 73 61 6C 79 20 56 43 ..\n"
                          << "\tTessaly virtual test card\n";
  UseKnownCardList(KnownCardList::Load(listFile.string()));
  layer_->Start();
  Settle();

  const std::vector<std::string>* info = Entry(0).CardInfo.InfoList;
  ASSERT_NE(info, nullptr);
  EXPECT_NE(std::find(info->begin(), info->end(), "Known card=Tessaly virtual test card"), info->end());
}

TEST_F(DeviceLayerTest, ACardLeavingAndComingBackClosesAndOpensIt) {
  layer_->Start();
  Settle();
  TakeLog();

  service_->RemoveCard();
  Settle();
  EXPECT_EQ(TakeLog(), (Lines{
                           "Reader state changed | " + kCardReader + " | 0x00020012 : EMPTY",
                           "Before reader closing | " + kCardReader + " | ",
                           "Reader closed | " + kCardReader + " | ",
                           "Waiting for card | " + kCardReader + " | Insert card into a reader, please...",
                       }));
  EXPECT_EQ(Entry(0).CardInfo.CardState, csWaitingForCard);
  EXPECT_EQ(Entry(0).CardInfo.ATR, "");
  EXPECT_EQ(Entry(0).CardInfo.Preferences.CardTypeName, "");
  EXPECT_FALSE(layer_->CardOpen(0));
  // The card was released with the reader's closing mode, RESET CARD by default.
  EXPECT_EQ(service_->Journal().back(), "SCardDisconnect(1)");

  service_->InsertCard();
  Settle();
  EXPECT_EQ(TakeLog(),
            (Lines{
                "Reader state changed | " + kCardReader + " | 0x00030022 : PRESENT : " + kAtr,
                "Card detected | " + kCardReader + " | Card was detected in the reader",
                "Before reader opening | " + kCardReader + " | ",
                "Reader opened | " + kCardReader + " | ",
                "Card ready | " + kCardReader + " | ATR = " + kAtr,
                "Reader state changed | " + kCardReader + " | 0x00030122 : PRESENT|INUSE : " + kAtr,
            }));
  EXPECT_EQ(Entry(0).CardInfo.CardState, csCardTypeLoaded);
}

TEST_F(DeviceLayerTest, WithoutAutoOpenACardWaitsForTheHostToOpenIt) {
  kernel_.Settings->SetAutoOpen(false);
  layer_->Start();
  Settle();
  EXPECT_EQ(Entry(0).CardInfo.CardState, csCardDetected);
  EXPECT_FALSE(layer_->CardOpen(0));
  EXPECT_THROW(layer_->Transmit(0, "00 A4 00 00", {}), EDeviceError);
  TakeLog();

  layer_->OpenCard(0);
  Settle();
  EXPECT_EQ(TakeLog(),
            (Lines{
                "Before reader opening | " + kCardReader + " | ",
                "Reader opened | " + kCardReader + " | ",
                "Card ready | " + kCardReader + " | ATR = " + kAtr,
                "Reader state changed | " + kCardReader + " | 0x00010122 : PRESENT|INUSE : " + kAtr,
            }));
  EXPECT_EQ(Entry(0).CardInfo.CardState, csCardTypeLoaded);

  layer_->CloseCard(0);
  Settle();
  // Closing by hand says so with the card event of a detected card, which the pages follow.
  EXPECT_EQ(TakeLog(), (Lines{
                           "Before reader closing | " + kCardReader + " | ",
                           "Reader closed | " + kCardReader + " | ",
                           "Card detected | " + kCardReader + " | Card was detected in the reader",
                           "Reader state changed | " + kCardReader + " | 0x00010022 : PRESENT : " + kAtr,
                       }));
  EXPECT_EQ(Entry(0).CardInfo.CardState, csCardDetected);
  EXPECT_EQ(Entry(0).CardInfo.ATR, "");
  EXPECT_THROW(layer_->CloseCard(0), EDeviceError);
}

TEST_F(DeviceLayerTest, ACardThatAnswersNothingIsInvalidWithTheReasonInAnError) {
  layer_->Start();
  Settle();
  service_->RemoveCard();
  Settle();
  TakeLog();

  service_->InsertMuteCard();
  Settle();
  EXPECT_EQ(TakeLog(),
            (Lines{
                "Reader state changed | " + kCardReader + " | 0x00030222 : PRESENT|MUTE",
                "Card detected | " + kCardReader + " | Card was detected in the reader",
                "Error | " + kCardReader + " | 0x80100066 : " + PcscCodeText(kScardUnresponsiveCard),
                "Card invalid | " + kCardReader + " | This card is invalid",
            }));
  EXPECT_EQ(Entry(0).CardInfo.CardState, csCardInvalid);
  EXPECT_EQ(PcscCodeText(kScardUnresponsiveCard),
            "SCARD_W_UNRESPONSIVE_CARD (0x80100066): the smart card is not responding to a reset");
}

TEST_F(DeviceLayerTest, ReadersPluggedInTakeTheLowestFreeEntryAndFreeItWhenUnplugged) {
  layer_->Start();
  Settle();
  TakeLog();

  service_->PlugReader("Reader B");
  service_->PlugReader("Reader C");
  Settle();
  EXPECT_EQ(kernel_.Connection->Readers, (Lines{kCardReader, "Reader B", "Reader C"}));
  TakeLog();

  service_->UnplugReader("Reader B");
  Settle();
  EXPECT_EQ(TakeLog(), (Lines{"Before devices list | MS Smart Card service | ",
                              "Devices list changed | MS Smart Card service | "}));
  EXPECT_EQ(kernel_.Connection->Readers, (Lines{kCardReader, "", "Reader C"}));
  EXPECT_EQ(Entry(1).ReaderInUse, 0u);
  EXPECT_EQ(Entry(1).ReaderName, "");

  service_->PlugReader("Reader D");
  Settle();
  EXPECT_EQ(TakeLog(), (Lines{"Before devices list | MS Smart Card service | ",
                              "Devices list changed | MS Smart Card service | ",
                              "Reader state changed | Reader D | 0x00000012 : EMPTY",
                              "Waiting for card | Reader D | Insert card into a reader, please..."}));
  EXPECT_EQ(kernel_.Connection->Readers, (Lines{kCardReader, "Reader D", "Reader C"}));
  EXPECT_EQ(Entry(1).ReaderInUse, 1u);
  EXPECT_EQ(Entry(1).CurrentParams, OnDetectParams);
  EXPECT_EQ(Entry(1).CardInfo.CardState, csWaitingForCard);
}

TEST_F(DeviceLayerTest, AnEleventhReaderIsReportedOnceAndTakesAnEntryThatFreesUp) {
  layer_->Start();
  Settle();
  for (int i = 1; i <= 10; ++i) service_->PlugReader("Extra " + std::to_string(i));
  Settle();
  service_->RemoveCard();
  service_->InsertCard();
  Settle();

  const Lines log = TakeLog();
  const Lines errors = [&] {
    Lines found;
    for (const std::string& line : log)
      if (line.starts_with("Error")) found.push_back(line);
    return found;
  }();
  EXPECT_EQ(errors, Lines{"Error | Extra 10 | More than ten readers: this reader is ignored"});
  EXPECT_EQ(kernel_.Connection->Readers.size(), kReaderCount);
  EXPECT_EQ(kernel_.Connection->Readers.back(), "Extra 9");

  service_->UnplugReader("Extra 4");
  Settle();
  EXPECT_EQ(kernel_.Connection->Readers[4], "Extra 10");
  EXPECT_EQ(Entry(4).ReaderName, "Extra 10");
}

TEST_F(DeviceLayerTest, AServiceThatGoesAwayIsClearedAndComesBackOnItsOwn) {
  layer_->Start();
  Settle();
  TakeLog();

  service_->StopService();
  ASSERT_TRUE(queue_.RunUntil([&] { return kernel_.Connection->ConnectionState == 0; }, 5s));
  EXPECT_EQ(TakeLog(), (Lines{
                           "Error | MS Smart Card service | 0x8010001D : SCardGetStatusChange: " +
                               PcscCodeText(kScardNoService),
                           "Before service disconnection | MS Smart Card service | ",
                           "Service disconnected | MS Smart Card service | ",
                       }));
  EXPECT_EQ(ServiceContext, 0u);
  EXPECT_TRUE(kernel_.Connection->Readers.empty());
  EXPECT_EQ(Entry(0).ReaderInUse, 0u);
  EXPECT_EQ(Entry(0).CardInfo.ATR, "");
  EXPECT_EQ(Entry(0).CardInfo.Preferences.CardTypeName, "");

  // Retries while the service is away stay quiet and come at most once a second.
  const auto stopped = std::chrono::steady_clock::now();
  queue_.RunUntil([] { return false; }, 1500ms);
  EXPECT_EQ(TakeLog(), Lines{});
  const auto attempts = [&] {
    const Lines journal = service_->Journal();
    return std::count(journal.begin(), journal.end(), "SCardEstablishContext");
  };
  EXPECT_LE(attempts(), 1 + 2);  // the start's own, and at most one retry a second since

  service_->StartService();
  ASSERT_TRUE(queue_.RunUntil([&] { return Entry(0).CardInfo.CardState == csCardTypeLoaded; }, 3s));
  Settle();
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, 4s);
  Lines expected = StartWithCardLog();
  EXPECT_EQ(TakeLog(), expected);
  EXPECT_NE(ServiceContext, 0u);
  EXPECT_EQ(kernel_.Connection->Readers, Lines{kCardReader});
}

TEST_F(DeviceLayerTest, AServiceThatIsNotRunningAtStartIsReportedAndWaitedFor) {
  service_->StopService();
  layer_->Start();
  ASSERT_TRUE(queue_.RunUntil([&] { return log_.size() == 3; }, 5s));
  EXPECT_EQ(TakeLog(), (Lines{
                           "Before service connection | MS Smart Card service | ",
                           "Error | MS Smart Card service | 0x8010001D : SCardEstablishContext: " +
                               PcscCodeText(kScardNoService),
                           "Service not connected | MS Smart Card service | ",
                       }));
  EXPECT_EQ(ServiceContext, 0u);

  service_->StartService();
  ASSERT_TRUE(queue_.RunUntil([&] { return Entry(0).CardInfo.CardState == csCardTypeLoaded; }, 3s));
  Settle();
  EXPECT_EQ(TakeLog(), StartWithCardLog());
}

TEST_F(DeviceLayerTest, StoppingWithAnOpenCardReleasesItWithItsClosingModeAndRaisesNothing) {
  kernel_.Settings->SetClosingMode(2);
  layer_->Start();
  Settle();
  ASSERT_TRUE(layer_->CardOpen(0));
  TakeLog();

  layer_->Stop();
  queue_.RunPending();
  service_->RemoveCard();
  queue_.RunPending();

  EXPECT_TRUE(TakeLog().empty());
  const Lines journal = service_->Journal();
  ASSERT_GE(journal.size(), 2u);
  EXPECT_EQ((Lines{journal.end() - 2, journal.end()}), (Lines{"SCardDisconnect(2)", "SCardReleaseContext"}));
  EXPECT_EQ(ServiceContext, 0u);
  EXPECT_EQ(Entry(0).ReaderInUse, 0u);
  EXPECT_EQ(Entry(0).CardInfo.InfoList, nullptr);
  EXPECT_EQ(Entry(0).Templates, nullptr);
}

}  // namespace
}  // namespace tessaly::test
