// vkdic check as a user runs it on dictionaries of every engine, clean and
// damaged byte by byte: the problems and verdicts in words, the exit status,
// a file left byte for byte as it was without --repair, and a repair that a
// second check finds clean.
#include <dirent.h>
#include <signal.h>

#include <cstdio>
#include <functional>
#include <set>

#include "CliRun.h"
#include "cli/CheckWords.h"
#include "format/BuildTraits.h"
#include "support/DamagedFile.h"

namespace vk {
namespace {

using cvtest::Ran;

bool Has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

const char kLines[] = "apple\tringo\nbanana\tbanana\t\tba\ncherry\tsakuranbo\n";

class VkdicCheckTest : public cvtest::CliFixture {
 protected:
  void Make(const std::string& engine, const std::string& name) {
    Write("in.tsv", kLines);
    Ran r = Run("vkdic", "--engine " + engine + " import " + name + " in.tsv");
    ASSERT_EQ(0, r.status) << r.err;
  }

  // Damages the file `name` of build B.
  template <class B>
  void Damage(const std::string& name, const std::function<void(vktest::DamagedFile<B>&)>& edit) {
    vktest::DamagedFile<B> f(dir_.Path(name));
    edit(f);
    f.Save();
  }

  // Applies `edit` to `name` in the build of `engine`.
  template <class F>
  void DamageAs(const std::string& engine, const std::string& name, F edit) {
    if (engine == "VKCU8L") Damage<TraitsVKCU8L>(name, edit);
    if (engine == "VKCUB") Damage<TraitsVKCUB>(name, edit);
    if (engine == "VKCUL") Damage<TraitsVKCUL>(name, edit);
    if (engine == "VKC620") Damage<TraitsVKC620>(name, edit);
  }

