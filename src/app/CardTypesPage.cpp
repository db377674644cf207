#include "app/CardTypesPage.h"

#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include "app/PageLayout.h"
#include "app/QtText.h"
#include "kernel/KernelObject.h"
#include "platform/HexText.h"
#include "platform/TextRules.h"
#include "readers/ReaderTable.h"
#include "settings/_RegistryWorks.h"

namespace tessaly {
namespace {

const char* const kApduCaptions[CardTypesPage::kApduFields] = {"CLA", "INS", "P1", "P2", "P3", "Le", "Data"};

// Pairs of hexadecimal digits and nothing else (an empty text too).
bool IsHexATR(const std::string& atr) {
  return ReadHexBytes(atr, "").Complete();
}

// The page's answer to a Delete: a question box.
bool AskInBox(QWidget* parent, const QString& question) {
  return QMessageBox::question(parent, QStringLiteral("Card Types"), question) == QMessageBox::Yes;
}

// A reader whose card's ATR can be assigned: a usable card whose ATR the kernel knows.
bool OffersItsATR(const TReaderHead& reader) {
  return HoldsCard(reader) && reader.CardInfo.CardState != csCardInvalid && !reader.CardInfo.ATR.empty();
}

}  // namespace

CardTypesPage::CardTypesPage(TKernelObject& kernel, QWidget* parent)
    : QWidget(parent),
      kernel_(kernel),
      confirm_([this](const QString& question) { return AskInBox(this, question); }),
      list_(new QTreeWidget(this)),
      name_(new QLineEdit(this)),
      baseType_(new QComboBox(this)),
      atrs_(new QPlainTextEdit(this)),
      commandsFile_(new QLineEdit(this)),
      statusWordsFile_(new QLineEdit(this)),
      filesNote_(new QLabel(this)),
      reader_(new QComboBox(this)),
      message_(new QLabel(this)),
      new_(new QPushButton(QStringLiteral("New"), this)),
      save_(new QPushButton(QStringLiteral("Save"), this)),
      delete_(new QPushButton(QStringLiteral("Delete"), this)),
      assign_(new QPushButton(QStringLiteral("Assign this card's ATR"), this)),
      useAsDefault_(new QPushButton(QStringLiteral("Use as default"), this)) {
  list_->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Base Type"), QStringLiteral("ATRs")});
  list_->setRootIsDecorated(false);
  list_->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  list_->header()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
  list_->header()->setStretchLastSection(false);
  connect(list_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (item != nullptr) ShowCardType(StdText(item->text(0)));
  });
  message_->setWordWrap(true);

  QVBoxLayout* layout = PageColumn(*this);
  layout->addWidget(list_, 1);
  layout->addWidget(MakeDetails());
  layout->addLayout(MakeButtons());
  layout->addWidget(message_);
  Reload();
}

QWidget* CardTypesPage::MakeDetails() {
  baseType_->addItem(Text(BaseTypeName(kIsoBaseType)), kIsoBaseType);
  baseType_->addItem(Text(BaseTypeName(kGsmBaseType)), kGsmBaseType);
  atrs_->setFixedHeight(atrs_->fontMetrics().lineSpacing() * 3 + 10);
  atrs_->setPlaceholderText(QStringLiteral("One ATR a line, for example 3B 02 14 50"));
  connect(commandsFile_, &QLineEdit::textChanged, this, &CardTypesPage::UpdateFilesNote);
  connect(statusWordsFile_, &QLineEdit::textChanged, this, &CardTypesPage::UpdateFilesNote);

  auto* apdu = new QHBoxLayout;
  for (int field = 0; field < kApduFields; ++field) {
    apdu_[field] = new QLineEdit(this);
    apdu_[field]->setToolTip(QString::fromLatin1(kApduCaptions[field]));
    apdu->addWidget(new QLabel(QString::fromLatin1(kApduCaptions[field]), this));
    const bool data = field == kApduFields - 1;
    if (!data)
      apdu_[field]->setFixedWidth(apdu_[field]->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 12);
    apdu->addWidget(apdu_[field], data ? 1 : 0);
  }

  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(name_, 1);
  nameRow->addWidget(baseType_);
  QFormLayout* form = CompactForm();
  form->addRow(QStringLiteral("Name, base type"), nameRow);
  form->addRow(QStringLiteral("ATRs"), atrs_);
  form->addRow(QStringLiteral("Commands file"),
               FileRow(commandsFile_, QStringLiteral("Command templates (*.cct)")));
  form->addRow(QStringLiteral("Status words file"),
               FileRow(statusWordsFile_, QStringLiteral("Status-word templates (*.swt)")));
  form->addRow(QString(), filesNote_);
  form->addRow(QStringLiteral("Default APDU"), apdu);
  return Group(QStringLiteral("Card type"), this, form);
}

