#include "app/CommandFields.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalBlocker>

#include "app/QtText.h"
#include "templates/KeyedTable.h"

namespace tessaly {
namespace {

// What a command item of the choice holds besides its text.
enum CommandRole { kNameRole = Qt::UserRole, kClaRole, kInsRole };

const QString kBadFieldStyle = QStringLiteral("QLineEdit { background: #FFE0E0; }");

std::optional<std::uint8_t> ByteOf(const QVariant& text) {
  return FieldByte(text.toString().toStdString());
}

}  // namespace

CommandFields::CommandFields(QObject* parent)
    : QObject(parent),
      extendedLength_(new QCheckBox(QStringLiteral("Extended"))),
      commandChoice_(new QComboBox) {
  for (const ApduField field :
       {ApduField::Cla, ApduField::Ins, ApduField::P1, ApduField::P2, ApduField::Data, ApduField::Le}) {
    MakeEdit(field);
  }
  Edit(ApduField::Data).setPlaceholderText(QStringLiteral("hex bytes, blanks allowed"));
  Edit(ApduField::Le).setPlaceholderText(QStringLiteral("none"));
  extendedLength_->setToolTip(QStringLiteral("Extended length: up to 65535 data bytes and a two-byte Le"));
  commandChoice_->setPlaceholderText(QStringLiteral("Command by name"));
  commandChoice_->setToolTip(QStringLiteral("The reader's commands by name; the name follows CLA and INS"));
  for (const ApduField field : {ApduField::Cla, ApduField::Ins})
    connect(&Edit(field), &QLineEdit::textChanged, this, &CommandFields::FollowFields);
  connect(commandChoice_, &QComboBox::activated, this,
          [this](int index) { ChooseCommand(commandChoice_->itemData(index, kNameRole).toString()); });
}

QLineEdit* CommandFields::MakeEdit(ApduField field) {
  auto* edit = new QLineEdit;
  edit->setAccessibleName(QString::fromLatin1(ApduFieldName(field)));
  edits_.push_back(edit);
  return edit;
}

void CommandFields::SetCommands(const TKeyedTable* commands) {
  const QString shown = commandChoice_->currentData(kNameRole).toString();
  {
    const QSignalBlocker blocker(commandChoice_);
    commandChoice_->clear();
    for (std::size_t entry = 0; commands != nullptr && entry < commands->Count(); ++entry) {
      const QString name = Text(commands->TextAt(entry, "Name"));
      const QString cla = Text(commands->TextAt(entry, "Cla"));
      const QString ins = Text(commands->TextAt(entry, "Ins"));
      commandChoice_->addItem(QStringLiteral("%1  (%2 %3)").arg(name, cla, ins));
      const int index = commandChoice_->count() - 1;
      commandChoice_->setItemData(index, name, kNameRole);
      commandChoice_->setItemData(index, cla, kClaRole);
      commandChoice_->setItemData(index, ins, kInsRole);
    }
    commandChoice_->setCurrentIndex(commandChoice_->findData(shown, kNameRole));
  }
  FollowFields();
}

bool CommandFields::ChooseCommand(const QString& name) {
  const int index = commandChoice_->findData(name, kNameRole);
  if (index < 0) return false;
  Edit(ApduField::Cla).setText(commandChoice_->itemData(index, kClaRole).toString());
  Edit(ApduField::Ins).setText(commandChoice_->itemData(index, kInsRole).toString());
  // Set last: the fields' changes on the way may have shown another name with the same bytes.
  commandChoice_->setCurrentIndex(index);
  return true;
}

bool CommandFields::Matches(int index, std::uint8_t cla, std::uint8_t ins) const {
  return ByteOf(commandChoice_->itemData(index, kClaRole)) == cla &&
         ByteOf(commandChoice_->itemData(index, kInsRole)) == ins;
}

void CommandFields::FollowFields() {
  const std::optional<std::uint8_t> cla = FieldByte(Edit(ApduField::Cla).text().toStdString());
  const std::optional<std::uint8_t> ins = FieldByte(Edit(ApduField::Ins).text().toStdString());
  const int shown = commandChoice_->currentIndex();
  if (!cla || !ins) return commandChoice_->setCurrentIndex(-1);
  if (shown >= 0 && Matches(shown, *cla, *ins)) return;
  int found = -1;
  for (int index = 0; index < commandChoice_->count() && found < 0; ++index) {
    if (Matches(index, *cla, *ins)) found = index;
  }
  commandChoice_->setCurrentIndex(found);
}

ApduFieldTexts CommandFields::Fields() const {
  const auto text = [this](ApduField field) {
    return edits_[static_cast<std::size_t>(field)]->text().toStdString();
  };
  return {text(ApduField::Cla), text(ApduField::Ins),  text(ApduField::P1),
          text(ApduField::P2),  text(ApduField::Data), text(ApduField::Le)};
}

void CommandFields::SetFields(const ApduFieldTexts& fields) {
  Edit(ApduField::Cla).setText(Text(fields.Cla));
  Edit(ApduField::Ins).setText(Text(fields.Ins));
  Edit(ApduField::P1).setText(Text(fields.P1));
  Edit(ApduField::P2).setText(Text(fields.P2));
  Edit(ApduField::Data).setText(Text(fields.Data));
  Edit(ApduField::Le).setText(Text(fields.Le));
}

std::vector<std::uint8_t> CommandFields::Command() {
  ClearMarks();
  try {
    return BuildCommand(Fields(), extendedLength_->isChecked());
  } catch (const EApduInputError& refusal) {
    QLineEdit& field = Edit(refusal.Field());
    field.setStyleSheet(kBadFieldStyle);
    field.setFocus();
    field.selectAll();
    throw;
  }
}

void CommandFields::ClearMarks() {
  for (QLineEdit* edit : edits_) edit->setStyleSheet(QString());
}

}  // namespace tessaly
