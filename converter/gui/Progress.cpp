#include "gui/Progress.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "Driver.h"
#include "gui/Modal.h"

namespace vk {

TProgressDlg::TProgressDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("ProgressDlg");
  setWindowTitle("Converting...");
  setModal(false);

  pbProgress = new QProgressBar(this);
  pbProgress->setObjectName("pbProgress");
  pbProgress->setRange(0, 100);
  pbProgress->setValue(0);
  pbProgress->setTextVisible(false);
  pbProgress->setMinimumWidth(260);
  lbLabel = new QLabel(this);
  lbLabel->setObjectName("lbLabel");
  lbLabel->setMinimumWidth(lbLabel->fontMetrics().horizontalAdvance("100% 99999999語") + 8);
  btnCancel = new QPushButton("Cancel", this);
  btnCancel->setObjectName("btnCancel");
  btnCancel->setAutoDefault(false);

  auto* row = new QHBoxLayout;
  row->addWidget(pbProgress, 1);
  row->addWidget(lbLabel);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnCancel);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(btnCancel, &QPushButton::clicked, this, &TProgressDlg::btnCancelClick);
}

void TProgressDlg::Start() {
  closed_ = false;
  show();
}

void TProgressDlg::Finish() { hide(); }

void TProgressDlg::Refresh(int percent, int recordNumber) {
  pbProgress->setValue(percent < 0 ? 0 : percent > 100 ? 100 : percent);
  lbLabel->setText(QString::number(percent) + "% " + QString::number(recordNumber) + "語");
}

void TProgressDlg::btnCancelClick() {
  QMessageBox box(QMessageBox::Question, kCancelCaption, kCancelQuestion,
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  RunModal(&box);
  if (box.clickedButton() == box.button(QMessageBox::Yes)) reject();
}

// Every close but the question's No ends here: the close box, and Yes.
void TProgressDlg::reject() {
  closed_ = true;
  QDialog::reject();
}

void TProgressDlg::keyPressEvent(QKeyEvent* event) {
  // Esc is the Cancel button, question included, not a silent close.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    btnCancel->click();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace vk
