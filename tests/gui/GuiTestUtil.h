// Helpers of the GUI tests: the program's windows made as Vkcv makes them,
// a modal runner that answers every box and dialog from a script (clicking
// their own buttons, so that their own code runs), the settings dialog
// filled in as a user would, and screenshots.
#pragma once
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "convert/ConvertTestUtil.h"
#include "gui/About.h"
#include "gui/Cvtcfg.h"
#include "gui/Modal.h"
#include "gui/Progress.h"
#include "gui/Result.h"
#include "gui/Vkcvmain.h"
#include "support/TempDir.h"

namespace vk {
namespace guitest {

inline std::string S(const QString& s) { return s.toStdString(); }

// What a modal box or dialog showed when it ran.
struct Seen {
  bool box = false;   // a message box
  std::string name;   // objectName
  std::string title;  // the caption
  std::string text;
  std::string detail;  // a message box's informative text
  std::vector<std::string> buttons;
  std::string defaultButton;
  std::string escapeButton;
};

inline std::string ButtonText(QAbstractButton* b) { return b ? S(b->text()) : std::string(); }

// Answers the modal boxes and dialogs in order from `steps`; a box with no
// step left gets its default button (Enter), a dialog its OK.
class ScriptedRunner : public TModalRunner {
 public:
  using Step = std::function<void(QDialog*)>;

  ScriptedRunner() { before_ = SetModalRunner(this); }
  ~ScriptedRunner() override { SetModalRunner(before_); }

  std::deque<Step> steps;
  std::vector<Seen> seen;
  // Called for every box and dialog once it is shown, before its step.
  std::function<void(QDialog*)> onShow;

  int Run(QDialog* dialog) override {
    Seen s;
    s.name = S(dialog->objectName());
    s.title = S(dialog->windowTitle());
    if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
      s.box = true;
      s.text = S(box->text());
      s.detail = S(box->informativeText());
      for (QAbstractButton* b : box->buttons()) s.buttons.push_back(S(b->text()));
      s.defaultButton = ButtonText(box->defaultButton());
      s.escapeButton = ButtonText(box->escapeButton());
    }
    seen.push_back(s);
    dialog->setResult(0);
    dialog->show();
    if (onShow) onShow(dialog);
    if (!steps.empty()) {
      Step step = std::move(steps.front());
      steps.pop_front();
      step(dialog);
    } else if (auto* box = qobject_cast<QMessageBox*>(dialog)) {
      if (box->defaultButton()) box->defaultButton()->click();
    } else {
      dialog->accept();
    }
    // A step that leaves its dialog open would leave a real user stuck.
    EXPECT_FALSE(dialog->isVisible()) << s.name << " " << s.title << " was left open";
    if (dialog->isVisible()) dialog->reject();
    return dialog->result();
  }

  // The message boxes seen, without the dialogs.
  std::vector<Seen> Boxes() const {
    std::vector<Seen> out;
    for (const Seen& s : seen)
      if (s.box) out.push_back(s);
    return out;
  }

 private:
  TModalRunner* before_;
};

// Clicks the message box's button of `which`.
inline ScriptedRunner::Step Answer(QMessageBox::StandardButton which) {
  return [which](QDialog* d) {
    auto* box = qobject_cast<QMessageBox*>(d);
    ASSERT_TRUE(box) << S(d->windowTitle()) << " is not a message box";
    ASSERT_TRUE(box->button(which)) << S(box->text()) << " has no such button";
    box->button(which)->click();
  };
}

// The program's windows, made in the order Vkcv makes them.
struct Forms {
  explicit Forms(const TVkcvPlaces& places) {
    main = std::make_unique<TVKcvMainForm>(places);
    cvtCfg = new TCvtCfgDlg(places.settingsPath, places.tableFolder, main.get());
    about = new TAboutDlg(main.get());
    progress = new TProgressDlg(main.get());
    result = new TResultDlg(main.get());
    main->SetDialogs(cvtCfg, about, progress, result);
    main->show();
  }
  std::unique_ptr<TVKcvMainForm> main;
  TCvtCfgDlg* cvtCfg;
  TAboutDlg* about;
  TProgressDlg* progress;
  TResultDlg* result;
};

// The names of the tables made by the build, beside the test program.
constexpr const char kCp932[] = "Shift-JIS (Windows CP932)";
constexpr const char kCp1252[] = "Western European (Windows CP1252)";

// The settings dialog's choices, made as a user makes them: a click on the
// mode, the paths typed, the byte order and the tables picked.
struct Choice {
  Choice(int mode, std::string source, std::string target, bool bigEndian = false,
         std::string table = "")
      : mode(mode), source(std::move(source)), target(std::move(target)), bigEndian(bigEndian),
        table(std::move(table)) {}
  int mode;  // 1-6, as the items are numbered
  std::string source, target;
  bool bigEndian;
  std::string table;  // a table name for every field; empty: as offered
};

inline void Choose(TCvtCfgDlg* d, const Choice& c) {
  d->rgConvertMode->item(c.mode - 1)->click();
  d->cbSource->setEditText(QString::fromStdString(c.source));
  d->cbTarget->setEditText(QString::fromStdString(c.target));
  d->rgEndianMode->item(c.bigEndian ? 0 : 1)->click();
  if (!c.table.empty()) {
    for (QComboBox* combo : {d->cbWord, d->cbPron, d->cbJapa, d->cbExp}) {
      int i = combo->findText(QString::fromStdString(c.table));
      ASSERT_GE(i, 0) << c.table << " is not offered";
      combo->setCurrentIndex(i);
    }
  }
}

// A step for the settings dialog: the choices, then 変換開始！.
inline ScriptedRunner::Step Configure(const Choice& c) {
  return [c](QDialog* d) {
    auto* dlg = qobject_cast<TCvtCfgDlg*>(d);
    ASSERT_TRUE(dlg) << S(d->objectName()) << " is not the settings dialog";
    Choose(dlg, c);
    dlg->btnOK->click();
  };
}

// Saves a picture of `w` as <name>.png under $VK_SCREENSHOTS (the build's
// screenshots/ folder), for a person to look at.
inline void Shot(QWidget* w, const std::string& name) {
  const char* dir = std::getenv("VK_SCREENSHOTS");
  if (!dir || !dir[0]) return;
  QDir().mkpath(dir);
  QPixmap picture = w->grab();
  EXPECT_FALSE(picture.isNull()) << name;
  EXPECT_TRUE(picture.save(QString::fromStdString(std::string(dir) + "/" + name + ".png")))
      << name;
}

// Texts of the dump log, one a line.
inline std::vector<std::string> LogLines(TVKcvMainForm* f) {
  std::vector<std::string> out;
  QString text = f->edDump->toPlainText();
  if (text.isEmpty()) return out;
  for (const QString& l : text.split('\n')) out.push_back(S(l));
  return out;
}

inline std::vector<std::string> Values(TResultDlg* r) {
  return {S(r->lbSourceCount->text()), S(r->lbRecCount->text()), S(r->lbUndefCount->text()),
          S(r->lbErrorMultiByteCount->text()), S(r->lbOverCount->text())};
}

}  // namespace guitest
}  // namespace vk
