#include "app/PreferencesPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <exception>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "app/PageLayout.h"
#include "app/QtText.h"
#include "kernel/KernelObject.h"
#include "pcsc/PcscCodes.h"
#include "platform/ErrorBox.h"
#include "readers/Vocabulary.h"
#include "settings/RegistryLayout.h"
#include "settings/_RegistryWorks.h"

namespace tessaly {
namespace {

// The kernel acts on the low byte of the stored mode; a stored value other than the three named ones is
// shown with its number.
QString EventLogModeName(std::int32_t mode) {
  const std::int32_t acted = mode & 0xFF;
  const QString name = acted == kLogEveryEvent   ? QStringLiteral("Log all events")
                       : acted == kLogMainEvents ? QStringLiteral("Log most useful events only")
                                                 : QStringLiteral("Log errors only");
  return mode == acted && mode <= kLogErrorsOnly ? name : name + QStringLiteral(" (%1)").arg(mode);
}

// A stored code with the words a user reads and the name the registry tools and the monitor show.
struct NamedCode {
  std::int32_t Code;
  const char* Words;
};

constexpr NamedCode kProtocols[] = {
    {kProtocolAutoDetect, "Automatic: T=0 or T=1"},
    {kProtocolT0, "T=0, byte by byte"},
    {kProtocolT1, "T=1, in blocks"},
    {kProtocolRaw, "Raw, no protocol"},
    {kProtocolDefault, "The reader's default"},
    {kProtocolUndefined, "None chosen"},
};
constexpr NamedCode kSharingModes[] = {
    {kShareExclusive, "Exclusive: no other program uses the card"},
    {kShareShared, "Shared with other programs"},
    {kShareDirect, "Direct control of the reader, without a card"},
};
constexpr NamedCode kClosingModes[] = {
    {kLeaveCard, "Leave the card as it is"},
    {kResetCard, "Reset the card"},
    {kUnpowerCard, "Power the card off"},
    {kEjectCard, "Eject the card"},
};

using CodeName = std::string (*)(std::int32_t);

// "Automatic: T=0 or T=1 (AUTODETECT)"; a code without words is shown as its name and number.
QString Label(std::span<const NamedCode> codes, std::int32_t code, CodeName name) {
  for (const NamedCode& named : codes) {
    if (named.Code == code)
      return QString::fromLatin1(named.Words) + QStringLiteral(" (%1)").arg(Text(name(code)));
  }
  return Text(name(code)) + QStringLiteral(" (%1)").arg(code);
}

void FillChoice(QComboBox& choice, std::span<const NamedCode> codes, CodeName name) {
  for (const NamedCode& named : codes) choice.addItem(Label(codes, named.Code, name), named.Code);
}

// Selects the item of the value; a value without an item gets one, so the page always shows what is stored.
void ShowValue(QComboBox& choice, std::int32_t value, const QString& nameIfMissing) {
  int index = choice.findData(value);
  if (index < 0) {
    choice.addItem(nameIfMissing, value);
    index = choice.count() - 1;
  }
  choice.setCurrentIndex(index);
}

std::vector<std::string> CardTypeNames(TRegistrySettings& settings) {
  if (!settings.OpenMakerKey() || !settings.OpenKey(registry_layout::kCardTypes, false)) return {};
  return settings.GetKeyNames();
}

QString ExpandedFolderText(const std::string& folder) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path full = fs::absolute(fs::path(folder), error).lexically_normal();
  const QString path = QString::fromStdU16String(full.u16string());
  return fs::is_directory(full, error) ? path : path + QStringLiteral("  (missing)");
}

}  // namespace

