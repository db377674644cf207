#pragma once

#include "device/HostThread.h"

namespace tessaly {

// The Qt event loop as the device layer's host thread: tasks are posted to the application object, timers
// run on the loop. The application object must exist.
HostThread QtHostThread();

}  // namespace tessaly
