// TAboutDlg: the program's name and its version, "major.minor" of the
// version compiled in from the build ("0.0" when the build gave none).
#pragma once
#include <QDialog>
#include <string>

class QLabel;
class QPushButton;

namespace vk {

class TAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutDlg(QWidget* parent = nullptr);

  // "major.minor" of a version "major.minor.patch...", or "0.0" when it does
  // not start with two numbers.
  static std::string VersionText(const std::string& version);

  QLabel* Label1;
  QLabel* lbVersion;
  QLabel* Label2;
  QPushButton* btnOK;

 public Q_SLOTS:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
};

}  // namespace vk