QLayout* CardTypesPage::FileRow(QLineEdit* edit, const QString& filter) {
  auto* browse = new QPushButton(QStringLiteral("..."), this);
  browse->setFixedWidth(browse->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 16);
  connect(browse, &QPushButton::clicked, this, [this, edit, filter] {
    const std::string start = kernel_.Settings ? kernel_.Settings->ExpandWorkDir(StdText(edit->text())) : "";
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("Template file"), Text(start), filter);
    if (!file.isEmpty()) edit->setText(file);
  });
  auto* row = new QHBoxLayout;
  row->addWidget(edit, 1);
  row->addWidget(browse);
  return row;
}

QLayout* CardTypesPage::MakeButtons() {
  connect(new_, &QPushButton::clicked, this, &CardTypesPage::NewCardType);
  connect(save_, &QPushButton::clicked, this, &CardTypesPage::SaveCardType);
  connect(delete_, &QPushButton::clicked, this, &CardTypesPage::DeleteCardType);
  connect(assign_, &QPushButton::clicked, this, &CardTypesPage::AssignReadersATR);
  connect(useAsDefault_, &QPushButton::clicked, this, &CardTypesPage::UseAsDefault);
  reader_->setToolTip(QStringLiteral("The reader whose card's ATR is assigned"));
  reader_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  reader_->setMinimumContentsLength(10);
  auto* row = new QHBoxLayout;
  row->addWidget(new_);
  row->addWidget(save_);
  row->addWidget(delete_);
  row->addWidget(useAsDefault_);
  row->addStretch(1);
  auto* cardRow = new QHBoxLayout;
  cardRow->addWidget(new QLabel(QStringLiteral("Card in"), this));
  cardRow->addWidget(reader_, 1);
  cardRow->addWidget(assign_);
  auto* rows = new QVBoxLayout;
  rows->addLayout(row);
  rows->addLayout(cardRow);
  return rows;
}

std::string CardTypesPage::ChosenName() const {
  const QTreeWidgetItem* item = list_->currentItem();
  return item != nullptr ? StdText(item->text(0)) : std::string();
}

std::string CardTypesPage::OtherCardTypeNamed(const std::string& name, const std::string& chosen) {
  for (const std::string& stored : kernel_.Settings->GetCardTypeNames()) {
    if (EqualsIgnoringAsciiCase(stored, name) && !EqualsIgnoringAsciiCase(stored, chosen)) return stored;
  }
  return {};
}

std::vector<std::string> CardTypesPage::DroppedATRs(const std::vector<std::string>& names,
                                                    const std::string& kept) {
  const std::vector<std::string> keptLines = SplitLines(kept);
  const auto isKept = [&](const std::string& atr) {
    return std::any_of(keptLines.begin(), keptLines.end(), [&](const std::string& line) {
      return EqualsIgnoringAsciiCase(WithoutBlanks(line), atr);
    });
  };
  std::vector<std::string> dropped;
  for (const std::string& name : names) {
    if (name.empty()) continue;
    for (const std::string& atr : kernel_.Settings->GetCardTypeATRs(name)) {
      if (!isKept(atr)) dropped.push_back(atr);
    }
  }
  return dropped;
}

