#pragma once

#include <string>
#include <vector>

#include "kernel/KernelObject.h"

namespace tessaly {

class CardTypesPage;
class DeviceLayer;
class EventLogPage;
class ExchangePage;
class MonitorPage;
class PreferencesPage;
class TMainForm;

// The names --page accepts, in the order of the pages.
const std::vector<std::string>& PageNames();

// The host of the kernel in the main window: it adds the pages to the page control and is the one place
// that sets the kernel's outgoing events, handing each to every page that needs it. Lives no longer than
// the main window; on destruction the kernel's events it set are cleared.
class MainWindowPages {
 public:
  MainWindowPages(TMainForm& form, TKernelObject& kernel);
  ~MainWindowPages();
  MainWindowPages(const MainWindowPages&) = delete;
  MainWindowPages& operator=(const MainWindowPages&) = delete;

  // Hands the device layer's card operations to the pages that offer them.
  void ConnectDevice(DeviceLayer& layer);

  // Shows the page of that name (one of PageNames()); an unknown name changes nothing and returns false.
  bool ShowPage(const std::string& name);

  MonitorPage& Monitor() { return *monitor_; }
  EventLogPage& Log() { return *log_; }
  PreferencesPage& Preferences() { return *preferences_; }
  ExchangePage& Exchange() { return *exchange_; }
  CardTypesPage& CardTypes() { return *cardTypes_; }

 private:
  void BindKernelEvents();
  // The pages that list readers list them again.
  void ReadersChanged();
  // The kernel's events that carry a reader's card record.
  std::vector<TKernelCardEvent*> CardEvents();

  TMainForm& form_;
  TKernelObject& kernel_;
  MonitorPage* monitor_;
  EventLogPage* log_;
  PreferencesPage* preferences_;
  ExchangePage* exchange_;
  CardTypesPage* cardTypes_;
};

}  // namespace tessaly
