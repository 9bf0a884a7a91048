// Vkcv: the converter's desktop program. The main window and its four
// dialogs are made once each, in this order, and live as long as the
// program; it ends when the main window closes.
#include <QApplication>
#include <csignal>

#include "gui/About.h"
#include "gui/Cvtcfg.h"
#include "gui/Progress.h"
#include "gui/Result.h"
#include "gui/Vkcvmain.h"

int main(int argc, char** argv) {
  // A file that reaches the size limit must fail the write, to be reported
  // and the dictionaries closed, not end the program.
  std::signal(SIGXFSZ, SIG_IGN);
  QApplication app(argc, argv);
  QApplication::setApplicationName("Vkcv");
  vk::TVkcvPlaces places = vk::ProgramPlaces();
  vk::TVKcvMainForm form(places);
  auto* cvtCfg = new vk::TCvtCfgDlg(places.settingsPath, places.tableFolder, &form);
  auto* about = new vk::TAboutDlg(&form);
  auto* progress = new vk::TProgressDlg(&form);
  auto* result = new vk::TResultDlg(&form);
  form.SetDialogs(cvtCfg, about, progress, result);
  form.show();
  return app.exec();
}
