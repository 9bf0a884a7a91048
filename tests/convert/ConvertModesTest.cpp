// The six conversion modes end to end through the real engine libraries and
// the CP932 table: counters, dump log and the target's entries on a fixture
// with ASCII, Japanese, characters without a mapping, a broken multibyte
// character, merging headwords and over-long headwords; and seeded round
// trips that must give back the source where the table maps both ways.
#include <iconv.h>

#include <map>
#include <random>
#include <set>

#include "ConvertTestUtil.h"

namespace vk {
namespace {

using cvtest::Entry;
using cvtest::MakeDic;
using cvtest::ReadDic;
using cvtest::RecordingUser;
using cvtest::Show;
using cvtest::TablePath;

// UTF-8 to CP932 through the C library's converter, the oracle of these tests.
std::string Sjis(const std::string& utf8) {
  iconv_t cd = ::iconv_open("CP932", "UTF-8");
  EXPECT_NE(reinterpret_cast<iconv_t>(-1), cd);
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t inLeft = utf8.size();
  char* o = &out[0];
  size_t outLeft = out.size();
  EXPECT_NE(static_cast<size_t>(-1), ::iconv(cd, &in, &inLeft, &o, &outLeft)) << utf8;
  ::iconv_close(cd);
  out.resize(out.size() - outLeft);
  return out;
}

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// The fields of an entry without its attribute, for comparing targets.
std::vector<std::string> Texts(const std::vector<TToolEntry>& entries) {
  std::vector<std::string> out;
  for (TToolEntry e : entries) {
    e.attr = 0;
    out.push_back(Show(e));
  }
  return out;
}

class ConvertModesTest : public ::testing::Test {
 protected:
  TConvertResult Convert(int mode, const std::string& source, const std::string& target) {
    TConvertSettings s;
    s.mode = mode - 1;
    s.source = source;
    s.target = target;
    s.wordTable = s.pronTable = s.japaTable = s.expTable = TablePath("cp932.tbl");
    user_ = RecordingUser();
    TConvertDriver driver(&user_);
    return driver.Convert(s);
  }

  // The Win32 fixture, in VKC620's (byte) order.
  void MakeWin32Source(const std::string& path) {
    MakeDic("VKC620", path,
            {Entry("apple", Sjis("りんご"), "an apple a day", Sjis("アップル"), 0x81),
             Entry("Tokyo", Sjis("東京"), Sjis("東京タワー"), Sjis("トーキョー"), 0xA3),
             Entry("dog", Sjis("犬"), "", "", 0x82),
             Entry("dog\x85\x40", Sjis("いぬ"), "", "", 0x82),  // no mapping: becomes "dog"
             Entry("star", Sjis("星") + "\x85\x40", "", "", 0x81),
             Entry("broken", "ok", "abc\x82", "", 0x80),        // ends in a lead byte
             Entry("\x85\x40", "x", "", "", 0x80),              // converts to nothing
             Entry(Sjis(Repeat("漢", 100)), "kan", "", "", 0x80),  // 200 bytes; 300 in UTF-8
             Entry(Sjis("猫"), "cat", "", "", 0x80)});
  }

  // The Unicode fixture; the UTF-16 one adds headwords too long for UTF-8.
  void MakeUnicodeSource(const std::string& engine, const std::string& path, bool longOnes) {
    std::vector<TToolEntry> entries = {
        Entry("apple", "りんご", "an apple a day", "アップル", 0x81),
        Entry("Tokyo", "東京", "東京タワー", "トーキョー", 0xA3),
        Entry("café", "コーヒー店", "", "", 0x80),  // é has no CP932 code
        Entry("smile", "笑顔😀", "", "", 0x80),     // nor has the emoji's pair
        Entry("é", "e acute", "", "", 0x80),
        Entry("猫", "cat", "", "", 0x80)};
    if (longOnes) {
      entries.push_back(Entry(Repeat("字", 130), "ji", "", "", 0x80));  // 260 bytes in CP932
      entries.push_back(Entry(Repeat("漢", 100), "kan", "", "", 0x80));
    }
    MakeDic(engine, path, entries);
  }

  void ExpectCounters(int source, int rec, int undef, int multiByte, int over) {
    ASSERT_TRUE(user_.resultShown);
    EXPECT_EQ(source, user_.result.sourceCount);
    EXPECT_EQ(rec, user_.result.recCount);
    EXPECT_EQ(undef, user_.result.undefCount);
    EXPECT_EQ(multiByte, user_.result.multiByteErrorCount);
    EXPECT_EQ(over, user_.result.overCount);
  }

