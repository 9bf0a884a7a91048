// The converter's utility library: bounded and recent lists, case-blind
// comparison (against ICU), UTF-8 helpers, the file object, the line reader
// (line ends, ignored bytes and buffer edges, against a model with every read
// size) and the program's folder.
#include <errno.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include "ConvTestUtil.h"
#include "support/TempDir.h"
#include "util/BoundedList.h"
#include "util/File.h"
#include "util/LineReader.h"
#include "util/NoCase.h"
#include "util/ProgramFolder.h"
#include "util/RecentList.h"
#include "util/Utf8.h"

#if VK_HAVE_ICU
#include <unicode/uchar.h>
#include <unicode/ustring.h>
#endif

namespace vk {
namespace {

using convtest::WriteFile;

std::vector<std::string> Items(const TRecentList& list) {
  std::vector<std::string> v;
  for (int i = 0; i < list.Count(); ++i) v.push_back(list.Item(i));
  return v;
}

TEST(BoundedList, KeepsTheNewestCapacityEntries) {
  TBoundedList list(3);
  for (const char* s : {"a", "b", "c", "d", "e"}) list.Append(s);
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Item(0), "c");
  EXPECT_EQ(list.Item(2), "e");
  list.MoveToNewest(0);
  EXPECT_EQ(list.Item(0), "d");
  EXPECT_EQ(list.Item(2), "c");
  list.Remove(1);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Item(1), "c");
  TBoundedList none(0);
  none.Append("x");
  EXPECT_EQ(none.Count(), 0);
}

TEST(RecentList, EleventhPathDropsTheOldest) {
  TRecentList list(10, true);
  for (int i = 0; i < 11; ++i) list.Add("/d/" + std::to_string(i) + ".dic");
  ASSERT_EQ(list.Count(), 10);
  EXPECT_EQ(list.Item(0), "/d/1.dic");
  EXPECT_EQ(list.Item(9), "/d/10.dic");
}

TEST(RecentList, ReusedPathMovesToNewestWithItsFirstSpelling) {
  TRecentList list(10, true);
  list.Add("/Dic/Eiwa.dic");
  list.Add("/dic/other.dic");
  list.Add("/DIC/EIWA.DIC");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"/dic/other.dic", "/Dic/Eiwa.dic"}));
  // Non-ASCII letters fold too: the same path with a different case is the same entry.
  list.Add("/dic/Ä.dic");
  list.Add("/dic/ä.DIC");
  EXPECT_EQ(list.Count(), 3);
  EXPECT_EQ(list.Item(2), "/dic/Ä.dic");
}

TEST(RecentList, ReusingAnEntryOfAFullListDropsNothing) {
  TRecentList list(3, true);
  for (const char* s : {"a", "b", "c"}) list.Add(s);
  list.Add("A");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"b", "c", "a"}));
}

TEST(RecentList, CaseSensitiveListKeepsBothSpellings) {
  TRecentList list(10, false);
  list.Add("/a.dic");
  list.Add("/A.dic");
  list.Add("/a.dic");
  EXPECT_EQ(Items(list), (std::vector<std::string>{"/A.dic", "/a.dic"}));
}

TEST(NoCase, ComparesCharactersNotBytes) {
  struct Case {
    const char* a;
    const char* b;
    bool equal;
  } cases[] = {
      {"", "", true},
      {"ABC", "abc", true},
      {"abc", "abcd", false},
      {"Ωμέγα", "ΩΜΈΓΑ", true},
      {"Москва", "МОСКВА", true},
      {"ＶＯＫＡ", "ｖｏｋａ", true},
      {"ＶＯＫＡ", "voka", false},
      {"Ÿ", "ÿ", true},
      {"İ", "i", true},
      {"ß", "SS", false},
      {"\xff", "\xff", true},        // stray bytes stand for themselves
      {"\xc3", "\xe3", false},
      {"\xc3\x84", "\xe4", false},   // "Ä" is not the Latin-1 byte of "ä"
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EqualNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(EqualNoCase(c.b, c.a), c.equal) << c.b << " / " << c.a;
  }
}

#if VK_HAVE_ICU
TEST(NoCase, LowersLikeIcuInItsBlocks) {
  struct Range {
    char32_t from, to;
  } ranges[] = {{0x0000, 0x024F}, {0x0370, 0x052F}, {0xFF00, 0xFFEF}};
  for (const Range& r : ranges) {
    for (char32_t c = r.from; c <= r.to; ++c) {
      if (c >= 0x0180 && c <= 0x024F) {
        // Latin Extended-B is outside the table: every letter stands for itself.
        EXPECT_EQ(LowerChar(c), c);
        continue;
      }
      EXPECT_EQ(static_cast<UChar32>(LowerChar(c)), u_tolower(static_cast<UChar32>(c)))
          << std::hex << "U+" << static_cast<uint32_t>(c);
    }
  }
}
#endif

