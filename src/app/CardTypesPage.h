#pragma once

#include <QWidget>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;

namespace tessaly {

class TKernelObject;
class TRegistrySettings;
struct TPreferencesATRRec;

// The Card Types page: the catalogue as a list (name, base type, ATR count) and the details of the chosen
// card type, which New, Save, Delete, "Assign this card's ATR" and "Use as default" change. Every change
// goes through the settings store, whose events make the kernel refresh the readers.
class CardTypesPage final : public QWidget {
  Q_OBJECT

 public:
  // Asks the user whether to go on; true to go on.
  using Confirmation = std::function<bool(const QString& question)>;

  explicit CardTypesPage(TKernelObject& kernel, QWidget* parent = nullptr);

  // Reads the catalogue and the readers again, keeping the chosen card type when it is still there.
  void Reload();
  // Lists again the readers holding a card, after a card came, went or was resolved.
  void ReadersChanged() { FillReaders(); }
  // Replaces the questions asked before a card type is deleted or replaced (a message box by default).
  void SetConfirmation(Confirmation confirm) { confirm_ = std::move(confirm); }

  QTreeWidget& List() { return *list_; }
  QLineEdit& NameEdit() { return *name_; }
  QComboBox& BaseTypeChoice() { return *baseType_; }
  QPlainTextEdit& ATRsEdit() { return *atrs_; }
  QLineEdit& CommandsFileEdit() { return *commandsFile_; }
  QLineEdit& StatusWordsFileEdit() { return *statusWordsFile_; }
  QLabel& FilesNote() { return *filesNote_; }
  QLineEdit& ApduEdit(int field) { return *apdu_[field]; }
  QComboBox& ReaderChoice() { return *reader_; }
  QLabel& Message() { return *message_; }
  QPushButton& NewButton() { return *new_; }
  QPushButton& SaveButton() { return *save_; }
  QPushButton& DeleteButton() { return *delete_; }
  QPushButton& AssignButton() { return *assign_; }
  QPushButton& UseAsDefaultButton() { return *useAsDefault_; }

  // The seven default-APDU fields, in the order of ApduEdit: Cla, Ins, P1, P2, P3, Le, DataIn.
  static constexpr int kApduFields = 7;

 signals:
  // The default card type was changed, which the store reports to no one.
  void DefaultCardTypeChanged();

 private:
  QWidget* MakeDetails();
  QLayout* MakeButtons();
  QLayout* FileRow(QLineEdit* edit, const QString& caption);
  // Rebuilds the list and chooses the first listed card type of choices (none when there is none); its
  // details are shown again when showDetails is set or the choice changed, so that a reload from elsewhere
  // keeps edits.
  void Rebuild(const std::vector<std::string>& choices, bool showDetails);
  void ShowCardType(const std::string& name);
  void ShowMessage(const QString& text, bool failure);
  void ShowRecord(const TPreferencesATRRec& record);
  TPreferencesATRRec RecordFromFields() const;
  void UpdateFilesNote();
  void FillReaders();
  std::string ChosenName() const;
  // The stored name of the card type other than chosen whose name is name, letter case ignored; "" for none.
  std::string OtherCardTypeNamed(const std::string& name, const std::string& chosen);
  // The stored ATRs of the card types named (empty names skipped) that the list kept leaves out.
  std::vector<std::string> DroppedATRs(const std::vector<std::string>& names, const std::string& kept);

  void NewCardType();
  void SaveCardType();
  void DeleteCardType();
  void AssignReadersATR();
  void UseAsDefault();
  // Runs a change on the store, which returns false when it failed part way after the store showed why, and
  // shows done once it succeeded; a refusal or failure is shown instead, next to the buttons. Reloads
  // afterwards: a success chooses the card type named select and shows it as stored, a failure keeps the
  // fields as the user typed them. True after a success.
  bool Change(const std::string& select, const QString& done,
              const std::function<bool(TRegistrySettings&)>& change);

  TKernelObject& kernel_;
  Confirmation confirm_;
  QTreeWidget* const list_;
  QLineEdit* const name_;
  QComboBox* const baseType_;
  QPlainTextEdit* const atrs_;
  QLineEdit* const commandsFile_;
  QLineEdit* const statusWordsFile_;
  QLabel* const filesNote_;
  QLineEdit* apdu_[kApduFields];
  QComboBox* const reader_;
  QLabel* const message_;
  QPushButton* const new_;
  QPushButton* const save_;
  QPushButton* const delete_;
  QPushButton* const assign_;
  QPushButton* const useAsDefault_;
  bool loaded_ = false;
};

}  // namespace tessaly
