// The settings dialog as a user meets it: its controls, what each mode
// shows, the recent paths of each kind, the table choices and what the
// settings file holds after OK and after Cancel.
#include <QFileDialog>
#include <QGroupBox>

#include "GuiTestUtil.h"
#include "cli/ConvertArgs.h"

namespace vk {
namespace {

using cvtest::ReadFile;
using cvtest::WriteFile;
using guitest::Choice;
using guitest::Choose;
using guitest::Configure;
using guitest::S;
using guitest::ScriptedRunner;

class CvtCfgTest : public ::testing::Test {
 protected:
  CvtCfgTest() : ini_(dir_.Path("VKcv.ini")) {}

  // A dialog over the tables beside the test program (those the build makes).
  std::unique_ptr<TCvtCfgDlg> Dialog(const std::string& tableFolder = ProgramFolder()) {
    return std::make_unique<TCvtCfgDlg>(ini_, tableFolder);
  }
  // Shows `d` as the Convert command does, runs `step` on it while it is
  // shown, and answers how it closed.
  int Show(TCvtCfgDlg* d, ScriptedRunner::Step step) {
    runner_.steps.push_back(std::move(step));
    return RunModal(d);
  }
  std::vector<std::string> Items(QComboBox* c) {
    std::vector<std::string> out;
    for (int i = 0; i < c->count(); ++i) out.push_back(S(c->itemText(i)));
    return out;
  }
  std::string Ini() { return ReadFile(ini_); }

