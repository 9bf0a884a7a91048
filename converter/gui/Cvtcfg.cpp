#include "gui/Cvtcfg.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "Dictionary.h"
#include "cli/ConvertArgs.h"
#include "gui/Modal.h"

namespace vk {

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

QLabel* BuddyLabel(const char* name, const QString& text, QWidget* buddy, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setBuddy(buddy);
  return label;
}

QComboBox* Combo(const char* name, bool editable, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->setEditable(editable);
  if (editable) {
    combo->setInsertPolicy(QComboBox::NoInsert);  // the recent list decides what is listed
    combo->setMinimumContentsLength(40);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  } else {
    combo->setMinimumContentsLength(24);
  }
  return combo;
}

QPushButton* Button(const char* name, const QString& text, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

// A hidden group keeps its room, so that the dialog does not change its
// size or move its buttons when the mode changes.
void KeepRoomWhenHidden(QWidget* w) {
  QSizePolicy p = w->sizePolicy();
  p.setRetainSizeWhenHidden(true);
  w->setSizePolicy(p);
}

}  // namespace

TCvtCfgDlg::TCvtCfgDlg(std::string settingsPath, std::string tableFolder, QWidget* parent)
    : QDialog(parent),
      ini_(std::move(settingsPath)),
      tableFolder_(std::move(tableFolder)),
      sourceList_(MakeRecentList()),
      targetList_(MakeRecentList()) {
  setObjectName("CvtCfgDlg");
  setWindowTitle("Convert Configuration Dialog");

  rgConvertMode = new TRadioGroup("&Convert Mode",
                                  {"&1) VOKA for Win32→VOKA/Unicode(UTF-8)",
                                   "&2) VOKA/Unicode(UTF-8)→VOKA for Win32",
                                   "&3) VOKA/Unicode(UTF-16)→VOKA/Unicode(UTF-8)",
                                   "&4) VOKA/Unicode(UTF-8)→VOKA/Unicode(UTF-16)",
                                   "&5) VOKA for Win32→VOKA/Unicode(UTF-16)",
                                   "&6) VOKA/Unicode(UTF-16)→VOKA for Win32"},
                                  this);
  rgConvertMode->setObjectName("rgConvertMode");
  rgConvertMode->setItemIndex(0);

  cbSource = Combo("cbSource", true, this);
  Label1 = BuddyLabel("Label1", "&Source:", cbSource, this);
  btnSourceBrowse = Button("btnSourceBrowse", "&Browse...", this);
  cbTarget = Combo("cbTarget", true, this);
  Label2 = BuddyLabel("Label2", "&Target:", cbTarget, this);
  btnTargetBrowse = Button("btnTargetBrowse", "B&rowse...", this);

  gbLanguage = new QGroupBox("言語設定", this);
  gbLanguage->setObjectName("gbLanguage");
  cbWord = Combo("cbWord", false, gbLanguage);
  Label3 = BuddyLabel("Label3", "英単語部(&W)：", cbWord, gbLanguage);
  cbPron = Combo("cbPron", false, gbLanguage);
  Label4 = BuddyLabel("Label4", "発音記号部(&P)：", cbPron, gbLanguage);
  cbJapa = Combo("cbJapa", false, gbLanguage);
  Label5 = BuddyLabel("Label5", "日本語訳部(&J)：", cbJapa, gbLanguage);
  cbExp = Combo("cbExp", false, gbLanguage);
  Label6 = BuddyLabel("Label6", "用例部(&X)：", cbExp, gbLanguage);
  auto* fields = new QGridLayout(gbLanguage);
  fields->addWidget(Label3, 0, 0);
  fields->addWidget(cbWord, 0, 1);
  fields->addWidget(Label4, 0, 2);
  fields->addWidget(cbPron, 0, 3);
  fields->addWidget(Label5, 1, 0);
  fields->addWidget(cbJapa, 1, 1);
  fields->addWidget(Label6, 1, 2);
  fields->addWidget(cbExp, 1, 3);
  fields->setColumnStretch(1, 1);
  fields->setColumnStretch(3, 1);
  KeepRoomWhenHidden(gbLanguage);

  rgEndianMode = new TRadioGroup("&Endian Mode", {"Big Endian(expert only)", "Little Endian(PC)"}, this);
  rgEndianMode->setObjectName("rgEndianMode");
  rgEndianMode->setItemIndex(1);
  KeepRoomWhenHidden(rgEndianMode);

  btnOK = Button("btnOK", "変換開始！", this);
  btnOK->setDefault(true);
  btnOK->setAutoDefault(true);
  btnCancel = Button("btnCancel", "Cancel", this);
  btnCancel->setAutoDefault(false);

  dlgOpenFile = new QFileDialog(this);
  dlgOpenFile->setObjectName("dlgOpenFile");
  dlgOpenFile->setNameFilter("VOKA(*.dic)");
  dlgOpenFile->setDefaultSuffix("dic");
  dlgOpenFile->setFileMode(QFileDialog::AnyFile);  // a target may be a new file
  dlgOpenFile->setAcceptMode(QFileDialog::AcceptOpen);

  // Layout: the modes with the byte order beside them, the two paths, the
  // field tables, the buttons.
  auto* top = new QHBoxLayout;
  top->addWidget(rgConvertMode, 1);
  auto* side = new QVBoxLayout;
  side->addWidget(rgEndianMode);
  side->addStretch(1);
  top->addLayout(side);

  auto* paths = new QGridLayout;
  paths->addWidget(Label1, 0, 0);
  paths->addWidget(cbSource, 0, 1);
  paths->addWidget(btnSourceBrowse, 0, 2);
  paths->addWidget(Label2, 1, 0);
  paths->addWidget(cbTarget, 1, 1);
  paths->addWidget(btnTargetBrowse, 1, 2);
  paths->setColumnStretch(1, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(btnOK);
  buttons->addWidget(btnCancel);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(paths);
  layout->addWidget(gbLanguage);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed dialog border

  setTabOrder(rgConvertMode, cbSource);
  setTabOrder(cbSource, btnSourceBrowse);
  setTabOrder(btnSourceBrowse, cbTarget);
  setTabOrder(cbTarget, btnTargetBrowse);
  setTabOrder(btnTargetBrowse, cbWord);
  setTabOrder(cbWord, cbPron);
  setTabOrder(cbPron, cbJapa);
  setTabOrder(cbJapa, cbExp);
  setTabOrder(cbExp, rgEndianMode);
  setTabOrder(rgEndianMode, btnOK);
  setTabOrder(btnOK, btnCancel);

  connect(rgConvertMode, &TRadioGroup::itemClicked, this, &TCvtCfgDlg::rgConvertModeClick);
  connect(btnSourceBrowse, &QPushButton::clicked, this, &TCvtCfgDlg::btnSourceBrowseClick);
  connect(btnTargetBrowse, &QPushButton::clicked, this, &TCvtCfgDlg::btnTargetBrowseClick);
  connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool TCvtCfgDlg::ShowsEndian(int mode) {
  TModeSides s = ModeSides(mode);
  return s.source == kDicUtf16 || s.target == kDicUtf16;
}

bool TCvtCfgDlg::ShowsLanguage(int mode) {
  TModeSides s = ModeSides(mode);
  return s.source == kDicWin32 || s.target == kDicWin32;
}

TModeSides TCvtCfgDlg::Sides() const { return ModeSides(rgConvertMode->itemIndex()); }

QComboBox* TCvtCfgDlg::FieldCombo(int field) const {
  QComboBox* combos[4] = {cbWord, cbPron, cbJapa, cbExp};
  return combos[field];
}

TConvertSettings TCvtCfgDlg::Settings() const {
  TConvertSettings s;
  s.mode = rgConvertMode->itemIndex();
  s.source = cbSource->currentText().toStdString();
  s.target = cbTarget->currentText().toStdString();
  s.bigEndian = rgEndianMode->itemIndex() == 0 && ShowsEndian(s.mode);
  std::string* paths[4] = {&s.wordTable, &s.pronTable, &s.japaTable, &s.expTable};
  for (int f = 0; f < 4; ++f) {
    int i = FieldCombo(f)->currentIndex();
    if (i >= 0 && static_cast<size_t>(i) < tablePaths_.size()) *paths[f] = tablePaths_[static_cast<size_t>(i)];
  }
  return s;
}

void TCvtCfgDlg::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) FormShow();
  QDialog::showEvent(event);
}

void TCvtCfgDlg::FormShow() {
  TTableList tables = ListTables(tableFolder_);
  tablePaths_ = tables.paths;
  QStringList names;
  for (const std::string& n : tables.names) names << Q(n);
  for (int f = 0; f < 4; ++f) {
    QComboBox* combo = FieldCombo(f);
    combo->clear();
    combo->addItems(names);
    combo->setCurrentIndex(TableIndexOf(tables.names, ini_.TableChoice(TCvtIni::kFieldKeys[f])));
  }
  // The stored mode, with the recent lists and the visibility that follow it.
  rgConvertMode->setItemIndex(ini_.Mode());
  rgConvertModeClick();
}

void TCvtCfgDlg::rgConvertModeClick() {
  RefreshRecentLists();
  UpdateVisibility();
}

void TCvtCfgDlg::RefreshRecentLists() {
  TModeSides sides = Sides();
  struct Side {
    QComboBox* combo;
    TRecentList* list;
    int kind;
  } both[2] = {{cbSource, &sourceList_, sides.source}, {cbTarget, &targetList_, sides.target}};
  for (Side& side : both) {
    side.combo->clear();
    ini_.LoadRecent(side.kind, side.list);
    for (int i = side.list->Count() - 1; i >= 0; --i) side.combo->addItem(Q(side.list->Item(i)));
    side.combo->setEditText(side.list->Count() > 0 ? Q(side.list->Item(side.list->Count() - 1)) : QString());
  }
}

void TCvtCfgDlg::UpdateVisibility() {
  int mode = rgConvertMode->itemIndex();
  rgEndianMode->setVisible(ShowsEndian(mode));
  gbLanguage->setVisible(ShowsLanguage(mode));
}

void TCvtCfgDlg::btnSourceBrowseClick() { Browse(cbSource); }
void TCvtCfgDlg::btnTargetBrowseClick() { Browse(cbTarget); }

void TCvtCfgDlg::Browse(QComboBox* combo) {
  dlgOpenFile->selectFile("*.dic");
  if (RunModal(dlgOpenFile) != QDialog::Accepted) return;
  QStringList files = dlgOpenFile->selectedFiles();
  if (!files.isEmpty()) combo->setEditText(files.first());
}

void TCvtCfgDlg::done(int result) {
  if (result == QDialog::Accepted) SaveOnOk();
  FormHide();
  QDialog::done(result);
}

void TCvtCfgDlg::SaveOnOk() {
  TModeSides sides = Sides();
  AddRecentPath(&sourceList_, cbSource->currentText().toStdString());
  ini_.SaveRecent(sides.source, sourceList_);
  AddRecentPath(&targetList_, cbTarget->currentText().toStdString());
  ini_.SaveRecent(sides.target, targetList_);
  ini_.SetMode(rgConvertMode->itemIndex());
}

void TCvtCfgDlg::FormHide() {
  for (int f = 0; f < 4; ++f)
    ini_.SetTableChoice(TCvtIni::kFieldKeys[f], FieldCombo(f)->currentText().toStdString());
}

}  // namespace vk
