// vkcv and vkdic as a user runs them: exit status, what goes to standard
// output and standard error, answers typed on standard input; the entry-line
// format and the command-line parsing underneath.
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>

#include "CliRun.h"
#include "cli/ConvertArgs.h"
#include "cli/Progress.h"
#include "cli/Terminal.h"

namespace vk {
namespace {

using cvtest::Lines;
using cvtest::ReadFile;
using cvtest::WriteFile;

using cvtest::Ran;
using CliTest = cvtest::CliFixture;

const char kCounters[] =
    "変換元単語数: 3\n登録単語数: 3\n未変換文字数: 1\n不正マルチバイト文字数: 0\n欠落単語数: 0\n";
// apple / 星 + a code without a mapping / 猫, in Shift-JIS.
const char kSjisTsv[] =
    "apple\t\x82\xe8\x82\xf1\x82\xb2\n"
    "star\t\x90\xaf\x85\x40\n"
    "cat\t\x94\x4c\t\t\t3\n";

TEST_F(CliTest, HelpTellsModesAndExitStatus) {
  for (const char* args : {"--help", "convert --help", "help"}) {
    Ran r = Run("vkcv", args);
    EXPECT_EQ(0, r.status) << args;
    EXPECT_NE(std::string::npos, r.out.find("--mode N")) << args;
    EXPECT_NE(std::string::npos, r.out.find("Exit status")) << args;
    EXPECT_NE(std::string::npos, r.out.find("--big-endian")) << args;
  }
  Ran r = Run("vkdic", "--help");
  EXPECT_EQ(0, r.status);
  EXPECT_NE(std::string::npos, r.out.find("--engine E"));
}

TEST_F(CliTest, ConvertWritesCountersAndDumpLog) {
  MakeWin32(kSjisTsv);
  Ran r = Run("vkcv", "convert --mode 1 w.dic u.dic --table cp932 --yes");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(kCounters, r.out);
  EXPECT_NE(std::string::npos, r.err.find("辞書の変換: 辞書ﾌｧｲﾙが存在しません.新規作成しますか？ [Y/n] y\n"))
      << r.err;
  EXPECT_NE(std::string::npos, r.err.find("\n3 : 訳語 : UndefChar [0x8540] : [star]\n")) << r.err;
  EXPECT_EQ(std::string::npos, r.err.find('\r'));  // no progress bar off a terminal
  Ran find = Run("vkdic", "find u.dic star");
  EXPECT_EQ(0, find.status);
  EXPECT_EQ("star\t星\t\t\t0\n", find.out);
  find = Run("vkdic", "find u.dic cat");
  EXPECT_EQ("cat\t猫\t\t\t3\n", find.out);
}

TEST_F(CliTest, AnswersOnStandardInput) {
  MakeWin32(kSjisTsv);
  struct Case {
    bool exists;
    const char* input;
    int status;
  } cases[] = {
      {true, "\n", 1},       // Enter: the default No
      {true, "", 1},         // end of input: the default too
      {true, "maybe\ny\n", 0},
      {true, "yes\n", 0},
      {false, "\n", 0},      // Enter: the default Yes
      {false, "n\n", 1},
      {false, "いいえ\n", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.exists ? "exists " : "new ") + c.input);
    ::unlink(dir_.Path("u.dic").c_str());
    if (c.exists) WriteFile(dir_.Path("u.dic"), "keep me");
    Ran r = Run("vkcv", "convert --mode 1 w.dic u.dic --table cp932", c.input);
    EXPECT_EQ(c.status, r.status) << r.err;
    if (c.status == 1) {
      EXPECT_EQ("", r.out);
      if (c.exists)
        EXPECT_EQ("keep me", ReadFile(dir_.Path("u.dic")));
      else
        EXPECT_FALSE(Exists("u.dic"));
    } else {
      EXPECT_EQ(kCounters, r.out);
    }
  }
}

TEST_F(CliTest, FailuresExitWithTwo) {
  MakeWin32(kSjisTsv);
  Write("junk.dic", std::string(4096, 'j'));
  struct Case {
    const char* args;
    const char* err;
  } cases[] = {
      {"", "no command"},
      {"convert w.dic u.dic", "--mode"},
      {"convert --mode 7 w.dic u.dic", "1 to 6"},
      {"convert --mode 1 w.dic", "SOURCE and TARGET"},
      {"convert --mode 1 w.dic u.dic --colour", "unknown option"},
      {"convert --mode 1 w.dic u.dic --table", "needs a value"},
      {"convert --mode 1 w.dic u.dic --table nosuch --yes", "no conversion table"},
      {"convert --mode 1 none.dic u.dic --table cp932 --yes", "変換元ファイルが存在しません"},
      {"convert --mode 2 junk.dic u.dic --yes", "変換元の辞書を開くことができません"},
      {"convert --mode 2 w.dic u.dic --yes",
       "w.dic is a Win32 (Shift-JIS) dictionary, but mode 2 reads a UTF-8 one"},
      {"convert --mode 5 w.dic u.dic --big-endian --word /nonexistent --yes", "no conversion table"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Ran r = Run("vkcv", c.args);
    EXPECT_EQ(2, r.status);
    EXPECT_NE(std::string::npos, r.err.find(c.err)) << r.err;
    EXPECT_FALSE(Exists("u.dic"));
  }
}

TEST_F(CliTest, TablesByDeclaredNameFileOrPath) {
  MakeWin32(kSjisTsv);
  std::string cp1252 = JoinPath(ProgramFolder(), "cp1252.tbl");
  for (std::string args : {"--table 'shift-jis (windows cp932)'", "--table cp932.tbl",
                           "--word cp932 --pron cp932 --japa cp932 --exp cp932",
                           "--table cp1252 --word cp932 --japa cp932"}) {
    SCOPED_TRACE(args);
    ::unlink(dir_.Path("u.dic").c_str());
    Ran r = Run("vkcv", "convert --mode 1 w.dic u.dic --yes " + args);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ(kCounters, r.out);
  }
  Ran r = Run("vkcv", "tables");
  EXPECT_EQ(0, r.status);
  EXPECT_NE(std::string::npos, r.out.find("Shift-JIS (Windows CP932)\t")) << r.out;
  EXPECT_NE(std::string::npos, r.out.find("Western European (Windows CP1252)\t")) << r.out;
}

TEST_F(CliTest, SixModesThroughTheProgram) {
  MakeWin32(kSjisTsv);
  struct Step {
    int mode;
    const char* from;
    const char* to;
  } steps[] = {{1, "w.dic", "a8.dic"}, {4, "a8.dic", "a16.dic"}, {6, "a16.dic", "b.dic"},
               {5, "b.dic", "b16.dic"}, {3, "b16.dic", "b8.dic"}, {2, "b8.dic", "c.dic"}};
  for (const Step& s : steps) {
    Ran r = Run("vkcv", "convert --mode " + std::to_string(s.mode) + " " + s.from + " " + s.to +
                            " --table cp932 --yes");
    EXPECT_EQ(0, r.status) << s.mode << r.err;
  }
  Ran first = Run("vkdic", "export --bytes w.dic");
  Ran last = Run("vkdic", "export --bytes c.dic");
  // The code without a mapping is lost on the first step, the rest comes back.
  std::string want = first.out;
  want.replace(want.find("\x85\x40"), 2, "");
  EXPECT_EQ(want, last.out);
  EXPECT_NE(std::string::npos, Lines(Run("vkdic", "info c.dic").out)[1].find("(VKC620)"));
  EXPECT_NE(std::string::npos, Lines(Run("vkdic", "info b16.dic").out)[1].find("(VKCUL)"));
  EXPECT_NE(std::string::npos, Lines(Run("vkdic", "info b8.dic").out)[1].find("(VKCU8L)"));
}

TEST_F(CliTest, VkdicRoundTripsEntryLinesThroughEveryEngine) {
  // Fields with escapes, a merged translation's CR LF, levels; "b" twice: the
  // later line replaces the earlier.
  const std::string tsv =
      "b\tfirst\n"
      "a\\tb\tone\\ttab\tex\\\\ample\tpron\t15\n"
      "b\tline1\\r\\nline2\t\t\t2\n"
      "c\\n\tnew\\nline\r\n"
      "\n";
  const std::string want =
      "a\\tb\tone\\ttab\tex\\\\ample\tpron\t15\n"
      "b\tline1\\r\\nline2\t\t\t2\n"
      "c\\n\tnew\\nline\t\t\t0\n";
  WriteFile(dir_.Path("in.tsv"), tsv);
  for (const char* engine : TToolDic::kEngines) {
    SCOPED_TRACE(engine);
    std::string dic = std::string(engine) + ".dic";
    Ran r = Run("vkdic", std::string("--engine ") + engine + " import " + dic + " in.tsv");
    EXPECT_EQ(0, r.status) << r.err;
    Ran out = Run("vkdic", "export " + dic);  // the engine is found by the file
    EXPECT_EQ(0, out.status) << out.err;
    EXPECT_EQ(want, out.out);
    r = Run("vkdic", "export " + dic + " copy.tsv");
    EXPECT_EQ(want, ReadFile(dir_.Path("copy.tsv")));
    Ran info = Run("vkdic", "info " + dic);
    EXPECT_NE(std::string::npos, Lines(info.out)[1].find("(" + std::string(engine) + ")"));
    EXPECT_EQ("entries: 3", Lines(info.out)[2]);
  }
}

TEST_F(CliTest, VkdicFindAndSearch) {
  WriteFile(dir_.Path("in.tsv"),
            "Apple\tりんご\napplet\t小さなアプリ\npineapple\tパイナップル\nbanana\tバナナ\n");
  ASSERT_EQ(0, Run("vkdic", "import d.dic in.tsv").status);
  struct Case {
    const char* args;
    int status;
    std::vector<std::string> words;
  } cases[] = {
      {"find d.dic applet", 0, {"applet"}},
      {"find d.dic apple", 1, {}},
      {"search d.dic app", 0, {"applet", "pineapple"}},
      {"search d.dic app --prefix", 0, {"applet"}},
      {"search d.dic app --prefix --ignore-case", 0, {"Apple", "applet"}},
      {"search d.dic ナ --translations", 0, {"banana", "pineapple"}},
      {"search d.dic zzz", 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Ran r = Run("vkdic", c.args);
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_EQ(c.words, cvtest::Headwords(r.out));
  }
}

TEST_F(CliTest, VkdicRefusals) {
  WriteFile(dir_.Path("in.tsv"), "ok\tfine\n\tno headword\nlevel\tx\t\t\t16\nfine\tyes\n");
  Ran r = Run("vkdic", "import d.dic in.tsv");
  EXPECT_EQ(1, r.status);  // the other lines are stored
  EXPECT_NE(std::string::npos, r.err.find("in.tsv:2: empty headword")) << r.err;
  EXPECT_NE(std::string::npos, r.err.find("in.tsv:3: level")) << r.err;
  EXPECT_EQ(2u, Lines(Run("vkdic", "export d.dic").out).size());
  // A file of another engine.
  r = Run("vkdic", "--engine VKCUB export d.dic");
  EXPECT_EQ(2, r.status);
  EXPECT_NE(std::string::npos, r.err.find("サポートされていない辞書タイプです")) << r.err;
  WriteFile(dir_.Path("x.dic"), "not a dictionary");
  r = Run("vkdic", "export x.dic");
  EXPECT_EQ(2, r.status);
  EXPECT_NE(std::string::npos, r.err.find("no engine accepts")) << r.err;
  EXPECT_EQ(2, Run("vkdic", "--engine EPWING create e.dic").status);
  EXPECT_EQ(2, Run("vkdic", "find d.dic").status);
  EXPECT_EQ(2, Run("vkdic", "find d.dic x --translations").status);
}

TEST(Tsv, EscapesRoundTrip) {
  struct Case {
    std::string text, escaped;
  } cases[] = {
      {"plain", "plain"},     {"a\tb", "a\\tb"},         {"a\r\nb", "a\\r\\nb"},
      {"back\\slash", "back\\\\slash"}, {"\\t", "\\\\t"}, {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.escaped, TsvEscape(c.text));
    EXPECT_EQ(c.text, TsvUnescape(c.escaped));
  }
  // A backslash before anything else, or at the end, stands for itself.
  EXPECT_EQ("a\\xb\\", TsvUnescape("a\\xb\\"));
}

TEST(Tsv, LinesParseWithDefaultsAndLimits) {
  TToolEntry e;
  std::string why;
  ASSERT_TRUE(ParseTsvLine("w", &e, &why));
  EXPECT_EQ("w", e.word);
  EXPECT_EQ("", e.japa);
  EXPECT_EQ(0x80, e.attr);
  ASSERT_TRUE(ParseTsvLine("w\tj\te\tp\t9", &e, &why));
  EXPECT_EQ("j", e.japa);
  EXPECT_EQ("e", e.exp);
  EXPECT_EQ("p", e.pron);
  EXPECT_EQ(0x89, e.attr);
  EXPECT_EQ("w\tj\te\tp\t9", FormatTsvLine(e));
  for (const char* bad : {"", "\tj", "w\tj\te\tp\t16", "w\tj\te\tp\t-1", "w\tj\te\tp\t1x",
                          "w\tj\te\tp\t1\textra", "w\tj\te\tp\t007"}) {
    EXPECT_FALSE(ParseTsvLine(bad, &e, &why)) << bad;
    EXPECT_FALSE(why.empty());
  }
}

TEST(ConvertArgs, ParsesConvertLines) {
  TConvertArgs a;
  std::string why;
  ASSERT_TRUE(ParseConvertArgs({"convert", "--mode", "6", "s.dic", "t.dic", "--big-endian",
                                "--word", "W", "--pron", "P", "--japa", "J", "--exp", "E", "-y"},
                               &a, &why))
      << why;
  EXPECT_EQ(TConvertArgs::kConvert, a.command);
  EXPECT_EQ(6, a.mode);
  EXPECT_EQ("s.dic", a.source);
  EXPECT_EQ("t.dic", a.target);
  EXPECT_TRUE(a.bigEndian);
  EXPECT_TRUE(a.yes);
  EXPECT_EQ("W", a.word);
  EXPECT_EQ("P", a.pron);
  EXPECT_EQ("J", a.japa);
  EXPECT_EQ("E", a.exp);
  for (std::vector<std::string> bad :
       std::vector<std::vector<std::string>>{{"convert", "--mode", "0", "s", "t"},
                                             {"convert", "--mode", "12", "s", "t"},
                                             {"convert", "--mode", "1", "s", "t", "u"},
                                             {"tables", "x"},
                                             {"convrt"}}) {
    EXPECT_FALSE(ParseConvertArgs(bad, &a, &why)) << bad[0];
  }
}

TEST(ConvertArgs, ResolvesTablesByNameFirst) {
  vktest::TempDir dir;
  WriteFile(dir.Path("a.tbl"), "# Name: First\n0x41\t0x41\n");
  WriteFile(dir.Path("b.txt"), "# Name: first\n0x41\t0x42\n");
  WriteFile(dir.Path("c.tbl"), "# Name: b.txt\n0x41\t0x43\n");
  TTableList list = ListTables(dir.path());
  ASSERT_EQ(3u, list.names.size());
  EXPECT_EQ(dir.Path("a.tbl"), list.paths[0]);  // sorted by file
  EXPECT_EQ(dir.Path("a.tbl"), ResolveTable("FIRST", list, dir.path()));
  EXPECT_EQ(dir.Path("c.tbl"), ResolveTable("b.txt", list, dir.path()));  // a name wins
  EXPECT_EQ(dir.Path("b.txt"), ResolveTable("b", list, dir.path()));
  EXPECT_EQ(dir.Path("a.tbl"), ResolveTable(dir.Path("a.tbl"), list, "/nonexistent"));
  EXPECT_EQ("", ResolveTable("d", list, dir.path()));
  EXPECT_EQ("", ResolveTable("", list, dir.path()));
}

TEST(Progress, TextTellsDoneOfTotalRateAndTimeLeft) {
  struct Case {
    int64_t done, total;
    double seconds;
    const char* unit;
    std::string want;
  } cases[] = {
      {0, 200, 0, "records", "[..........] 0 of 200 records 0%"},
      {50, 200, 0.5, "records", "[##........] 50 of 200 records 25%"},  // no rate yet
      {50, 200, 2, "records", "[##........] 50 of 200 records 25%  25/s  0:06 left"},
      {200, 200, 4, "records", "[##########] 200 of 200 records 100%  50/s"},
      {300, 200, 4, "records", "[##########] 300 of 200 records 100%  75/s"},  // the total grew
      {1200, 0, 3, "records", "1200 records  400/s"},  // no known total
      {3 << 20, 12 << 20, 3, "bytes", "[##........] 3072 KB of 12 MB 25%  1.0 MB/s  0:09 left"},
      {9000, 10000, 3000, "records", "[#########.] 9000 of 10000 records 90%  3/s  5:33 left"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.want, ProgressText(c.done, c.total, c.seconds, c.unit, 10));
  EXPECT_EQ("1:02:03", FormatDuration(3723));
  EXPECT_EQ("0:00", FormatDuration(-1));
}

}  // namespace
}  // namespace vk
