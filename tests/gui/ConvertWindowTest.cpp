// Conversions driven through the main window as a user drives them: File,
// Convert, the settings dialog, the questions, the error boxes, progress,
// cancelling and the result, over the real engines and the stand-in ones.
#include <sys/stat.h>
#include <unistd.h>

#include <QKeyEvent>
#include <QTest>

#include "GuiTestUtil.h"

namespace vk {
namespace {

using cvtest::FakeFolder;
using cvtest::ReadFile;
using cvtest::WriteFile;
using guitest::Answer;
using guitest::Choice;
using guitest::Configure;
using guitest::S;
using guitest::ScriptedRunner;
using guitest::Seen;

const char kExistsQuestion[] = "すでに辞書ファイルが存在します。初期化しますか？";
const char kMissingQuestion[] = "辞書ﾌｧｲﾙが存在しません.新規作成しますか？";

class ConvertWindowTest : public ::testing::Test {
 protected:
  ConvertWindowTest() {
    places_.programFolder = ProgramFolder();
    places_.settingsPath = dir_.Path("VKcv.ini");
    places_.tableFolder = ProgramFolder();
    places_.engineFolder = FakeFolder();
  }

  guitest::Forms& Make() {
    forms_ = std::make_unique<guitest::Forms>(places_);
    return *forms_;
  }
  // File, Convert with `choice`, then `steps` for the boxes that follow.
  void Convert(const Choice& choice, std::vector<ScriptedRunner::Step> steps = {}) {
    if (!forms_) Make();
    runner_.steps.push_back(Configure(choice));
    for (auto& s : steps) runner_.steps.push_back(std::move(s));
    forms_->main->miConvert->trigger();
    EXPECT_TRUE(runner_.steps.empty()) << runner_.steps.size() << " steps left unused";
    EXPECT_TRUE(forms_->main->miConvert->isEnabled());
  }
  // A stand-in dictionary of "word<TAB>japa<TAB>exp<TAB>pron<TAB>attr" lines.
  std::string Fake(const std::string& name, const std::string& lines) {
    WriteFile(dir_.Path(name), lines);
    return dir_.Path(name);
  }
  std::vector<std::string> Titles() {
    std::vector<std::string> out;
    for (const Seen& s : runner_.seen) out.push_back(s.box ? s.title + ": " + s.text : s.name);
    return out;
  }

