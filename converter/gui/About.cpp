#include "gui/About.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>
#include <cctype>

#ifndef VK_PROGRAM_VERSION
#define VK_PROGRAM_VERSION ""
#endif

namespace vk {

TAboutDlg::TAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("AboutDlg");
  setWindowTitle("About VKcv");

  Label1 = new QLabel("VOKA Dictionary Exchanger", this);
  Label1->setObjectName("Label1");
  QFont big = Label1->font();
  big.setPointSizeF(big.pointSizeF() * 1.6);
  big.setBold(true);
  Label1->setFont(big);
  Label1->setAlignment(Qt::AlignCenter);
  lbVersion = new QLabel(this);
  lbVersion->setObjectName("lbVersion");
  lbVersion->setAlignment(Qt::AlignCenter);
  Label2 = new QLabel("Converts VOKA dictionaries between Win32 (Shift-JIS) and Unicode.", this);
  Label2->setObjectName("Label2");
  Label2->setAlignment(Qt::AlignCenter);
  btnOK = new QPushButton("OK", this);
  btnOK->setObjectName("btnOK");
  btnOK->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addStretch(1);
  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(10);
  layout->addWidget(Label1);
  layout->addWidget(lbVersion);
  layout->addWidget(Label2);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
}

std::string TAboutDlg::VersionText(const std::string& version) {
  size_t i = 0;
  auto number = [&](std::string* out) {
    size_t from = i;
    while (i < version.size() && std::isdigit(static_cast<unsigned char>(version[i]))) ++i;
    *out = version.substr(from, i - from);
    return i > from;
  };
  std::string major, minor;
  if (!number(&major) || i >= version.size() || version[i] != '.') return "0.0";
  ++i;
  if (!number(&minor)) return "0.0";
  // Numbers as numbers: "007" shows as 7, as a version resource would.
  return std::to_string(std::stoul(major.substr(0, 9))) + "." +
         std::to_string(std::stoul(minor.substr(0, 9)));
}

void TAboutDlg::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TAboutDlg::FormShow() {
  lbVersion->setText(QString::fromStdString(VersionText(VK_PROGRAM_VERSION)));
}

// OK is the default and the cancel button as well: Esc and the close box
// close with OK too.
void TAboutDlg::reject() { accept(); }

}  // namespace vk