  vktest::TempDir dir_;
  std::string ini_;
  ScriptedRunner runner_;
};

TEST_F(CvtCfgTest, ControlsCarryTheirNamesAndCaptions) {
  auto d = Dialog();
  EXPECT_EQ("CvtCfgDlg", S(d->objectName()));
  EXPECT_EQ("Convert Configuration Dialog", S(d->windowTitle()));
  struct Case {
    const char* name;
    std::string text;
  } cases[] = {
      {"Label1", "&Source:"},        {"btnSourceBrowse", "&Browse..."},
      {"Label2", "&Target:"},        {"btnTargetBrowse", "B&rowse..."},
      {"Label3", "英単語部(&W)："},  {"Label4", "発音記号部(&P)："},
      {"Label5", "日本語訳部(&J)："}, {"Label6", "用例部(&X)："},
      {"btnOK", "変換開始！"},        {"btnCancel", "Cancel"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QWidget* w = d->findChild<QWidget*>(c.name);
    ASSERT_TRUE(w);
    if (auto* l = qobject_cast<QLabel*>(w)) {
      EXPECT_EQ(c.text, S(l->text()));
    } else if (auto* b = qobject_cast<QPushButton*>(w)) {
      EXPECT_EQ(c.text, S(b->text()));
    } else {
      ADD_FAILURE() << "neither a label nor a button";
    }
  }
  // Each label leads to its control.
  EXPECT_EQ(d->cbSource, d->Label1->buddy());
  EXPECT_EQ(d->cbTarget, d->Label2->buddy());
  EXPECT_EQ(d->cbWord, d->Label3->buddy());
  EXPECT_EQ(d->cbPron, d->Label4->buddy());
  EXPECT_EQ(d->cbJapa, d->Label5->buddy());
  EXPECT_EQ(d->cbExp, d->Label6->buddy());

  struct Group {
    QGroupBox* box;
    const char* name;
    std::string title;
    std::vector<std::string> items;
  } groups[] = {
      {d->rgConvertMode, "rgConvertMode", "&Convert Mode",
       {"&1) VOKA for Win32→VOKA/Unicode(UTF-8)", "&2) VOKA/Unicode(UTF-8)→VOKA for Win32",
        "&3) VOKA/Unicode(UTF-16)→VOKA/Unicode(UTF-8)", "&4) VOKA/Unicode(UTF-8)→VOKA/Unicode(UTF-16)",
        "&5) VOKA for Win32→VOKA/Unicode(UTF-16)", "&6) VOKA/Unicode(UTF-16)→VOKA for Win32"}},
      {d->rgEndianMode, "rgEndianMode", "&Endian Mode", {"Big Endian(expert only)", "Little Endian(PC)"}},
      {d->gbLanguage, "gbLanguage", "言語設定", {}},
  };
  for (const Group& g : groups) {
    SCOPED_TRACE(g.name);
    EXPECT_EQ(g.name, S(g.box->objectName()));
    EXPECT_EQ(g.title, S(g.box->title()));
    auto* rg = qobject_cast<TRadioGroup*>(g.box);
    if (!rg) continue;
    ASSERT_EQ(static_cast<int>(g.items.size()), rg->count());
    for (int i = 0; i < rg->count(); ++i) EXPECT_EQ(g.items[i], S(rg->item(i)->text()));
  }
  for (const char* name : {"cbSource", "cbTarget"})
    EXPECT_TRUE(d->findChild<QComboBox*>(name)->isEditable()) << name;
  for (const char* name : {"cbWord", "cbPron", "cbJapa", "cbExp"})
    EXPECT_FALSE(d->findChild<QComboBox*>(name)->isEditable()) << name;
  EXPECT_EQ(0, d->rgConvertMode->itemIndex());
  EXPECT_EQ(1, d->rgEndianMode->itemIndex());
  EXPECT_TRUE(d->btnOK->isDefault());
  EXPECT_FALSE(d->btnCancel->isDefault());

  QFileDialog* f = d->findChild<QFileDialog*>("dlgOpenFile");
  ASSERT_TRUE(f);
  EXPECT_EQ(QStringList{"VOKA(*.dic)"}, f->nameFilters());
  EXPECT_EQ("dic", S(f->defaultSuffix()));

  // Tab order: the mode, the paths with their buttons, the four tables, the
  // byte order, the two buttons.
  std::vector<QWidget*> order = {d->rgConvertMode->item(0), d->cbSource, d->btnSourceBrowse,
                                 d->cbTarget, d->btnTargetBrowse, d->cbWord, d->cbPron,
                                 d->cbJapa, d->cbExp, d->rgEndianMode->item(0), d->btnOK,
                                 d->btnCancel};
  std::vector<QWidget*> chain;
  QWidget* w = order.front();
  for (int steps = 0; steps < 200 && chain.size() < order.size(); ++steps) {
    if (std::find(order.begin(), order.end(), w) != order.end() &&
        std::find(chain.begin(), chain.end(), w) == chain.end())
      chain.push_back(w);
    w = w->nextInFocusChain();
  }
  std::vector<std::string> want, got;
  for (QWidget* x : order) want.push_back(S(x->objectName().isEmpty() ? x->parentWidget()->objectName() : x->objectName()));
  for (QWidget* x : chain) got.push_back(S(x->objectName().isEmpty() ? x->parentWidget()->objectName() : x->objectName()));
  EXPECT_EQ(want, got);
}

TEST_F(CvtCfgTest, FirstShowingWithoutSettingsFile) {
  auto d = Dialog();
  TTableList tables = ListTables(ProgramFolder());
  ASSERT_FALSE(tables.names.empty());
  Show(d.get(), [&](QDialog*) {
    EXPECT_EQ(0, d->rgConvertMode->itemIndex());
    EXPECT_EQ(1, d->rgEndianMode->itemIndex());
    for (QComboBox* c : {d->cbWord, d->cbPron, d->cbJapa, d->cbExp}) {
      EXPECT_EQ(tables.names.size(), static_cast<size_t>(c->count()));
      EXPECT_EQ(0, c->currentIndex());
    }
    EXPECT_EQ(0, d->cbSource->count());
    EXPECT_EQ("", S(d->cbSource->currentText()));
    EXPECT_EQ(0, d->cbTarget->count());
    EXPECT_EQ("", S(d->cbTarget->currentText()));
    d->btnCancel->click();
  });
  EXPECT_EQ(tables.paths, d->tablePaths());
}

TEST_F(CvtCfgTest, TheReadMeBesideTheProgramIsNotOfferedAsATable) {
  auto d = Dialog();
  Show(d.get(), [&](QDialog*) {
    std::vector<std::string> want = {guitest::kCp1252, guitest::kCp932};
    EXPECT_EQ(want, Items(d->cbWord));
    d->btnCancel->click();
  });
  EXPECT_TRUE(PathExists(JoinPath(ProgramFolder(), "Vkcv.txt")));
}

TEST_F(CvtCfgTest, EachModeShowsTheByteOrderForUtf16AndTheTablesForWin32) {
  auto d = Dialog();
  struct Case {
    int mode;  // 1-6
    bool endian, language;
  } cases[] = {{1, false, true}, {3, true, false}, {2, false, true}, {4, true, false},
               {5, true, true},  {6, true, true},  {1, false, true}};
  Show(d.get(), [&](QDialog*) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.mode);
      d->rgConvertMode->item(c.mode - 1)->click();
      EXPECT_EQ(c.endian, d->rgEndianMode->isVisible());
      EXPECT_EQ(c.language, d->gbLanguage->isVisible());
      EXPECT_EQ(c.endian, TCvtCfgDlg::ShowsEndian(c.mode - 1));
      EXPECT_EQ(c.language, TCvtCfgDlg::ShowsLanguage(c.mode - 1));
    }
    d->btnCancel->click();
  });
}

