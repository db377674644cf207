// Times the device layer through the real stack (a pcscd of its own, tessaly-virtual-card in its virtual
// reader) against programs that are not ours, side by side in one run:
//  - card inserted to "Card ready" in the log, against pcsc_scan seeing the same insertion (median of 20);
//  - an APDU round trip through DeviceLayer::Transmit, against a bare SCardTransmit on the same card in the
//    same process (median of 1000 each, taken in turns).
// A timing program, not a test: run it as root (pcscd needs /run/pcscd and a mount namespace).
#include <winscard.h>

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "ErrorBoxRecorder.h"
#include "HostQueue.h"
#include "PrivatePcscd.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "device/DeviceLayer.h"
#include "kernel/KernelObject.h"
#include "readers/ReaderTable.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Micros = std::chrono::duration<double, std::micro>;

constexpr int kInsertions = 20;
constexpr int kRoundTrips = 1000;
const std::vector<std::uint8_t> kSelectMaster{0x00, 0xA4, 0x00, 0x0C, 0x02, 0x3F, 0x00};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const auto middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The lines pcsc_scan prints, each with the moment it was read, collected by a thread of their own.
class ScanWatcher {
 public:
  ScanWatcher() : scan_("stdbuf", {"-oL", "pcsc_scan", "-n"}), reader_([this] { Read(); }) {}
  ~ScanWatcher() {
    stopping_ = true;
    scan_.Signal(SIGTERM);
    reader_.join();
  }

  // When pcsc_scan printed a line holding text after the moment since.
  std::optional<Clock::time_point> Await(const std::string& text, Clock::time_point since,
                                         std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    std::optional<Clock::time_point> seen;
    seenLine_.wait_for(lock, timeout, [&] {
      for (const auto& [line, when] : lines_) {
        if (when >= since && line.find(text) != std::string::npos) seen = when;
      }
      return seen.has_value();
    });
    return seen;
  }

 private:
  void Read() {
    while (!stopping_) {
      const auto line = scan_.ReadLine(200ms);
      if (!line) continue;
      std::lock_guard lock(mutex_);
      lines_.emplace_back(*line, Clock::now());
      seenLine_.notify_all();
    }
  }

  test::ChildProcess scan_;
  std::mutex mutex_;
  std::condition_variable seenLine_;
  std::vector<std::pair<std::string, Clock::time_point>> lines_;
  std::atomic<bool> stopping_ = false;
  std::thread reader_;
};

class Bench {
 public:
  Bench()
      : card_(TESSALY_VIRTUAL_CARD_EXECUTABLE, {"--removed", "--port", std::to_string(pcscd_.CardPort())}) {
    kernel_.Start();
    kernel_.OnLog = [this](std::int32_t, std::uint8_t, const std::u16string&, const std::u16string& name,
                           const std::u16string&, std::chrono::system_clock::time_point) {
      log_.emplace_back(std::string(name.begin(), name.end()), Clock::now());
    };
    layer_.Start();
    queue_.RunUntil([] { return false; }, 1s);  // start sequence, and pcsc_scan's first listing
  }

  void TimeInsertions() {
    std::vector<double> layer;
    std::vector<double> scan;
    for (int i = 0; i < kInsertions; ++i) {
      const auto inserted = Clock::now();
      card_.WriteLine("insert");
      const auto ready = AwaitRecord("Card ready", inserted);
      const auto scanned = scan_.Await("Card inserted", inserted, 5s);
      if (!ready || !scanned) throw std::runtime_error("an insertion was not seen");
      layer.push_back(Micros(*ready - inserted).count() / 1000);
      scan.push_back(Micros(*scanned - inserted).count() / 1000);
      const auto removed = Clock::now();
      card_.WriteLine("remove");
      if (!AwaitRecord("Waiting for card", removed) || !scan_.Await("Card removed", removed, 5s)) {
        throw std::runtime_error("a removal was not seen");
      }
    }
    std::printf(
        "Inserted to \"Card ready\" (median of %d): %.1f ms; pcsc_scan sees it: %.1f ms; "
        "difference of the medians %.1f ms\n",
        kInsertions, Median(layer), Median(scan), Median(layer) - Median(scan));
  }

  void TimeRoundTrips() {
    const auto inserted = Clock::now();
    card_.WriteLine("insert");
    if (!AwaitRecord("Card ready", inserted)) throw std::runtime_error("the card did not become ready");
    int reader = 0;
    while (ReaderTable[static_cast<std::size_t>(reader)].ReaderName != test::PrivatePcscd::kReaderName)
      ++reader;

    SCARDCONTEXT context = 0;
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    Check(SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context), "SCardEstablishContext");
    Check(SCardConnect(context, test::PrivatePcscd::kReaderName, SCARD_SHARE_SHARED,
                       SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol),
          "SCardConnect");
    const SCARD_IO_REQUEST* pci = protocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
    std::vector<double> layer;
    std::vector<double> bare;
    for (int i = 0; i < kRoundTrips; ++i) {
      auto start = Clock::now();
      bool answered = false;
      layer_.Transmit(reader, kSelectMaster, [&answered](const ExchangeOutcome&) { answered = true; });
      if (!queue_.RunUntil([&answered] { return answered; }, 5s)) throw std::runtime_error("no answer");
      layer.push_back(Micros(Clock::now() - start).count());
      BYTE response[258];
      DWORD length = sizeof response;
      start = Clock::now();
      Check(SCardTransmit(card, pci, kSelectMaster.data(), static_cast<DWORD>(kSelectMaster.size()), nullptr,
                          response, &length),
            "SCardTransmit");
      bare.push_back(Micros(Clock::now() - start).count());
    }
    SCardDisconnect(card, SCARD_LEAVE_CARD);
    SCardReleaseContext(context);
    std::printf(
        "APDU round trip (median of %d): device layer %.1f us; bare SCardTransmit %.1f us; "
        "difference %.1f us\n",
        kRoundTrips, Median(layer), Median(bare), Median(layer) - Median(bare));
  }

 private:
  static void Check(LONG result, const char* call) {
    if (result != SCARD_S_SUCCESS) throw std::runtime_error(std::string(call) + " failed");
  }

  std::optional<Clock::time_point> AwaitRecord(const std::string& name, Clock::time_point since) {
    std::optional<Clock::time_point> seen;
    queue_.RunUntil(
        [&] {
          for (const auto& [record, when] : log_) {
            if (when >= since && record == name) seen = when;
          }
          return seen.has_value();
        },
        5s);
    return seen;
  }

  test::PrivatePcscd pcscd_;
  test::ScratchHive hive_;
  test::TempComponent component_{hive_.Hive()};
  test::ErrorBoxRecorder errorBoxes_;
  TKernelObject kernel_{0, [hive = hive_.Hive()] { return hive; }};
  std::vector<std::pair<std::string, Clock::time_point>> log_;
  test::HostQueue queue_;
  DeviceLayer layer_{*kernel_.Connection, MakeSystemPcscService(), queue_.Host()};
  test::ChildProcess card_;
  ScanWatcher scan_;
};

}  // namespace
}  // namespace tessaly

int main() {
  if (const auto reason = tessaly::test::PrivatePcscd::WhyUnavailable()) {
    std::cerr << "real_stack_bench: " << *reason << '\n';
    return 1;
  }
  try {
    tessaly::Bench bench;
    bench.TimeInsertions();
    bench.TimeRoundTrips();
  } catch (const std::exception& error) {
    std::cerr << "real_stack_bench: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