TEST(Utf8, CutNeverSplitsACharacter) {
  const std::string text = "a\xc3\xa4\xe8\xaa\x9e\xf0\x9f\x98\x80z";  // a ä 語 😀 z
  const size_t ends[] = {0, 1, 3, 6, 10, 11};
  for (size_t budget = 0; budget <= text.size() + 1; ++budget) {
    std::string s = text;
    CutUtf8(&s, budget);
    size_t expect = 0;
    for (size_t e : ends) {
      if (e <= budget) expect = e;
    }
    EXPECT_EQ(s.size(), expect) << "budget " << budget;
    EXPECT_EQ(s, text.substr(0, expect));
  }
}

TEST(Utf8, DecodesStrayBytesOneByOne) {
  struct Case {
    std::string in;
    std::vector<char32_t> out;
  } cases[] = {
      {"a\xc3\xa4", {'a', 0xE4}},
      {"\xc3", {kStrayByte + 0xC3}},
      {"\xc3" "a", {kStrayByte + 0xC3, 'a'}},
      {"\xc0\x80", {kStrayByte + 0xC0, kStrayByte + 0x80}},  // over-long
      {"\xed\xa0\x80", {kStrayByte + 0xED, kStrayByte + 0xA0, kStrayByte + 0x80}},  // surrogate
      {"\xf4\x90\x80\x80", {kStrayByte + 0xF4, kStrayByte + 0x90, kStrayByte + 0x80, kStrayByte + 0x80}},
      {"\xf0\x9f\x98\x80", {0x1F600}},
  };
  for (const Case& c : cases) {
    std::vector<char32_t> got;
    size_t pos = 0;
    while (pos < c.in.size()) got.push_back(NextUtf8(c.in, &pos));
    EXPECT_EQ(got, c.out);
  }
}

#if VK_HAVE_ICU
TEST(Utf8, Utf16ToUtf8AgreesWithIcuSubstitutingLoneSurrogates) {
  const uint32_t seed = convtest::Seed(4242);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  const char16_t pool[] = {u'a', 0xE4, 0x8A9E, 0xD83D, 0xDE00, 0xDBFF, 0xDFFF, 0xFFFF, 0x7FF, 0x800};
  for (int i = 0; i < 2000; ++i) {
    std::u16string s;
    int len = static_cast<int>(rng() % 12);
    for (int k = 0; k < len; ++k) s.push_back(pool[rng() % (sizeof(pool) / sizeof(pool[0]))]);
    std::string icu(s.size() * 3 + 1, '\0');
    int32_t n = 0;
    UErrorCode e = U_ZERO_ERROR;
    u_strToUTF8WithSub(icu.data(), static_cast<int32_t>(icu.size()), &n, s.data(),
                       static_cast<int32_t>(s.size()), 0xFFFD, nullptr, &e);
    ASSERT_TRUE(U_SUCCESS(e));
    icu.resize(static_cast<size_t>(n));
    ASSERT_EQ(ToUtf8Text(s.c_str()), icu);
    ASSERT_EQ(FromUtf8Text(icu), FromUtf8Text(ToUtf8Text(s.c_str())));
  }
}
#endif

TEST(File, OpenFailuresKeepTheSystemError) {
  vktest::TempDir dir;
  TFile f;
  EXPECT_FALSE(f.Open(dir.Path("missing"), TFile::kRead));
  EXPECT_EQ(f.lastError(), ENOENT);
  EXPECT_FALSE(f.Open(dir.path(), TFile::kRead));
  EXPECT_EQ(f.lastError(), EISDIR);
  EXPECT_FALSE(f.IsOpen());
}

