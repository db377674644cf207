#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "ErrorBoxRecorder.h"
#include "HostQueue.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "device/DeviceLayer.h"
#include "device/VirtualReaderService.h"
#include "kernel/KernelObject.h"

namespace tessaly::test {

using Lines = std::vector<std::string>;

// The device layer over the virtual reader service with the real kernel, connection, settings store on a
// scratch hive and the working folder's template files. Every log record of the kernel is kept as one line
// "Event name | source | details".
class DeviceLayerTest : public ::testing::Test {
 protected:
  DeviceLayerTest();
  ~DeviceLayerTest() override;

  // Runs posted changes until the watch waits again with nothing left to post and the layer is idle.
  void Settle();
  // Sends the command to the card in reader n and waits for the exchange's end.
  ExchangeOutcome Exchange(int n, const std::string& hexCommand);
  // The log lines since the last call.
  Lines TakeLog();
  TReaderHead& Entry(int n);

  ScratchHive hive_;
  TempComponent component_{hive_.Hive()};
  ErrorBoxRecorder errorBoxes_;
  TKernelObject kernel_{0, [hive = hive_.Hive()] { return hive; }};
  HostQueue queue_;
  VirtualReaderService* service_ = nullptr;  // owned by layer_
  std::unique_ptr<DeviceLayer> layer_;
  Lines log_;
};

// Lines of the start sequence with the virtual reader holding its card, opened with T=1 and shared.
Lines StartWithCardLog();

inline constexpr char kReader[] = "Tessaly Virtual Reader 00 00";
inline constexpr char kAtr[] = "3B 9E 11 80 31 FE 45 80 31 80 5A 54 65 73 73 61 6C 79 20 56 43 9E";
inline constexpr char kDefaultCardType[] = "ISO-7816 Smart Card";

}  // namespace tessaly::test
