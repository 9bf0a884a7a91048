// The bytes the engine writes are part of its contract: files pass between
// users and between versions of the engine. These tests load one generated
// set of entries in several orders, with fast mode on and off, by merge and
// by plain replace, then edit a loaded file entry by entry, and compare every
// file byte for byte with a reference file written by an earlier engine and
// kept in tests/data/reference. Any change in how the engine gets there
// (buffering, how a block is split or searched) must leave these unchanged.
//
// VK_WRITE_REFERENCE_FILES=1 writes the reference files instead of comparing;
// only do that on purpose, with an engine whose files are known to be right.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "api/ApiTestUtil.h"
#include "support/TempDir.h"

#ifndef VK_REFERENCE_DIR
#error "VK_REFERENCE_DIR names the folder of the reference files"
#endif

namespace vktest {
namespace {

struct GenEntry {
  std::u16string word, japa, exp, pron;
};

// A small fixed generator, so that the entries never depend on the
// standard library's distributions.
class Lcg {
 public:
  explicit Lcg(uint64_t seed) : s_(seed) {}
  uint32_t Next() {
    s_ = s_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<uint32_t>(s_ >> 33);
  }
  uint32_t Below(uint32_t n) { return Next() % n; }

 private:
  uint64_t s_;
};

std::u16string Syllables(Lcg& r, int count) {
  static const char* const kParts[] = {"ka", "ri", "to", "ne", "sa", "mu", "el", "on", "st", "ar",
                                       "ing", "ph", "qu", "x", "th", "ou", "ve", "b", "le", "z"};
  std::u16string s;
  for (int i = 0; i < count; ++i)
    for (const char* p = kParts[r.Below(20)]; *p; ++p) s.push_back(static_cast<char16_t>(*p));
  return s;
}

std::u16string Japanese(Lcg& r, int count) {
  std::u16string s;
  for (int i = 0; i < count; ++i) {
    switch (r.Below(6)) {
      case 0: s.push_back(u'、'); break;
      case 1:
      case 2: s.push_back(static_cast<char16_t>(0x3041 + r.Below(0x53))); break;  // hiragana
      case 3: s.push_back(static_cast<char16_t>(0x30A1 + r.Below(0x56))); break;  // katakana
      default: s.push_back(static_cast<char16_t>(0x4E00 + r.Below(0x2000))); break;
    }
  }
  return s;
}

// Entries of an English-Japanese word list, with Japanese headwords among
// them unless `narrow`, some headwords several times (merge material), a few
// long translations and examples; in the narrow library only ASCII.
// Big enough for many splits, index growth and free runs, small enough to
// keep in the repository.
std::vector<GenEntry> Generate(bool narrow) {
  Lcg r(20261210);
  std::vector<GenEntry> out;
  std::vector<std::u16string> words;
  for (int i = 0; i < 450; ++i) {
    GenEntry e;
    if (!narrow && r.Below(8) == 0) {
      e.word = Japanese(r, 1 + static_cast<int>(r.Below(6)));
    } else if (!words.empty() && r.Below(6) == 0) {
      e.word = words[r.Below(static_cast<uint32_t>(words.size()))];
    } else {
      e.word = Syllables(r, 1 + static_cast<int>(r.Below(5)));
      if (r.Below(10) == 0) e.word += u" " + Syllables(r, 2);
      if (r.Below(15) == 0) e.word[0] = static_cast<char16_t>(e.word[0] - 32);
    }
    words.push_back(e.word);
    const int japa = r.Below(40) == 0 ? 200 + static_cast<int>(r.Below(300)) : 1 + static_cast<int>(r.Below(30));
    e.japa = narrow ? Syllables(r, japa / 2 + 1) : Japanese(r, japa);
    if (r.Below(5) == 0) e.pron = Syllables(r, 2);
    if (r.Below(7) == 0) {
      const int exp = r.Below(20) == 0 ? 600 + static_cast<int>(r.Below(900)) : 5 + static_cast<int>(r.Below(60));
      e.exp = narrow ? Syllables(r, exp / 2) : Japanese(r, exp / 2) + u" " + Syllables(r, exp / 4);
    }
    out.push_back(e);
  }
  return out;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool WantWrite() {
  const char* v = std::getenv("VK_WRITE_REFERENCE_FILES");
  return v && *v && std::string(v) != "0";
}

// Where two files first differ, for the failure message.
std::string FirstDifference(const std::string& a, const std::string& b) {
  size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size()) + ", first difference at byte " +
         std::to_string(i);
}

enum class Order { kSorted, kReverse, kShuffled };

template <class L>
class ReferenceFilesTest : public ::testing::Test {
 public:
  using C = typename L::C;
  using Rec = typename vk::EngineExports<C>::Rec;

  ReferenceFilesTest() : lib_(L::kName), entries_(Generate(std::is_same<C, char>::value)) {}

  std::basic_string<C> Name(const std::string& path) { return std::basic_string<C>(path.begin(), path.end()); }

