// vkcv as a user runs it, on the troubles users met: a damaged source, texts
// the target cannot hold, headwords that convert to nothing, files that are
// not tables, refusals that must come before any question, and the messages
// that say what went wrong and why.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "CliRun.h"

namespace vk {
namespace {

using cvtest::Lines;
using cvtest::Ran;
using VkcvTest = cvtest::CliFixture;

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// The value of counter `label` in vkcv's standard output, or -1.
int Counter(const std::string& out, const std::string& label) {
  for (const std::string& line : Lines(out))
    if (line.compare(0, label.size() + 2, label + ": ") == 0)
      return std::stoi(line.substr(label.size() + 2));
  return -1;
}

TEST_F(VkcvTest, DamagedSourceEndsAsAFailureThatNamesTheRecord) {
  std::string tsv;
  for (int i = 0; i < 4000; ++i)
    tsv += "word" + std::to_string(10000 + i) + "\t" + Repeat("trans", 1 + i % 17) + "\n";
  MakeWin32(tsv);
  std::string bytes = Read("w.dic");
  // Somewhere in the data blocks, well past the header and the index.
  size_t at = bytes.size() * 3 / 5;
  bytes.replace(at, 3000, std::string(3000, '\xFF'));
  Write("w.dic", bytes);
  Ran r = Run("vkcv", "convert --mode 1 w.dic u.dic --yes");
  EXPECT_EQ(2, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.err.find(" : read error : ")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("辞書の変換: 変換元の辞書の読み込みでエラーが発生しました"));
  EXPECT_NE(std::string::npos, r.err.find("of the source w.dic cannot be read: "));
  // The counters still come, and tell what the target holds.
  int registered = Counter(r.out, "登録単語数");
  EXPECT_GT(registered, 0) << r.out;
  EXPECT_LT(registered, 4000) << r.out;
  EXPECT_EQ(static_cast<size_t>(registered), Lines(Run("vkdic", "export u.dic").out).size());
}

TEST_F(VkcvTest, TextsTheTargetCannotHoldAreLoggedAndCountedAsTooLong) {
  // 1501 "あ" are 3002 Shift-JIS bytes: more than a Win32 translation holds.
  Write("u.tsv", "long\t" + Repeat("あ", 1501) + "\nok\tfine\n");
  ASSERT_EQ(0, Run("vkdic", "import u.dic u.tsv").status);
  Ran r = Run("vkcv", "convert --mode 2 u.dic w.dic --yes");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("\n1 : 訳語 : too long : long\n")) << r.err;
  EXPECT_EQ(2, Counter(r.out, "変換元単語数"));
  EXPECT_EQ(1, Counter(r.out, "登録単語数"));
  EXPECT_EQ(1, Counter(r.out, "欠落単語数"));
  EXPECT_EQ("ok\tfine\t\t\t0\n", Run("vkdic", "export --bytes w.dic").out);
}

TEST_F(VkcvTest, HeadwordThatConvertsToNothingIsLogged) {
  // U+301C has no code in CP932 (its wave dash is U+FF5E).
  Write("u.tsv", "〜\twave\nok\tfine\n");
  ASSERT_EQ(0, Run("vkdic", "import u.dic u.tsv").status);
  Ran r = Run("vkcv", "convert --mode 2 u.dic w.dic --yes");
  EXPECT_EQ(0, r.status) << r.err;
  // "ok" sorts first: the wave is record 2.
  EXPECT_NE(std::string::npos, r.err.find("2 : 見出語 : UndefChar [0x301C] : [〜]\n")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("2 : 見出語 : empty : 〜\n")) << r.err;
  EXPECT_EQ(2, Counter(r.out, "変換元単語数"));
  EXPECT_EQ(1, Counter(r.out, "登録単語数"));
}

TEST_F(VkcvTest, Win32SideTakesShiftJisWithoutATableChoice) {
  MakeWin32("cat\t\x94\x4c\nso\t\x83\x5c\n");  // 猫, ソ (a 0x5C trail byte)
  Ran r = Run("vkcv", "convert --mode 1 w.dic u.dic --yes");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("cat\t猫\t\t\t0\nso\tソ\t\t\t0\n", Run("vkdic", "export u.dic").out);
}

TEST_F(VkcvTest, RefusalsComeBeforeAnyQuestionAndLeaveNoTarget) {
  MakeWin32("cat\t\x94\x4c\n");
  Write("u.tsv", "cat\t猫\n");
  ASSERT_EQ(0, Run("vkdic", "import u.dic u.tsv").status);
  Write("empty.tbl", "");
  const char kNoise[] = "\x01\x7f\xfe\x80 binary \x00\x9c noise 12 34x\n";
  Write("noise.tbl", std::string(kNoise, sizeof kNoise - 1));
  Write("comments.tbl", "# Name: Nothing here\n; only comments\n");
  ::symlink("u.dic", (dir_.path() + "/alias.dic").c_str());
  struct Case {
    const char* args;
    const char* err;
  } cases[] = {
      {"convert --mode 1 w.dic t.dic --table /etc/passwd", "is not a conversion table"},
      {"convert --mode 1 w.dic t.dic --table empty.tbl", "is not a conversion table: it maps no code"},
      {"convert --mode 1 w.dic t.dic --table noise.tbl", "is not a conversion table"},
      {"convert --mode 1 w.dic t.dic --japa comments.tbl", "is not a conversion table"},
      {"convert --mode 3 u.dic t.dic --big-endian", "--big-endian works in modes 5 and 6 only"},
      {"convert --mode 4 u.dic t.dic --big-endian", "there is no big-endian UTF-8 engine"},
      {"convert --mode 3 u.dic t.dic", "u.dic is a UTF-8 dictionary, but mode 3 reads a UTF-16 one"},
      {"convert --mode 5 u.dic t.dic", "is a UTF-8 dictionary, but mode 5 reads a Win32"},
      {"convert --mode 1 w.dic t.dic --engines /nonexistent",
       "the engine library libVKC620.so cannot be loaded: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    ::unlink(dir_.Path("t.dic").c_str());
    Ran r = Run("vkcv", c.args);
    EXPECT_EQ(2, r.status);
    EXPECT_NE(std::string::npos, r.err.find(c.err)) << r.err;
    EXPECT_EQ(std::string::npos, r.err.find("[Y/n]")) << r.err;  // nothing was asked
    EXPECT_FALSE(Exists("t.dic"));
  }
  // A target that is the source under another name: refused, the source kept.
  std::string before = Read("u.dic");
  Ran r = Run("vkcv", "convert --mode 4 u.dic alias.dic --yes");
  EXPECT_EQ(2, r.status);
  EXPECT_NE(std::string::npos, r.err.find("the target alias.dic is the source itself")) << r.err;
  EXPECT_EQ(std::string::npos, r.err.find("[y/N]")) << r.err;
  EXPECT_EQ(before, Read("u.dic"));
}

TEST_F(VkcvTest, MessagesSayWhatAndWhyInEnglishBesideTheBoxesText) {
  MakeWin32("cat\t\x94\x4c\n");
  // A source another program holds locked counts as absent; the reason says so.
  int fd = ::open(dir_.Path("w.dic").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ::flock(fd, LOCK_SH));
  Ran r = Run("vkcv", "convert --mode 1 w.dic t.dic --yes");
  ::close(fd);
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("vkcv: cannot read the source w.dic: it is locked by another process (another "
            "program has it open)\n辞書の変換: 変換元ファイルが存在しません\n",
            r.err);
  r = Run("vkcv", "convert --mode 1 none.dic t.dic --yes");
  EXPECT_EQ("vkcv: cannot read the source none.dic: No such file or directory\n"
            "辞書の変換: 変換元ファイルが存在しません\n",
            r.err);
  // A target folder that does not exist.
  r = Run("vkcv", "convert --mode 1 w.dic nofolder/t.dic --yes");
  EXPECT_EQ(2, r.status);
  EXPECT_NE(std::string::npos, r.err.find("vkcv: cannot create the target nofolder/t.dic: "))
      << r.err;
  EXPECT_NE(std::string::npos, r.err.find("nofolder: No such file or directory")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("\nエラー: ")) << r.err;  // the box's own caption
  // A usage error: one short usage, not the whole help.
  r = Run("vkcv", "convert --mode 1 w.dic");
  EXPECT_EQ(2, r.status);
  EXPECT_EQ(0u, r.err.find("vkcv: convert needs SOURCE and TARGET\nusage: vkcv convert"));
  EXPECT_EQ(std::string::npos, r.err.find("Exit status"));
  EXPECT_NE(std::string::npos, r.err.find("Try 'vkcv --help'"));
}

TEST_F(VkcvTest, VersionAndHelpPerCommand) {
  Ran r = Run("vkcv", "--version");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0u, r.out.find("vkcv "));
  r = Run("vkcv", "tables --help");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0u, r.out.find("usage: vkcv tables\n"));
  r = Run("vkcv", "convert --help");
  EXPECT_NE(std::string::npos, r.out.find("Exit status"));
  EXPECT_NE(std::string::npos, r.out.find("--engines DIR"));
}

