#include "ExchangePageFixture.h"

#include <QLineEdit>
#include <QTreeWidgetItem>
#include <fstream>
#include <sstream>

#include "app/ExchangeAnswerView.h"
#include "settings/_RegistryWorks.h"

namespace tessaly::test {
namespace {

constexpr char kCommands[] =
    "; commands of the test card\n"
    "+\t00\tA4\tSELECT\n"
    "+\t00\tA4\tSELECT FILE\n"
    "+\t00\tB0\tREAD BINARY\n"
    "+\t00\t20\tVERIFY\n";
constexpr char kStatusWords[] =
    "+\t90\t00\t008000\tNormal processing\n"
    "+\t61\tXX\t3C7800\tMore data waiting\n"
    "+\t6C\tXX\t005AB4\tWrong Le, SW2 gives the right one\n"
    "+\t63\tXX\t005AB4\tMemory changed\n"
    "+\t63\tCX\t005AB4\tWrong PIN: the low digit of SW2 tells how many tries are left before the PIN is "
    "blocked\n"
    "+\t6A\tXX\t0000C0\tWrong parameters\n"
    "+\t6A\t82\t0000C0\tFile or application not found\n";

}  // namespace

void WriteText(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

ExchangePageTest::ExchangePageTest() {
  WriteText(folder_ / "card.cct", kCommands);
  WriteText(folder_ / "card.swt", kStatusWords);
  TPreferencesATRRec cardType;
  kernel_->Settings->ReadCardType(kCardType, cardType);
  cardType.WindowPreferences.TemplatesCOS = (folder_ / "card.cct").string();
  cardType.WindowPreferences.TemplatesSW = (folder_ / "card.swt").string();
  kernel_->Settings->WriteCardType(kCardType, cardType);
}

void ExchangePageTest::Start(std::int32_t protocol) {
  kernel_->Settings->SetProtocol(protocol);
  ASSERT_TRUE(StartAndSettle());
  DeviceLayer& layer = *layer_;
  Page().SetReaderExchange({[&layer](int n) { return layer.CardOpen(n); },
                            [&layer, this](int n, std::span<const std::uint8_t> command, ExchangeDone done) {
                              ++sent_;
                              layer.Transmit(n, command, std::move(done));
                            },
                            [&layer](int n) { layer.CancelExchange(n); },
                            [&layer, this](int n, CardDone done) {
                              cardCalls_.push_back("reset");
                              layer.ResetCard(n, std::move(done));
                            },
                            [&layer, this](int n, std::int32_t chosen, CardDone done) {
                              cardCalls_.push_back("reconnect " + std::to_string(chosen));
                              layer.ReconnectCard(n, chosen, std::move(done));
                            },
                            [&layer, this](int n, std::int32_t mode, CardDone done) {
                              cardCalls_.push_back("disconnect " + std::to_string(mode));
                              layer.DisconnectCard(n, mode, std::move(done));
                            }});
  Page().RefreshReaders();
}

bool ExchangePageTest::AwaitAnswer() {
  return Await([this] { return !Page().ExchangeUnderWay(); });
}

bool ExchangePageTest::Send() {
  return Page().Send() && AwaitAnswer();
}

bool ExchangePageTest::RunScript() {
  return Page().RunScript() && Await([this] { return !Page().ScriptRunning(); });
}

bool ExchangePageTest::AwaitCard() {
  return Await([this] { return !Page().CardOperationUnderWay(); });
}

void ExchangePageTest::Fill(const ApduFieldTexts& fields) {
  Field(ApduField::Cla).setText(QString::fromStdString(fields.Cla));
  Field(ApduField::Ins).setText(QString::fromStdString(fields.Ins));
  Field(ApduField::P1).setText(QString::fromStdString(fields.P1));
  Field(ApduField::P2).setText(QString::fromStdString(fields.P2));
  Field(ApduField::Data).setText(QString::fromStdString(fields.Data));
  Field(ApduField::Le).setText(QString::fromStdString(fields.Le));
}

std::string ExchangePageTest::Row(const QString& caption) {
  const QTreeWidgetItem* row = Page().AnswerView().Row(caption);
  return row != nullptr ? (row->text(1) + " | " + row->text(2)).toStdString() : "<missing>";
}

QString ExchangePageTest::HistoryRow(int row) {
  ExchangeHistory& history = Page().History().Entries();
  return history.data(history.index(row), Qt::DisplayRole).toString();
}

QString ExchangePageTest::Path(const std::string& name) const {
  return QString::fromStdString((folder_ / name).string());
}

}  // namespace tessaly::test