void CardTypesPage::Reload() {
  Rebuild({ChosenName()}, false);
}

void CardTypesPage::Rebuild(const std::vector<std::string>& choices, bool showDetails) {
  const std::string before = ChosenName();
  setEnabled(kernel_.Settings != nullptr);
  if (!kernel_.Settings) return;
  TRegistrySettings& settings = *kernel_.Settings;
  list_->blockSignals(true);
  list_->clear();
  try {
    const std::string defaultName = settings.GetDefaultCardTypeName();
    for (const std::string& name : settings.GetCardTypeNames()) {
      TPreferencesATRRec record;
      settings.ReadCardType(name, record);
      const auto atrCount = static_cast<qulonglong>(SplitLines(record.ATRs).size());
      auto* item = new QTreeWidgetItem(
          list_, {Text(name), Text(BaseTypeName(record.BaseType)), QString::number(atrCount)});
      if (name == defaultName) {
        QFont bold = item->font(0);
        bold.setBold(true);
        item->setFont(0, bold);
        item->setToolTip(0, QStringLiteral("The default card type: unknown cards are given to it"));
      }
    }
  } catch (const std::exception& failure) {
    ShowMessage(Text(failure.what()), true);
  }
  QTreeWidgetItem* chosen = nullptr;
  for (auto choice = choices.begin(); chosen == nullptr && choice != choices.end(); ++choice) {
    const auto found = list_->findItems(Text(*choice), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (!found.isEmpty()) chosen = found.front();
  }
  // The first load, or a card type that went away, falls back to the first one; a new card type being
  // edited has none chosen and keeps it so.
  if (chosen == nullptr && (!before.empty() || !loaded_)) chosen = list_->topLevelItem(0);
  loaded_ = true;
  list_->setCurrentItem(chosen);
  list_->blockSignals(false);
  if (chosen != nullptr && (showDetails || ChosenName() != before)) ShowCardType(ChosenName());
  FillReaders();
}

void CardTypesPage::ShowCardType(const std::string& name) {
  if (!kernel_.Settings) return;
  TPreferencesATRRec record;
  kernel_.Settings->ReadCardType(name, record);
  ShowRecord(record);
}

void CardTypesPage::ShowRecord(const TPreferencesATRRec& record) {
  name_->setText(Text(record.CardTypeName));
  int base = baseType_->findData(record.BaseType);
  if (base < 0) {
    baseType_->addItem(QStringLiteral("Base type %1").arg(record.BaseType), record.BaseType);
    base = baseType_->count() - 1;
  }
  baseType_->setCurrentIndex(base);
  QStringList atrs;
  for (const std::string& atr : SplitLines(record.ATRs)) atrs << Text(atr);
  atrs_->setPlainText(atrs.join(QLatin1Char('\n')));
  commandsFile_->setText(Text(record.WindowPreferences.TemplatesCOS));
  statusWordsFile_->setText(Text(record.WindowPreferences.TemplatesSW));
  const TAPDUPreferences& apdu = record.WindowPreferences.DefaultAPDU;
  const std::string* values[kApduFields] = {&apdu.Cla, &apdu.Ins, &apdu.P1,    &apdu.P2,
                                            &apdu.P3,  &apdu.Le,  &apdu.DataIn};
  for (int field = 0; field < kApduFields; ++field) apdu_[field]->setText(Text(*values[field]));
  UpdateFilesNote();
}

TPreferencesATRRec CardTypesPage::RecordFromFields() const {
  TPreferencesATRRec record;
  record.CardTypeName = StdText(name_->text().trimmed());
  record.BaseType = static_cast<std::uint8_t>(baseType_->currentData().toInt());
  for (const std::string& line : SplitLines(StdText(atrs_->toPlainText()))) {
    const std::string atr = FormatHexPairs(std::string(TrimLeadingControls(line)));
    if (!atr.empty()) record.ATRs += atr + "\r\n";
  }
  record.WindowPreferences.TemplatesCOS = StdText(commandsFile_->text().trimmed());
  record.WindowPreferences.TemplatesSW = StdText(statusWordsFile_->text().trimmed());
  TAPDUPreferences& apdu = record.WindowPreferences.DefaultAPDU;
  std::string* values[kApduFields] = {&apdu.Cla, &apdu.Ins, &apdu.P1,    &apdu.P2,
                                      &apdu.P3,  &apdu.Le,  &apdu.DataIn};
  for (int field = 0; field < kApduFields; ++field) *values[field] = StdText(apdu_[field]->text().trimmed());
  return record;
}

void CardTypesPage::UpdateFilesNote() {
  QStringList missing;
  for (const QLineEdit* edit : {commandsFile_, statusWordsFile_}) {
    const std::string path = StdText(edit->text().trimmed());
    if (path.empty() || !kernel_.Settings) continue;
    std::error_code error;
    if (!std::filesystem::is_regular_file(kernel_.Settings->ExpandWorkDir(path), error)) {
      missing << Text(std::filesystem::path(path).filename().string());
    }
  }
  filesNote_->setVisible(!missing.isEmpty());
  filesNote_->setText(
      missing.isEmpty() ? QString() : QStringLiteral("Missing: %1").arg(missing.join(QStringLiteral(", "))));
}

void CardTypesPage::FillReaders() {
  const int kept = reader_->currentData().isValid() ? reader_->currentData().toInt() : -1;
  reader_->clear();
  for (int n = 0; n < static_cast<int>(kReaderCount); ++n) {
    const TReaderHead& reader = ReaderTable[static_cast<std::size_t>(n)];
    if (!OffersItsATR(reader)) continue;
    const std::string& type = reader.CardInfo.Preferences.CardTypeName;
    reader_->addItem(Text(reader.ReaderName + (type.empty() ? "" : " (" + type + ")")), n);
  }
  const int index = reader_->findData(kept);
  if (index >= 0) reader_->setCurrentIndex(index);
  assign_->setEnabled(reader_->count() > 0);
}

void CardTypesPage::ShowMessage(const QString& text, bool failure) {
  message_->setStyleSheet(failure ? QStringLiteral("color: #B00000") : QString());
  message_->setText(text);
}

bool CardTypesPage::Change(const std::string& select, const QString& done,
                           const std::function<bool(TRegistrySettings&)>& change) {
  if (!kernel_.Settings) return false;
  const std::string chosen = ChosenName();
  bool succeeded = false;
  try {
    succeeded = change(*kernel_.Settings);
    if (!succeeded)
      ShowMessage(QStringLiteral("Not every value was saved: the error message said why"), true);
  } catch (const ECardTypeNameError& refusal) {
    // Nothing was written: the fields keep what the user typed.
    ShowMessage(Text(refusal.what()), true);
    return false;
  } catch (const std::exception& failure) {
    ShowMessage(Text(failure.what()), true);
  }
  if (succeeded) ShowMessage(done, false);
  // After a failure the card type chosen before stays chosen with the fields as typed, unless it went.
  Rebuild(succeeded ? std::vector{select} : std::vector{chosen, select}, succeeded);
  return succeeded;
}

void CardTypesPage::NewCardType() {
  if (!kernel_.Settings) return;
  TPreferencesATRRec record;
  kernel_.Settings->MakeDefaultCardType(kIsoBaseType, record);
  TReaderWindowPreferences& window = record.WindowPreferences;
  window.TemplatesCOS = kernel_.Settings->CollapseWorkDir(window.TemplatesCOS);
  window.TemplatesSW = kernel_.Settings->CollapseWorkDir(window.TemplatesSW);
  list_->setCurrentItem(nullptr);
  ShowRecord(record);
  ShowMessage(QStringLiteral("Give the new card type a name, then Save"), false);
  name_->setFocus();
}

void CardTypesPage::SaveCardType() {
  if (!kernel_.Settings) return;
  const TPreferencesATRRec record = RecordFromFields();
  for (const std::string& atr : SplitLines(record.ATRs)) {
    if (!IsHexATR(WithoutBlanks(atr))) {
      ShowMessage(QStringLiteral("The ATR %1 is not an even number of hexadecimal digits; nothing was saved")
                      .arg(Text(atr)),
                  true);
      return;
    }
  }
  const std::string chosen = ChosenName();
  std::string name = record.CardTypeName;
  std::vector<std::string> dropped;
  try {
    TRegistrySettings::CheckCardTypeName(name);
    const std::string replaced = OtherCardTypeNamed(name, chosen);
    if (!replaced.empty()) {
      if (!confirm_(QStringLiteral("Replace the card type \"%1\" with its ATRs?").arg(Text(replaced)))) {
        ShowMessage(QStringLiteral("Nothing was saved"), false);
        return;
      }
      // A new card type keeps the stored name, which the default name must match exactly.
      if (chosen.empty()) name = replaced;
    }
    dropped = DroppedATRs({chosen, replaced}, record.ATRs);
  } catch (const std::exception& failure) {
    ShowMessage(Text(failure.what()), true);
    return;
  }
  // A changed name renames the chosen card type, so that it is not copied. The ATRs the list leaves out are
  // withheld once the renamed card type is resolved again, and before they leave the catalogue: the list is
  // saved as shown, and the cards in the readers do not bring them back.
  Change(name, QStringLiteral("Saved \"%1\"").arg(Text(name)), [&](TRegistrySettings& settings) {
    if (!chosen.empty() && name != chosen) settings.RenameCardType(chosen, name);
    if (kernel_.Connection) {
      for (const std::string& atr : dropped) kernel_.Connection->WithholdATR(atr);
    }
    return settings.WriteCardType(name, record);
  });
}

void CardTypesPage::DeleteCardType() {
  const std::string name = ChosenName();
  if (name.empty()) {
    ShowMessage(QStringLiteral("Choose the card type to delete"), true);
    return;
  }
  if (!confirm_(QStringLiteral("Delete the card type \"%1\" with its ATRs?").arg(Text(name)))) return;
  Change({}, QStringLiteral("Deleted \"%1\"").arg(Text(name)), [&](TRegistrySettings& settings) {
    settings.DeleteCardType(name);
    return true;
  });
}

void CardTypesPage::AssignReadersATR() {
  const std::string name = ChosenName();
  FillReaders();
  if (name.empty() || reader_->count() == 0) {
    ShowMessage(name.empty() ? QStringLiteral("Choose the card type to assign the ATR to")
                             : QStringLiteral("No reader holds a card"),
                true);
    return;
  }
  const auto n = static_cast<std::size_t>(reader_->currentData().toInt());
  const std::string atr = ReaderTable[n].CardInfo.ATR;
  const QString done =
      QStringLiteral("%1 now belongs to \"%2\"").arg(Text(FormatHexPairs(WithoutBlanks(atr))), Text(name));
  Change(name, done, [&](TRegistrySettings& settings) {
    settings.AssignATR(name, atr);
    return true;
  });
}

void CardTypesPage::UseAsDefault() {
  const std::string name = ChosenName();
  if (name.empty()) {
    ShowMessage(QStringLiteral("Choose the card type that unknown cards are given to"), true);
    return;
  }
  const QString done = QStringLiteral("Unknown cards are given to \"%1\"").arg(Text(name));
  const bool written = Change(name, done, [&](TRegistrySettings& settings) {
    settings.SetDefaultCardTypeName(name);
    return true;
  });
  if (written) emit DefaultCardTypeChanged();
}

}  // namespace tessaly
