#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "ErrorBoxRecorder.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "SimulatedDevice.h"
#include "kernel/KernelObject.h"

namespace tessaly::test {

using Lines = std::vector<std::string>;

// Opens the scratch hive for a kernel.
inline TKernelObject::THiveOpener OpenerOf(const ScratchHive& scratch) {
  return [hive = scratch.Hive()] { return hive; };
}

// The fixed clock's start; the n-th reading of the clock is this time plus n seconds.
inline const std::chrono::system_clock::time_point kClockStart{std::chrono::seconds{1'700'000'000}};

// Writes every outgoing event of a kernel into a list, one line per event: its name and its arguments in
// parentheses. Text arguments are written as they are, wide ones in UTF-8; the sender as "connection" when it
// is the kernel's own connection; a card record as "entry <n>" when it is that reader entry's; the time of a
// log record as "+<n>s" from kClockStart.
class KernelEventRecorder {
 public:
  explicit KernelEventRecorder(TKernelObject& kernel);

  const Lines& Events() const { return events_; }
  // The log records alone.
  Lines Records() const;
  void Clear() { events_.clear(); }
  void Add(std::string line) { events_.push_back(std::move(line)); }

 private:
  std::string SenderText(const TConnection& sender) const;
  void RecordCardEvent(TKernelCardEvent& slot, const std::string& name);

  TKernelObject& kernel_;
  Lines events_;
};

// A kernel over a scratch hive of its own with its clock fixed, its outgoing events recorded and a simulated
// device layer at its connection. The reader table and the process-wide values are reset around each test.
class KernelEventsTest : public ::testing::Test {
 protected:
  KernelEventsTest();
  ~KernelEventsTest() override;

  // Stores the event-log preference; the settings store reports the change to the kernel.
  void StoreLogMode(std::int32_t mode);

  ScratchHive hive_;
  // Registered before the kernel is built, so that the default working folder lies in a temporary folder.
  TempComponent component_{hive_.Hive()};
  ErrorBoxRecorder errorBoxes_;
  int clockReadings_ = 0;
  TKernelObject kernel_{0, OpenerOf(hive_)};
  KernelEventRecorder recorder_{kernel_};
  TSimulatedDevice device_{*kernel_.Connection};
};

std::string Utf8(const std::u16string& text);

}  // namespace tessaly::test
