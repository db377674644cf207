// The heap a long session of exchanges leaves behind: 100,000 exchanges with the virtual reader's card
// through the device layer, the heap in use (glibc's mallinfo2) read every 20,000. Flat is right.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "ErrorBoxRecorder.h"
#include "HostQueue.h"
#include "ReaderTableFixture.h"
#include "RegisteredComponent.h"
#include "ScratchHive.h"
#include "device/DeviceLayer.h"
#include "device/PcscService.h"
#include "kernel/KernelObject.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;

constexpr int kExchanges = 100000;
constexpr int kReadEvery = 20000;

std::size_t HeapInUse() {
  return mallinfo2().uordblks;
}

void Run() {
  test::ScratchHive hive;
  test::TempComponent component{hive.Hive()};
  test::ErrorBoxRecorder errorBoxes;
  test::ZeroReaderTable();
  TKernelObject kernel{0, [shared = hive.Hive()] { return shared; }};
  kernel.Start();
  test::HostQueue queue;
  DeviceLayer layer(*kernel.Connection, MakeVirtualReaderService(), queue.Host());
  bool ready = false;
  kernel.OnCardReady = [&ready](const std::string&, TCardInfo&) { ready = true; };
  layer.Start();
  if (!queue.RunUntil([&] { return ready && layer.Idle(); }, 5s)) throw std::runtime_error("no card");
  const std::vector<std::uint8_t> command{0x00, 0xB0, 0x00, 0x00, 0x10};
  for (int exchange = 1; exchange <= kExchanges; ++exchange) {
    bool answered = false;
    layer.Transmit(0, command, [&answered](const ExchangeOutcome&) { answered = true; });
    if (!queue.RunUntil([&] { return answered; }, 5s)) throw std::runtime_error("no answer");
    if (exchange == 1000 || exchange % kReadEvery == 0) {
      std::printf("after %6d exchanges: %8zu bytes of heap in use\n", exchange, HeapInUse());
    }
  }
}

}  // namespace
}  // namespace tessaly

int main() {
  try {
    tessaly::Run();
  } catch (const std::exception& error) {
    std::cerr << "device_memory_bench: " << error.what() << '\n';
    return 1;
  }
  return 0;
}
