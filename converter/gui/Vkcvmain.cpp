#include "gui/Vkcvmain.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QUrl>
#include <exception>

#include "Ini.h"
#include "Tablerw.h"
#include "gui/About.h"
#include "gui/Cvtcfg.h"
#include "gui/Modal.h"
#include "gui/Progress.h"
#include "gui/Result.h"
#include "util/Places.h"
#include "util/ProgramFolder.h"

namespace vk {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QAction* Item(QMenu* menu, const char* name, const QString& text) {
  QAction* a = menu->addAction(text);
  a->setObjectName(name);
  return a;
}

QAction* Separator(QMenu* menu, const char* name) {
  QAction* a = menu->addSeparator();
  a->setObjectName(name);
  return a;
}

}  // namespace

TVkcvPlaces ProgramPlaces() {
  TVkcvPlaces p;
  p.programFolder = ProgramFolder();
  p.settingsPath = SettingsFilePath(p.programFolder);
  p.tableFolder = TableFolder(p.programFolder);
  return p;
}

TVKcvMainForm::TVKcvMainForm(TVkcvPlaces places, QWidget* parent)
    : QMainWindow(parent), places_(std::move(places)) {
  setObjectName("VKcvMainForm");
  setWindowTitle("VOKA Dictionary Exchanger");

  edDump = new QPlainTextEdit(this);
  edDump->setObjectName("edDump");
  edDump->setReadOnly(true);
  edDump->setLineWrapMode(QPlainTextEdit::NoWrap);
  edDump->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setCentralWidget(edDump);

  File1 = menuBar()->addMenu("&File");
  File1->setObjectName("File1");
  miConvert = Item(File1, "miConvert", "&Convert...");
  N1 = Separator(File1, "N1");
  miExit = Item(File1, "miExit", "E&xit");
  Help1 = menuBar()->addMenu("&Help");
  Help1->setObjectName("Help1");
  miReadMe = Item(Help1, "miReadMe", "&Read Me");
  N2 = Separator(Help1, "N2");
  miAbout = Item(Help1, "miAbout", "&About...");

  connect(miConvert, &QAction::triggered, this, &TVKcvMainForm::miConvertClick);
  connect(miExit, &QAction::triggered, this, &TVKcvMainForm::miExitClick);
  connect(miReadMe, &QAction::triggered, this, &TVKcvMainForm::miReadMeClick);
  connect(miAbout, &QAction::triggered, this, &TVKcvMainForm::miAboutClick);

  resize(640, 400);
}

void TVKcvMainForm::SetDialogs(TCvtCfgDlg* cvtCfg, TAboutDlg* about, TProgressDlg* progress,
                               TResultDlg* result) {
  cvtCfg_ = cvtCfg;
  about_ = about;
  progress_ = progress;
  result_ = result;
}

void TVKcvMainForm::miConvertClick() {
  if (converting_ || !cvtCfg_) return;
  // A failure that escapes the conversion is shown and the program goes on;
  // the driver's wrappers have closed the dictionaries on the way out.
  try {
    Convert();
  } catch (const std::exception& e) {
    Message("Vkcv", e.what(), "the conversion stopped on an unexpected failure");
  }
  converting_ = false;
  miConvert->setEnabled(true);
  if (closeRequested_) close();
}

void TVKcvMainForm::Convert() {
  if (RunModal(cvtCfg_) != QDialog::Accepted) return;
  TConvertSettings settings = cvtCfg_->Settings();
  settings.engineFolder = places_.engineFolder;
  converting_ = true;
  miConvert->setEnabled(false);
  TConvertDriver driver(this);
  lastResult_ = driver.Convert(settings);
}

void TVKcvMainForm::miExitClick() { close(); }

void TVKcvMainForm::miReadMeClick() {
  // Whatever the desktop answers is left alone: a missing opener or file
  // changes nothing for the program.
  QDesktopServices::openUrl(QUrl::fromLocalFile(Q(JoinPath(FolderWithFile(DataFolders(places_.programFolder), "Vkcv.txt"), "Vkcv.txt"))));
}

void TVKcvMainForm::miAboutClick() {
  if (about_) RunModal(about_);
}

void TVKcvMainForm::closeEvent(QCloseEvent* event) {
  if (converting_) {
    // The record loop stops at its next record; miConvertClick closes the
    // window when the conversion has closed both dictionaries.
    closeRequested_ = true;
    event->ignore();
    return;
  }
  QMainWindow::closeEvent(event);
}

bool TVKcvMainForm::Ask(const std::string& caption, const std::string& text, bool defaultYes,
                        const std::string& detail) {
  QMessageBox box(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No,
                  this);
  box.setInformativeText(Q(detail));
  box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  RunModal(&box);
  return box.clickedButton() == box.button(QMessageBox::Yes);
}

void TVKcvMainForm::Message(const std::string& caption, const std::string& text,
                            const std::string& detail) {
  QMessageBox box(QMessageBox::Warning, Q(caption), Q(text), QMessageBox::Ok, this);
  box.setInformativeText(Q(detail));
  box.setDefaultButton(QMessageBox::Ok);
  RunModal(&box);
}

void TVKcvMainForm::ClearLog() { edDump->clear(); }

void TVKcvMainForm::AddLogLine(const std::string& line) { edDump->appendPlainText(Q(line)); }

void TVKcvMainForm::ProgressStart(int /*totalRecords*/) {
  if (progress_) progress_->Start();
}

void TVKcvMainForm::ProgressEnd() {
  if (progress_) progress_->Finish();
}

void TVKcvMainForm::ShowProgress(int percent, int recordNumber) {
  if (progress_) progress_->Refresh(percent, recordNumber);
}

void TVKcvMainForm::ProcessEvents() { QCoreApplication::processEvents(); }

bool TVKcvMainForm::ProgressClosed() { return progress_ && progress_->Closed(); }

void TVKcvMainForm::ShowResult(const TConvertCounters& counters) {
  if (!result_) return;
  result_->SetCounters(counters);
  RunModal(result_);
}

}  // namespace vk
