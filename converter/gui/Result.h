// TResultDlg: the five counters of a conversion that reached its record
// loop, shown modally. Before the first conversion each value label shows
// its own name.
#pragma once
#include <QDialog>

#include "Driver.h"

class QLabel;
class QPushButton;

namespace vk {

class TResultDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TResultDlg(QWidget* parent = nullptr);

  // Puts the counters into the value labels.
  void SetCounters(const TConvertCounters& counters);

  QLabel* Label1;
  QLabel* Label2;
  QLabel* Label3;
  QLabel* Label4;
  QLabel* Label5;
  QLabel* lbSourceCount;
  QLabel* lbRecCount;
  QLabel* lbUndefCount;
  QLabel* lbErrorMultiByteCount;
  QLabel* lbOverCount;
  QPushButton* btnOK;

 public Q_SLOTS:
  void reject() override;
};

}  // namespace vk
