// Field text conversion: each log line's exact text and each counter, the
// edge cases of lead bytes and substitutes, the cuts that keep lines within
// their buffers as whole UTF-8, and round trips through the generated CP932
// table checked against iconv.
#include "FieldConv.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <random>
#include <string>
#include <vector>

#include "ConvTestUtil.h"
#include "support/TempDir.h"
#include "util/ProgramFolder.h"
#include "util/Utf8.h"

namespace vk {
namespace {

using convtest::TableFrom;
using Lines = std::vector<std::string>;

// A small Shift-JIS-like table: 0x81 and 0x82 are lead bytes, 0x81A0 and
// 0x5A ("Z") have no mapping.
const char kSjisTable[] =
    "#Name: Test SJIS\n"
    "0x05 0x0005\n0x41 0x0041\n0x61 0x0061\n0x20 0x0020\n0xB1 0xFF71\n"
    "0x8140 0x3000\n0x82A0 0x3042\n0x82A2 0x3044\n";

bool IsWellFormedUtf8(const std::string& s) {
  size_t pos = 0;
  while (pos < s.size()) {
    if (NextUtf8(s, &pos) >= kStrayByte) return false;
  }
  return true;
}

class FieldConv : public ::testing::Test {
 protected:
  void SetUp() override {
    sjis_ = TableFrom(dir_, kSjisTable);
    state_.log = &log_;
    state_.recordNumber = 7;
  }

  std::u16string ToUnicode(const char* src, const char* word = "A", const char* field = kFieldJapa,
                           const TConvTable* table = nullptr) {
    std::u16string dst = u"stale";
    ConvertFieldToUnicode(state_, table ? *table : *sjis_, src, &dst, word, field);
    return dst;
  }

