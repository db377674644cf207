#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ErrorBoxRecorder.h"
#include "ReaderTableFixture.h"
#include "SimulatedDevice.h"
#include "TempDir.h"
#include "TempHive.h"
#include "connection/Connection.h"
#include "monitor/MemoryTreeControl.h"
#include "monitor/_VMonitorTree.h"
#include "settings/_RegistryWorks.h"
#include "templates/_TemplatesObject.h"

namespace tessaly::test {

inline const std::string kDefaultType = "ISO-7816 Smart Card";
inline const std::string kBankType = "Bank Card";

// A connection over a temporary hive with two card types whose template files lie in a temporary folder,
// a simulated device layer and a tree in memory. The store's events are answered as the kernel answers them.
class ConnectionFixture : public ::testing::Test {
 protected:
  ConnectionFixture() {
    ZeroReaderTable();
    settings_ = std::make_unique<TRegistrySettings>(0);
    settings_->SetWorkDir(dir_.Path().string());
    settings_->SetOnCardTypeChanged(
        [this](const TRegistryDataChangedInfo&) { connection_.RefreshAllReaders(); });
    settings_->SetOnATRAssigned([this](const TRegistryDataChangedInfo& info) {
      assigned_.push_back(info.ATR);
      connection_.RefreshAllReaders();
    });
    settings_->SetOnConnectionPreferencesChanged([this] {
      ++preferencesChanged_;
      connection_.ReloadOnDetectParams();
    });
    connection_.SetOnCardTypeResolved(
        [this](TConnection&, const std::string& reader, TCardInfo& card, TReaderHead&) {
          resolved_.push_back(reader + ": " + card.Preferences.CardTypeName);
        });
    WriteFile("ISO.cct", "+\t00\tA4\tSELECT FILE\r\n+\t00\tB0\tREAD BINARY\r\n");
    WriteFile("ISO.swt", "+\t90\t00\t00FF00\tSuccess\r\n");
    WriteFile("Bank.cct", "+\t80\tCA\tGET DATA\r\n");
    WriteFile("Bank.swt", "+\t6A\t82\tFF0000\tFile not found\r\n");
    WriteCardType(kDefaultType, "", "ISO");
    WriteCardType(kBankType, "3B 02 14 50\r\n", "Bank");
  }

  void WriteFile(const std::string& name, const std::string& text) {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }

  // templates names the pair of files "<templates>.cct" and "<templates>.swt" in the temporary folder.
  void WriteCardType(const std::string& name, const std::string& atrs, const std::string& templates) {
    TPreferencesATRRec record;
    record.BaseType = 1;
    record.ATRs = atrs;
    record.WindowPreferences.TemplatesCOS = (dir_ / (templates + ".cct")).string();
    record.WindowPreferences.TemplatesSW = (dir_ / (templates + ".swt")).string();
    record.WindowPreferences.DefaultAPDU = {"00", "A4", "00", "00", "02", "", "3F 00"};
    settings_->WriteCardType(name, record);
  }

  // Leaves a card in reader n as the device layer does after detection, without asking for its type.
  static void PlaceCard(int n, const std::string& atr) {
    ReaderTable[n].CardInfo.ATR = atr;
    ReaderTable[n].CardInfo.CardState = csCardReady;
  }

  static std::vector<std::string> CommandNames(const TTemplatesObject& templates) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < templates.Commands.Count(); ++i)
      names.push_back(templates.Commands.TextAt(i, "Name"));
    return names;
  }

  TempHive hive_;
  TempDir dir_;
  ErrorBoxRecorder errorBoxes_;
  std::unique_ptr<TRegistrySettings> settings_;
  TConnection connection_{settings_, 7};
  MemoryTreeControl tree_;
  TSimulatedDevice device_{connection_};
  std::vector<std::string> assigned_;  // ATRs of every AssignATR, in order
  std::vector<std::string> resolved_;  // "reader: card type" of every OnCardTypeResolved
  int preferencesChanged_ = 0;
};

}  // namespace tessaly::test