  vktest::TempDir dir_;
  TVkcvPlaces places_;
  ScriptedRunner runner_;
  std::unique_ptr<guitest::Forms> forms_;
};

std::string ManyRecords(int n) {
  std::string lines;
  for (int i = 0; i < n; ++i) lines += "w" + std::to_string(100000 + i) + "\tJ\t\t\t0\n";
  return lines;
}

TEST_F(ConvertWindowTest, MainWindowCarriesItsNamesAndCaptions) {
  guitest::Forms& f = Make();
  EXPECT_EQ("VKcvMainForm", S(f.main->objectName()));
  EXPECT_EQ("VOKA Dictionary Exchanger", S(f.main->windowTitle()));
  EXPECT_EQ("edDump", S(f.main->edDump->objectName()));
  EXPECT_TRUE(f.main->edDump->isReadOnly());
  EXPECT_EQ(Qt::ScrollBarAlwaysOn, f.main->edDump->verticalScrollBarPolicy());
  struct Menu {
    const char* name;
    std::string title;
    std::vector<std::pair<std::string, std::string>> items;  // name, text ("-" a separator)
  } menus[] = {
      {"File1", "&File", {{"miConvert", "&Convert..."}, {"N1", "-"}, {"miExit", "E&xit"}}},
      {"Help1", "&Help", {{"miReadMe", "&Read Me"}, {"N2", "-"}, {"miAbout", "&About..."}}},
  };
  for (const Menu& m : menus) {
    SCOPED_TRACE(m.name);
    QMenu* menu = f.main->findChild<QMenu*>(m.name);
    ASSERT_TRUE(menu);
    EXPECT_EQ(m.title, S(menu->title()));
    std::vector<std::pair<std::string, std::string>> items;
    for (QAction* a : menu->actions())
      items.emplace_back(S(a->objectName()), a->isSeparator() ? "-" : S(a->text()));
    EXPECT_EQ(m.items, items);
  }
  // The dialogs are the main window's, one each.
  for (const char* name : {"CvtCfgDlg", "AboutDlg", "ProgressDlg", "ResultDlg"})
    EXPECT_EQ(1, f.main->findChildren<QDialog*>(name).size()) << name;
}

TEST_F(ConvertWindowTest, WholeConversionThroughTheRealEnginesFromWin32ToUtf8) {
  places_.engineFolder.clear();  // the engines beside the program
  std::string source = dir_.Path("eiwa-sjis.dic");
  std::string target = dir_.Path("eiwa-utf8.dic");
  // Shift-JIS: りんご, 月 with a lead byte and no trail byte, 星 with one
  // code CP932 does not map, 東京.
  cvtest::MakeDic("VKC620", source,
                  {cvtest::Entry("apple", "\x82\xe8\x82\xf1\x82\xb2"),
                   cvtest::Entry("moon", "\x8c\x8e\x82"),
                   cvtest::Entry("star", "\x90\xaf\x85\x40"),
                   cvtest::Entry("Tokyo", "\x93\x8c\x8b\x9e", "", "", 0x83)});
  guitest::Forms& f = Make();
  f.main->AddLogLine("a line of an earlier conversion");
  Convert({1, source, target, false, guitest::kCp932},
          {[&](QDialog* d) {
             guitest::Shot(d, "question-create");
             Answer(QMessageBox::Yes)(d);
           },
           [&](QDialog* d) {
             guitest::Shot(d, "ResultDlg");
             qobject_cast<TResultDlg*>(d)->btnOK->click();
           }});
  std::vector<std::string> want = {"CvtCfgDlg", std::string("辞書の変換: ") + kMissingQuestion, "ResultDlg"};
  EXPECT_EQ(want, Titles());
  EXPECT_TRUE(runner_.seen[1].defaultButton == "&Yes" || runner_.seen[1].defaultButton == "Yes")
      << runner_.seen[1].defaultButton;
  EXPECT_NE(std::string::npos, runner_.seen[1].detail.find(target)) << runner_.seen[1].detail;
  EXPECT_EQ(TConvertOutcome::kDone, f.main->lastResult().outcome);
  std::vector<std::string> log = guitest::LogLines(f.main.get());
  // The earlier line went with the new conversion. Records come in
  // dictionary order: Tokyo, apple, moon, star.
  std::vector<std::string> wantLog = {"3 : 訳語 : MultiByte Error [0x82] : [moon]",
                                      "4 : 訳語 : UndefChar [0x8540] : [star]"};
  EXPECT_EQ(wantLog, log);
  EXPECT_EQ((std::vector<std::string>{"4", "4", "1", "1", "0"}), guitest::Values(f.result));
  std::vector<TToolEntry> got = cvtest::ReadDic(target);
  ASSERT_EQ(4u, got.size());
  EXPECT_EQ("Tokyo|東京|||83", cvtest::Show(got[0]));
  EXPECT_EQ("apple|りんご|||80", cvtest::Show(got[1]));
  EXPECT_EQ("moon|月|||80", cvtest::Show(got[2]));
  EXPECT_EQ("star|星|||80", cvtest::Show(got[3]));
  EXPECT_FALSE(f.progress->isVisible());
  f.main->resize(720, 300);
  guitest::Shot(f.main.get(), "VKcvMainForm");
}

// Part of the failure table: every box the user can meet on the road of a
// conversion, with its caption and buttons, and what follows it.
TEST_F(ConvertWindowTest, ErrorBoxesOnTheRoad) {
  // A folder whose libVKCUB.so is the stand-in little-endian engine, and
  // that has no UTF-8 engine: a big-endian UTF-16 source opens, and the
  // UTF-8 target of mode 3 has no library.
  vktest::TempDir engines;
  ::symlink((FakeFolder() + "/libVKCUL.so").c_str(), engines.Path("libVKCUB.so").c_str());
  ::symlink((FakeFolder() + "/libVKC620.so").c_str(), engines.Path("libVKC620.so").c_str());
  struct Case {
    const char* what;
    Choice choice;
    std::string sourceLines;  // the stand-in source; empty: none at all
    std::string engineFolder;
    std::string caption, text;  // the error box
    bool result;                // the result dialog follows
    std::vector<std::string> log;
  } cases[] = {
      {"no source", {5, "missing.txt", "t.txt"}, "", FakeFolder(), "辞書の変換", "変換元ファイルが存在しません",
       false, {}},
      {"the source's engine cannot be had (a big-endian UTF-8 source)",
       {4, "s.txt", "t.txt", true}, "a\tA\t\t\t0\n", FakeFolder(), "辞書の変換",
       "変換元の辞書を開くことができません", false, {}},
      {"the target's library is missing", {3, "s.txt", "t.txt", true}, "a\tA\t\t\t0\n",
       engines.path(), "エラー", "必要なDLLが見つかりません", false, {}},
      {"the target cannot be created", {5, "s.txt", "nocreate14.txt"}, "a\tA\t\t\t0\n", FakeFolder(),
       "エラー", "fake " + dir_.Path("nocreate14.txt") + " 14", false, {}},
      {"the legacy engine has no text for the code", {5, "s.txt", "nocreate99.txt"}, "a\tA\t\t\t0\n",
       FakeFolder(), "エラー", "Unknown Error[355]", false, {}},
      {"the target cannot be opened after creation", {5, "s.txt", "noopen.txt"}, "a\tA\t\t\t0\n",
       FakeFolder(), "辞書の変換", "変換先の辞書を開くことができません", false, {}},
      {"any other write failure", {5, "s.txt", "t.txt"}, "a\tA\t\t\t0\nfailing\tF\t\t\t0\nz\tZ\t\t\t0\n",
       FakeFolder(), "辞書の変換", "辞書の書き込みでエラーが発生しました", true, {}},
      {"a source that fails to read", {3, "s.txt", "t.txt"}, "a\tA\t\t\t0\nunreadable\tU\t\t\t0\n",
       FakeFolder(), "辞書の変換", "変換元の辞書の読み込みでエラーが発生しました", true,
       {"2 : read error : a read or write of the file failed (fake " + dir_.Path("s.txt") +
        " 5, engine error 5)"}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::unlink(dir_.Path("s.txt").c_str());
    ::unlink(dir_.Path("t.txt").c_str());
    if (!c.sourceLines.empty()) Fake("s.txt", c.sourceLines);
    places_.engineFolder = c.engineFolder;
    runner_.seen.clear();
    runner_.onShow = [&](QDialog* d) {
      auto* b = qobject_cast<QMessageBox*>(d);
      if (b && S(b->text()) == c.text && c.caption == "エラー" && c.text.find("fake") == 0)
        guitest::Shot(d, "error-box");
    };
    Make();
    c.choice.source = dir_.Path(c.choice.source);
    c.choice.target = dir_.Path(c.choice.target);
    c.choice.table = guitest::kCp932;
    Convert(c.choice);
    std::vector<Seen> boxes = runner_.Boxes();
    ASSERT_FALSE(boxes.empty());
    const Seen& box = boxes.back();
    EXPECT_EQ(c.caption, box.title);
    EXPECT_EQ(c.text, box.text);
    EXPECT_EQ(std::vector<std::string>{"OK"}, box.buttons);
    EXPECT_FALSE(box.detail.empty());  // the English reason beside the text
    EXPECT_EQ(c.result, runner_.seen.back().name == "ResultDlg");
    EXPECT_EQ(c.log, guitest::LogLines(forms_->main.get()));
    EXPECT_EQ(TConvertOutcome::kFailed, forms_->main->lastResult().outcome);
  }
}

TEST_F(ConvertWindowTest, QuestionsAndWhatTheirAnswersLeave) {
  struct Case {
    bool exists;
    QMessageBox::StandardButton answer;
    bool converts;
  } cases[] = {{true, QMessageBox::Yes, true},
               {true, QMessageBox::No, false},
               {false, QMessageBox::Yes, true},
               {false, QMessageBox::No, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.exists) + " " + std::to_string(c.answer));
    std::string source = Fake("s.txt", "apple\tringo\t\t\t0\n");
    std::string target = dir_.Path("t.txt");
    ::unlink(target.c_str());
    if (c.exists) WriteFile(target, "old\tentry\t\t\t0\n");
    runner_.seen.clear();
    Convert({5, source, target, false, guitest::kCp932}, {Answer(c.answer)});
    const Seen& q = runner_.seen.at(1);
    EXPECT_EQ("辞書の変換", q.title);
    EXPECT_EQ(c.exists ? kExistsQuestion : kMissingQuestion, q.text);
    EXPECT_EQ(2u, q.buttons.size());
    EXPECT_EQ(c.exists ? "&No" : "&Yes", q.defaultButton);
    EXPECT_NE(std::string::npos, q.detail.find(target)) << q.detail;
    EXPECT_EQ(c.converts ? 3u : 2u, runner_.seen.size());  // the result dialog, or nothing more
    struct stat st;
    if (c.converts)
      EXPECT_EQ("apple\tringo\t\t\t0\n", ReadFile(target));
    else if (c.exists)
      EXPECT_EQ("old\tentry\t\t\t0\n", ReadFile(target));
    else
      EXPECT_NE(0, ::stat(target.c_str(), &st));
  }
}

TEST_F(ConvertWindowTest, EnterAtTheExistingTargetQuestionLeavesItUntouched) {
  std::string source = Fake("s.txt", "apple\tringo\t\t\t0\n");
  std::string target = Fake("t.txt", "old\tentry\t\t\t0\n");
  // The question runs as a real modal box; Enter is pressed in it.
  bool pressed = false;
  runner_.steps.push_back(Configure({5, source, target, false, guitest::kCp932}));
  runner_.steps.push_back([&](QDialog* d) {
    d->hide();
    QTimer::singleShot(0, d, [&, d] {
      QTest::keyClick(d, Qt::Key_Return);
      pressed = true;
    });
    d->exec();
  });
  Make().main->miConvert->trigger();
  EXPECT_TRUE(pressed);
  EXPECT_EQ(2u, runner_.seen.size());
  EXPECT_EQ("old\tentry\t\t\t0\n", ReadFile(target));
  EXPECT_EQ(TConvertOutcome::kRefused, forms_->main->lastResult().outcome);
}

TEST_F(ConvertWindowTest, SettingsDialogCancelledChangesNothing) {
  guitest::Forms& f = Make();
  f.main->AddLogLine("kept");
  runner_.steps.push_back([](QDialog* d) { qobject_cast<TCvtCfgDlg*>(d)->btnCancel->click(); });
  f.main->miConvert->trigger();
  EXPECT_EQ(1u, runner_.seen.size());
  EXPECT_EQ(std::vector<std::string>{"kept"}, guitest::LogLines(f.main.get()));
}

TEST_F(ConvertWindowTest, TableThatCannotBeReadLeavesAnEmptyTargetAndZeros) {
  vktest::TempDir tables;
  WriteFile(tables.Path("only.tbl"), ReadFile(JoinPath(ProgramFolder(), "cp932.tbl")));
  places_.tableFolder = tables.path();
  std::string source = Fake("s.txt", "apple\tA\t\t\t0\n");
  std::string target = dir_.Path("t.txt");
  Make();
  runner_.steps.push_back([&](QDialog* d) {
    Choice c{5, source, target, false, guitest::kCp932};
    guitest::Choose(qobject_cast<TCvtCfgDlg*>(d), c);
    ::unlink(tables.Path("only.tbl").c_str());  // gone after it was offered
    qobject_cast<TCvtCfgDlg*>(d)->btnOK->click();
  });
  forms_->main->miConvert->trigger();
  std::vector<Seen> boxes = runner_.Boxes();
  ASSERT_EQ(2u, boxes.size());
  EXPECT_EQ("変換テーブルファイル " + tables.Path("only.tbl") + " が開けません", boxes[1].text);
  EXPECT_EQ("ResultDlg", runner_.seen.back().name);
  EXPECT_EQ((std::vector<std::string>{"0", "0", "0", "0", "0"}), guitest::Values(forms_->result));
  EXPECT_EQ("", ReadFile(target));
}

TEST_F(ConvertWindowTest, TooLongHeadwordIsLoggedAndCounted) {
  std::string source = Fake("s.txt", "apple\tA\t\t\t0\nlongword\tL\t\t\t0\nzebra\tZ\t\t\t0\n");
  Convert({1, source, dir_.Path("t.txt"), false, guitest::kCp932});
  EXPECT_EQ(std::vector<std::string>{"2 : 見出語 : too long : longword"}, guitest::LogLines(forms_->main.get()));
  EXPECT_EQ((std::vector<std::string>{"3", "2", "0", "0", "1"}), guitest::Values(forms_->result));
  EXPECT_EQ(1u, runner_.Boxes().size());  // the question only
}

// The progress dialog during a long conversion: at each cancel point (every
// 256 registered records) the window lets Qt process what the user did.
class ProgressTest : public ConvertWindowTest {
 protected:
  // Converts 700 stand-in records (mode 3) and at the first cancel point
  // runs `act`, as if the user did it while the conversion ran.
  void RunWith(std::function<void()> act, std::vector<ScriptedRunner::Step> steps) {
    std::string source = Fake("s.txt", ManyRecords(700));
    target_ = dir_.Path("t.txt");
    ::unlink(target_.c_str());
    Make();
    std::vector<ScriptedRunner::Step> all = {[&, act](QDialog* d) {
      // The question is answered; what the user does next is queued and
      // runs when the record loop lets events through.
      QTimer::singleShot(0, forms_->progress, act);
      Answer(QMessageBox::Yes)(d);
    }};
    for (auto& s : steps) all.push_back(std::move(s));
    Convert({3, source, target_, false, ""}, std::move(all));
  }
  int Written() { return static_cast<int>(cvtest::Lines(ReadFile(target_)).size()); }
  std::string target_;
};

TEST_F(ProgressTest, CancelYesStopsAtTheNextRegisteredRecord) {
  bool disabledMeanwhile = false;
  RunWith([&] { forms_->progress->btnCancel->click(); },
          {[&](QDialog* d) {
             EXPECT_TRUE(forms_->progress->isVisible());
             disabledMeanwhile = !forms_->main->miConvert->isEnabled() && forms_->main->converting();
             guitest::Shot(d, "question-cancel");
             Answer(QMessageBox::Yes)(d);
           },
           [](QDialog* d) { qobject_cast<TResultDlg*>(d)->btnOK->click(); }});
  const Seen& q = runner_.seen.at(2);
  EXPECT_EQ("変換処理の中止", q.title);
  EXPECT_EQ("変換を中止しても良いですか？", q.text);
  EXPECT_EQ("&Yes", q.defaultButton);
  EXPECT_EQ("&No", q.escapeButton);
  EXPECT_TRUE(disabledMeanwhile);
  EXPECT_EQ(TConvertOutcome::kCancelled, forms_->main->lastResult().outcome);
  EXPECT_EQ((std::vector<std::string>{"257", "257", "0", "0", "0"}), guitest::Values(forms_->result));
  EXPECT_EQ(257, Written());
  EXPECT_FALSE(forms_->progress->isVisible());
}

TEST_F(ProgressTest, CancelNoGoesOn) {
  RunWith([&] { forms_->progress->btnCancel->click(); }, {Answer(QMessageBox::No)});
  EXPECT_EQ(TConvertOutcome::kDone, forms_->main->lastResult().outcome);
  EXPECT_EQ(700, Written());
}

TEST_F(ProgressTest, EscIsTheCancelButtonWithItsQuestion) {
  RunWith([&] { QTest::keyClick(forms_->progress, Qt::Key_Escape); }, {Answer(QMessageBox::Yes)});
  EXPECT_EQ("変換を中止しても良いですか？", runner_.seen.at(2).text);
  EXPECT_EQ(TConvertOutcome::kCancelled, forms_->main->lastResult().outcome);
  EXPECT_EQ(257, Written());
}

TEST_F(ProgressTest, ClosingTheProgressDialogStopsWithoutQuestion) {
  RunWith([&] { forms_->progress->close(); }, {});
  EXPECT_EQ(3u, runner_.seen.size());  // the settings, the target question, the result
  EXPECT_EQ(TConvertOutcome::kCancelled, forms_->main->lastResult().outcome);
  EXPECT_EQ(257, Written());
}

TEST_F(ProgressTest, ClosingTheMainWindowStopsTheConversionAndThenCloses) {
  RunWith([&] { forms_->main->close(); }, {});
  EXPECT_EQ(TConvertOutcome::kCancelled, forms_->main->lastResult().outcome);
  EXPECT_EQ(256, Written());  // stopped before the next record was read
  EXPECT_EQ("ResultDlg", runner_.seen.back().name);
  EXPECT_FALSE(forms_->main->isVisible());
}

TEST_F(ProgressTest, ASecondConvertMeanwhileIsRefused) {
  RunWith([&] { forms_->main->miConvertClick(); }, {});
  EXPECT_EQ(3u, runner_.seen.size());  // no second settings dialog
  EXPECT_EQ(700, Written());
}

TEST_F(ProgressTest, RefreshShowsPercentAndRecordNumber) {
  guitest::Forms& f = Make();
  struct Case {
    int percent, record;
    int bar;
    std::string label;
  } cases[] = {{45, 12000, 45, "45% 12000語"}, {0, 256, 0, "0% 256語"}, {100, 700, 100, "100% 700語"}};
  for (const Case& c : cases) {
    f.main->ShowProgress(c.percent, c.record);
    EXPECT_EQ(c.bar, f.progress->pbProgress->value());
    EXPECT_EQ(c.label, S(f.progress->lbLabel->text()));
  }
  f.progress->Start();
  f.main->ShowProgress(45, 12000);
  guitest::Shot(f.progress, "ProgressDlg");
  f.progress->Finish();
  EXPECT_EQ(0, f.progress->pbProgress->minimum());
  EXPECT_EQ(100, f.progress->pbProgress->maximum());
  EXPECT_EQ("Converting...", S(f.progress->windowTitle()));
  EXPECT_EQ("Cancel", S(f.progress->btnCancel->text()));
  EXPECT_FALSE(f.progress->isModal());
}

}  // namespace
}  // namespace vk
