// Decoding field areas built by hand: every field code the readers know, the
// decoding's own rules (0x11/0x12 read their text and skip their counted
// bytes; 0x04, 0x41, 0x42 and 0x80 end the decoding), the decoding
// capacities, and areas cut short at every byte.
#include "entries/FieldDecoder.h"

#include <gtest/gtest.h>

#include "entries/EntryTestUtil.h"
#include "entries/FieldText.h"
#include "text/GuardedMemory.h"

namespace vkentrytest {
namespace {

using vk::FieldDecoder;
using vk::Japa;

// A field area in the memory form of build B, written piece by piece.
template <class B>
class Area {
 public:
  static constexpr size_t kUnit = vk::FieldText<B>::kUnitBytes;

  Area& Txt(const std::u16string& s) {
    Text<B> t = T<B>(s);
    size_t at = b_.size();
    b_.resize(at + vk::FieldText<B>::MaxEncodedSize(t.size()));
    int64_t n = vk::FieldText<B>::Encode(t.data(), t.size(), b_.data() + at, b_.size() - at);
    b_.resize(at + static_cast<size_t>(n));
    return *this;
  }
  Area& Zero() { return Code(0); }
  Area& Code(uint8_t c) {
    b_.push_back(c);
    if (kUnit == 2) b_.push_back(0);
    return *this;
  }
  Area& Raw(const Bytes& r) {
    b_.insert(b_.end(), r.begin(), r.end());
    return *this;
  }
  Area& Prefix(uint32_t n, bool longEntry = false) {
    for (int i = 0; i < (longEntry ? 4 : 2); ++i) b_.push_back(static_cast<uint8_t>(n >> (8 * i)));
    return *this;
  }
  Area& Counted(uint8_t code, const Area& body, bool longEntry = false) {
    Code(code).Prefix(static_cast<uint32_t>(body.b_.size()), longEntry);
    return Raw(body.b_);
  }
  const Bytes& bytes() const { return b_; }

