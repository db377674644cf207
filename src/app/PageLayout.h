#pragma once

class QFormLayout;
class QLayout;
class QString;
class QVBoxLayout;
class QWidget;

namespace tessaly {

// The layout of the pages, so that they look alike.

// The page's column of parts, with the narrow margin and spacing every page has.
QVBoxLayout* PageColumn(QWidget& page);
// A form for a group box: narrow margins and rows, fields that take the width left.
QFormLayout* CompactForm();
// A titled group box holding the layout.
QWidget* Group(const QString& title, QWidget* parent, QLayout* layout);

}  // namespace tessaly
