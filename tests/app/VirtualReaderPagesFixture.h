#pragma once

#include <functional>
#include <memory>

#include "KernelPagesFixture.h"
#include "device/DeviceLayer.h"

namespace tessaly::test {

inline constexpr char kVirtualReader[] = "Tessaly Virtual Reader 00 00";

// The pages over the real device layer with the in-process virtual reader, its changes posted to the Qt
// event loop and its card commands handed to the pages as the program does.
class VirtualReaderPagesTest : public KernelPagesTest {
 protected:
  VirtualReaderPagesTest();
  ~VirtualReaderPagesTest() override;

  // Starts the layer and runs the event loop until it has settled.
  bool StartAndSettle();
  // Runs the event loop until done() holds; false after 5 s.
  static bool Await(const std::function<bool()>& done);

  std::unique_ptr<DeviceLayer> layer_;
};

}  // namespace tessaly::test