 private:
  Bytes b_;
};

template <class B>
struct Expect {
  std::u16string tr, ex, pr;
  bool wellFormed;
};

template <class B>
void CheckDecode(const char* name, const Area<B>& a, uint8_t attr, const Expect<B>& e, bool longEntry = false) {
  SCOPED_TRACE(name);
  SCOPED_TRACE(Hex(a.bytes()));
  auto g = vk::test::TailGuarded<uint8_t>::Of(a.bytes());
  Japa<B> j = MakeJapa<B>(0x33, u"stale", u"stale", u"stale");
  bool wf = FieldDecoder<B>::Decode(g.data(), g.size(), attr, longEntry, &j);
  EXPECT_EQ(j.attribute, attr);
  EXPECT_EQ(j.translation, T<B>(e.tr));
  EXPECT_EQ(j.example, T<B>(e.ex));
  EXPECT_EQ(j.pronunciation, T<B>(e.pr));
  EXPECT_EQ(wf, e.wellFormed);
}

template <class B>
class FieldDecodeTest : public ::testing::Test {};
TYPED_TEST_SUITE(FieldDecodeTest, AllBuilds, BuildNames);

TYPED_TEST(FieldDecodeTest, FieldCodesAsTheDecoderReadsThem) {
  using B = TypeParam;
  using A = Area<B>;
  const Bytes junk = {0xAA, 0x01, 0x02, 0x80};  // looks like codes, must be skipped
  const struct {
    const char* name;
    A area;
    Expect<B> e;
  } cases[] = {
      {"writer's form", A().Txt(u"tr").Zero().Code(1).Txt(u"ex").Zero().Code(2).Txt(u"pr").Zero().Code(0x80),
       {u"tr", u"ex", u"pr", true}},
      {"0x11: example at the start of the counted bytes",
       A().Txt(u"tr").Zero().Counted(0x11, A().Txt(u"ex").Zero().Raw(junk)).Code(2).Txt(u"pr").Zero().Code(0x80),
       {u"tr", u"ex", u"pr", true}},
      {"0x12: pronunciation at the start of the counted bytes",
       A().Zero().Counted(0x12, A().Txt(u"pr").Zero().Raw(junk)).Code(1).Txt(u"ex").Zero().Code(0x80),
       {u"", u"ex", u"pr", true}},
      {"0x11 text bounded by its count", A().Zero().Counted(0x11, A().Txt(u"exam")).Code(0x80),
       {u"", u"exam", u"", true}},
      {"other counted code is stepped over",
       A().Txt(u"t").Zero().Counted(0x15, A().Code(1).Txt(u"x").Zero()).Code(1).Txt(u"ex").Zero().Code(0x80),
       {u"t", u"ex", u"", true}},
      {"0x30 counts too", A().Zero().Counted(0x30, A().Raw(junk)).Code(2).Txt(u"p").Zero().Code(0x80),
       {u"", u"", u"p", true}},
      {"0x41 ends the decoding",
       A().Txt(u"t").Zero().Code(1).Txt(u"e1").Zero().Counted(0x41, A().Txt(u"x").Zero()).Code(2).Txt(u"p").Zero().Code(0x80),
       {u"t", u"e1", u"", true}},
      {"0x42 ends the decoding", A().Txt(u"t").Zero().Counted(0x42, A().Txt(u"x").Zero()).Code(1).Txt(u"e").Zero().Code(0x80),
       {u"t", u"", u"", true}},
      {"0x04 ends the decoding", A().Txt(u"t").Zero().Counted(0x04, A().Txt(u"x").Zero()).Code(1).Txt(u"e").Zero().Code(0x80),
       {u"t", u"", u"", true}},
      {"0x80 ends the decoding", A().Txt(u"t").Zero().Code(0x80).Code(1).Txt(u"e").Zero(), {u"t", u"", u"", true}},
      {"unknown code without bit 4 ends it", A().Txt(u"t").Zero().Code(0x05).Code(1).Txt(u"e").Zero().Code(0x80),
       {u"t", u"", u"", false}},
      {"a later example replaces an earlier one", A().Zero().Code(1).Txt(u"a").Zero().Code(1).Txt(u"b").Zero().Code(0x80),
       {u"", u"b", u"", true}},
      {"count running past the area", A().Txt(u"t").Zero().Code(0x11).Prefix(100).Txt(u"ex").Zero(),
       {u"t", u"ex", u"", false}},
      {"length prefix cut by the area's end", A().Txt(u"t").Zero().Code(0x15).Raw({7}), {u"t", u"", u"", false}},
      {"translation without terminator", A().Txt(u"tr"), {u"tr", u"", u"", false}},
      {"example without terminator", A().Zero().Code(1).Txt(u"ex"), {u"", u"ex", u"", false}},
      {"no end code", A().Txt(u"t").Zero().Code(2).Txt(u"p").Zero(), {u"t", u"", u"p", false}},
  };
  for (const auto& c : cases) CheckDecode<B>(c.name, c.area, 0x95, c.e);
}

TYPED_TEST(FieldDecodeTest, SimpleFormIsTheWholeArea) {
  using B = TypeParam;
  using A = Area<B>;
  CheckDecode<B>("bare translation", A().Txt(u"just \u3042 text"), 0x8F, {u"just \u3042 text", u"", u"", true});
  CheckDecode<B>("empty", A(), 0x80, {u"", u"", u"", true});
  // Codes mean nothing without bit 4; a zero ends the text.
  CheckDecode<B>("stray zero", A().Txt(u"a").Zero().Code(1).Txt(u"b").Zero().Code(0x80), 0x00, {u"a", u"", u"", false});
}

TYPED_TEST(FieldDecodeTest, LongEntriesCountWith32Bits) {
  using B = TypeParam;
  using A = Area<B>;
  CheckDecode<B>("0x11 with a 32-bit count",
                 A().Zero().Counted(0x11, A().Txt(u"ex").Zero().Raw({1, 2, 3}), true).Code(2).Txt(u"p").Zero().Code(0x80),
                 0x10, {u"", u"ex", u"p", true}, true);
  // The same bytes read with a 16-bit count step elsewhere.
  A a;
  a.Zero().Counted(0x11, A().Txt(u"ex").Zero().Raw({1, 2, 3}), true).Code(2).Txt(u"p").Zero().Code(0x80);
  Japa<B> j;
  FieldDecoder<B>::Decode(a.bytes().data(), a.bytes().size(), 0x10, false, &j);
  EXPECT_NE(j.pronunciation, T<B>(u"p"));
}

TYPED_TEST(FieldDecodeTest, CapacitiesCutEachTextAndDecodingGoesOn) {
  using B = TypeParam;
  using A = Area<B>;
  const std::u16string tr(3005, u't'), ex(20010, u'e'), pr(1003, u'p');
  CheckDecode<B>("extended", A().Txt(tr).Zero().Code(1).Txt(ex).Zero().Code(2).Txt(pr).Zero().Code(0x80), 0x10,
                 {tr.substr(0, 3000), ex.substr(0, 20000), pr.substr(0, 1000), true});
  CheckDecode<B>("pronunciation before example", A().Zero().Code(2).Txt(pr).Zero().Code(1).Txt(u"e").Zero().Code(0x80),
                 0x10, {u"", u"e", pr.substr(0, 1000), true});
  CheckDecode<B>("simple", A().Txt(tr), 0x00, {tr.substr(0, 3000), u"", u"", true});
  CheckDecode<B>("exactly at the bound", A().Txt(tr.substr(0, 3000)).Zero().Code(2).Txt(pr.substr(0, 1000)).Zero().Code(0x80),
                 0x10, {tr.substr(0, 3000), u"", pr.substr(0, 1000), true});
}

TYPED_TEST(FieldDecodeTest, AreaCutShortAtAnyByteStaysInside) {
  using B = TypeParam;
  using A = Area<B>;
  A full;
  full.Txt(u"tr \u3042").Zero().Code(1).Txt(u"ex\U0001F600").Zero()
      .Counted(0x11, A().Txt(u"c").Zero().Raw({9, 9})).Counted(0x1F, A().Raw({1, 2, 3}))
      .Code(2).Txt(u"pr").Zero().Code(0x80);
  const Bytes& b = full.bytes();
  for (size_t k = 0; k <= b.size(); ++k) {
    auto g = vk::test::TailGuarded<uint8_t>::Of(Bytes(b.begin(), b.begin() + k));
    for (bool longEntry : {false, true}) {
      Japa<B> j;
      bool wf = FieldDecoder<B>::Decode(g.data(), k, 0x10, longEntry, &j);
      if (!longEntry) {
        EXPECT_EQ(wf, k == b.size()) << "cut at " << k;
      }
    }
  }
}

TYPED_TEST(FieldDecodeTest, ReadTakesTheAttributeFromTheEntryHeader) {
  using B = TypeParam;
  Bytes block = NewBlock(1);
  vk::BlockBuilder<B> bb(block.data(), block.size());
  auto f = Fields<B>(MakeJapa<B>(0x6A, u"tr", u"", u"pr"));
  ASSERT_TRUE(bb.Add(W<B>(u"word").data(), 4, f));
  ASSERT_EQ(block[2 + 3], 0x7A);
  Japa<B> j;
  bool wf = false;
  ASSERT_EQ(FieldDecoder<B>::Read(block.data(), block.size(), 0, &j, &wf), vk::WalkStatus::kEntry);
  EXPECT_TRUE(wf);
  EXPECT_EQ(j.attribute, 0x7A);
  EXPECT_EQ(j.translation, T<B>(u"tr"));
  EXPECT_EQ(j.pronunciation, T<B>(u"pr"));
  // At the terminator nothing is read and the object keeps what it had.
  EXPECT_EQ(FieldDecoder<B>::Read(block.data(), block.size(), bb.end(), &j), vk::WalkStatus::kEnd);
  EXPECT_EQ(j.translation, T<B>(u"tr"));
}

}  // namespace
}  // namespace vkentrytest