TEST_F(VkcvTest, WriteFailureStopsOnceAndTellsWhatTheTargetKeeps) {
  std::string tsv;
  for (int i = 0; i < 40000; ++i)
    tsv += "word" + std::to_string(100000 + i) + "\t" + Repeat("translation ", 4) + "\n";
  MakeWin32(tsv);
  // The target may not grow past 1.5 MB (the shell counts 512-byte blocks):
  // the file system refuses the rest, somewhere after the first save of the
  // target (every 16384 records).
  Ran r = RunShell("(ulimit -f 3000; exec \"$BIN/vkcv\" convert --mode 1 w.dic t.dic --yes)");
  EXPECT_EQ(2, r.status) << r.err;
  std::vector<std::string> lines = Lines(r.err);
  // The question, the English detail and the box: one stop, not a line per record.
  ASSERT_EQ(4u, lines.size()) << r.err;
  EXPECT_NE(std::string::npos, lines[2].find("could not be written to t.dic: the disk is full"))
      << r.err;
  const std::string kKeeps = "; the target keeps the ";
  size_t at = lines[2].find(kKeeps);
  ASSERT_NE(std::string::npos, at) << r.err;
  int kept = std::stoi(lines[2].substr(at + kKeeps.size()));
  EXPECT_EQ(0, kept % 16384);
  EXPECT_GT(kept, 0) << r.err;
  EXPECT_EQ("辞書の変換: 辞書の書き込みでエラーが発生しました", lines[3]);
  EXPECT_GT(Counter(r.out, "登録単語数"), kept) << r.out;
  // What the message says is there, is there.
  Ran out = Run("vkdic", "export t.dic");
  EXPECT_EQ(0, out.status) << out.err;
  EXPECT_EQ(static_cast<size_t>(kept), Lines(out.out).size());
}

}  // namespace
}  // namespace vk