PreferencesPage::PreferencesPage(TKernelObject& kernel, QWidget* parent)
    : QWidget(parent),
      kernel_(kernel),
      autoOpen_(new QComboBox(this)),
      protocol_(new QComboBox(this)),
      sharing_(new QLabel(this)),
      closingMode_(new QComboBox(this)),
      separateHexBytes_(new QCheckBox(QStringLiteral("Separate received HEX bytes"), this)),
      eventLogMode_(new QComboBox(this)),
      workDir_(new QLineEdit(this)),
      workDirPath_(new QLabel(this)),
      useDefaultType_(new QCheckBox(QStringLiteral("Use Default Type"), this)),
      defaultCardType_(new QComboBox(this)),
      reload_(new QPushButton(QStringLiteral("Reload"), this)) {
  QVBoxLayout* layout = PageColumn(*this);
  layout->addWidget(MakeDetectingGroup());
  layout->addWidget(MakeMiscellaneousGroup());
  layout->addWidget(MakeWorkDirGroup());
  layout->addWidget(MakeCardTypesGroup());
  auto* buttons = new QHBoxLayout;
  reload_->setToolTip(QStringLiteral("Read the values again, after another program has changed them"));
  buttons->addStretch(1);
  buttons->addWidget(reload_);
  layout->addLayout(buttons);
  layout->addStretch(1);

  ConnectWrites();
  Reload();
}

QWidget* PreferencesPage::MakeDetectingGroup() {
  autoOpen_->addItem(Text(BoolToYesNo(true)), 1);
  autoOpen_->addItem(Text(BoolToYesNo(false)), 0);
  FillChoice(*protocol_, kProtocols, ProtocolToStr);
  FillChoice(*closingMode_, kClosingModes, DispositionToStr);
  // The settings store has no setter for it: the stored mode is shown as text, not offered as a choice.
  sharing_->setToolTip(QStringLiteral("Kept at its stored value: the settings offer no way to change it"));
  sharing_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  QFormLayout* form = CompactForm();
  form->addRow(QStringLiteral("Open the reader automatically"), autoOpen_);
  form->addRow(QStringLiteral("Preferred Protocol"), protocol_);
  form->addRow(QStringLiteral("Preferred Sharing Mode"), sharing_);
  form->addRow(QStringLiteral("Card Closing Mode"), closingMode_);
  return Group(QStringLiteral("Card Detecting Defaults"), this, form);
}

QWidget* PreferencesPage::MakeMiscellaneousGroup() {
  for (const std::int32_t mode : {kLogEveryEvent, kLogMainEvents, kLogErrorsOnly}) {
    eventLogMode_->addItem(EventLogModeName(mode), mode);
  }
  QFormLayout* form = CompactForm();
  form->addRow(separateHexBytes_);
  form->addRow(QStringLiteral("Events logging"), eventLogMode_);
  return Group(QStringLiteral("Miscellaneous"), this, form);
}

QWidget* PreferencesPage::MakeWorkDirGroup() {
  auto* browse = new QPushButton(QStringLiteral("Browse..."), this);
  connect(browse, &QPushButton::clicked, this, &PreferencesPage::BrowseWorkDir);
  auto* row = new QHBoxLayout;
  row->addWidget(workDir_, 1);
  row->addWidget(browse);
  workDirPath_->setWordWrap(true);
  workDirPath_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* column = new QVBoxLayout;
  column->setContentsMargins(6, 4, 6, 4);
  column->setSpacing(3);
  column->addLayout(row);
  column->addWidget(workDirPath_);
  return Group(QStringLiteral("Working folder"), this, column);
}

QWidget* PreferencesPage::MakeCardTypesGroup() {
  QFormLayout* form = CompactForm();
  form->addRow(useDefaultType_);
  form->addRow(QStringLiteral("Default Card Type Name"), defaultCardType_);
  return Group(QStringLiteral("Card Types"), this, form);
}

