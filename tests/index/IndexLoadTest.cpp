// Loading areas written by someone else: the stopping rules of each form,
// and headers that lie about the area. Whatever the area holds, set-up
// must answer 0 with the sound entries or -1 with code 2, and must never
// read or allocate beyond what the file holds.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "file/ErrorCodes.h"
#include "index/HVokaIndex.h"
#include "index/IndexTestUtil.h"

namespace vkindextest {
namespace {

using Entries = std::vector<std::pair<int32_t, std::string>>;

// The stored form of ASCII entries, written here independently of the code
// under test: narrow or wide for byte builds, 16-bit units in the build's
// order otherwise.
template <class B>
Bytes Enc(const Entries& entries, bool wide = false) {
  Bytes out;
  for (const auto& [block, word] : entries) {
    uint8_t n[4];
    if constexpr (sizeof(typename B::Unit) == 1) {
      if (wide) {
        vk::StoreLE32(n, static_cast<uint32_t>(block));
        out.insert(out.end(), n, n + 4);
      } else {
        vk::StoreLE16(n, static_cast<uint16_t>(block));
        out.insert(out.end(), n, n + 2);
      }
      out.insert(out.end(), word.begin(), word.end());
      out.push_back(0);
    } else {
      vk::Store16<B::kFileOrder>(n, static_cast<uint16_t>(block));
      out.insert(out.end(), n, n + 2);
      for (unsigned char c : word) {
        vk::Store16<B::kFileOrder>(n, c);
        out.insert(out.end(), n, n + 2);
      }
      out.push_back(0);
      out.push_back(0);
    }
  }
  return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

template <class B>
class IndexLoadTest : public ::testing::Test {
 protected:
  using Unit = typename B::Unit;
  using S = std::basic_string<Unit>;

  void ExpectEntries(const vk::HVokaIndex<B>& index, const Entries& expected) {
    ASSERT_EQ(index.Count(), static_cast<int32_t>(expected.size()));
    int64_t used = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(index.BlockNumber(static_cast<int32_t>(i)), expected[i].first) << "entry " << i;
      EXPECT_EQ(S(index.Word(static_cast<int32_t>(i))), W<B>(expected[i].second)) << "entry " << i;
      used += EntrySize<B>(expected[i].second.size());
    }
    EXPECT_EQ(index.Used(), used);
  }

  ScratchFile file_;
};

TYPED_TEST_SUITE(IndexLoadTest, AllBuilds, BuildNames);

TYPED_TEST(IndexLoadTest, AnEmptyHeadwordEndsTheList) {
  using B = TypeParam;
  const Entries sound = {{1, "a"}, {2, "b"}};
  Bytes area = Enc<B>(sound) + Enc<B>({{9, ""}}) + Enc<B>({{3, "c"}}) + Bytes(8, 0);
  this->file_.Create(FileImage(area));
  vk::HVokaIndex<B> index(this->file_.file(), &this->file_.cell());
  ASSERT_EQ(index.SetUp(kAreaOffset, static_cast<int32_t>(area.size()), 3, false, 256), 0);
  this->ExpectEntries(index, sound);
  EXPECT_EQ(index.Load(), 2) << "loading again gives the same";
  this->ExpectEntries(index, sound);
}

// Byte builds believe index_count and stop there; 16-bit builds grow the
// array by 256 slots and read on.
TYPED_TEST(IndexLoadTest, CapacityBoundsByteBuildsOnly) {
  using B = TypeParam;
  constexpr bool kByte = sizeof(typename B::Unit) == 1;
  Entries all;
  for (int i = 0; i < 300; ++i) {
    char w[8];
    std::snprintf(w, sizeof w, "w%03d", i);
    all.push_back({i + 1, w});
  }
  Bytes area = Enc<B>(all) + Bytes(4, 0);
  const int32_t areaSize = static_cast<int32_t>(area.size()) + 64;
  const struct {
    int32_t indexCount;
    size_t byteBuildCount;
    int32_t byteBuildCapacity;
    int32_t unitBuildCapacity;
  } cases[] = {
      {2, 2, 2, 2 + 256 + 256},  // 16-bit: 2 -> 258 -> 514
      {0, 256, 256, 512},
      {299, 299, 299, 555},
      {300, 300, 300, 300},
      {5000, 300, 5000, 5000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("index_count " + std::to_string(c.indexCount));
    this->file_.Create(FileImage(area));
    vk::HVokaIndex<B> index(this->file_.file(), &this->file_.cell());
    ASSERT_EQ(index.SetUp(kAreaOffset, areaSize, c.indexCount, false, 256), 0);
    size_t n = kByte ? c.byteBuildCount : all.size();
    this->ExpectEntries(index, Entries(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n)));
    EXPECT_EQ(index.Capacity(), kByte ? c.byteBuildCapacity : c.unitBuildCapacity);
  }
}

// 16-bit builds stop at an entry whose accounted size, added to the bytes
// read so far, would reach the area size, even when it is stored whole.
TYPED_TEST(IndexLoadTest, SixteenBitBuildsStopBeforeAnEntryThatWouldFillTheArea) {
  using B = TypeParam;
  if (sizeof(typename B::Unit) == 1) GTEST_SKIP() << "byte builds have no such rule";
  const Entries both = {{1, "ab"}, {2, "c"}};
  Bytes area = Enc<B>(both);  // 8 + 6 bytes; second entry: 8 + 2 * 1 + 6 = 16
  const struct {
    int32_t areaSize;
    size_t count;
  } cases[] = {{14, 1}, {16, 1}, {17, 2}, {10, 0}, {11, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE("area " + std::to_string(c.areaSize));
    this->file_.Create(FileImage(area, 0));
    vk::HVokaIndex<B> index(this->file_.file(), &this->file_.cell());
    ASSERT_EQ(index.SetUp(kAreaOffset, c.areaSize, 2, false, 256), 0);
    this->ExpectEntries(index, Entries(both.begin(), both.begin() + static_cast<std::ptrdiff_t>(c.count)));
  }
}

// Headers that lie about the index area. expectCount < 0: any count.
TYPED_TEST(IndexLoadTest, LyingHeadersNeverCrash) {
  using B = TypeParam;
  constexpr bool kByte = sizeof(typename B::Unit) == 1;
  const Entries sound = {{1, "apple"}, {2, "kiwi"}};
  const Bytes entries = Enc<B>(sound);
  const Bytes area = entries + Bytes(4, 0);
  const int32_t areaSize = static_cast<int32_t>(area.size());
  Bytes header(static_cast<size_t>(kAreaOffset), kHeaderFill);
  Bytes unterminated = Enc<B>({{3, "xyz"}});
  unterminated.resize(unterminated.size() - sizeof(typename B::Unit));

  struct Case {
    const char* what;
    Bytes image;
    int64_t offset;
    int32_t areaSize;
    int32_t indexCount;
    bool wide;
    int rc;
    int expectCount;
  };
  const std::vector<Case> cases = {
      {"area far beyond the file", FileImage(area), kAreaOffset, 0x3FFF0001, 2, false, 0, 2},
      {"file ends after the entries, no marker", header + entries, kAreaOffset, 0x7FFF * 0x7FFF, 2,
       false, 0, 2},
      {"area offset past the end of the file", FileImage(area), 1 << 20, areaSize, 2, false, 0, 0},
      {"negative area size", FileImage(area), kAreaOffset, -256, 2, false, -1, 0},
      {"negative area size from both fields", FileImage(area), kAreaOffset, INT32_MIN, 2, false, -1, 0},
      {"negative area offset", FileImage(area), -5, areaSize, 2, false, -1, 0},
      {"last headword runs to the end of the file", header + entries + unterminated, kAreaOffset,
       areaSize + 100, 5, false, 0, 2},
      {"last headword runs to the end of the area", FileImage(entries + unterminated), kAreaOffset,
       static_cast<int32_t>(entries.size() + unterminated.size()), 5, false, 0, 2},
      {"no zero byte anywhere", header + Bytes(100, 'A'), kAreaOffset, 100, 5, false, 0, 0},
      // The file ends one byte into what would be the next entry.
      {"odd byte count", header + entries + Bytes{'q'}, kAreaOffset,
       static_cast<int32_t>(entries.size()) + 101, 5, false, 0, 2},
      {"huge index_count", FileImage(area), kAreaOffset, areaSize, INT32_MAX, false, 0, 2},
      {"negative index_count", FileImage(area), kAreaOffset, areaSize, -7, false, 0, 2},
      {"one-byte area", FileImage(area), kAreaOffset, 1, 2, false, 0, 0},
      {"area holding only a block number", FileImage(area), kAreaOffset, 2, 2, false, 0, 0},
      {"empty file", Bytes{}, kAreaOffset, areaSize, 2, false, 0, 0},
      {"zero area", FileImage(area), kAreaOffset, 0, 2, false, 0, 0},
      // A byte build reads a narrow area as wide: nonsense, but bounded.
      {"index_wide that lies", FileImage(area), kAreaOffset, areaSize, 2, true, 0, kByte ? -1 : 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    this->file_.Create(c.image);
    this->file_.cell() = 0;
    vk::HVokaIndex<B> index(this->file_.file(), &this->file_.cell());
    int rc = index.SetUp(c.offset, c.areaSize, c.indexCount, c.wide, 256);
    ASSERT_EQ(rc, c.rc) << "cell " << this->file_.cell();
    if (rc < 0) {
      EXPECT_EQ(this->file_.cell(), vk::kErrIndexMemory);
      EXPECT_EQ(index.Count(), 0);
      EXPECT_EQ(index.Capacity(), 0);
      continue;
    }
    if (c.expectCount >= 0) {
      this->ExpectEntries(index, Entries(sound.begin(), sound.begin() + c.expectCount));
    }
    EXPECT_LE(index.Count(), index.Capacity());
  }
}

// Random areas: set-up always succeeds with sound entries; saving them
// touches nothing outside the area (or refuses with code 3), and what was
// saved loads back the same.
TYPED_TEST(IndexLoadTest, RandomAreasLoadSoundlyAndSaveBack) {
  using B = TypeParam;
  using Unit = typename B::Unit;
  using S = std::basic_string<Unit>;
  constexpr bool kByte = sizeof(Unit) == 1;
  const char* env = std::getenv("VK_TEST_SEED");
  const uint32_t seed = env ? static_cast<uint32_t>(std::strtoul(env, nullptr, 10)) : std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed) + " (rerun with VK_TEST_SEED)");
  std::mt19937 rng(seed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint32_t>(n)); };
  const int32_t counts[] = {-1, 0, 1, 3, 40, 1000, 0x7FFF01};

  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    int32_t areaSize = pick(400);
    // Mostly small letters with zeros sprinkled in, so that entries appear.
    Bytes area(static_cast<size_t>(pick(2) ? areaSize : pick(areaSize + 1)));
    for (auto& b : area) b = static_cast<uint8_t>(pick(5) == 0 ? 0 : pick(3) == 0 ? pick(256) : 'a' + pick(4));
    Bytes image = FileImage(area, static_cast<size_t>(pick(2) * 64));
    int32_t indexCount = counts[pick(7)];
    bool wide = pick(2) == 1;

