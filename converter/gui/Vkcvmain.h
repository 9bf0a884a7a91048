// TVKcvMainForm: the converter's main window. Its dump log (edDump) lists
// what the last conversion met; File, Convert shows the settings dialog and
// runs one whole conversion through TConvertDriver, for which the window is
// the user: questions and error boxes become message boxes (the English
// detail as their informative text), progress goes to the progress dialog,
// the counters to the result dialog.
//
// The conversion runs on this thread and lets Qt process pending events
// every 256 registered records. Meanwhile Convert is disabled (a second
// conversion would run inside the first); closing the window stops the
// conversion at the next record, as a cancel, and the window closes once
// both dictionaries are closed and the result was shown.
#pragma once
#include <QMainWindow>
#include <string>

#include "Driver.h"

class QAction;
class QMenu;
class QPlainTextEdit;

namespace vk {

class TAboutDlg;
class TCvtCfgDlg;
class TProgressDlg;
class TResultDlg;

// Where the program finds its files.
struct TVkcvPlaces {
  std::string programFolder;  // "Vkcv.txt"
  std::string settingsPath;   // "VKcv.ini"
  std::string tableFolder;    // the conversion tables on offer
  std::string engineFolder;   // the engine libraries; empty: the program's folder
};

// The places of the running program: everything in its own folder, the
// settings file where SettingsFilePath puts it.
TVkcvPlaces ProgramPlaces();

class TVKcvMainForm : public QMainWindow, public TConvertUser {
  Q_OBJECT

 public:
  explicit TVKcvMainForm(TVkcvPlaces places, QWidget* parent = nullptr);

  // The dialogs, made once after the window (and owned by it as their parent).
  void SetDialogs(TCvtCfgDlg* cvtCfg, TAboutDlg* about, TProgressDlg* progress, TResultDlg* result);

  const TVkcvPlaces& places() const { return places_; }
  bool converting() const { return converting_; }
  // The outcome of the last conversion the Convert command started.
  const TConvertResult& lastResult() const { return lastResult_; }

  // TConvertUser
  bool Ask(const std::string& caption, const std::string& text, bool defaultYes,
           const std::string& detail) override;
  void Message(const std::string& caption, const std::string& text,
               const std::string& detail) override;
  void ClearLog() override;
  void AddLogLine(const std::string& line) override;
  void ProgressStart(int totalRecords) override;
  void ProgressEnd() override;
  void ShowProgress(int percent, int recordNumber) override;
  void ProcessEvents() override;
  bool ProgressClosed() override;
  bool StopRequested() override { return closeRequested_; }
  void ShowResult(const TConvertCounters& counters) override;

  QPlainTextEdit* edDump;
  QMenu* File1;
  QAction* miConvert;
  QAction* N1;
  QAction* miExit;
  QMenu* Help1;
  QAction* miReadMe;
  QAction* N2;
  QAction* miAbout;

 public Q_SLOTS:
  void miConvertClick();
  void miExitClick();
  void miReadMeClick();
  void miAboutClick();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Convert();

  TVkcvPlaces places_;
  TCvtCfgDlg* cvtCfg_ = nullptr;
  TAboutDlg* about_ = nullptr;
  TProgressDlg* progress_ = nullptr;
  TResultDlg* result_ = nullptr;
  bool converting_ = false;
  bool closeRequested_ = false;
  TConvertResult lastResult_;
};

}  // namespace vk
