// vkdic as a user runs it: what it refuses and why, what it leaves of a file
// it must not change, Shift-JIS through VKC620 dictionaries both ways, the
// stop of an import at a full disk or a signal, the progress line on a
// terminal, the commands on single entries and the optimisation.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "CliRun.h"
#include "Tablerw.h"
#include "cli/Progress.h"
#include "cli/StopSignals.h"

namespace vk {
namespace {

using cvtest::Lines;
using cvtest::Ran;

class VkdicTest : public cvtest::CliFixture {
 protected:
  std::string Program() const { return JoinPath(ProgramFolder(), "vkdic"); }

  // Runs a shell script in the scratch folder, with $VKDIC the program.
  Ran Shell(const std::string& script, const std::string& input = "") {
    Write("in", input);
    std::string cmd = "cd '" + dir_.path() + "' && VKDIC='" + Program() + "' bash -c '" +
                      script + "' <in >out 2>err";
    int rc = std::system(cmd.c_str());
    Ran r;
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = Read("out");
    r.err = Read("err");
    return r;
  }

  // Entry lines "w<n>\tt<n>" for n from 0, sorted as they are stored.
  static std::string NumberedLines(int count) {
    std::string s;
    char buf[64];
    for (int i = 0; i < count; ++i) {
      std::snprintf(buf, sizeof buf, "w%07d\ttranslation of entry number %d\t\t\t0\n", i, i);
      s += buf;
    }
    return s;
  }

  // The number N in "... DICT holds N entries".
  static long Held(const std::string& err) {
    size_t at = err.find(" holds ");
    return at == std::string::npos ? -1 : std::atol(err.c_str() + at + 7);
  }

  static size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  std::vector<std::string> SortedLines(const std::string& text) {
    std::vector<std::string> l = Lines(text);
    std::sort(l.begin(), l.end());
    return l;
  }
};

bool Has(const std::string& text, const std::string& what) {
  return text.find(what) != std::string::npos;
}

TEST_F(VkdicTest, ImportRefusesTextsLongerThanADictionaryHandsBack) {
  // Each limit at its edge and one past it; VKCU8L counts headword bytes of
  // UTF-8, the UTF-16 engines units, so 125 "ä" pass there and not in VKCU8L.
  struct Row {
    std::string line;
    std::string refusal;  // empty: stored whole
    std::string refusalUtf8Only;
  } rows[] = {
      {"a\t" + std::string(3000, 'x'), "", ""},
      {"b\t" + std::string(3001, 'x'), "the translation has 3001 characters; a dictionary holds at most 3000", ""},
      {"c\t\t" + std::string(20000, 'y'), "", ""},
      {"d\t\t" + std::string(20001, 'y'), "the example has 20001 characters; a dictionary holds at most 20000", ""},
      {"e\t\t\t" + std::string(1000, 'p'), "", ""},
      {"f\t\t\t" + std::string(1001, 'p'), "the pronunciation has 1001 characters; a dictionary holds at most 1000", ""},
      {std::string(248, 'h') + "\tok", "", ""},
      {std::string(249, 'h') + "\tno", "the headword has 249", ""},
      {[] { std::string s; for (int i = 0; i < 125; ++i) s += "ä"; return s; }() + "\tno in UTF-8", "",
       "the headword has 250 bytes in UTF-8; a dictionary holds at most 248"},
      {"g\t" + [] { std::string s; for (int i = 0; i < 1500; ++i) s += "😀"; return s; }() + "x",
       "the translation has 3001 UTF-16 units", ""},
  };
  std::string tsv;
  for (const Row& r : rows) tsv += r.line + "\n";
  Write("in.tsv", tsv);
  for (const char* engine : {"VKCU8L", "VKCUB", "VKCUL"}) {
    SCOPED_TRACE(engine);
    std::string dic = std::string(engine) + ".dic";
    Ran r = Run("vkdic", std::string("--engine ") + engine + " import " + dic + " in.tsv");
    EXPECT_EQ(1, r.status) << r.err;
    std::vector<std::string> stored;
    for (size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i) {
      const Row& row = rows[i];
      std::string refusal = row.refusal;
      if (refusal.empty() && std::string(engine) == "VKCU8L") refusal = row.refusalUtf8Only;
      std::string where = "in.tsv:" + std::to_string(i + 1) + ": ";
      if (refusal.empty()) {
        EXPECT_FALSE(Has(r.err, where)) << r.err;
        stored.push_back(row.line + std::string(4 - std::count(row.line.begin(), row.line.end(), '\t'), '\t') + "0");
      } else {
        EXPECT_TRUE(Has(r.err, where + refusal)) << where << refusal << "\n" << r.err.substr(0, 2000);
      }
    }
    // What is stored comes back whole.
    Ran out = Run("vkdic", "export " + dic);
    EXPECT_EQ(0, out.status) << out.err;
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, SortedLines(out.out));
  }
  // VKC620 counts the Shift-JIS bytes: 1501 two-byte characters are 3002.
  std::string kana;
  for (int i = 0; i < 1501; ++i) kana += "あ";
  Write("w.tsv", "k\t" + kana + "\nok\tfine\n");
  Ran r = Run("vkdic", "--engine VKC620 import w.dic w.tsv");
  EXPECT_EQ(1, r.status);
  EXPECT_TRUE(Has(r.err, "w.tsv:1: the translation has 3002 bytes; a dictionary holds at most 3000"))
      << r.err;
}

TEST_F(VkdicTest, ImportRefusesInvalidUtf8AndNulBytes) {
  struct Case {
    std::string line;
    std::string message;
  } cases[] = {
      {std::string("bad\xFFword\tx"), "the headword is not valid UTF-8 (byte 0xFF"},
      {std::string("over\tlong \xC0\xAF"), "the translation is not valid UTF-8 (byte 0xC0"},
      {std::string("sur\t\tgate \xED\xA0\x80"), "the example is not valid UTF-8 (byte 0xED"},
      {std::string("cut\t\t\t\xE3\x81"), "the pronunciation is not valid UTF-8 (byte 0xE3"},
      {std::string("ab\0cd\tnul", 8), "the headword holds a NUL byte"},
      {"esc\tnul\\x00", "the translation holds a NUL byte"},
      {"escaped\\xE7\\x8A\\xAC\tbytes of UTF-8 are fine", ""},
  };
  std::string tsv;
  for (const Case& c : cases) tsv += c.line + "\n";
  tsv += "good\tline\n";
  Write("in.tsv", tsv);
  Ran r = Run("vkdic", "import d.dic in.tsv");
  EXPECT_EQ(1, r.status);
  for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i) {
    std::string where = "in.tsv:" + std::to_string(i + 1) + ": ";
    if (cases[i].message.empty())
      EXPECT_FALSE(Has(r.err, where)) << r.err;
    else
      EXPECT_TRUE(Has(r.err, where + cases[i].message)) << where << "\n" << r.err;
  }
  EXPECT_TRUE(Has(r.err, "2 entries stored, 6 lines refused")) << r.err;
  // Nothing cut at the NUL, nothing turned into U+FFFD.
  EXPECT_EQ("escaped犬\tbytes of UTF-8 are fine\t\t\t0\ngood\tline\t\t\t0\n",
            Run("vkdic", "export d.dic").out);
}