  vktest::TempDir dir_;
  std::unique_ptr<TConvTable> sjis_;
  TDumpLines log_;
  TFieldConvState state_;
};

TEST_F(FieldConv, ToUnicodeConvertsMappedCodes) {
  EXPECT_EQ(ToUnicode("A\x82\xA0\xB1 \x81\x40\x82\xA2"), u"A\u3042\uFF71 \u3000\u3044");
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_EQ(state_.undefCount, 0);
  EXPECT_EQ(state_.multiByteErrorCount, 0);
}

TEST_F(FieldConv, ToUnicodeEmptyFieldGivesEmptyText) {
  EXPECT_EQ(ToUnicode(""), u"");
  EXPECT_EQ(ToUnicode(nullptr), u"");
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(FieldConv, ToUnicodeReportsEachProblemOnce) {
  struct Case {
    const char* what;
    const char* src;
    std::u16string out;
    Lines lines;
    int undef;
    int multiByte;
  } cases[] = {
      {"dangling lead byte keeps the text before it", "a\x82\xA0\x82", u"a\u3042",
       {"7 : 訳語 : MultiByte Error [0x82] : [\\x5A]"}, 0, 1},
      {"lead byte alone", "\x81", u"", {"7 : 訳語 : MultiByte Error [0x81] : [\\x5A]"}, 0, 1},
      {"two-byte code without a mapping shows four digits", "\x81\xA0" "a", u"a",
       {"7 : 訳語 : UndefChar [0x81A0] : [\\x5A]"}, 1, 0},
      {"any non-zero byte after a lead byte is its trail", "\x81\x41" "a", u"a",
       {"7 : 訳語 : UndefChar [0x8141] : [\\x5A]"}, 1, 0},
      {"one-byte code prints two digits", "a\x80\x05", u"a\x05", {"7 : 訳語 : UndefChar [0x80] : [\\x5A]"}, 1, 0},
      {"small one-byte code keeps its leading zero", "\x01", u"", {"7 : 訳語 : UndefChar [0x01] : [\\x5A]"}, 1, 0},
      {"undefined characters, then a dangling lead", "Z\x81\xA0Z\x82", u"",
       {"7 : 訳語 : UndefChar [0x5A] : [\\x5A]", "7 : 訳語 : UndefChar [0x81A0] : [\\x5A]",
        "7 : 訳語 : UndefChar [0x5A] : [\\x5A]", "7 : 訳語 : MultiByte Error [0x82] : [\\x5A]"},
       3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    log_.lines.clear();
    state_.undefCount = 0;
    state_.multiByteErrorCount = 0;
    EXPECT_EQ(ToUnicode(c.src, "Z"), c.out);
    EXPECT_EQ(log_.lines, c.lines);
    EXPECT_EQ(state_.undefCount, c.undef);
    EXPECT_EQ(state_.multiByteErrorCount, c.multiByte);
  }
}

TEST_F(FieldConv, ANonLeadByteIsAlwaysOneCode) {
  // 0xB1 is not a lead byte, so the 0x82 after it still starts a pair.
  EXPECT_EQ(ToUnicode("\xB1\x82\xA0\xB1"), u"\uFF71\u3042\uFF71");
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(FieldConv, SubstituteEntriesConvertSilently) {
  auto t = TableFrom(dir_, "#UndefUnicode: 0x3013\n0x41 0x41\n0x8140 0x3000\n");
  EXPECT_EQ(ToUnicode("A\x42\x81\x41", "A", kFieldWord, t.get()), u"A\u3013\u3013");
  EXPECT_TRUE(log_.lines.empty());
  EXPECT_EQ(state_.undefCount, 0);
}

TEST_F(FieldConv, CountersAndRecordNumberAccumulateOverFields) {
  state_.recordNumber = 12345;
  ToUnicode("Z", "A", kFieldWord);
  ToUnicode("\x82", "A", kFieldPron);
  state_.recordNumber = 12346;
  ToUnicode("ZZ", "A", kFieldExp);
  EXPECT_EQ(state_.undefCount, 3);
  EXPECT_EQ(state_.multiByteErrorCount, 1);
  EXPECT_EQ(log_.lines, (Lines{"12345 : 見出語 : UndefChar [0x5A] : [A]",
                               "12345 : 発音記号 : MultiByte Error [0x82] : [A]",
                               "12346 : 用例 : UndefChar [0x5A] : [A]", "12346 : 用例 : UndefChar [0x5A] : [A]"}));
}

TEST_F(FieldConv, AnsiHeadwordIsShownThroughTheWordTable) {
  // The field's table knows nothing of 0x82; the headword still shows through the Word table.
  auto latin = TableFrom(dir_, "0x41 0x41\n0xC4 0x00C4\n");
  state_.wordTable = sjis_.get();
  ToUnicode("\x82", "\x82\xA0\x81\xA0Z\xB1\x82", kFieldJapa, latin.get());
  EXPECT_EQ(log_.lines, (Lines{"7 : 訳語 : UndefChar [0x82] : [あ\\x81\\xA0\\x5Aｱ\\x82]"}));
  EXPECT_EQ(AnsiForLog(*latin, "A\xC4\x82"), "AÄ\\x82");
  EXPECT_EQ(AnsiForLog(*sjis_, nullptr), "");
}

TEST_F(FieldConv, AnsiLinesAreCutToTwoHundredNinetyNineBytes) {
  const std::string head = "7 : 訳語 : UndefChar [0x5A] : [";
  std::string word(400, 'a');
  ToUnicode("Z", word.c_str());
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0], head + std::string(299 - head.size(), 'a'));

  // Shift-JIS headwords grow as UTF-8: the cut falls on a character boundary.
  log_.lines.clear();
  std::string sjisWord;
  for (int i = 0; i < 150; ++i) sjisWord += "\x82\xA0";
  ToUnicode("Z", sjisWord.c_str());
  ASSERT_EQ(log_.lines.size(), 1u);
  const std::string& line = log_.lines[0];
  EXPECT_LE(line.size(), 299u);
  EXPECT_GE(line.size(), 297u);
  EXPECT_TRUE(IsWellFormedUtf8(line));
  EXPECT_EQ(line.rfind(head + "あああ", 0), 0u);
}

class FieldConvToAnsi : public FieldConv {
 protected:
  void SetUp() override {
    FieldConv::SetUp();
    sjis_->Invert();
  }
  std::string ToAnsi(const char16_t* src, const char16_t* word = u"wörd", const char* field = kFieldJapa,
                     const TConvTable* table = nullptr) {
    std::string dst = "stale";
    ConvertFieldToAnsi(state_, table ? *table : *sjis_, src, &dst, word, field);
    return dst;
  }
};

TEST_F(FieldConvToAnsi, ConvertsMappedUnits) {
  EXPECT_EQ(ToAnsi(u"A\u3042\uFF71 \u3000"), "A\x82\xA0\xB1 \x81\x40");
  EXPECT_EQ(ToAnsi(u""), "");
  EXPECT_EQ(ToAnsi(nullptr), "");
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(FieldConvToAnsi, EntryAboveTwoHundredFiftyFiveIsTwoBytesHighFirst) {
  auto t = TableFrom(dir_, "0x0141 0x0101\n0xFF 0x00FF\n0x01 0x0001\n0x8140 0x3000\n");
  t->Invert();
  EXPECT_EQ(ToAnsi(u"\u0101\u00FF\u0001\u3000", u"w", kFieldJapa, t.get()), "\x01\x41\xFF\x01\x81\x40");
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(FieldConvToAnsi, ReportsUnitsWithoutMapping) {
  state_.recordNumber = 3;
  EXPECT_EQ(ToAnsi(u"a\u4E00b\u0005\u00E9", u"語\U0001F600\xD800x", kFieldExp), "a\x05");
  EXPECT_EQ(log_.lines, (Lines{"3 : 用例 : UndefChar [0x4E00] : [語😀\uFFFDx]",
                               "3 : 用例 : UndefChar [0x62] : [語😀\uFFFDx]",
                               "3 : 用例 : UndefChar [0xE9] : [語😀\uFFFDx]"}));
  EXPECT_EQ(state_.undefCount, 3);
  EXPECT_EQ(state_.multiByteErrorCount, 0);
}

TEST_F(FieldConvToAnsi, UndefAnsiSubstituteConvertsSilently) {
  auto t = TableFrom(dir_, "#UndefAnsi: 0x3F\n0x41 0x41\n");
  t->Invert();
  EXPECT_EQ(ToAnsi(u"A\u4E00A", u"w", kFieldJapa, t.get()), "A?A");
  EXPECT_TRUE(log_.lines.empty());
}

TEST_F(FieldConvToAnsi, LinesAreCutToOneHundredNinetyNineBytes) {
  const std::string head = "7 : 見出語 : UndefChar [0x4E00] : [";
  std::u16string word(300, u'w');
  ToAnsi(u"\u4E00", word.c_str(), kFieldWord);
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_EQ(log_.lines[0], head + std::string(199 - head.size(), 'w'));

  log_.lines.clear();
  std::u16string kana(100, u'\u3042');
  ToAnsi(u"\u4E00", kana.c_str(), kFieldWord);
  ASSERT_EQ(log_.lines.size(), 1u);
  EXPECT_LE(log_.lines[0].size(), 199u);
  EXPECT_GE(log_.lines[0].size(), 197u);
  EXPECT_TRUE(IsWellFormedUtf8(log_.lines[0]));
  EXPECT_EQ(log_.lines[0].rfind(head + "あああ", 0), 0u);
}

TEST_F(FieldConv, NoLogStillCounts) {
  state_.log = nullptr;
  ToUnicode("Z\x82");
  EXPECT_EQ(state_.undefCount, 1);
  EXPECT_EQ(state_.multiByteErrorCount, 1);
}

// Random Shift-JIS text made of the generated table's codes converts as
// iconv converts it, and back to the same bytes through the inverted table
// whenever each character's code is the one inversion picks.
TEST(FieldConvCp932, AgreesWithIconvAndRoundTrips) {
  TConvTable forward(JoinPath(ProgramFolder(), "cp932.tbl"));
  TConvTable inverse(JoinPath(ProgramFolder(), "cp932.tbl"));
  ASSERT_TRUE(forward.Load());
  ASSERT_TRUE(inverse.Load());
  inverse.Invert();
  std::vector<uint32_t> codes;
  for (uint32_t c = 1; c < TConvTable::kMapSize; ++c) {
    if (forward.Map(c) != 0) codes.push_back(c);
  }
  ASSERT_GT(codes.size(), 9000u);
  iconv_t cd = iconv_open("UTF-16LE", "CP932");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  const uint32_t seed = convtest::Seed(932);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  TDumpLines log;
  TFieldConvState state;
  state.log = &log;
  state.wordTable = &forward;
  for (int round = 0; round < 500; ++round) {
    std::string sjis;
    size_t n = rng() % 40;
    for (size_t i = 0; i < n; ++i) {
      uint32_t c = codes[rng() % codes.size()];
      if (c > 0xFF) sjis.push_back(static_cast<char>(c >> 8));
      sjis.push_back(static_cast<char>(c & 0xFF));
    }
    std::u16string got;
    ConvertFieldToUnicode(state, forward, sjis.c_str(), &got, sjis.c_str(), kFieldJapa);

    std::u16string viaIconv(sjis.size() + 1, u'\0');
    char* ip = sjis.data();
    char* op = reinterpret_cast<char*>(viaIconv.data());
    size_t inleft = sjis.size(), outleft = viaIconv.size() * 2;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(iconv(cd, &ip, &inleft, &op, &outleft), static_cast<size_t>(-1));
    viaIconv.resize((viaIconv.size() * 2 - outleft) / 2);
    ASSERT_EQ(got, viaIconv) << "round " << round;  // little-endian host

    std::string back;
    ConvertFieldToAnsi(state, inverse, got.c_str(), &back, got.c_str(), kFieldJapa);
    std::u16string again;
    ConvertFieldToUnicode(state, forward, back.c_str(), &again, back.c_str(), kFieldJapa);
    ASSERT_EQ(again, got) << "round " << round;
  }
  EXPECT_TRUE(log.lines.empty());
  EXPECT_EQ(state.undefCount, 0);
  iconv_close(cd);

  // Arbitrary bytes: every problem is one line, and every line is UTF-8.
  for (int round = 0; round < 300; ++round) {
    std::string bytes;
    size_t n = rng() % 30;
    for (size_t i = 0; i < n; ++i) bytes.push_back(static_cast<char>(1 + rng() % 255));
    log.lines.clear();
    state.undefCount = state.multiByteErrorCount = 0;
    std::u16string out;
    ConvertFieldToUnicode(state, forward, bytes.c_str(), &out, bytes.c_str(), kFieldWord);
    ASSERT_EQ(log.lines.size(), static_cast<size_t>(state.undefCount + state.multiByteErrorCount));
    ASSERT_LE(state.multiByteErrorCount, 1);
    for (const std::string& line : log.lines) ASSERT_TRUE(IsWellFormedUtf8(line)) << line;
  }
}

}  // namespace
}  // namespace vk
