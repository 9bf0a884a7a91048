// What tells the four engine builds apart, seen through the loaded libraries
// side by side: the type bytes and banner each writes, that each refuses the
// others' files with 28 and opens its own, with or without the create
// option's mark, and the one place where their headword orders differ.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/ApiTestUtil.h"
#include "support/StoredWords.h"
#include "support/TempDir.h"

namespace {

using namespace vktest;

// Each library loaded once, behind an interface of UTF-16 names; VKC620's
// narrow strings are ASCII here.
class AnyLib {
 public:
  explicit AnyLib(const char* name) : name_(name) {
    if (std::string(name) == "VKC620") {
      narrow_ = std::make_unique<EngineLib<char>>(name);
    } else {
      wide_ = std::make_unique<EngineLib<char16_t>>(name);
    }
  }
  const std::string& name() const { return name_; }

  // Creates path with the option, stores one entry, closes. True on success.
  bool MakeWithEntry(const std::string& path, int32_t option) {
    return narrow_ ? Make(*narrow_, path, option) : Make(*wide_, path, option);
  }
  // Opens path read-write: 1, or 0 with *code set.
  int32_t Open(const std::string& path, int32_t* code, bool* foundEntry) {
    return narrow_ ? OpenWith(*narrow_, path, code, foundEntry) : OpenWith(*wide_, path, code, foundEntry);
  }
  int32_t Version() { return narrow_ ? narrow_->GetVersion() : wide_->GetVersion(); }

 private:
  template <class C>
  static bool Make(EngineLib<C>& lib, const std::string& path, int32_t option) {
    VKHandle h = lib.CreateHandle();
    const auto name = S<C>(std::u16string(path.begin(), path.end()));
    bool ok = lib.Create(h, name.c_str(), &option) == 1;
    const auto word = S<C>(u"word"), japa = S<C>(u"kept");
    typename EngineLib<C>::Rec rec{};
    rec.word = word.c_str();
    rec.japa = japa.c_str();
    rec.attr = 0x80;
    ok = ok && lib.Record(h, &rec) == 1;
    ok = lib.Close(h) == 1 && ok;
    lib.DeleteHandle(h);
    return ok;
  }
  template <class C>
  static int32_t OpenWith(EngineLib<C>& lib, const std::string& path, int32_t* code, bool* foundEntry) {
    VKHandle h = lib.CreateHandle();
    const auto name = S<C>(std::u16string(path.begin(), path.end()));
    const int32_t rc = lib.Open(h, name.c_str(), 0);
    *code = lib.GetErrorCode(h);
    *foundEntry = false;
    if (rc == 1) {
      typename EngineLib<C>::Rec rec{};
      const auto word = S<C>(u"word");
      *foundEntry = lib.Find(h, word.c_str(), &rec) == 1 && U(rec.japa) == u"kept";
      lib.Close(h);
    }
    lib.DeleteHandle(h);
    return rc;
  }

  std::string name_;
  std::unique_ptr<EngineLib<char>> narrow_;
  std::unique_ptr<EngineLib<char16_t>> wide_;
};

TEST(BuildDifferences, TypeBytesAndBannersAndWhoOpensWhat) {
  struct Build {
    const char* lib;
    uint8_t dicType, charTag;
    bool unicodeBanner;  // the banner begins with U+FEFF in the file's order
  };
  const Build builds[] = {
      {"VKCU8L", 0x08, 0x10, false},
      {"VKCUB", 0x10, 0x00, true},
      {"VKCUL", 0x20, 0x00, true},
      {"VKC620", 0x06, 0x00, false},
  };
  TempDir dir;
  std::vector<std::unique_ptr<AnyLib>> libs;
  for (const Build& b : builds) libs.push_back(std::make_unique<AnyLib>(b.lib));
  for (size_t i = 0; i < libs.size(); ++i) {
    SCOPED_TRACE(builds[i].lib);
    EXPECT_EQ(libs[i]->Version(), 4096);
    for (int32_t option : {0, 1}) {
      SCOPED_TRACE("create option " + std::to_string(option));
      const std::string path = dir.Path(std::string(builds[i].lib) + std::to_string(option) + ".dic");
      ASSERT_TRUE(libs[i]->MakeWithEntry(path, option));
      const std::vector<uint8_t> bytes = ReadAll(path);
      ASSERT_GE(bytes.size(), 256u);
      EXPECT_EQ(bytes[165], builds[i].dicType | (option ? 0x80 : 0));
      EXPECT_EQ(bytes[167], builds[i].charTag);
      if (builds[i].unicodeBanner) {
        const bool big = std::string(builds[i].lib) == "VKCUB";
        EXPECT_EQ(bytes[0], big ? 0xFE : 0xFF);
        EXPECT_EQ(bytes[1], big ? 0xFF : 0xFE);
      } else {
        EXPECT_EQ(bytes[0], ' ');  // a narrow text
      }
      // Its own build opens it, create option or not, and finds the entry;
      // every other build refuses it as another engine's and leaves it be.
      for (size_t j = 0; j < libs.size(); ++j) {
        SCOPED_TRACE(std::string("opened by ") + builds[j].lib);
        int32_t code = -1;
        bool found = false;
        if (i == j) {
          EXPECT_EQ(libs[j]->Open(path, &code, &found), 1) << code;
          EXPECT_TRUE(found);
        } else {
          EXPECT_EQ(libs[j]->Open(path, &code, &found), 0);
          EXPECT_EQ(code, VK_ERR_UNSUPPORTED_TYPE);
        }
      }
      EXPECT_EQ(ReadAll(path), bytes) << "opening and closing leaves the file as it was";
    }
  }
}

// Headwords of the Basic Multilingual Plane outside the surrogates come back
// in the same order from both Unicode builds; a supplementary one sorts among
// the surrogates' units in VKCUB (16-bit units) and after U+FFFF in VKCU8L
// (bytes of UTF-8).
TEST(BuildDifferences, HeadwordOrderDiffersOnlyForSupplementaryCharacters) {
  const std::vector<std::u16string> words = {u"a", u"\u00E9", u"\u3042", u"\uD7FF", u"\uE000", u"\uFF21", u"\U0001F600"};
  auto order = [&](const char* name) {
    EngineLib<char16_t> lib(name);
    TempDir dir;
    const std::string path = dir.Path("o.dic");
    const std::u16string file(path.begin(), path.end());
    VKHandle h = lib.CreateHandle();
    int32_t zero = 0;
    EXPECT_EQ(lib.Create(h, file.c_str(), &zero), 1);
    for (auto it = words.rbegin(); it != words.rend(); ++it) {
      VKRecordDataW rec{};
      rec.word = it->c_str();
      rec.attr = 0x80;
      EXPECT_EQ(lib.Record(h, &rec), 1);
    }
    std::vector<std::u16string> seen;
    EXPECT_EQ(lib.InitSearch(h, nullptr, VK_SEARCH_ALL), 1);
    VKRecordDataW rec{};
    for (int32_t r; (r = lib.GetNextSearch(h, &rec)) != VK_STEP_END;) {
      if (r == VK_STEP_ENTRY) seen.push_back(rec.word);
      if (r != VK_STEP_ENTRY && r != VK_STEP_AGAIN) break;
    }
    lib.Close(h);
    lib.DeleteHandle(h);
    return seen;
  };
  EXPECT_EQ(order("VKCU8L"), words);
  const std::vector<std::u16string> unitOrder = {u"a", u"\u00E9", u"\u3042", u"\uD7FF", u"\U0001F600", u"\uE000", u"\uFF21"};
  EXPECT_EQ(order("VKCUB"), unitOrder);
}

}  // namespace