TEST_F(CvtCfgTest, ByteOrderCountsOnlyWhereItIsShown) {
  auto d = Dialog();
  struct Case {
    int mode;
    bool bigEndian;
  } cases[] = {{1, false}, {2, false}, {3, true}, {4, true}, {5, true}, {6, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    Show(d.get(), Configure({c.mode, "s.dic", "t.dic", true, ""}));
    TConvertSettings s = d->Settings();
    EXPECT_EQ(c.mode - 1, s.mode);
    EXPECT_EQ(c.bigEndian, s.bigEndian);
  }
}

TEST_F(CvtCfgTest, SettingsFileAfterOkHoldsPathsModeAndTables) {
  auto d = Dialog();
  EXPECT_EQ(QDialog::Accepted,
            Show(d.get(), Configure({5, "/d/source.dic", "/d/target.dic", false, guitest::kCp932})));
  std::string want = std::string() +
                     "[Win32Files]\n0=/d/source.dic\n\n"
                     "[UTF16Files]\n0=/d/target.dic\n\n"
                     "[Convert]\nConvertMode=4\nWord=" + guitest::kCp932 + "\nPron=" + guitest::kCp932 +
                     "\nJapa=" + guitest::kCp932 + "\nExp=" + guitest::kCp932 + "\n";
  EXPECT_EQ(want, Ini());
  TConvertSettings s = d->Settings();
  EXPECT_EQ("/d/source.dic", s.source);
  EXPECT_EQ("/d/target.dic", s.target);
  std::string cp932 = JoinPath(ProgramFolder(), "cp932.tbl");
  EXPECT_EQ(cp932, s.wordTable);
  EXPECT_EQ(cp932, s.pronTable);
  EXPECT_EQ(cp932, s.japaTable);
  EXPECT_EQ(cp932, s.expTable);

  // The next showing starts where this one ended.
  auto again = Dialog();
  Show(again.get(), [&](QDialog*) {
    EXPECT_EQ(4, again->rgConvertMode->itemIndex());
    EXPECT_EQ("/d/source.dic", S(again->cbSource->currentText()));
    EXPECT_EQ("/d/target.dic", S(again->cbTarget->currentText()));
    EXPECT_EQ(guitest::kCp932, S(again->cbExp->currentText()));
    EXPECT_EQ(1, again->rgEndianMode->itemIndex());
    again->btnCancel->click();
  });
}

TEST_F(CvtCfgTest, CancelSavesTheTableChoicesOnly) {
  WriteFile(ini_, "[Win32Files]\n0=/d/old.dic\n");
  auto d = Dialog();
  EXPECT_EQ(QDialog::Rejected, Show(d.get(), [&](QDialog*) {
              Choose(d.get(), {3, "/d/new16.dic", "/d/new8.dic", true, guitest::kCp1252});
              d->btnCancel->click();
            }));
  std::string want = std::string() + "[Win32Files]\n0=/d/old.dic\n\n[Convert]\nWord=" + guitest::kCp1252 +
                     "\nPron=" + guitest::kCp1252 + "\nJapa=" + guitest::kCp1252 + "\nExp=" +
                     guitest::kCp1252 + "\n";
  EXPECT_EQ(want, Ini());
  // Closing with the close box is a Cancel too.
  Show(d.get(), [&](QDialog*) {
    Choose(d.get(), {2, "/d/x.dic", "/d/y.dic", false, guitest::kCp932});
    d->close();
  });
  EXPECT_EQ(std::string::npos, Ini().find("ConvertMode"));
  EXPECT_EQ(std::string::npos, Ini().find("x.dic"));
  EXPECT_NE(std::string::npos, Ini().find(std::string("Exp=") + guitest::kCp932));
}

TEST_F(CvtCfgTest, RecentPathsFollowTheKindOfEachSide) {
  WriteFile(ini_,
            "[Win32Files]\n0=/w/a.dic\n1=/w/b.dic\n"
            "[UTF16Files]\n0=/u16/a.dic\n"
            "[UTF8Files]\n0=/u8/a.dic\n1=/u8/b.dic\n2=/u8/c.dic\n");
  auto d = Dialog();
  struct Case {
    int mode;
    std::vector<std::string> source, target;  // newest first
  } cases[] = {
      {1, {"/w/b.dic", "/w/a.dic"}, {"/u8/c.dic", "/u8/b.dic", "/u8/a.dic"}},
      {2, {"/u8/c.dic", "/u8/b.dic", "/u8/a.dic"}, {"/w/b.dic", "/w/a.dic"}},
      {3, {"/u16/a.dic"}, {"/u8/c.dic", "/u8/b.dic", "/u8/a.dic"}},
      {4, {"/u8/c.dic", "/u8/b.dic", "/u8/a.dic"}, {"/u16/a.dic"}},
      {5, {"/w/b.dic", "/w/a.dic"}, {"/u16/a.dic"}},
      {6, {"/u16/a.dic"}, {"/w/b.dic", "/w/a.dic"}},
  };
  Show(d.get(), [&](QDialog*) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.mode);
      d->cbSource->setEditText("typed before the change");
      d->rgConvertMode->item(c.mode - 1)->click();
      EXPECT_EQ(c.source, Items(d->cbSource));
      EXPECT_EQ(c.source.front(), S(d->cbSource->currentText()));
      EXPECT_EQ(c.target, Items(d->cbTarget));
      EXPECT_EQ(c.target.front(), S(d->cbTarget->currentText()));
    }
    d->btnCancel->click();
  });
}