TEST_F(VkdicTest, ImportStopsAtTheFirstStorageFailureWithOneMessage) {
  const std::string tsv = NumberedLines(20000);
  Write("big.tsv", tsv);
  // 200 KB of file size: the disk is "full" after a few thousand entries.
  Ran r = Shell("ulimit -f 200; exec \"$VKDIC\" import d.dic big.tsv");
  EXPECT_EQ(2, r.status) << r.err;
  // Fast mode holds the writes back, so the full disk may show when the
  // import saves ("cannot write") rather than at an entry ("cannot store").
  EXPECT_EQ(1u, Count(r.err, "cannot store") + Count(r.err, ": cannot write d.dic")) << r.err;
  EXPECT_TRUE(Has(r.err, "the disk is full")) << r.err;
  EXPECT_TRUE(Has(r.err, "engine error 4)")) << r.err;
  EXPECT_TRUE(Has(r.err, "stopped at big.tsv:")) << r.err;
  long held = Held(r.err);
  ASSERT_GT(held, 0) << r.err;
  // The dictionary opens and holds the lines before the stop.
  Ran out = Run("vkdic", "export d.dic");
  EXPECT_EQ(0, out.status) << out.err;
  std::vector<std::string> all = Lines(tsv), got = Lines(out.out);
  ASSERT_EQ(static_cast<size_t>(held), got.size());
  EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin()));

  // An existing dictionary that cannot grow at all stays as it was.
  Write("first.tsv", NumberedLines(300));
  ASSERT_EQ(0, Run("vkdic", "import e.dic first.tsv").status);
  const std::string before = Read("e.dic");
  // Room for the file as it is and hardly more.
  r = Shell("ulimit -f " + std::to_string(before.size() / 1024 + 1) +
            "; exec \"$VKDIC\" import e.dic big.tsv");
  EXPECT_EQ(2, r.status);
  EXPECT_EQ(1u, Count(r.err, "cannot store") + Count(r.err, ": cannot write e.dic")) << r.err;
  EXPECT_TRUE(Has(r.err, "e.dic holds 300 entries")) << r.err;
  EXPECT_EQ(before, Read("e.dic"));
}