void PreferencesPage::ConnectWrites() {
  // Only what the user does writes: "activated" and "clicked" are not raised when a reload sets a value.
  connect(autoOpen_, &QComboBox::activated, this, [this] {
    const bool autoOpen = autoOpen_->currentData().toInt() != 0;
    Write([autoOpen](TRegistrySettings& settings) { settings.SetAutoOpen(autoOpen); });
  });
  connect(protocol_, &QComboBox::activated, this,
          [this] { WriteChoice(*protocol_, &TRegistrySettings::SetProtocol); });
  connect(closingMode_, &QComboBox::activated, this,
          [this] { WriteChoice(*closingMode_, &TRegistrySettings::SetClosingMode); });
  connect(eventLogMode_, &QComboBox::activated, this,
          [this] { WriteChoice(*eventLogMode_, &TRegistrySettings::SetEventLogMode); });
  connect(separateHexBytes_, &QCheckBox::clicked, this, [this](bool separate) {
    Write([separate](TRegistrySettings& settings) { settings.SetSeparateHexBytes(separate); });
  });
  connect(useDefaultType_, &QCheckBox::clicked, this, [this](bool useDefault) {
    Write([useDefault](TRegistrySettings& settings) { settings.SetUseDefaultType(useDefault); });
  });
  connect(defaultCardType_, &QComboBox::activated, this, [this] {
    const std::string name = defaultCardType_->currentText().toStdString();
    Write([name](TRegistrySettings& settings) { settings.SetDefaultCardTypeName(name); });
  });
  connect(workDir_, &QLineEdit::editingFinished, this, [this] {
    if (workDir_->isModified()) WriteWorkDir(workDir_->text());
  });
  connect(reload_, &QPushButton::clicked, this, &PreferencesPage::Reload);
}

void PreferencesPage::Write(const std::function<void(TRegistrySettings&)>& write) {
  if (!kernel_.Settings) return;
  try {
    write(*kernel_.Settings);
  } catch (const std::exception& failure) {
    ShowErrorBox(failure.what());
  }
  Reload();
}

void PreferencesPage::WriteChoice(QComboBox& choice, void (TRegistrySettings::*setter)(std::int32_t)) {
  const std::int32_t value = choice.currentData().toInt();
  Write([setter, value](TRegistrySettings& settings) { (settings.*setter)(value); });
}

void PreferencesPage::WriteWorkDir(const QString& folder) {
  const std::string stored = folder.trimmed().toStdString();
  if (stored.empty()) {
    Reload();
    return;
  }
  Write([stored](TRegistrySettings& settings) { settings.SetWorkDir(stored); });
}

void PreferencesPage::BrowseWorkDir() {
  const QString folder =
      QFileDialog::getExistingDirectory(this, QStringLiteral("Working folder"), workDir_->text());
  if (!folder.isEmpty()) WriteWorkDir(folder);
}

void PreferencesPage::Reload() {
  if (reloading_) {
    reloadAgain_ = true;
    return;
  }
  TRegistrySettings* settings = kernel_.Settings.get();
  setEnabled(settings != nullptr);
  if (settings == nullptr) return;
  reloading_ = true;
  try {
    do {
      reloadAgain_ = false;
      ReadValues(*settings);
    } while (reloadAgain_);
  } catch (const std::exception& failure) {
    ShowErrorBox(failure.what());
  }
  reloading_ = false;
}

void PreferencesPage::ReadValues(TRegistrySettings& settings) {
  const bool autoOpen = settings.GetAutoOpen();
  ShowValue(*autoOpen_, autoOpen ? 1 : 0, Text(BoolToYesNo(autoOpen)));
  const std::int32_t protocol = settings.GetProtocol();
  ShowValue(*protocol_, protocol, Label(kProtocols, protocol, ProtocolToStr));
  sharing_->setText(Label(kSharingModes, settings.GetSharing(), ShareModeToStr));
  const std::int32_t closingMode = settings.GetClosingMode();
  ShowValue(*closingMode_, closingMode, Label(kClosingModes, closingMode, DispositionToStr));
  separateHexBytes_->setChecked(settings.GetSeparateHexBytes());
  const std::int32_t logMode = settings.GetEventLogMode();
  ShowValue(*eventLogMode_, logMode, EventLogModeName(logMode));

  const std::string workDir = settings.GetWorkDir();
  workDir_->setText(Text(workDir));
  workDir_->setModified(false);
  workDirPath_->setText(QStringLiteral("Folder: ") + ExpandedFolderText(workDir));

  useDefaultType_->setChecked(settings.GetUseDefaultType());
  const std::string defaultName = settings.GetDefaultCardTypeName();
  defaultCardType_->clear();
  for (const std::string& name : CardTypeNames(settings)) defaultCardType_->addItem(Text(name));
  int index = defaultCardType_->findText(Text(defaultName));
  if (index < 0) {
    defaultCardType_->addItem(Text(defaultName));
    index = defaultCardType_->count() - 1;
  }
  defaultCardType_->setCurrentIndex(index);
}

}  // namespace tessaly
