// Times what a card that never answers and a pcscd that stops answering cost the host, through the real
// stack (a pcscd of its own, tessaly-adversarial-card in its virtual reader):
//  - the host thread's latency while an exchange waits for a silent card: a timer due every 20 ms, how late
//    it ran (median and worst) over the 5 s the exchange waits;
//  - closing (DeviceLayer::Stop) while an exchange waits for a silent card, and while pcscd is stopped
//    (SIGSTOP) (worst of 3 each).
// A timing program, not a test: run it as root (pcscd needs /run/pcscd and a mount namespace).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "ErrorBoxRecorder.h"
#include "HostQueue.h"
#include "PrivatePcscd.h"
#include "ReaderTableFixture.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "device/DeviceLayer.h"
#include "kernel/KernelObject.h"
#include "readers/ReaderTable.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;

const std::vector<std::uint8_t> kSilent{0x00, 0x01, 0x00, 0x00};

class Bench {
 public:
  Bench() { kernel_.Start(); }

  void TimeLatency() {
    StartWithCard(5s);
    std::vector<double> lateness;
    bool ended = false;
    layer_->Transmit(0, kSilent, [&ended](const ExchangeOutcome&) { ended = true; });
    auto due = Clock::now() + 20ms;
    std::function<void()> tick = [&] {
      if (ended) return;
      lateness.push_back(Millis(Clock::now() - due).count());
      due = Clock::now() + 20ms;
      queue_.Host().After(20ms, tick);
    };
    queue_.Host().After(20ms, tick);
    if (!queue_.RunUntil([&] { return ended; }, 10s)) throw std::runtime_error("the exchange never ended");
    std::sort(lateness.begin(), lateness.end());
    std::printf(
        "Timer due every 20 ms while a card does not answer (%zu ticks over 5 s): late by %.2f ms "
        "median, %.2f ms at worst\n",
        lateness.size(), lateness[lateness.size() / 2], lateness.back());
    StopLayer();
  }

  void TimeClosing() {
    double silentCard = 0;
    double frozenService = 0;
    for (int turn = 0; turn < 3; ++turn) {
      StartWithCard(30s);
      layer_->Transmit(0, kSilent, [](const ExchangeOutcome&) {});
      queue_.RunUntil([] { return false; }, 200ms);
      silentCard = std::max(silentCard, StopLayer());

      StartWithCard(30s);
      pcscd_.Freeze();
      frozenService = std::max(frozenService, StopLayer());
      pcscd_.Thaw();
    }
    std::printf(
        "Closing (worst of 3): %.0f ms while a card does not answer, %.0f ms while pcscd is stopped\n",
        silentCard, frozenService);
  }

 private:
  void StartWithCard(std::chrono::milliseconds deadline) {
    card_.reset();
    pcscd_.Kill();
    pcscd_.Start();
    test::ZeroReaderTable();
    layer_ = std::make_unique<DeviceLayer>(*kernel_.Connection, MakeSystemPcscService(), queue_.Host());
    layer_->SetCallDeadline(deadline);
    bool ready = false;
    kernel_.OnCardReady = [&ready](const std::string&, TCardInfo&) { ready = true; };
    layer_->Start();
    card_.emplace(TESSALY_ADVERSARIAL_CARD_EXECUTABLE,
                  std::vector<std::string>{std::to_string(pcscd_.CardPort())});
    if (!queue_.RunUntil([&] { return ready; }, 10s))
      throw std::runtime_error("the card did not become ready");
    kernel_.OnCardReady = nullptr;
  }

  double StopLayer() {
    const auto stopping = Clock::now();
    layer_.reset();
    return Millis(Clock::now() - stopping).count();
  }

  test::PrivatePcscd pcscd_;
  test::ScratchHive hive_;
  test::TempComponent component_{hive_.Hive()};
  test::ErrorBoxRecorder errorBoxes_;
  TKernelObject kernel_{0, [hive = hive_.Hive()] { return hive; }};
  test::HostQueue queue_;
  std::unique_ptr<DeviceLayer> layer_;
  std::optional<test::ChildProcess> card_;
};

}  // namespace
}  // namespace tessaly

int main() {
  if (const auto reason = tessaly::test::PrivatePcscd::WhyUnavailable()) {
    std::cerr << "adversarial_bench: " << *reason << '\n';
    return 1;
  }
  try {
    tessaly::Bench bench;
    bench.TimeLatency();
    bench.TimeClosing();
  } catch (const std::exception& error) {
    std::cerr << "adversarial_bench: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