TEST_F(VkdicTest, ImportIntoALockedDictionaryTellsWhy) {
  Write("in.tsv", "a\tb\n");
  ASSERT_EQ(0, Run("vkdic", "import d.dic in.tsv").status);
  const std::string before = Read("d.dic");
  int fd = ::open(dir_.Path("d.dic").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ::flock(fd, LOCK_EX | LOCK_NB));
  Ran r = Run("vkdic", "import d.dic in.tsv");
  ::close(fd);
  EXPECT_EQ(2, r.status);
  EXPECT_TRUE(Has(r.err, "vkdic: cannot open d.dic for writing: the file is locked by another "
                         "process (<d.dic>は他で使用しているので利用できません, engine error 17)\n"))
      << r.err;
  EXPECT_EQ(before, Read("d.dic"));
}

TEST_F(VkdicTest, ExportNeverOverwritesTheDictionary) {
  Write("in.tsv", "a\tb\nc\td\n");
  ASSERT_EQ(0, Run("vkdic", "import d.dic in.tsv").status);
  ASSERT_EQ(0, ::symlink("d.dic", dir_.Path("link.dic").c_str()));
  ASSERT_EQ(0, ::link(dir_.Path("d.dic").c_str(), dir_.Path("hard.dic").c_str()));
  const std::string before = Read("d.dic");
  for (const char* target : {"d.dic", "./d.dic", "link.dic", "hard.dic", "../$(basename $PWD)/d.dic"}) {
    SCOPED_TRACE(target);
    Ran r = Shell(std::string("exec \"$VKDIC\" export d.dic ") + target);
    EXPECT_EQ(2, r.status);
    EXPECT_TRUE(Has(r.err, "refusing to export d.dic onto itself")) << r.err;
    EXPECT_EQ(before, Read("d.dic"));
  }
}

TEST_F(VkdicTest, AFailedExportLeavesTheOlderFile) {
  Write("in.tsv", NumberedLines(3000));
  ASSERT_EQ(0, Run("vkdic", "import d.dic in.tsv").status);
  Write("old.tsv", "what was there\n");
  Ran r = Shell("ulimit -f 20; exec \"$VKDIC\" export d.dic old.tsv");
  EXPECT_EQ(2, r.status);
  EXPECT_TRUE(Has(r.err, "cannot write old.tsv: File too large; old.tsv is left as it was"))
      << r.err;
  EXPECT_EQ("what was there\n", Read("old.tsv"));
  // Standard output that cannot take it.
  r = Shell("exec \"$VKDIC\" export d.dic >/dev/full");
  EXPECT_EQ(2, r.status);
  EXPECT_TRUE(Has(r.err, "cannot write standard output: No space left on device")) << r.err;
  // Nothing is left beside it; a complete export takes its place, and a
  // link to it stays a link.
  ASSERT_EQ(0, ::symlink("old.tsv", dir_.Path("via.tsv").c_str()));
  r = Run("vkdic", "export d.dic via.tsv");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(NumberedLines(3000), Read("old.tsv"));
  struct stat st;
  ASSERT_EQ(0, ::lstat(dir_.Path("via.tsv").c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  Ran ls = Shell("ls -A");
  EXPECT_EQ("d.dic\nerr\nin\nin.tsv\nold.tsv\nout\nvia.tsv\n", ls.out);
}

TEST_F(VkdicTest, CreateAsksBeforeReplacing) {
  Write("in.tsv", "a\tb\n");
  ASSERT_EQ(0, Run("vkdic", "import d.dic in.tsv").status);
  const std::string before = Read("d.dic");
  struct Case {
    const char* args;
    const char* answer;
    int status;
    bool asked, replaced;
  } cases[] = {
      {"create d.dic", "n\n", 1, true, false},  {"create d.dic", "", 1, true, false},
      {"create d.dic", "\n", 1, true, false},   {"create d.dic", "maybe\n", 1, true, false},
      {"create d.dic", "y\n", 0, true, true},   {"create d.dic", "yes\n", 0, true, true},
      {"create --yes d.dic", "", 0, false, true}, {"create d.dic -y", "", 0, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.args) + " answered " + c.answer);
    Write("d.dic", before);
    Ran r = Run("vkdic", c.args, c.answer);
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_EQ(c.asked, Has(r.err, "vkdic: d.dic exists: replace it? [y/N] ")) << r.err;
    if (c.replaced) {
      EXPECT_EQ(256u, Read("d.dic").size());  // an empty dictionary is its header
    } else {
      EXPECT_EQ(before, Read("d.dic"));
      EXPECT_TRUE(Has(r.err, "d.dic is left as it was")) << r.err;
    }
  }
  Ran r = Run("vkdic", "create new.dic");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);
  EXPECT_EQ(256u, Read("new.dic").size());
}

// Every Shift-JIS code whose second byte is 0x5C ("\") or 0x7C ("|") that the
// table maps, as the bytes of one character each.
std::vector<std::string> TrailBackslashCharacters() {
  TConvTable table(JoinPath(ProgramFolder(), "cp932.tbl"));
  EXPECT_TRUE(table.Load());
  std::vector<std::string> chars;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead > 0x9F && lead < 0xE0) continue;
    for (int trail : {0x5C, 0x7C}) {
      if (table.Map(static_cast<uint32_t>(lead << 8 | trail)) == 0) continue;
      chars.push_back(std::string{static_cast<char>(lead), static_cast<char>(trail)});
    }
  }
  return chars;
}

