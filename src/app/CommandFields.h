#pragma once

#include <QObject>
#include <cstdint>
#include <vector>

#include "device/ApduFields.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QString;

namespace tessaly {

class TKeyedTable;

// The fields a command is typed in, and the reader's command table beside them: choosing a command by name
// puts its CLA and INS into the fields, and the name follows the fields as they are typed (none when no
// command of the table has their CLA and INS). The widgets are the page's to lay out.
class CommandFields final : public QObject {
  Q_OBJECT

 public:
  explicit CommandFields(QObject* parent = nullptr);

  QLineEdit& Edit(ApduField field) { return *edits_[static_cast<std::size_t>(field)]; }
  QCheckBox& ExtendedLength() { return *extendedLength_; }
  QComboBox& CommandChoice() { return *commandChoice_; }

  // Lists the table's commands (none for null), keeping the one shown where it is still listed.
  void SetCommands(const TKeyedTable* commands);
  // Puts the command's CLA and INS into the fields, by its name; false when the table has no such name.
  bool ChooseCommand(const QString& name);

  ApduFieldTexts Fields() const;
  void SetFields(const ApduFieldTexts& fields);
  // The command the fields make up. A bad field is marked and given the focus, and EApduInputError raised.
  std::vector<std::uint8_t> Command();
  void ClearMarks();

 private:
  QLineEdit* MakeEdit(ApduField field);
  // Shows the name of the command whose CLA and INS the fields hold: the one shown when it still matches,
  // otherwise the first in the table's order.
  void FollowFields();
  bool Matches(int index, std::uint8_t cla, std::uint8_t ins) const;

  std::vector<QLineEdit*> edits_;  // in the order of ApduField
  QCheckBox* const extendedLength_;
  QComboBox* const commandChoice_;
};

}  // namespace tessaly
