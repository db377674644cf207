#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tessaly {

class TKernelObject;
class TRegistrySettings;

// The Preferences page: the on-detect preferences, the two log preferences, the working folder and the
// card-type defaults, each written through the settings store's own setter as soon as it is changed. A
// refused write is shown in an error box and the page shows the stored values again.
class PreferencesPage final : public QWidget {
  Q_OBJECT

 public:
  explicit PreferencesPage(TKernelObject& kernel, QWidget* parent = nullptr);

  // Reads every value from the store again (the store's events and the "Reload" button lead here).
  void Reload();

  QComboBox& AutoOpenChoice() { return *autoOpen_; }
  QComboBox& ProtocolChoice() { return *protocol_; }
  // The stored sharing mode, which the page shows but cannot change.
  QLabel& SharingText() { return *sharing_; }
  QComboBox& ClosingModeChoice() { return *closingMode_; }
  QCheckBox& SeparateHexBytesBox() { return *separateHexBytes_; }
  QComboBox& EventLogModeChoice() { return *eventLogMode_; }
  QLineEdit& WorkDirEdit() { return *workDir_; }
  QLabel& WorkDirPathLabel() { return *workDirPath_; }
  QCheckBox& UseDefaultTypeBox() { return *useDefaultType_; }
  QComboBox& DefaultCardTypeChoice() { return *defaultCardType_; }
  QPushButton& ReloadButton() { return *reload_; }

 private:
  QWidget* MakeDetectingGroup();
  QWidget* MakeMiscellaneousGroup();
  QWidget* MakeWorkDirGroup();
  QWidget* MakeCardTypesGroup();
  void ConnectWrites();

  // Runs a write on the store; a failure is shown in an error box. The page reloads in either case.
  void Write(const std::function<void(TRegistrySettings&)>& write);
  void WriteChoice(QComboBox& choice, void (TRegistrySettings::*setter)(std::int32_t));
  void WriteWorkDir(const QString& folder);
  void BrowseWorkDir();
  void ReadValues(TRegistrySettings& settings);

  TKernelObject& kernel_;
  QComboBox* const autoOpen_;
  QComboBox* const protocol_;
  QLabel* const sharing_;
  QComboBox* const closingMode_;
  QCheckBox* const separateHexBytes_;
  QComboBox* const eventLogMode_;
  QLineEdit* const workDir_;
  QLabel* const workDirPath_;
  QCheckBox* const useDefaultType_;
  QComboBox* const defaultCardType_;
  QPushButton* const reload_;
  // A reload reads getters, which may store a default and so ask for a reload again.
  bool reloading_ = false;
  bool reloadAgain_ = false;
};

}  // namespace tessaly