TEST(File, WriteCloseReopenRead) {
  vktest::TempDir dir;
  std::string bytes(5000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  {
    TFile f;
    ASSERT_TRUE(f.Open(dir.Path("f"), TFile::kCreate));
    ASSERT_TRUE(f.Write(bytes.data(), bytes.size()));
  }
  TFile f;
  ASSERT_TRUE(f.Open(dir.Path("f"), TFile::kRead));
  std::string back(6000, 'x');
  long got = f.Read(back.data(), back.size());
  ASSERT_EQ(got, 5000);
  back.resize(5000);
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(f.Read(back.data(), 1), 0);
  // Creating again empties the file.
  ASSERT_TRUE(f.Open(dir.Path("f"), TFile::kCreate));
  f.Close();
  ASSERT_TRUE(f.Open(dir.Path("f"), TFile::kRead));
  EXPECT_EQ(f.Read(back.data(), 1), 0);
}

// Reads at most `chunk` bytes a call, and fails every call from `failAt` on.
class ChunkedFile : public TFile {
 public:
  ChunkedFile(size_t chunk, int failAt = -1) : chunk_(chunk), failAt_(failAt) {}
  long Read(void* buf, size_t n) override {
    if (failAt_ >= 0 && calls_++ >= failAt_) {
      error_ = EIO;
      return -1;
    }
    return TFile::Read(buf, n < chunk_ ? n : chunk_);
  }

 private:
  size_t chunk_;
  int failAt_;
  int calls_ = 0;
};

std::vector<std::string> ReadAllLines(TFile* f) {
  TLineReader reader(f);
  std::vector<std::string> lines;
  std::string line;
  while (reader.ReadLine(&line)) lines.push_back(line);
  return lines;
}

std::vector<std::string> LinesOf(const vktest::TempDir& dir, const std::string& bytes, size_t chunk = 1 << 20) {
  WriteFile(dir.Path("lines"), bytes);
  ChunkedFile f(chunk);
  EXPECT_TRUE(f.Open(dir.Path("lines"), TFile::kRead));
  return ReadAllLines(&f);
}

using Lines = std::vector<std::string>;

TEST(LineReader, LineEndsAndIgnoredBytes) {
  vktest::TempDir dir;
  struct Case {
    std::string bytes;
    Lines lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\n", {"a"}},
      {"a\r", {"a"}},
      {"a\rb\nc\r\nd", {"a", "b", "c", "d"}},
      {"\n", {""}},
      {"\r\r", {"", ""}},
      {"\n\r\n\r", {"", "", ""}},
      {"a\n\nb", {"a", "", "b"}},
      {"a\n\r\nb", {"a", "", "b"}},
      {"a\r\rb", {"a", "", "b"}},
      {std::string("x\0y\x1az", 5), {"xyz"}},
      {std::string("a\r\0\nb", 5), {"a", "b"}},   // an ignored byte does not split CR LF
      {std::string("a\n\x1a", 3), {"a"}},         // a trailing end-of-file mark is no line
      {std::string("\0", 1), {}},
      {"  lead\ttab ", {"  lead\ttab "}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LinesOf(dir, c.bytes), c.lines) << testing::PrintToString(c.bytes);
    EXPECT_EQ(LinesOf(dir, c.bytes, 1), c.lines) << "byte by byte: " << testing::PrintToString(c.bytes);
  }
}

TEST(LineReader, CrLfAcrossTheBufferEdgeAndLongLines) {
  vktest::TempDir dir;
  std::string first(TLineReader::kBufferSize - 1, 'a');  // its CR is the buffer's last byte
  std::string longLine(3 * TLineReader::kBufferSize + 17, 'b');
  std::string bytes = first + "\r\n" + longLine + "\r\nc";
  EXPECT_EQ(LinesOf(dir, bytes), (Lines{first, longLine, "c"}));
}

TEST(LineReader, AReadFailureEndsTheFile) {
  vktest::TempDir dir;
  std::string bytes = std::string(TLineReader::kBufferSize, 'a') + "b\nc\n";
  WriteFile(dir.Path("f"), bytes);
  ChunkedFile f(1 << 20, 1);  // the first buffer comes, the second read fails
  ASSERT_TRUE(f.Open(dir.Path("f"), TFile::kRead));
  EXPECT_EQ(ReadAllLines(&f), (Lines{std::string(TLineReader::kBufferSize, 'a')}));
}

// Random files of line ends, ignored bytes and text, read with every kind of
// short read, against a model that drops the ignored bytes first.
TEST(LineReader, AgreesWithAModel) {
  vktest::TempDir dir;
  const uint32_t seed = convtest::Seed(1234);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  const char pool[] = {'a', 'b', '\r', '\n', '\0', '\x1a', ' ', '\xe3'};
  for (int round = 0; round < 200; ++round) {
    std::string bytes;
    size_t len = rng() % 3000;
    for (size_t i = 0; i < len; ++i) bytes.push_back(pool[rng() % sizeof(pool)]);
    std::string clean;
    for (char c : bytes) {
      if (c != '\0' && c != '\x1a') clean.push_back(c);
    }
    Lines model;
    std::string cur;
    bool open = false;
    for (size_t i = 0; i < clean.size(); ++i) {
      char c = clean[i];
      if (c == '\r' || c == '\n') {
        model.push_back(cur);
        cur.clear();
        open = false;
        if (c == '\r' && i + 1 < clean.size() && clean[i + 1] == '\n') ++i;
      } else {
        cur.push_back(c);
        open = true;
      }
    }
    if (open) model.push_back(cur);
    size_t chunk = 1 + rng() % 1500;
    ASSERT_EQ(LinesOf(dir, bytes, chunk), model) << "round " << round << ", reads of " << chunk;
  }
}

TEST(ProgramFolder, IsTheFolderOfTheRunningProgram) {
  std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder[0], '/');
  EXPECT_NE(folder.back(), '/');
  EXPECT_EQ(::access(JoinPath(folder, "test_converter").c_str(), X_OK), 0) << folder;
  EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
  EXPECT_EQ(JoinPath("/", "b"), "/b");
}

}  // namespace
}  // namespace vk
