// The small dialogs and commands of the main window: about, result, the
// read-me, and the boxes' look.
#include <QDesktopServices>
#include <QUrl>

#include "GuiTestUtil.h"

namespace vk {
namespace {

using guitest::S;
using guitest::ScriptedRunner;

class DialogsTest : public ::testing::Test {
 protected:
  DialogsTest() {
    places_.programFolder = ProgramFolder();
    places_.settingsPath = dir_.Path("VKcv.ini");
    places_.tableFolder = ProgramFolder();
    places_.engineFolder = cvtest::FakeFolder();
  }
  vktest::TempDir dir_;
  TVkcvPlaces places_;
  ScriptedRunner runner_;
};

TEST_F(DialogsTest, AboutShowsTheBuildsVersion) {
  guitest::Forms f(places_);
  EXPECT_EQ("AboutDlg", S(f.about->objectName()));
  EXPECT_EQ("About VKcv", S(f.about->windowTitle()));
  EXPECT_EQ("VOKA Dictionary Exchanger", S(f.about->Label1->text()));
  EXPECT_GT(f.about->Label1->font().pointSizeF(), f.about->Label2->font().pointSizeF());
  EXPECT_FALSE(f.about->Label2->text().isEmpty());
  EXPECT_EQ("OK", S(f.about->btnOK->text()));
  EXPECT_TRUE(f.about->btnOK->isDefault());
  EXPECT_TRUE(f.about->lbVersion->alignment() & Qt::AlignHCenter);
  runner_.steps.push_back([&](QDialog* d) {
    guitest::Shot(d, "AboutDlg");
    d->reject();  // Esc: OK is the cancel button too
  });
  f.main->miAbout->trigger();
  ASSERT_EQ(1u, runner_.seen.size());
  EXPECT_EQ("AboutDlg", runner_.seen[0].name);
  EXPECT_EQ(QDialog::Accepted, f.about->result());
  // The build's version is 0.9.0 (the top CMakeLists.txt).
  EXPECT_EQ("0.9", S(f.about->lbVersion->text()));
}

TEST_F(DialogsTest, VersionTextIsMajorDotMinor) {
  struct Case {
    const char* version;
    const char* text;
  } cases[] = {{"0.9.0", "0.9"}, {"0.23.0.14", "0.23"}, {"1.2", "1.2"}, {"", "0.0"},
               {"unknown", "0.0"}, {"3", "0.0"}, {"3.x", "0.0"}, {"010.02.1", "10.2"}};
  for (const Case& c : cases) EXPECT_EQ(c.text, TAboutDlg::VersionText(c.version)) << c.version;
}

TEST_F(DialogsTest, ResultDialogBeforeAndAfterAConversion) {
  guitest::Forms f(places_);
  EXPECT_EQ("ResultDlg", S(f.result->objectName()));
  EXPECT_EQ("変換結果", S(f.result->windowTitle()));
  QLabel* captions[5] = {f.result->Label1, f.result->Label2, f.result->Label3, f.result->Label4,
                         f.result->Label5};
  const char* names[5] = {"Label1", "Label2", "Label3", "Label4", "Label5"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(kResultLabels[i], S(captions[i]->text()));
    EXPECT_EQ(names[i], S(captions[i]->objectName()));
  }
  std::vector<std::string> want = {"変換元単語数", "登録単語数", "未変換文字数",
                                   "不正マルチバイト文字数", "欠落単語数"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(want[i], S(captions[i]->text()));
  // Before the first conversion each value shows its own name.
  std::vector<std::string> ownNames = {"lbSourceCount", "lbRecCount", "lbUndefCount",
                                       "lbErrorMultiByteCount", "lbOverCount"};
  EXPECT_EQ(ownNames, guitest::Values(f.result));
  // Each counter lands in its own label.
  TConvertCounters c;
  c.sourceCount = 12001;
  c.recCount = 11998;
  c.undefCount = 7;
  c.multiByteErrorCount = 2;
  c.overCount = 1;
  runner_.steps.push_back([&](QDialog* d) {
    guitest::Shot(d, "ResultDlg-counters");
    f.result->btnOK->click();
  });
  f.main->ShowResult(c);
  EXPECT_EQ((std::vector<std::string>{"12001", "11998", "7", "2", "1"}), guitest::Values(f.result));
  EXPECT_EQ(QDialog::Accepted, f.result->result());
  EXPECT_TRUE(f.result->btnOK->isDefault());
}

class UrlCatcher : public QObject {
  Q_OBJECT

 public:
  std::vector<QUrl> urls;
 public Q_SLOTS:
  void Open(const QUrl& url) { urls.push_back(url); }
};

TEST_F(DialogsTest, ReadMeOpensTheTextBesideTheProgram) {
  guitest::Forms f(places_);
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "Open");
  f.main->miReadMe->trigger();
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_EQ(1u, catcher.urls.size());
  EXPECT_EQ(JoinPath(ProgramFolder(), "Vkcv.txt"), S(catcher.urls[0].toLocalFile()));
  // The read-me is there, and tells what the modes and counters are.
  std::string text = cvtest::ReadFile(JoinPath(ProgramFolder(), "Vkcv.txt"));
  for (const char* must : {"libVKC620.so", "libVKCU8L.so", "libVKCUL.so", "libVKCUB.so",
                           "変換元単語数", "欠落単語数", "UndefChar", "VKcv.ini"})
    EXPECT_NE(std::string::npos, text.find(must)) << must;
}

TEST_F(DialogsTest, MessageBoxesCarryTheEnglishDetail) {
  guitest::Forms f(places_);
  runner_.steps.push_back([&](QDialog* d) {
    guitest::Shot(d, "message-box");
    qobject_cast<QMessageBox*>(d)->button(QMessageBox::Ok)->click();
  });
  f.main->Message("辞書の変換", "変換元ファイルが存在しません",
                  "/home/user/dic/words.dic cannot be opened: No such file or directory");
  ASSERT_EQ(1u, runner_.seen.size());
  EXPECT_EQ("辞書の変換", runner_.seen[0].title);
  EXPECT_EQ("変換元ファイルが存在しません", runner_.seen[0].text);
  EXPECT_EQ("/home/user/dic/words.dic cannot be opened: No such file or directory",
            runner_.seen[0].detail);
  EXPECT_EQ("OK", runner_.seen[0].defaultButton);
}

TEST_F(DialogsTest, ExitClosesTheMainWindow) {
  guitest::Forms f(places_);
  ASSERT_TRUE(f.main->isVisible());
  f.main->miExit->trigger();
  EXPECT_FALSE(f.main->isVisible());
}

}  // namespace
}  // namespace vk

#include "DialogsTest.moc"
