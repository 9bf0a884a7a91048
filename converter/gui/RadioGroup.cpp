#include "gui/RadioGroup.h"

#include <QRadioButton>
#include <QVBoxLayout>

namespace vk {

TRadioGroup::TRadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent) {
  auto* layout = new QVBoxLayout(this);
  for (int i = 0; i < items.size(); ++i) {
    auto* button = new QRadioButton(items[i], this);
    buttons_.addButton(button, i);
    layout->addWidget(button);
  }
  connect(&buttons_, &QButtonGroup::idClicked, this, &TRadioGroup::itemClicked);
}

void TRadioGroup::setItemIndex(int index) {
  if (QAbstractButton* b = buttons_.button(index)) b->setChecked(true);
}

QRadioButton* TRadioGroup::item(int index) const {
  return static_cast<QRadioButton*>(buttons_.button(index));
}

}  // namespace vk
