// TRadioGroup: a titled group of exclusive radio items in one column, with
// the selected item's index, as the settings dialog's mode and byte-order
// choices are.
#pragma once
#include <QButtonGroup>
#include <QGroupBox>
#include <QStringList>

class QRadioButton;

namespace vk {

class TRadioGroup : public QGroupBox {
  Q_OBJECT

 public:
  TRadioGroup(const QString& title, const QStringList& items, QWidget* parent = nullptr);

  // -1 when no item is selected.
  int itemIndex() const { return buttons_.checkedId(); }
  // Selects an item without emitting itemClicked; an index out of range
  // leaves the selection as it is.
  void setItemIndex(int index);
  int count() const { return static_cast<int>(buttons_.buttons().size()); }
  QRadioButton* item(int index) const;

 Q_SIGNALS:
  // The user chose an item (by mouse or keyboard).
  void itemClicked(int index);

 private:
  QButtonGroup buttons_;
};

}  // namespace vk
