#include "gui/Result.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vk {

TResultDlg::TResultDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("ResultDlg");
  setWindowTitle("変換結果");

  static const char* const kCaptionNames[5] = {"Label1", "Label2", "Label3", "Label4", "Label5"};
  static const char* const kValueNames[5] = {"lbSourceCount", "lbRecCount", "lbUndefCount",
                                             "lbErrorMultiByteCount", "lbOverCount"};
  QLabel** captions[5] = {&Label1, &Label2, &Label3, &Label4, &Label5};
  QLabel** values[5] = {&lbSourceCount, &lbRecCount, &lbUndefCount, &lbErrorMultiByteCount,
                        &lbOverCount};
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(24);
  for (int i = 0; i < 5; ++i) {
    *captions[i] = new QLabel(kResultLabels[i], this);
    (*captions[i])->setObjectName(kCaptionNames[i]);
    *values[i] = new QLabel(kValueNames[i], this);
    (*values[i])->setObjectName(kValueNames[i]);
    (*values[i])->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    (*values[i])->setTextInteractionFlags(Qt::TextSelectableByMouse);
    grid->addWidget(*captions[i], i, 0);
    grid->addWidget(*values[i], i, 1);
  }
  grid->setColumnMinimumWidth(1, fontMetrics().horizontalAdvance("99999999999"));

  btnOK = new QPushButton("OK", this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

void TResultDlg::SetCounters(const TConvertCounters& c) {
  lbSourceCount->setText(QString::number(c.sourceCount));
  lbRecCount->setText(QString::number(c.recCount));
  lbUndefCount->setText(QString::number(c.undefCount));
  lbErrorMultiByteCount->setText(QString::number(c.multiByteErrorCount));
  lbOverCount->setText(QString::number(c.overCount));
}

// OK is the default and the cancel button as well: Esc and the close box
// close with OK too.
void TResultDlg::reject() { accept(); }

}  // namespace vk
