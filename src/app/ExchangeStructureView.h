#pragma once

#include <QWidget>
#include <cstdint>
#include <span>

#include "tlv/TlvTree.h"

class QAction;
class QLabel;
class QTreeWidget;

namespace tessaly {

// The data of an answer (without SW1 SW2) decoded as BER-TLV: a tree of data objects with tag and name,
// length and value (hex, the text of a printable one, the explanation of a file descriptor or life cycle),
// when the data are TLV throughout; otherwise a line saying why they are not. Copy (also Ctrl+C and the
// context menu) puts the tree on the clipboard as indented text.
class ExchangeStructureView final : public QWidget {
  Q_OBJECT

 public:
  explicit ExchangeStructureView(QWidget* parent = nullptr);

  void Show(std::span<const std::uint8_t> data);

  // Whether the data shown decode as BER-TLV throughout.
  bool HasTree() const { return hasTree_; }
  // The tree as indented text, each line ending in "\n"; empty without a tree.
  QString Text() const;
  QTreeWidget& Tree() { return *tree_; }
  // Why the data are not TLV ("No data", the decoder's problem), or "No answer yet".
  QLabel& Reason() { return *reason_; }
  // Enabled while there is a tree to copy.
  QAction& CopyAction() { return *copy_; }

 private:
  void ShowReason(const QString& reason);
  void Copy();

  QLabel* const reason_;
  QTreeWidget* const tree_;
  QAction* const copy_;
  TlvTree decoded_;
  bool hasTree_ = false;
};

}  // namespace tessaly