  std::vector<GenEntry> InOrder(Order order) {
    std::vector<GenEntry> v = entries_;
    auto byWord = [](const GenEntry& a, const GenEntry& b) { return a.word < b.word; };
    if (order == Order::kSorted) std::stable_sort(v.begin(), v.end(), byWord);
    if (order == Order::kReverse) {
      std::stable_sort(v.begin(), v.end(), byWord);
      std::reverse(v.begin(), v.end());
    }
    if (order == Order::kShuffled) {
      Lcg r(7);
      for (size_t i = v.size(); i > 1; --i) std::swap(v[i - 1], v[r.Below(static_cast<uint32_t>(i))]);
    }
    return v;
  }

  // Registers `entries` into a new file at `path`: merged like the
  // converter does, or replacing what is there.
  void Load(const std::string& path, const std::vector<GenEntry>& entries, bool fast, bool merge) {
    VKHandle h = lib_.CreateHandle();
    int32_t zero = 0;
    ASSERT_EQ(lib_.Create(h, Name(path).c_str(), &zero), 1);
    if (fast) lib_.SetFastMode(h, 1);
    VKQueryParam param{};
    param.clashRule = VK_CLASH_MERGE_LINES;
    param.mergeFlags = INT32_MAX & ~(VK_MERGE_TRANSLATIONS - 1);
    for (const GenEntry& e : entries) {
      const auto word = S<C>(e.word), japa = S<C>(e.japa), exp = S<C>(e.exp), pron = S<C>(e.pron);
      Rec rec{};
      rec.word = word.c_str();
      rec.japa = japa.empty() ? nullptr : japa.c_str();
      rec.exp = exp.empty() ? nullptr : exp.c_str();
      rec.pron = pron.empty() ? nullptr : pron.c_str();
      rec.attr = 0x80;
      if (merge)
        ASSERT_EQ(lib_.QueryRecord(h, &rec, &param), 0) << Utf8(e.word) << " error " << lib_.GetErrorCode(h);
      else
        ASSERT_NE(lib_.Record(h, &rec), 0) << Utf8(e.word) << " error " << lib_.GetErrorCode(h);
    }
    ASSERT_EQ(lib_.Close(h), 1);
    lib_.DeleteHandle(h);
  }

  // Edits the file at `path` one committed change at a time: replacements
  // with new texts, erasures, translation changes and renames.
  void Edit(const std::string& path) {
    VKHandle h = lib_.CreateHandle();
    ASSERT_EQ(lib_.Open(h, Name(path).c_str(), 0), 1);
    Lcg r(99);
    for (int i = 0; i < 150; ++i) {
      const GenEntry& e = entries_[r.Below(static_cast<uint32_t>(entries_.size()))];
      const auto word = S<C>(e.word);
      switch (r.Below(4)) {
        case 0: {
          const auto japa = S<C>(e.japa + e.japa.substr(0, 5));
          Rec rec{};
          rec.word = word.c_str();
          rec.japa = japa.c_str();
          lib_.Record(h, &rec);
          break;
        }
        case 1: lib_.Erase(h, word.c_str()); break;
        case 2: {
          const auto japa = S<C>(e.japa.substr(0, 3));
          lib_.ChangeJapa(h, word.c_str(), japa.c_str());
          break;
        }
        default: {
          const auto renamed = S<C>(e.word + u"s");
          lib_.Rename(h, word.c_str(), renamed.c_str());
          break;
        }
      }
    }
    ASSERT_EQ(lib_.Close(h), 1);
    lib_.DeleteHandle(h);
  }

  // Compares the file at `path` with the reference `name`, or writes it.
  void Expect(const std::string& path, const std::string& name) {
    const std::string ref = std::string(VK_REFERENCE_DIR) + "/" + L::kName + "-" + name + ".dic";
    const std::string got = ReadAll(path);
    ASSERT_FALSE(got.empty()) << path;
    if (WantWrite()) {
      std::ofstream(ref, std::ios::binary) << got;
      return;
    }
    const std::string want = ReadAll(ref);
    ASSERT_FALSE(want.empty()) << "no reference file " << ref;
    EXPECT_TRUE(got == want) << name << ": " << FirstDifference(got, want);
  }

  EngineLib<C> lib_;
  std::vector<GenEntry> entries_;
  TempDir dir_;
};

TYPED_TEST_SUITE(ReferenceFilesTest, AllLibraries, LibraryNames);

TYPED_TEST(ReferenceFilesTest, MergedInThreeOrdersWithFastModeOnAndOff) {
  const struct {
    Order order;
    const char* name;
  } orders[] = {{Order::kSorted, "sorted"}, {Order::kReverse, "reverse"}, {Order::kShuffled, "shuffled"}};
  for (const auto& o : orders) {
    for (bool fast : {true, false}) {
      const std::string name = std::string("merge-") + o.name + (fast ? "-fast" : "-slow");
      SCOPED_TRACE(name);
      const std::string path = this->dir_.Path(name + ".dic");
      this->Load(path, this->InOrder(o.order), fast, true);
      this->Expect(path, name);
    }
  }
}

TYPED_TEST(ReferenceFilesTest, ReplacedInRandomOrderThenEdited) {
  const std::string path = this->dir_.Path("replace.dic");
  this->Load(path, this->InOrder(Order::kShuffled), true, false);
  this->Expect(path, "replace-shuffled-fast");
  this->Edit(path);
  this->Expect(path, "replace-shuffled-fast-edited");
}

}  // namespace
}  // namespace vktest