  // The names in the scratch folder.
  std::set<std::string> Names() {
    std::set<std::string> names;
    DIR* d = ::opendir(dir_.path().c_str());
    while (dirent* e = d ? ::readdir(d) : nullptr) names.insert(e->d_name);
    if (d) ::closedir(d);
    return names;
  }
};

const char* const kEngines[] = {"VKCU8L", "VKCUB", "VKCUL", "VKC620"};

TEST_F(VkdicCheckTest, CleanFileOfEveryEngine) {
  for (const char* engine : kEngines) {
    SCOPED_TRACE(engine);
    const std::string name = std::string(engine) + ".dic";
    Make(engine, name);
    const std::string before = Read(name);
    Ran r = Run("vkdic", "check " + name);
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(r.out, "checking " + name + " (" + engine + ")\n"
                     "status: the link check starts (ﾘﾝｸ状態を調べています)\n"
                     "status: checking for units that no block uses (未使用ﾌﾞﾛｯｸをﾁｪｯｸしています)\n"
                     "status: checking the blocks the index names (使用ﾌﾞﾛｯｸのﾘﾝｸをﾁｪｯｸしています)\n"
                     "status: the links are sound; the entries are checked next (ﾘﾝｸに異常はありませんでした)\n"
                     "status: no problem found (辞書に異常はありませんでした)\n" +
                         name + ": no problems, 3 entries checked\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(Read(name), before);
  }
}

// Each damage in words, the file unchanged by a check without --repair and
// no scratch copy left behind; --repair mends what it can, and a second check
// tells what is left.
TEST_F(VkdicCheckTest, DamageIsToldInWordsAndRepairedOnlyWhenAsked) {
  using F8 = vktest::DamagedFile<TraitsVKCU8L>;
  struct Case {
    const char* name;
    std::function<void(F8&)> damage;
    std::vector<std::string> told;  // lines of the first check
    std::vector<std::string> repaired;  // lines of the check with --repair
    int afterRepair;  // exit status of a check after the repair
  };
  const std::vector<Case> cases = {
      {"entry count wrong", [](F8& f) { f.SetWordCount(9); },
       {"problem: the header counts 9 entries, the check counted 3",
        "  not repaired: --repair writes the counted number", "d.dic: 1 problem found, 3 entries checked"},
       {"repaired: the header's entry count 9 corrected to 3", "d.dic: no problems, 3 entries checked"},
       0},
      {"index entry beyond the data area",
       [](F8& f) {
         f.AppendIndexEntry(5000, "zz");
         f.SetWordCount(9);
       },
       {"problem: index entry 1 names unit 5000, beyond the data area",
        "  engine: インデックスが不正な物理ブロック番号を示しています.[lbn:1][pbn:5000]",
        "  not repaired: --repair removes the index entry",
        "problem: a data block cannot be read; the check of the entries ends here"},
       {"  repair: the index entry is removed, and every later one beyond the data area",
        "repaired: 1 index entry naming units beyond the data area removed",
        "checking d.dic again after the repair", "repaired: the header's entry count 9 corrected to 3",
        "d.dic: no problems, 3 entries checked"},
       0},
      {"entry longer than its block",
       [](F8& f) {
         auto b = f.Block(0, 1);
         vk::StoreLE16(&b[2], 300);
         f.PutBlock(0, b);
       },
       {"problem: an entry's length, 300 bytes, is more than its block holds (251), at unit 0 (index entry 0, the block of \"apple\"), "
        "byte 0x0002 of the block, file offset 0x{off}",
        "  engine: Fatal:英単語＋日本語訳が長すぎます[300 > 251] / pbn:[0]*1  lbn:[0] cp:[0002h] => off:[{offh}]",
        "d.dic: 1 problem found, 0 entries checked"},
       {"d.dic: 1 problem found, 0 entries checked"},
       1},
      {"first headword differs from the index",
       [](F8& f) {
         auto b = f.Block(0, 1);
         b[6] = 'x';
         f.PutBlock(0, b);
       },
       {"problem: the first headword of the block at unit 0 (index entry 0) is \"xpple\", its index entry says "
        "\"apple\", at unit 0 (index entry 0, the block of \"apple\"), byte 0x0002 of the block, file offset 0x{off}",
        // The block is left at the mismatch, so none of its entries counts.
        "status: no problem found (辞書に異常はありませんでした)", "d.dic: 1 problem found, 0 entries checked"},
       {"d.dic: 1 problem found, 0 entries checked"},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Make("VKCU8L", "d.dic");
    Damage<TraitsVKCU8L>("d.dic", c.damage);
    // Where the second byte of unit 0 is in the file, as the detail tells it.
    char off[16];
    std::snprintf(off, sizeof off, "%08X", unsigned(F8(dir_.Path("d.dic")).UnitAt(0) + 2));
    auto told = [&](std::string line) {
      for (const auto& [from, to] : {std::make_pair(std::string("{offh}"), std::string(off) + "h"),
                                     std::make_pair(std::string("{off}"), std::string(off))}) {
        size_t at = line.find(from);
        if (at != std::string::npos) line.replace(at, from.size(), to);
      }
      return line;
    };
    const std::string damaged = Read("d.dic");
    const std::set<std::string> names = Names();
    Ran r = Run("vkdic", "check d.dic");
    EXPECT_EQ(1, r.status) << r.out << r.err;
    for (const std::string& line : c.told) EXPECT_TRUE(Has(r.out, told(line) + "\n")) << told(line) << "\n" << r.out;
    EXPECT_EQ(Read("d.dic"), damaged);
    EXPECT_EQ(Names(), names);

    r = Run("vkdic", "check --repair d.dic");
    EXPECT_EQ(c.afterRepair, r.status) << r.out << r.err;
    for (const std::string& line : c.repaired) EXPECT_TRUE(Has(r.out, line + "\n")) << line << "\n" << r.out;
    r = Run("vkdic", "check d.dic");
    EXPECT_EQ(c.afterRepair, r.status) << r.out << r.err;
    if (c.afterRepair == 0) {
      EXPECT_TRUE(Has(r.out, "d.dic: no problems, 3 entries checked\n")) << r.out;
    }
    ::unlink(dir_.Path("d.dic").c_str());
  }
}

TEST_F(VkdicCheckTest, EveryEngineTellsItsProblems) {
  // The free chain's head outside the data area, in each build's header order.
  for (const char* engine : kEngines) {
    SCOPED_TRACE(engine);
    const std::string name = std::string(engine) + ".dic";
    Make(engine, name);
    DamageAs(engine, name, [](auto& f) { f.SetFreeBlock(9999); });
    const std::string damaged = Read(name);
    Ran r = Run("vkdic", "check " + name);
    EXPECT_EQ(1, r.status) << r.out << r.err;
    EXPECT_TRUE(Has(r.out,
                    "problem: the free chain leads (after unit -1) to unit 9999, which is outside the data area or "
                    "cannot be read\n"
                    "  engine: 空きブロックが不正なブロックを示しています[pbn:-1->9999]\n"))
        << r.out;
    EXPECT_TRUE(Has(r.out, name + ": 1 problem found, 0 entries checked\n")) << r.out;
    EXPECT_EQ(Read(name), damaged);
  }
}

TEST_F(VkdicCheckTest, ShiftJisHeadwordsAreToldAsText) {
  // "あい" (0x82 0xA0 0x82 0xA2) becomes "あう" in its block.
  Write("in.tsv", "あい\tlove\n");
  Ran r = Run("vkdic", "--engine VKC620 import w.dic in.tsv");
  ASSERT_EQ(0, r.status) << r.err;
  Damage<TraitsVKC620>("w.dic", [](vktest::DamagedFile<TraitsVKC620>& f) {
    auto b = f.Block(0, 1);
    ASSERT_EQ(b[6 + 3], 0xA2);
    b[6 + 3] = 0xA4;
    f.PutBlock(0, b);
  });
  r = Run("vkdic", "check w.dic");
  EXPECT_EQ(1, r.status) << r.out << r.err;
  EXPECT_TRUE(Has(r.out, "problem: the first headword of the block at unit 0 (index entry 0) is \"あう\", its index "
                         "entry says \"あい\", at unit 0 (index entry 0, the block of \"あい\")"))
      << r.out;
  EXPECT_TRUE(Has(r.out, "Index:[あい] <> Block:[あう]")) << r.out;
}

TEST_F(VkdicCheckTest, FilesThatCannotBeCheckedFail) {
  Write("text.dic", std::string(300, 'x'));
  struct Case {
    const char* args;
    const char* err;
  } cases[] = {
      {"check none.dic", "vkdic: none.dic: No such file or directory\n"},
      {"check text.dic", "vkdic: no engine accepts text.dic as a dictionary\n"},
      {"check", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Ran r = Run("vkdic", c.args);
    EXPECT_EQ(2, r.status) << r.out << r.err;
    if (c.err) {
      EXPECT_EQ(r.err, c.err);
    }
    EXPECT_EQ(r.out, "");
  }
}

// A signal stops a check before it reads an entry: without --repair while
// the scratch copy is made (no copy is left behind), with it at the first
// poll. Either way the file is as it was and the command fails.
TEST_F(VkdicCheckTest, ASignalStopsTheCheckAndLeavesTheFile) {
  Make("VKCU8L", "d.dic");
  const std::string bytes = Read("d.dic");
  const std::set<std::string> names = Names();
  Ran r = RunSignalled("vkdic", {"check", "d.dic"}, SIGINT);
  EXPECT_EQ(2, r.status);
  EXPECT_EQ("vkdic: stopped by SIGINT\n", r.err);
  EXPECT_EQ(names, Names());
  EXPECT_EQ(bytes, Read("d.dic"));
  r = RunSignalled("vkdic", {"check", "--repair", "d.dic"}, SIGTERM);
  EXPECT_EQ(2, r.status);
  EXPECT_TRUE(Has(r.err, "vkdic: stopped by SIGTERM; what was repaired before is kept\n")) << r.err;
  EXPECT_EQ(bytes, Read("d.dic"));
  r = RunSignalled("vkdic", {"check", "d.dic"}, SIGHUP, SIGHUP);
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(names, Names());
}

TEST_F(VkdicCheckTest, ProgressOnATerminalOnly) {
  Make("VKCU8L", "d.dic");
  Ran r = RunShell("script -qec \"'$BIN/vkdic' check d.dic\" /dev/null");
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(Has(r.out, "\r\033[K")) << r.out;
  r = Run("vkdic", "check d.dic");
  EXPECT_FALSE(Has(r.out + r.err, "\r")) << r.out << r.err;
}

// The matcher that tells the engine's texts apart: its numbers, its
// headwords (which may hold the format's own brackets) and what it refuses.
TEST(CheckWords, FormatsMatchTheirTextsOnly) {
  struct Row {
    const char* format;
    std::string text;
    bool matches;
    std::vector<std::string> args;
  } rows[] = {
      {"[lbn:%d][pbn:%d]", "[lbn:4][pbn:5000]", true, {"4", "5000"}},
      {"[pbn:%d->%d]", "[pbn:-1->9999]", true, {"-1", "9999"}},
      {"cp:[%04Xh] => off:[%08Xh]", "cp:[0A02h] => off:[00001A02h]", true, {"0A02", "00001A02"}},
      {"Index:[%s] <> Block:[%s]", "Index:[a] <> b] <> Block:[c]]", true, {"a] <> b", "c]"}},
      {"%s [pbn=%d]", "text [pbn=32]", true, {"text", "32"}},
      {"%d%%", "50%", true, {"50"}},
      {"[lbn:%d]", "[lbn:]", false, {}},
      {"[lbn:%d]", "[lbn:4] more", false, {}},
      {"Fatal:x", "Fatal:y", false, {}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    std::vector<std::string> args;
    EXPECT_EQ(MatchFormat(r.format, r.text, &args), r.matches);
    if (r.matches) {
      EXPECT_EQ(args, r.args);
    }
  }
}

}  // namespace
}  // namespace vk