    this->file_.Create(image);
    vk::HVokaIndex<B> index(this->file_.file(), &this->file_.cell());
    ASSERT_EQ(index.SetUp(kAreaOffset, areaSize, indexCount, wide, 256), 0);
    ASSERT_LE(index.Count(), index.Capacity());
    int64_t used = 0;
    for (int32_t i = 0; i < index.Count(); ++i) {
      S w(index.Word(i));
      ASSERT_FALSE(w.empty());
      used += EntrySize<B>(w.size());
    }
    ASSERT_EQ(index.Used(), used);

    std::vector<std::pair<int32_t, S>> loaded;
    for (int32_t i = 0; i < index.Count(); ++i) loaded.push_back({index.BlockNumber(i), S(index.Word(i))});
    bool savedWide = kByte && index.WideNeeded();
    int rc = index.Save();
    Bytes after = Slurp(this->file_.path());
    if (rc < 0) {
      ASSERT_EQ(this->file_.cell(), vk::kErrDictionaryFull);
      ASSERT_EQ(after, image);
      continue;
    }
    // The save may lengthen a file that ends inside the area, never more.
    const size_t areaEnd = static_cast<size_t>(kAreaOffset + areaSize);
    ASSERT_GE(after.size(), image.size());
    ASSERT_LE(after.size(), std::max(image.size(), areaEnd));
    ASSERT_TRUE(std::equal(image.begin(), image.begin() + kAreaOffset, after.begin()));
    if (image.size() > areaEnd) {
      ASSERT_TRUE(std::equal(image.begin() + static_cast<std::ptrdiff_t>(areaEnd), image.end(),
                             after.begin() + static_cast<std::ptrdiff_t>(areaEnd)));
    }

    vk::HVokaIndex<B> back(this->file_.file(), &this->file_.cell());
    ASSERT_EQ(back.SetUp(kAreaOffset, areaSize, index.Count(), savedWide, 256), 0);
    ASSERT_EQ(back.Count(), static_cast<int32_t>(loaded.size()));
    for (size_t i = 0; i < loaded.size(); ++i) {
      int32_t block = savedWide ? loaded[i].first : (loaded[i].first & 0xFFFF);
      ASSERT_EQ(back.BlockNumber(static_cast<int32_t>(i)), block);
      ASSERT_EQ(S(back.Word(static_cast<int32_t>(i))), loaded[i].second);
    }
  }
}

}  // namespace
}  // namespace vkindextest