  vktest::TempDir dir_;
  RecordingUser user_;
};

TEST_F(ConvertModesTest, Mode1Win32ToUtf8) {
  std::string src = dir_.Path("w.dic"), dst = dir_.Path("u8.dic");
  MakeWin32Source(src);
  EXPECT_EQ(TConvertOutcome::kDone, Convert(1, src, dst).outcome);
  ExpectCounters(9, 7, 3, 1, 1);
  std::vector<std::string> log = {
      "3 : 用例 : MultiByte Error [0x82] : [broken]",
      "5 : 見出語 : UndefChar [0x8540] : [dog\\x85\\x40]",
      "6 : 訳語 : UndefChar [0x8540] : [star]",
      "7 : 見出語 : UndefChar [0x8540] : [\\x85\\x40]",
      "7 : 見出語 : empty : \\x85\\x40",
      // cut to fit 300 bytes: 27 bytes of text and 90 whole characters
      "8 : 見出語 : too long : " + Repeat("漢", 90)};
  EXPECT_EQ(log, user_.log);
  std::vector<TToolEntry> got = ReadDic(dst);
  std::vector<std::string> want = Texts({Entry("Tokyo", "東京", "東京タワー", "トーキョー"),
                                         Entry("apple", "りんご", "an apple a day", "アップル"),
                                         Entry("broken", "ok", "abc"),
                                         Entry("dog", "犬\r\nいぬ"),
                                         Entry("star", "星"),
                                         Entry("猫", "cat")});
  EXPECT_EQ(want, Texts(got));
  // The attribute byte crosses unchanged.
  std::vector<TToolEntry> source = ReadDic(src);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(source[0].attr, got[0].attr);
  EXPECT_EQ(0xA3, got[0].attr & 0xEF);  // bit 4 is the engine's own
}

TEST_F(ConvertModesTest, Mode5Win32ToUtf16KeepsTheLongHeadword) {
  std::string src = dir_.Path("w.dic"), dst = dir_.Path("u16.dic");
  MakeWin32Source(src);
  EXPECT_EQ(TConvertOutcome::kDone, Convert(5, src, dst).outcome);
  ExpectCounters(9, 8, 3, 1, 0);
  ASSERT_EQ(5u, user_.log.size());
  EXPECT_EQ("7 : 見出語 : UndefChar [0x8540] : [\\x85\\x40]", user_.log[3]);
  EXPECT_EQ("7 : 見出語 : empty : \\x85\\x40", user_.log[4]);
  std::vector<std::string> want = Texts({Entry("Tokyo", "東京", "東京タワー", "トーキョー"),
                                         Entry("apple", "りんご", "an apple a day", "アップル"),
                                         Entry("broken", "ok", "abc"),
                                         Entry("dog", "犬\r\nいぬ"),
                                         Entry("star", "星"),
                                         Entry(Repeat("漢", 100), "kan"),
                                         Entry("猫", "cat")});
  EXPECT_EQ(want, Texts(ReadDic(dst)));
  TToolDic dic;
  ASSERT_EQ("VKCUL", dic.DetectEngine(dst));
}

TEST_F(ConvertModesTest, Mode2Utf8ToWin32) {
  std::string src = dir_.Path("u8.dic"), dst = dir_.Path("w.dic");
  MakeUnicodeSource("VKCU8L", src, false);
  EXPECT_EQ(TConvertOutcome::kDone, Convert(2, src, dst).outcome);
  ExpectCounters(6, 5, 4, 0, 0);
  std::vector<std::string> log = {"3 : 見出語 : UndefChar [0xE9] : [café]",
                                  "4 : 訳語 : UndefChar [0xD83D] : [smile]",
                                  "4 : 訳語 : UndefChar [0xDE00] : [smile]",
                                  "5 : 見出語 : UndefChar [0xE9] : [é]",
                                  "5 : 見出語 : empty : é"};
  EXPECT_EQ(log, user_.log);
  std::vector<std::string> want =
      Texts({Entry("Tokyo", Sjis("東京"), Sjis("東京タワー"), Sjis("トーキョー")),
             Entry("apple", Sjis("りんご"), "an apple a day", Sjis("アップル")),
             Entry("caf", Sjis("コーヒー店")), Entry("smile", Sjis("笑顔")),
             Entry(Sjis("猫"), "cat")});
  EXPECT_EQ(want, Texts(ReadDic(dst)));
}

TEST_F(ConvertModesTest, Mode6Utf16ToWin32LogsAndCountsASilentLengthRefusal) {
  std::string src = dir_.Path("u16.dic"), dst = dir_.Path("w.dic");
  MakeUnicodeSource("VKCUL", src, true);
  EXPECT_EQ(TConvertOutcome::kDone, Convert(6, src, dst).outcome);
  // 字 x 130 is 260 bytes: the legacy engine stores nothing and says success;
  // its too-long counter tells.
  ExpectCounters(8, 6, 4, 0, 1);
  ASSERT_EQ(6u, user_.log.size());
  EXPECT_EQ("5 : 見出語 : empty : é", user_.log[4]);
  EXPECT_EQ(0u, user_.log[5].find("6 : 見出語 : too long : 字字字")) << user_.log[5];
  std::vector<std::string> want =
      Texts({Entry("Tokyo", Sjis("東京"), Sjis("東京タワー"), Sjis("トーキョー")),
             Entry("apple", Sjis("りんご"), "an apple a day", Sjis("アップル")),
             Entry("caf", Sjis("コーヒー店")), Entry("smile", Sjis("笑顔")),
             Entry(Sjis(Repeat("漢", 100)), "kan"), Entry(Sjis("猫"), "cat")});
  EXPECT_EQ(want, Texts(ReadDic(dst)));
}

TEST_F(ConvertModesTest, Mode4Utf8ToUtf16CopiesTextsAsTheyAre) {
  std::string src = dir_.Path("u8.dic"), dst = dir_.Path("u16.dic");
  MakeUnicodeSource("VKCU8L", src, false);
  EXPECT_EQ(TConvertOutcome::kDone, Convert(4, src, dst).outcome);
  ExpectCounters(6, 6, 0, 0, 0);
  EXPECT_TRUE(user_.log.empty());
  EXPECT_EQ(Texts(ReadDic(src)), Texts(ReadDic(dst)));
}

TEST_F(ConvertModesTest, Mode3Utf16ToUtf8EndsAtAHeadwordTooLongForUtf8) {
  std::string src = dir_.Path("u16.dic"), dst = dir_.Path("u8.dic");
  MakeUnicodeSource("VKCUL", src, true);
  EXPECT_EQ(TConvertOutcome::kFailed, Convert(3, src, dst).outcome);
  ASSERT_EQ(1u, user_.boxes.size());
  EXPECT_EQ("辞書の書き込みでエラーが発生しました", user_.boxes[0].text);
  // 字 x 130 (390 bytes in UTF-8) is the 6th record; the 5 before it stay.
  ExpectCounters(6, 5, 0, 0, 0);
  EXPECT_TRUE(user_.log.empty());
  std::vector<std::string> want = Texts(ReadDic(src));
  want.resize(5);
  EXPECT_EQ(want, Texts(ReadDic(dst)));
}

TEST_F(ConvertModesTest, BigEndianUtf16SidesGoThroughVKCUB) {
  std::string w = dir_.Path("w.dic"), ub = dir_.Path("ub.dic"), u8 = dir_.Path("u8.dic");
  MakeWin32Source(w);
  TConvertSettings s;
  s.mode = 4;  // Win32 -> UTF-16
  s.source = w;
  s.target = ub;
  s.bigEndian = true;
  s.wordTable = s.pronTable = s.japaTable = s.expTable = TablePath("cp932.tbl");
  TConvertDriver driver(&user_);
  EXPECT_EQ(TConvertOutcome::kDone, driver.Convert(s).outcome);
  TToolDic dic;
  EXPECT_EQ("VKCUB", dic.DetectEngine(ub));
  // UTF-16 (big-endian) -> UTF-8: the UTF-8 side has no big-endian engine.
  s.mode = 2;
  s.source = ub;
  s.target = u8;
  user_ = RecordingUser();
  EXPECT_EQ(TConvertOutcome::kFailed, driver.Convert(s).outcome);
  ASSERT_EQ(1u, user_.boxes.size());
  EXPECT_EQ("必要なDLLが見つかりません", user_.boxes[0].text);
}

// Characters the CP932 table maps both ways: code -> unit -> the same code.
struct RoundTripPool {
  std::vector<std::string> sjis;  // one character's bytes each
  std::vector<std::string> utf8;
};

RoundTripPool MakePool() {
  TConvTable table(TablePath("cp932.tbl")), inverted(TablePath("cp932.tbl"));
  EXPECT_TRUE(table.Load());
  EXPECT_TRUE(inverted.Load());
  inverted.Invert();
  RoundTripPool pool;
  for (uint32_t code = 0x20; code < 0x10000; ++code) {
    if (code == 0x7F || (code > 0xFF && !table.IsLeadByte(static_cast<uint8_t>(code >> 8))) ||
        (code <= 0xFF && table.IsLeadByte(static_cast<uint8_t>(code))))
      continue;
    uint16_t u = table.Map(code);
    if (u == 0 || (u >= 0xD800 && u < 0xE000)) continue;
    if (inverted.Map(u) != code) continue;
    std::string bytes;
    if (code > 0xFF) bytes += static_cast<char>(code >> 8);
    bytes += static_cast<char>(code & 0xFF);
    pool.sjis.push_back(bytes);
    std::string utf8;  // a unit of the basic plane, surrogates left out above
    if (u < 0x80) {
      utf8 += static_cast<char>(u);
    } else if (u < 0x800) {
      utf8 += static_cast<char>(0xC0 | (u >> 6));
      utf8 += static_cast<char>(0x80 | (u & 0x3F));
    } else {
      utf8 += static_cast<char>(0xE0 | (u >> 12));
      utf8 += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
      utf8 += static_cast<char>(0x80 | (u & 0x3F));
    }
    pool.utf8.push_back(utf8);
  }
  return pool;
}

TEST_F(ConvertModesTest, RoundTripsGiveBackTheSource) {
  static const RoundTripPool pool = MakePool();
  ASSERT_GT(pool.sjis.size(), 7000u);
  uint32_t seed = cvtest::Seed(20240611);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED repeats a run)");
  std::mt19937 rng(seed);
  auto text = [&](size_t maxLen, bool nonEmpty) {
    std::uniform_int_distribution<size_t> len(nonEmpty ? 1 : 0, maxLen);
    std::uniform_int_distribution<size_t> pick(0, pool.sjis.size() - 1);
    std::string s;
    for (size_t n = len(rng); n > 0; --n) s += pool.sjis[pick(rng)];
    return s;
  };
  std::map<std::string, TToolEntry> model;  // by headword: VKRecord replaces
  for (int i = 0; i < 300; ++i) {
    TToolEntry e = Entry(text(12, true), text(40, true), text(30, false), text(10, false),
                         static_cast<uint8_t>(0x80 | (rng() % 16)));
    model[e.word] = e;
  }
  std::vector<TToolEntry> entries;
  for (auto& kv : model) entries.push_back(kv.second);
  std::string w = dir_.Path("w.dic");
  MakeDic("VKC620", w, entries);
  std::vector<std::string> original = Texts(ReadDic(w));
  ASSERT_EQ(model.size(), original.size());
  std::sort(original.begin(), original.end());

