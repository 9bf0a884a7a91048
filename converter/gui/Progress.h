// TProgressDlg: the progress of a record loop, and the only way to stop
// one. It is shown without being modal while a loop runs; the loop polls
// Closed() after every registered record. Cancel (or Esc) asks whether to
// stop, Yes the default; closing the dialog in any other way (its close
// box) stops without a question. The bar and the label keep their last
// values into the next conversion.
#pragma once
#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace vk {

class TProgressDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TProgressDlg(QWidget* parent = nullptr);

  // A record loop starts: shows the dialog and forgets an earlier close.
  void Start();
  // The loop ended: hides the dialog.
  void Finish();
  // True once the user closed the dialog or confirmed the cancel question
  // since Start().
  bool Closed() const { return closed_; }
  // Shows `percent` on the bar and "45% 12000語" beside it.
  void Refresh(int percent, int recordNumber);

  QProgressBar* pbProgress;
  QLabel* lbLabel;
  QPushButton* btnCancel;

 public Q_SLOTS:
  void btnCancelClick();
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool closed_ = false;
};

}  // namespace vk
