// TCvtCfgDlg: the settings dialog shown before every conversion: the mode,
// the source and target paths (with the recent paths of each side's kind),
// the byte order of UTF-16 dictionaries and, when a side is Win32, one
// conversion table per field. It is made once and reused; every showing
// reloads the recent lists, the tables on offer and the stored choices from
// the settings file, and every close writes them back (TCvtIni, Ini.h):
// the field tables after any close, the paths and the mode only after OK.
//
// The controls are public, as the conversion reads them after OK through
// Settings() and the tests drive them.
#pragma once
#include <QDialog>
#include <string>
#include <vector>

#include "Driver.h"
#include "Ini.h"
#include "gui/RadioGroup.h"

class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QPushButton;

namespace vk {

class TCvtCfgDlg : public QDialog {
  Q_OBJECT

 public:
  // `settingsPath` is the settings file, `tableFolder` the folder whose
  // table files are offered.
  TCvtCfgDlg(std::string settingsPath, std::string tableFolder, QWidget* parent = nullptr);

  // The byte-order choice is shown when a side of the mode is UTF-16, the
  // field tables when a side is Win32.
  static bool ShowsEndian(int mode);
  static bool ShowsLanguage(int mode);

  // The choices as the conversion takes them. The byte order counts only
  // where it is shown: a big-endian choice left over from a UTF-16 mode
  // would otherwise make the UTF-8 side of a Win32/UTF-8 mode fail for a
  // reason the dialog no longer shows.
  TConvertSettings Settings() const;

  const TRecentList& sourceList() const { return sourceList_; }
  const TRecentList& targetList() const { return targetList_; }
  // The table files behind the names in the four field combos, in order.
  const std::vector<std::string>& tablePaths() const { return tablePaths_; }

  void done(int result) override;

  TRadioGroup* rgConvertMode;
  QLabel* Label1;
  QComboBox* cbSource;
  QPushButton* btnSourceBrowse;
  QLabel* Label2;
  QComboBox* cbTarget;
  QPushButton* btnTargetBrowse;
  QGroupBox* gbLanguage;
  QLabel* Label3;
  QComboBox* cbWord;
  QLabel* Label4;
  QComboBox* cbPron;
  QLabel* Label5;
  QComboBox* cbJapa;
  QLabel* Label6;
  QComboBox* cbExp;
  TRadioGroup* rgEndianMode;
  QPushButton* btnOK;
  QPushButton* btnCancel;
  QFileDialog* dlgOpenFile;

 public Q_SLOTS:
  void rgConvertModeClick();
  void btnSourceBrowseClick();
  void btnTargetBrowseClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void RefreshRecentLists();
  void UpdateVisibility();
  // On OK: the recent lists with the two paths added, and the mode.
  void SaveOnOk();
  // After every close: the four field choices.
  void FormHide();
  void Browse(QComboBox* combo);
  QComboBox* FieldCombo(int field) const;
  TModeSides Sides() const;

  TCvtIni ini_;
  std::string tableFolder_;
  TRecentList sourceList_;
  TRecentList targetList_;
  std::vector<std::string> tablePaths_;
};

}  // namespace vk
