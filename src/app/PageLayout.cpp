#include "app/PageLayout.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QVBoxLayout>

namespace tessaly {

QVBoxLayout* PageColumn(QWidget& page) {
  auto* column = new QVBoxLayout(&page);
  column->setContentsMargins(4, 4, 4, 4);
  column->setSpacing(4);
  return column;
}

QFormLayout* CompactForm() {
  auto* form = new QFormLayout;
  form->setContentsMargins(6, 4, 6, 4);
  form->setVerticalSpacing(3);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  return form;
}

QWidget* Group(const QString& title, QWidget* parent, QLayout* layout) {
  auto* group = new QGroupBox(title, parent);
  group->setLayout(layout);
  return group;
}

}  // namespace tessaly