TEST_F(CvtCfgTest, AUtf8TargetIsOfferedLaterAsAUtf8Source) {
  auto d = Dialog();
  Show(d.get(), Configure({1, "/d/old.dic", "/d/new-utf8.dic", false, ""}));
  Show(d.get(), [&](QDialog*) {
    d->rgConvertMode->item(1)->click();  // UTF-8 -> Win32
    EXPECT_EQ(std::vector<std::string>{"/d/new-utf8.dic"}, Items(d->cbSource));
    EXPECT_EQ(std::vector<std::string>{"/d/old.dic"}, Items(d->cbTarget));
    d->btnCancel->click();
  });
}

TEST_F(CvtCfgTest, RecentListAddRule) {
  struct Case {
    const char* what;
    std::string stored;  // the Win32Files section's lines
    std::string source;  // the path typed
    std::vector<std::string> shown;  // cbSource after OK, newest first
    std::string section;             // the section written back
  } cases[] = {
      {"a path used again in other case keeps its first spelling and moves to the front",
       "0=/d/Apple.dic\n1=/d/Bee.dic\n", "/D/APPLE.DIC", {"/d/Apple.dic", "/d/Bee.dic"},
       "0=/d/Bee.dic\n1=/d/Apple.dic\n"},
      {"a new path goes in front", "0=/d/a.dic\n", "/d/b.dic", {"/d/b.dic", "/d/a.dic"},
       "0=/d/a.dic\n1=/d/b.dic\n"},
      {"the eleventh path drops the oldest",
       "0=/p0\n1=/p1\n2=/p2\n3=/p3\n4=/p4\n5=/p5\n6=/p6\n7=/p7\n8=/p8\n9=/p9\n", "/p10",
       {"/p10", "/p9", "/p8", "/p7", "/p6", "/p5", "/p4", "/p3", "/p2", "/p1"},
       "0=/p1\n1=/p2\n2=/p3\n3=/p4\n4=/p5\n5=/p6\n6=/p7\n7=/p8\n8=/p9\n9=/p10\n"},
      {"a gap in the keys ends the list", "0=/d/a.dic\n1=/d/b.dic\n3=/d/d.dic\n", "/d/e.dic",
       {"/d/e.dic", "/d/b.dic", "/d/a.dic"}, "0=/d/a.dic\n1=/d/b.dic\n2=/d/e.dic\n"},
      {"an empty value ends the list", "0=/d/a.dic\n1=\n2=/d/c.dic\n", "/d/e.dic",
       {"/d/e.dic", "/d/a.dic"}, "0=/d/a.dic\n1=/d/e.dic\n"},
      {"an empty source is no path", "0=/d/a.dic\n", "", {"/d/a.dic"}, "0=/d/a.dic\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFile(ini_, "[Win32Files]\n" + c.stored);
    auto d = Dialog();
    Show(d.get(), Configure({1, c.source, "/t.dic", false, ""}));
    Show(d.get(), [&](QDialog*) {
      EXPECT_EQ(c.shown, Items(d->cbSource));
      d->btnCancel->click();
    });
    std::string text = Ini();
    ASSERT_EQ(0u, text.find("[Win32Files]\n")) << text;
    EXPECT_EQ(c.section, text.substr(13, c.section.size())) << text;
    EXPECT_EQ(0u, text.find("\n[", 13 + c.section.size()) - (13 + c.section.size())) << text;
  }
}

TEST_F(CvtCfgTest, StoredTableChoiceOrTheFirstTable) {
  // Two files of one name and a third; the list is sorted by file name.
  vktest::TempDir tables;
  WriteFile(tables.Path("a.tbl"), "# Name: Same\n0x41 0x41\n");
  WriteFile(tables.Path("b.tbl"), "# Name: Same\n0x42 0x42\n");
  WriteFile(tables.Path("c.TXT"), "; Name: Other one\n0x43 0x43\n");
  WriteFile(tables.Path("d.txt"), "no name line\n# Name: Too late\n");
  struct Case {
    const char* stored;  // null: no key
    int index;
  } cases[] = {{nullptr, 0}, {"Other one", 2}, {"OTHER ONE", 2}, {"Same", 0}, {"Gone away", 0}, {"", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored ? c.stored : "(none)");
    ::unlink(ini_.c_str());
    if (c.stored) WriteFile(ini_, std::string("[Convert]\nWord=") + c.stored + "\nJapa=Other one\n");
    auto d = Dialog(tables.path());
    Show(d.get(), [&](QDialog*) {
      EXPECT_EQ((std::vector<std::string>{"Same", "Same", "Other one"}), Items(d->cbWord));
      EXPECT_EQ(c.index, d->cbWord->currentIndex());
      EXPECT_EQ(0, d->cbPron->currentIndex());
      EXPECT_EQ(c.stored ? 2 : 0, d->cbJapa->currentIndex());
      d->btnOK->click();
    });
    TConvertSettings s = d->Settings();
    EXPECT_EQ(d->tablePaths()[static_cast<size_t>(c.index)], s.wordTable);
    EXPECT_EQ(tables.Path("a.tbl"), s.pronTable);
  }
}

TEST_F(CvtCfgTest, NoTableOfferedLeavesTheFieldsWithoutAPath) {
  vktest::TempDir empty;
  auto d = Dialog(empty.path());
  Show(d.get(), [&](QDialog*) {
    EXPECT_EQ(0, d->cbWord->count());
    EXPECT_EQ(-1, d->cbWord->currentIndex());
    d->btnOK->click();
  });
  TConvertSettings s = d->Settings();
  EXPECT_EQ("", s.wordTable);
  EXPECT_EQ("", s.expTable);
}

TEST_F(CvtCfgTest, BrowsePutsThePickedFileIntoThePath) {
  auto d = Dialog();
  std::string picked = dir_.Path("picked.dic");
  WriteFile(picked, "");
  struct Case {
    QPushButton* button;
    QComboBox* combo;
  } cases[] = {{d->btnSourceBrowse, d->cbSource}, {d->btnTargetBrowse, d->cbTarget}};
  Show(d.get(), [&](QDialog*) {
    for (const Case& c : cases) {
      c.combo->setEditText("before");
      // Picked, then cancelled: the path stays as it was.
      runner_.steps.push_back([&](QDialog* f) {
        auto* fd = qobject_cast<QFileDialog*>(f);
        ASSERT_TRUE(fd);
        static_cast<QDialog*>(fd)->reject();
      });
      c.button->click();
      EXPECT_EQ("before", S(c.combo->currentText()));
      runner_.steps.push_back([&](QDialog* f) {
        auto* fd = qobject_cast<QFileDialog*>(f);
        ASSERT_TRUE(fd);
        EXPECT_EQ("dlgOpenFile", S(fd->objectName()));
        fd->selectFile(QString::fromStdString(picked));
        static_cast<QDialog*>(fd)->accept();
      });
      c.button->click();
      EXPECT_EQ(picked, S(c.combo->currentText()));
    }
    d->btnCancel->click();
  });
}

TEST_F(CvtCfgTest, Screenshots) {
  WriteFile(ini_, "[Win32Files]\n0=/home/user/dic/words-sjis.dic\n[UTF16Files]\n0=/home/user/dic/words-utf16.dic\n");
  auto d = Dialog();
  Show(d.get(), [&](QDialog*) {
    d->rgConvertMode->item(4)->click();  // both groups shown
    guitest::Shot(d.get(), "CvtCfgDlg");
    d->rgConvertMode->item(2)->click();
    guitest::Shot(d.get(), "CvtCfgDlg-mode3");
    d->btnCancel->click();
  });
}

}  // namespace
}  // namespace vk
