#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ErrorBoxRecorder.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "device/DeviceLayer.h"
#include "device/VirtualReaderService.h"
#include "kernel/KernelObject.h"

namespace tessaly::test {

using Lines = std::vector<std::string>;

// The host's thread in a test: tasks posted from any thread wait here until the test runs them.
class TaskQueue {
 public:
  Dispatcher Poster();
  // Runs the tasks queued now; returns how many ran.
  int RunPending();
  // Runs tasks as they come until done() holds or the timeout passes; returns done().
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
};

// The device layer over the virtual reader service with the real kernel, connection, settings store on a
// scratch hive and the working folder's template files. Every log record of the kernel is kept as one line
// "Event name | source | details".
class DeviceLayerTest : public ::testing::Test {
 protected:
  DeviceLayerTest();
  ~DeviceLayerTest() override;

  // Runs posted changes until the watcher waits again with nothing left to post.
  void Settle();
  // The log lines since the last call.
  Lines TakeLog();
  TReaderHead& Entry(int n);

  ScratchHive hive_;
  TempComponent component_{hive_.Hive()};
  ErrorBoxRecorder errorBoxes_;
  TKernelObject kernel_{0, [hive = hive_.Hive()] { return hive; }};
  TaskQueue queue_;
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
