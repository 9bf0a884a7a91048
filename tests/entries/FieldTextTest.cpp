// One field text per build: the stored form (BOCU-1 equal to ICU's bytes in
// VKCU8L, little-endian units in VKCUB/VKCUL, bytes as given in VKC620), the
// encoder's output bound and the decoder's bounds on both sides.
#include "entries/FieldText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "entries/EntryTestUtil.h"
#include "text/GuardedMemory.h"
#include "text/TextCorpus.h"

#if VK_HAVE_ICU
#include <unicode/ucnv.h>
#endif

namespace vkentrytest {
namespace {

using vk::DecodedText;
using vk::FieldText;

template <class B>
Bytes Enc(const Text<B>& s) {
  Bytes out(static_cast<size_t>(FieldText<B>::MaxEncodedSize(s.size())));
  int64_t n = FieldText<B>::Encode(s.data(), s.size(), out.data(), out.size());
  EXPECT_GE(n, 0);
  out.resize(static_cast<size_t>(n < 0 ? 0 : n));
  return out;
}

template <class B>
class FieldTextTest : public ::testing::Test {};
TYPED_TEST_SUITE(FieldTextTest, AllBuilds, BuildNames);

TYPED_TEST(FieldTextTest, EncodeNeverWritesPastItsCapacity) {
  using B = TypeParam;
  for (const std::u16string& u : vk::test::FixedCorpus()) {
    Text<B> s = T<B>(u);
    const size_t need = Enc<B>(s).size();
    for (size_t cap : {size_t(0), need / 2, need > 0 ? need - 1 : 0, need, need + 3}) {
      vk::test::SentinelBuffer<uint8_t> buf(cap);
      int64_t n = FieldText<B>::Encode(s.data(), s.size(), buf.data(), cap);
      EXPECT_EQ(n, cap >= need ? int64_t(need) : -1) << "cap " << cap;
      EXPECT_TRUE(buf.GuardIntact()) << "cap " << cap;
    }
  }
}

TYPED_TEST(FieldTextTest, RoundTripsAndStopsAtTheTerminator) {
  using B = TypeParam;
  for (const std::u16string& u : vk::test::FixedCorpus()) {
    if (u.find(u'\0') != u.npos) continue;
    Text<B> s = T<B>(u);
    Bytes stored = Enc<B>(s);
    const size_t textBytes = stored.size();
    // Terminator and a trailing field code that must not be taken as text.
    stored.resize(stored.size() + 2 * FieldText<B>::kUnitBytes, 0);
    stored[textBytes + FieldText<B>::kUnitBytes] = 0x80;
    auto g = vk::test::TailGuarded<uint8_t>::Of(stored);
    Text<B> back;
    DecodedText d = FieldText<B>::Decode(g.data(), g.size(), true, 100000, &back);
    EXPECT_EQ(back, s);
    EXPECT_TRUE(d.terminated);
    EXPECT_FALSE(d.cut);
    EXPECT_FALSE(d.malformed);
    EXPECT_EQ(d.consumed, textBytes + FieldText<B>::kUnitBytes);
    // Without stopping at zero the whole input is one text.
    d = FieldText<B>::Decode(g.data(), textBytes, false, 100000, &back);
    EXPECT_EQ(back, s);
    EXPECT_EQ(d.consumed, textBytes);
  }
}

TYPED_TEST(FieldTextTest, DecodeKeepsCapacityLessOneUnitsAndStepsOverTheRest) {
  using B = TypeParam;
  Text<B> s = T<B>(u"abcdefghij");
  Bytes stored = Enc<B>(s);
  const size_t textBytes = stored.size();
  stored.resize(textBytes + FieldText<B>::kUnitBytes, 0);
  auto g = vk::test::TailGuarded<uint8_t>::Of(stored);
  const struct {
    size_t cap;
    size_t kept;
  } cases[] = {{0, 0}, {1, 0}, {2, 1}, {10, 9}, {11, 10}, {12, 10}};
  for (const auto& c : cases) {
    Text<B> back = T<B>(u"old");
    DecodedText d = FieldText<B>::Decode(g.data(), g.size(), true, c.cap, &back);
    EXPECT_EQ(back, s.substr(0, c.kept)) << "cap " << c.cap;
    EXPECT_EQ(d.cut, c.kept < s.size()) << "cap " << c.cap;
    EXPECT_EQ(d.consumed, g.size()) << "the cut text is still stepped over, cap " << c.cap;
    EXPECT_TRUE(d.terminated);
  }
}

// Unicode builds: a surrogate pair that would straddle the bound goes whole.
TYPED_TEST(FieldTextTest, CutNeverSplitsASurrogatePair) {
  using B = TypeParam;
  if constexpr (std::is_same_v<typename B::IChar, char16_t>) {
    Text<B> s = u"ab\U0001F600c";
    Bytes stored = Enc<B>(s);
    Text<B> back;
    FieldText<B>::Decode(stored.data(), stored.size(), true, 4, &back);
    EXPECT_EQ(back, u"ab");
    FieldText<B>::Decode(stored.data(), stored.size(), true, 5, &back);
    EXPECT_EQ(back, u"ab\U0001F600");
  }
}

TYPED_TEST(FieldTextTest, UnterminatedTextEndsAtTheInputsEnd) {
  using B = TypeParam;
  Bytes stored = Enc<B>(T<B>(u"xyz\u3042"));
  for (size_t n = 0; n <= stored.size(); ++n) {
    auto g = vk::test::TailGuarded<uint8_t>::Of(Bytes(stored.begin(), stored.begin() + n));
    Text<B> back;
    DecodedText d = FieldText<B>::Decode(g.data(), n, true, 50, &back);
    EXPECT_FALSE(d.terminated);
    EXPECT_EQ(d.consumed, n);
  }
}

TEST(FieldTextUtf16, UnitsAreLittleEndianInMemoryAndAnOddByteIsMalformed) {
  using B = vk::TraitsVKCUB;
  Bytes stored = Enc<B>(u"A\u3042\U0001F600");
  EXPECT_EQ(Hex(stored), "41 00 42 30 3D D8 00 DE ");
  stored.push_back(0x41);
  std::u16string back;
  DecodedText d = FieldText<B>::Decode(stored.data(), stored.size(), true, 100, &back);
  EXPECT_EQ(back, u"A\u3042\U0001F600");
  EXPECT_TRUE(d.malformed);
  EXPECT_EQ(d.consumed, stored.size());
}

TEST(FieldTextRaw, BytesAreStoredAsGiven) {
  using B = vk::TraitsVKC620;
  std::string sjis = "\x82\xA0\x8A\xBF ok";
  EXPECT_EQ(Hex(Enc<B>(sjis)), "82 A0 8A BF 20 6F 6B ");
}

#if VK_HAVE_ICU
std::string IcuBocu(const std::u16string& s) {
  UErrorCode e = U_ZERO_ERROR;
  UConverter* cv = ucnv_open("BOCU-1", &e);
  std::string out(s.size() * 4 + 8, '\0');
  int32_t n = ucnv_fromUChars(cv, out.data(), static_cast<int32_t>(out.size()), s.data(),
                              static_cast<int32_t>(s.size()), &e);
  ucnv_close(cv);
  EXPECT_TRUE(U_SUCCESS(e)) << u_errorName(e);
  out.resize(static_cast<size_t>(n));
  return out;
}

TEST(FieldTextBocu1, StoredBytesEqualIcu) {
  const uint32_t seed = vk::test::TestSeed(4711);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  for (int round = 0; round < 2000; ++round) {
    std::u16string s = vk::test::RandomText(rng, 30);
    std::string icu = IcuBocu(s);
    Bytes mine = Enc<vk::TraitsVKCU8L>(s);
    ASSERT_EQ(Hex(reinterpret_cast<const uint8_t*>(icu.data()), icu.size()), Hex(mine)) << "round " << round;
  }
}
#endif

}  // namespace
}  // namespace vkentrytest