TEST_F(VkdicTest, ShiftJisRoundTripsInBothModes) {
  std::vector<std::string> chars = TrailBackslashCharacters();
  ASSERT_GT(chars.size(), 60u);  // ソ, 十, 表, 能, 予 ... and the 0x7C ones
  // Each character before an escape and before the letter an escape would
  // take: in Shift-JIS "ソ" + "n" is 0x83 0x5C 0x6E, which is no line feed.
  std::string sjis;
  for (const std::string& c : chars) {
    sjis += c + "\\n" + c + "n\t" + c + "\\t" + c + "t\t" + c + "\\\\" + c + "\\\\\t" + c +
            "|\t15\n";
  }
  Write("sjis.tsv", sjis);
  // iconv tells what the characters are.
  ASSERT_EQ(0, Shell("iconv -f CP932 -t UTF-8 sjis.tsv >utf8.tsv").status);
  const std::string utf8 = Read("utf8.tsv");
  ASSERT_TRUE(Has(utf8, "ソ\\nソn\tソ\\tソt\tソ\\\\ソ\\\\\tソ|\t15\n")) << utf8.substr(0, 200);

  Ran r = Run("vkdic", "--engine VKC620 import --bytes b.dic sjis.tsv");
  ASSERT_EQ(0, r.status) << r.err;
  r = Run("vkdic", "--engine VKC620 import u.dic utf8.tsv");
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(SortedLines(sjis), SortedLines(Run("vkdic", "export --bytes b.dic").out));
  EXPECT_EQ(SortedLines(utf8), SortedLines(Run("vkdic", "export b.dic").out));
  // Stored bytes, decoded by iconv, are what the default mode writes.
  Ran piped = Shell("\"$VKDIC\" export --bytes u.dic | iconv -f CP932 -t UTF-8");
  EXPECT_EQ(0, piped.status) << piped.err;
  EXPECT_EQ(Run("vkdic", "export u.dic").out, piped.out);
  // Characters with two codes (the NEC-selected IBM extensions 0xED, 0xEE
  // repeat the IBM ones) are stored as the code iconv writes, byte for byte
  // the dictionary that iconv's Shift-JIS makes.
  ASSERT_EQ(0, Shell("iconv -f UTF-8 -t CP932 utf8.tsv >back.tsv").status);
  ASSERT_EQ(0, Run("vkdic", "--engine VKC620 import --bytes back.dic back.tsv").status);
  EXPECT_EQ(Read("back.dic"), Read("u.dic"));
  // Typed on a UTF-8 terminal, found.
  Write("word", "ソ\nソn");
  r = Shell("exec \"$VKDIC\" find u.dic \"$(cat word)\"");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("ソ\\nソn\tソ\\tソt\tソ\\\\ソ\\\\\tソ|\t15\n", r.out);
  r = Run("vkdic", "search u.dic 表 --prefix");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Has(r.out, "表\\n表n\t")) << r.out;
}

TEST_F(VkdicTest, ShiftJisWithoutAMappingIsNeverDropped) {
  // 0x85 0x40 has no mapping in CP932; a lone lead byte at the end none either.
  MakeWin32(std::string("star\t\x90\xaf\x85\x40\nend\tx\x81\ncat\t\x94\x4c\n\x8c\xa2\t\x82\xa2\x82\xca\n"));
  Ran r = Run("vkdic", "export w.dic");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("cat\t猫\t\t\t0\nend\tx\\x81\t\t\t0\nstar\t星\\x85\\x40\t\t\t0\n犬\tいぬ\t\t\t0\n", r.out);
  EXPECT_EQ(2u, Count(r.err, "are written as \\xNN")) << r.err;
  EXPECT_TRUE(Has(r.err, "vkdic: star: codes without a mapping in Shift-JIS (Windows CP932)"))
      << r.err;
  // A lead byte before a byte that cannot end a code (here a tab) is written
  // as an escape in byte mode too, so the tab after it stays a tab.
  Write("lead.tsv", "tab\t\\x83\\t\nsep\t\x83\\\\\n");
  ASSERT_EQ(0, Run("vkdic", "--engine VKC620 import --bytes lead.dic lead.tsv").status);
  // "ソ" and a backslash that stands for itself, which export writes escaped.
  EXPECT_EQ("sep\t\x83\\\\\\\t\t\t0\ntab\t\\x83\\t\t\t\t0\n",
            Run("vkdic", "export --bytes lead.dic").out);
  // The escapes read back as the same bytes.
  Write("back.tsv", r.out);
  ASSERT_EQ(0, Run("vkdic", "--engine VKC620 import again.dic back.tsv").status);
  EXPECT_EQ(Run("vkdic", "export --bytes w.dic").out, Run("vkdic", "export --bytes again.dic").out);
  EXPECT_EQ(Read("w.dic"), Read("again.dic"));
  // A character Shift-JIS has no code for is refused on the way in.
  Write("euro.tsv", "euro\t€\nyen\t¥ではなく円\n");
  r = Run("vkdic", "import w.dic euro.tsv");
  EXPECT_EQ(1, r.status);
  EXPECT_TRUE(Has(r.err, "euro.tsv:1: the translation has U+20AC, which Shift-JIS (Windows "
                         "CP932) has no code for"))
      << r.err;
  r = Run("vkdic", "find w.dic 犬");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("犬\tいぬ\t\t\t0\n", r.out);
  EXPECT_EQ("cat\t猫\t\t\t0\n", Run("vkdic", "find w.dic cat").out);
  r = Run("vkdic", "find w.dic €");
  EXPECT_EQ(2, r.status);
  EXPECT_TRUE(Has(r.err, "U+20AC")) << r.err;
  // A table by its declared name, and one that is not there.
  EXPECT_EQ(0, Run("vkdic", "find --table 'Shift-JIS (Windows CP932)' w.dic cat").status);
  r = Run("vkdic", "find --table nosuch w.dic cat");
  EXPECT_EQ(2, r.status);
  EXPECT_TRUE(Has(r.err, "no conversion table nosuch")) << r.err;
}

