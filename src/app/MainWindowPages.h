#pragma once

#include <array>
#include <string>
#include <vector>

#include "kernel/KernelObject.h"

class QWidget;

namespace tessaly {

class CardTypesPage;
class DeviceLayer;
class EventLogModel;
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
//
// The Monitor page, which draws the kernel's monitor tree, is built at once; every other page when it is
// first shown or asked for, so that the start draws only what it shows. The log's records are kept from the
// start whether or not their page has been built.
class MainWindowPages {
 public:
  MainWindowPages(TMainForm& form, TKernelObject& kernel);
  ~MainWindowPages();
  MainWindowPages(const MainWindowPages&) = delete;
  MainWindowPages& operator=(const MainWindowPages&) = delete;

  // Hands the device layer's card operations to the pages that offer them, those built later included.
  void ConnectDevice(DeviceLayer& layer);

  // Shows the page of that name (one of PageNames()); an unknown name changes nothing and returns false.
  bool ShowPage(const std::string& name);

  MonitorPage& Monitor() { return *monitor_; }
  EventLogModel& LogModel() { return *logModel_; }
  EventLogPage& Log();
  PreferencesPage& Preferences();
  ExchangePage& Exchange();
  CardTypesPage& CardTypes();

 private:
  enum PageIndex { kMonitor, kLog, kPreferences, kExchange, kCardTypes, kPageCount };

  void BindKernelEvents();
  // Builds the page shown at that index unless it is built already.
  void Build(int index);
  void Place(PageIndex index, QWidget* page);
  void HandDeviceToExchange();
  // The pages that list readers list them again.
  void ReadersChanged();
  // The kernel's events that carry a reader's card record.
  std::vector<TKernelCardEvent*> CardEvents();

  TMainForm& form_;
  TKernelObject& kernel_;
  DeviceLayer* device_ = nullptr;
  EventLogModel* logModel_;
  // The tabs' own widgets, which take their page when it is built.
  std::array<QWidget*, kPageCount> holders_{};
  MonitorPage* monitor_ = nullptr;
  EventLogPage* log_ = nullptr;
  PreferencesPage* preferences_ = nullptr;
  ExchangePage* exchange_ = nullptr;
  CardTypesPage* cardTypes_ = nullptr;
};

}  // namespace tessaly