  struct Trip {
    int there, back;
  } trips[] = {{1, 2}, {5, 6}};
  for (const Trip& t : trips) {
    SCOPED_TRACE(t.there);
    std::string mid = dir_.Path("mid" + std::to_string(t.there) + ".dic");
    std::string end = dir_.Path("end" + std::to_string(t.there) + ".dic");
    ASSERT_EQ(TConvertOutcome::kDone, Convert(t.there, w, mid).outcome);
    EXPECT_TRUE(user_.log.empty());
    ASSERT_EQ(TConvertOutcome::kDone, Convert(t.back, mid, end).outcome);
    EXPECT_TRUE(user_.log.empty());
    EXPECT_EQ(static_cast<int>(model.size()), user_.result.recCount);
    std::vector<std::string> back = Texts(ReadDic(end));
    std::sort(back.begin(), back.end());
    EXPECT_EQ(original, back);
  }

}

TEST_F(ConvertModesTest, UnicodeRoundTripCopiesAnyText) {
  static const RoundTripPool pool = MakePool();
  uint32_t seed = cvtest::Seed(7411);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED repeats a run)");
  std::mt19937 rng(seed);
  // Table characters and some that no table maps: Latin, an emoji (a pair).
  std::vector<std::string> chars = pool.utf8;
  for (const char* c : {"é", "ß", "Ω", "😀", "𠀋", "ː"}) chars.insert(chars.end(), 500, c);
  auto text = [&](size_t maxLen, bool nonEmpty) {
    std::uniform_int_distribution<size_t> len(nonEmpty ? 1 : 0, maxLen);
    std::uniform_int_distribution<size_t> pick(0, chars.size() - 1);
    std::string s;
    for (size_t n = len(rng); n > 0; --n) s += chars[pick(rng)];
    return s;
  };
  std::map<std::string, TToolEntry> model;
  for (int i = 0; i < 300; ++i) {
    TToolEntry e = Entry(text(12, true), text(40, true), text(30, false), text(10, false),
                         static_cast<uint8_t>(0x80 | (rng() % 16)));
    model[e.word] = e;
  }
  std::vector<TToolEntry> entries;
  for (auto& kv : model) entries.push_back(kv.second);
  std::string u16 = dir_.Path("u16.dic"), u8 = dir_.Path("u8.dic"), back = dir_.Path("back.dic");
  MakeDic("VKCUL", u16, entries);
  ASSERT_EQ(TConvertOutcome::kDone, Convert(3, u16, u8).outcome);
  EXPECT_EQ(static_cast<int>(model.size()), user_.result.recCount);
  ASSERT_EQ(TConvertOutcome::kDone, Convert(4, u8, back).outcome);
  std::vector<TToolEntry> a = ReadDic(u16), b = ReadDic(back);
  ASSERT_EQ(model.size(), a.size());
  EXPECT_EQ(Texts(a), Texts(b));
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) EXPECT_EQ(a[i].attr, b[i].attr) << i;
}

}  // namespace
}  // namespace vk