TEST_F(VkdicTest, ImportStopsAtASignalAndKeepsWhatItStored) {
  const std::string tsv = NumberedLines(250000);
  Write("big.tsv", tsv);
  std::vector<std::string> all = Lines(tsv);
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    ::unlink(dir_.Path("d.dic").c_str());
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      if (::chdir(dir_.path().c_str()) != 0) ::_exit(99);
      int err = ::open("err", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(err, 2);
      std::string prog = Program();
      ::execl(prog.c_str(), "vkdic", "import", "d.dic", "big.tsv", static_cast<char*>(nullptr));
      ::_exit(98);
    }
    // Once the dictionary exists the import is under way.
    for (int i = 0; i < 1000 && !Exists("d.dic"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::kill(pid, sig);
    int status = 0;
    ASSERT_EQ(pid, ::waitpid(pid, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(2, WEXITSTATUS(status));
    std::string err = Read("err");
    EXPECT_TRUE(Has(err, "stopped by SIG")) << err;
    EXPECT_TRUE(Has(err, ", the rest not read: ")) << err;
    long held = Held(err);
    ASSERT_GE(held, 0) << err;
    EXPECT_LT(held, 250000);
    Ran out = Run("vkdic", "export d.dic");
    EXPECT_EQ(0, out.status) << out.err;
    std::vector<std::string> got = Lines(out.out);
    ASSERT_EQ(static_cast<size_t>(held), got.size());
    EXPECT_TRUE(std::equal(got.begin(), got.end(), all.begin()));
    // The message tells the last line read, and that many entries are stored.
    EXPECT_TRUE(Has(err, "after big.tsv:" + std::to_string(held) + ",")) << err;
  }
}

TEST(Progress, TextTellsDoneOfTotalRateAndTimeLeft) {
  struct Case {
    int64_t done, total;
    double seconds;
    const char* unit;
    const char* text;
  } cases[] = {
      {0, 100, 0, "entries", "[..........] 0 of 100 entries 0%"},
      {50, 100, 2, "entries", "[#####.....] 50 of 100 entries 50%  25/s  0:02 left"},
      {100, 100, 4, "entries", "[##########] 100 of 100 entries 100%  25/s"},
      {150, 100, 1, "entries", "[##########] 150 of 100 entries 100%  150/s"},
      {2048, 4096, 0.5, "bytes", "[#####.....] 2 KB of 4 KB 50%"},
      {20 << 20, 40 << 20, 10, "bytes", "[#####.....] 20 MB of 40 MB 50%  2.0 MB/s  0:10 left"},
      {42, 0, 0, "lines", "42 lines"},
      {42, 0, 2, "lines", "42 lines  21/s"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.text, ProgressText(c.done, c.total, c.seconds, c.unit, 10)) << c.text;
  EXPECT_EQ("1:02:03", FormatDuration(3723));
}

TEST_F(VkdicTest, ProgressOnATerminalOnly) {
  Write("big.tsv", NumberedLines(20000));
  // script(1) gives the program a terminal for its standard error.
  Ran r = Shell("script -qec \"\\\"$VKDIC\\\" import t.dic big.tsv\" /dev/null");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Has(r.out, "KB of ")) << r.out;
  EXPECT_TRUE(Has(r.out, "\r\033[K")) << r.out;
  r = Shell("script -qec \"\\\"$VKDIC\\\" export t.dic t.tsv\" /dev/null");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Has(r.out, " of 20000 entries")) << r.out;
  r = Shell("script -qec \"\\\"$VKDIC\\\" import s.dic - <big.tsv\" /dev/null");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Has(r.out, " lines")) << r.out;
  // Off a terminal: the summary alone.
  r = Run("vkdic", "import f.dic big.tsv");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("vkdic: f.dic: 20000 entries stored\n", r.err);
  r = Run("vkdic", "export f.dic f.tsv");
  EXPECT_EQ("", r.err);
}

TEST_F(VkdicTest, UsageErrorsShowTheCommandsUsageOnly) {
  struct Case {
    const char* args;
    const char* why;
    const char* usage;
  } cases[] = {
      {"find d.dic", "find: wrong number of operands", "usage: vkdic find DICT WORD"},
      {"create d.dic --prefix", "--prefix does not belong to create", "usage: vkdic create DICT"},
      {"set d.dic w", "set needs something to change", "usage: vkdic set DICT WORD"},
      {"set d.dic w --level 16", "--level takes a number from 0 to 15, not 16", "usage: vkdic set"},
      {"find d.dic w --prefix --substring", "exclude each other", "usage: vkdic find"},
      {"rename d.dic a", "rename: wrong number", "usage: vkdic rename DICT OLD NEW"},
      {"frobnicate d.dic", "unknown command frobnicate", "try 'vkdic --help'"},
      {"", "no command given", "try 'vkdic --help'"},
      {"--engine EPWING create e.dic", "unknown engine EPWING", "usage: vkdic"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Ran r = Run("vkdic", c.args);
    EXPECT_EQ(2, r.status);
    EXPECT_TRUE(Has(r.err, c.why)) << r.err;
    EXPECT_TRUE(Has(r.err, c.usage)) << r.err;
    EXPECT_FALSE(Has(r.err, "Commands")) << r.err;  // not the whole help
    EXPECT_LE(Lines(r.err).size(), 3u) << r.err;
  }
  Ran r = Run("vkdic", "find d.dic w");
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("vkdic: d.dic: No such file or directory\n", r.err);
  EXPECT_TRUE(Has(Run("vkdic", "find d.dic w --bad").err, "try 'vkdic find --help'"));
}

TEST_F(VkdicTest, HelpForEachCommandAndTheVersion) {
  Ran r = Run("vkdic", "--help");
  EXPECT_EQ(0, r.status);
  for (const char* c : {"create", "import", "export", "find", "search", "set", "erase", "rename",
                        "info", "stats", "optimize"})
    EXPECT_TRUE(Has(r.out, std::string("\n  ") + c + " ")) << c;
  struct Case {
    const char* args;
    const char* phrase;
  } cases[] = {
      {"find --help", "--substring"},
      {"import --help", "Exit status: 0 every line stored, 1 some lines refused, 2 stopped"},
      {"create --help", "--yes"},
      {"stats --help", "block fill"},
      {"help set", "--attr"},
      {"optimize --help", "Exit status: 0 done, 1 stopped"},
  };
  for (const Case& c : cases) {
    r = Run("vkdic", c.args);
    EXPECT_EQ(0, r.status) << c.args;
    EXPECT_TRUE(Has(r.out, c.phrase)) << c.args << "\n" << r.out;
    EXPECT_FALSE(Has(r.out, "Commands")) << c.args;
  }
  r = Run("vkdic", "--version");
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0u, r.out.find("vkdic ")) << r.out;
}

TEST_F(VkdicTest, EraseRenameAndSetChangeOneEntry) {
  Write("in.tsv", "apple\tりんご\t\t\t2\nbanana\tバナナ\tex\tbanana\t3\ncherry\tさくらんぼ\n");
  ASSERT_EQ(0, Run("vkdic", "import d.dic in.tsv").status);
  struct Step {
    const char* args;
    int status;
    const char* message;  // a phrase of standard error, or empty for none
  } steps[] = {
      {"erase d.dic cherry nothing", 1, "nothing: not found"},
      {"rename d.dic apple banana", 1, "banana exists already in d.dic"},
      {"rename d.dic nothing fig", 1, "nothing: not found"},
      {"rename d.dic apple fig", 0, ""},
      {"set d.dic banana --japa 'バナナ (果物)' --pron '' --level 7", 0, ""},
      {"set d.dic fig --exp 'a fig' --attr 0x25", 0, ""},
      {"set d.dic nothing --level 1", 1, "nothing: not found"},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.args);
    Ran r = Run("vkdic", s.args);
    EXPECT_EQ(s.status, r.status) << r.err;
    if (*s.message)
      EXPECT_TRUE(Has(r.err, s.message)) << r.err;
    else
      EXPECT_EQ("", r.err);
  }
  Ran r = Run("vkdic", "set d.dic fig --pron " + std::string(1001, 'p'));
  EXPECT_EQ(2, r.status);
  EXPECT_TRUE(Has(r.err, "the pronunciation has 1001 characters")) << r.err;
  EXPECT_EQ("banana\tバナナ (果物)\tex\t\t7\nfig\tりんご\ta fig\t\t5\n", Run("vkdic", "export d.dic").out);
  // The same on a Win32 dictionary, through the table.
  Write("w.tsv", "犬\tいぬ\n猫\tねこ\n");
  ASSERT_EQ(0, Run("vkdic", "--engine VKC620 import w.dic w.tsv").status);
  EXPECT_EQ(0, Run("vkdic", "rename w.dic 犬 狗").status);
  EXPECT_EQ(0, Run("vkdic", "set w.dic 猫 --japa ネコ").status);
  EXPECT_EQ(0, Run("vkdic", "erase w.dic 狗").status);
  EXPECT_EQ("猫\tネコ\t\t\t0\n", Run("vkdic", "export w.dic").out);
}

TEST_F(VkdicTest, FindExactlyByPrefixSubstringOrIgnoringCase) {
  Write("in.tsv", "Apple\tりんご\napple\tりんご2\napplet\t小さなアプリ\npineapple\tパイナップル\n");
  ASSERT_EQ(0, Run("vkdic", "import d.dic in.tsv").status);
  struct Case {
    const char* args;
    int status;
    std::vector<std::string> words;
  } cases[] = {
      {"find d.dic apple", 0, {"apple"}},
      {"find d.dic APPLE", 1, {}},
      {"find d.dic APPLE --ignore-case", 0, {"Apple", "apple"}},
      {"find d.dic app --prefix", 0, {"apple", "applet"}},
      {"find d.dic APP --prefix --ignore-case", 0, {"Apple", "apple", "applet"}},
      {"find d.dic apple --substring", 0, {"apple", "applet", "pineapple"}},
      {"find d.dic PLE --substring --ignore-case", 0, {"Apple", "apple", "applet", "pineapple"}},
      {"find d.dic PLET --substring", 1, {}},
      {"find d.dic zzz --substring", 1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Ran r = Run("vkdic", c.args);
    EXPECT_EQ(c.status, r.status) << r.err;
    EXPECT_EQ(c.words, cvtest::Headwords(r.out));
  }
}

TEST_F(VkdicTest, InfoAndStatsInWords) {
  Write("in.tsv", NumberedLines(500) + "a-much-longer-headword-than-the-rest\tx\n");
  struct Case {
    const char* engine;
    const char* kind;
  } cases[] = {{"VKCU8L", "kind: UTF-8 headwords, BOCU-1 texts (VKCU8L)"},
               {"VKCUB", "kind: UTF-16 big-endian headwords and texts (VKCUB)"},
               {"VKCUL", "kind: UTF-16 little-endian headwords and texts (VKCUL)"},
               {"VKC620", "(VKC620)"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.engine);
    std::string dic = std::string(c.engine) + ".dic";
    ASSERT_EQ(0, Run("vkdic", std::string("--engine ") + c.engine + " import " + dic + " in.tsv").status);
    Ran r = Run("vkdic", "info " + dic);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(Has(r.out, c.kind)) << r.out;
    EXPECT_TRUE(Has(r.out, "\nversion: 5.00\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "\nentries: 501\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "\nblock size: 256 bytes\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "\nfile size: " + std::to_string(Read(dic).size()) + " bytes\n"))
        << r.out;
    r = Run("vkdic", "stats " + dic);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(Has(r.out, "entries: 501\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "longest headword: 36 ")) << r.out;
    EXPECT_TRUE(Has(r.out, "a-much-longer-headword-than-the-rest")) << r.out;
    EXPECT_TRUE(Has(r.out, "block fill: ")) << r.out;
    EXPECT_FALSE(Has(r.out, "cannot be walked")) << r.out;
  }
  // Every unit of the data area is either in a block or free.
  Ran r = Run("vkdic", "stats VKCU8L.dic");
  unsigned units = 0, free = 0;
  ASSERT_EQ(2, std::sscanf(r.out.c_str() + r.out.find("units: "), "units: %u of 256 bytes, %u free",
                           &units, &free))
      << r.out;
  EXPECT_GT(units, free);
}

// Entries stored in a shuffled order leave blocks out of order and free
// units behind; optimize packs them in every engine and keeps every entry.
TEST_F(VkdicTest, OptimizePacksTheBlocksAndTellsTheVerdict) {
  std::vector<std::string> lines = Lines(NumberedLines(3000));
  std::vector<std::string> shuffled = lines;
  for (size_t i = 0; i < shuffled.size(); ++i) std::swap(shuffled[i], shuffled[(i * 7919) % shuffled.size()]);
  std::string tsv;
  for (const std::string& l : shuffled) tsv += l + "\n";
  Write("in.tsv", tsv);
  for (const char* engine : {"VKCU8L", "VKCUB", "VKCUL", "VKC620"}) {
    SCOPED_TRACE(engine);
    const std::string dic = std::string(engine) + ".dic";
    ASSERT_EQ(0, Run("vkdic", std::string("--engine ") + engine + " import " + dic + " in.tsv").status);
    ASSERT_EQ(0, Run("vkdic", "erase " + dic + " w0000001 w0000500 w0000501 w0002999").status);
    const std::string exported = Run("vkdic", "export " + dic).out;
    Ran r = Run("vkdic", "stats " + dic);
    EXPECT_FALSE(Has(r.out, " 0 free")) << r.out;
    r = Run("vkdic", "optimize " + dic);
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_EQ("", r.err);
    EXPECT_TRUE(Has(r.out, dic + " optimised: its blocks stand in index order with no free unit between them; ")) << r.out;
    EXPECT_TRUE(Has(r.out, " bytes (正常終了しました)\n")) << r.out;
    EXPECT_TRUE(Has(r.out, " bytes to " + std::to_string(Read(dic).size()) + " bytes")) << r.out;
    r = Run("vkdic", "stats " + dic);
    EXPECT_TRUE(Has(r.out, " 0 free")) << r.out;
    EXPECT_EQ(exported, Run("vkdic", "export " + dic).out);
  }
  // On a terminal a progress line counts the blocks.
  {
    Ran r = Shell("script -qec \"\\\"$VKDIC\\\" optimize VKCU8L.dic\" /dev/null");
    EXPECT_EQ(0, r.status) << r.err;
    EXPECT_TRUE(Has(r.out, " blocks 100%")) << r.out;
  }
}

// A signal stops the optimisation at its first step: the file keeps every
// entry and a later run finishes it. A hangup the program was started to
// ignore (nohup) does not stop it.
TEST_F(VkdicTest, OptimizeStopsAtASignalUnlessItIsIgnored) {
  std::vector<std::string> lines = Lines(NumberedLines(3000));
  std::string tsv;
  for (size_t i = 0; i < lines.size(); ++i) tsv += lines[(i * 7919) % lines.size()] + "\n";
  Write("in.tsv", tsv);
  ASSERT_EQ(0, Run("vkdic", "import d.dic in.tsv").status);
  const std::string exported = Run("vkdic", "export d.dic").out;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(sig);
    Ran r = RunSignalled("vkdic", {"optimize", "d.dic"}, sig);
    EXPECT_EQ(1, r.status) << r.err;
    EXPECT_EQ("", r.out);
    EXPECT_EQ(std::string("vkdic: the optimisation of d.dic stopped by ") + SignalName(sig) +
                  "; the blocks moved so far keep their new places and every entry is kept (最適化を中止しました)\n",
              r.err);
    EXPECT_EQ(exported, Run("vkdic", "export d.dic").out);
    EXPECT_FALSE(Has(Run("vkdic", "stats d.dic").out, " 0 free"));
  }
  Ran r = RunSignalled("vkdic", {"optimize", "d.dic"}, SIGHUP, SIGHUP);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Has(r.out, "d.dic optimised: ")) << r.out;
  EXPECT_TRUE(Has(Run("vkdic", "stats d.dic").out, " 0 free"));
  EXPECT_EQ(exported, Run("vkdic", "export d.dic").out);
}

TEST_F(VkdicTest, OptimizeRefusesWhatItCannotOpenOrTrust) {
  Ran r = Run("vkdic", "optimize none.dic");
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("vkdic: none.dic: No such file or directory\n", r.err);
  Write("not.dic", std::string(600, 'x'));
  r = Run("vkdic", "optimize not.dic");
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("", r.out);
  // An index entry that names a unit beyond the data area: refused before
  // anything moves, the file left as it was.
  Write("in.tsv", NumberedLines(400));
  ASSERT_EQ(0, Run("vkdic", "import d.dic in.tsv").status);
  std::string bytes = Read("d.dic");
  const size_t ext = uint8_t(bytes[184]) | uint8_t(bytes[185]) << 8;
  bytes[256 + ext] = char(0xF0);
  bytes[256 + ext + 1] = char(0x7F);
  Write("d.dic", bytes);
  r = Run("vkdic", "optimize d.dic");
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ("vkdic: cannot optimise d.dic: a read or write failed, or the file is damaged; it is as it was "
            "before (ディスクアクセスでエラーが発生しました 辞書が正しくありません)\n",
            r.err);
  EXPECT_EQ(bytes, Read("d.dic"));
}

TEST(ToolDic, AnEngineWithoutTheExportsItNeedsIsNamed) {
  vktest::TempDir dir;
  TToolDic dic(cvtest::FakeFolder());
  EXPECT_FALSE(dic.Open("VKCUL", dir.Path("x.dic"), true));
  EXPECT_TRUE(Has(dic.errorText(), "lacks VK")) << dic.errorText();
  EXPECT_TRUE(Has(dic.errorText(), "cannot load the VKCUL engine library")) << dic.errorText();
}

}  // namespace
}  // namespace vk
