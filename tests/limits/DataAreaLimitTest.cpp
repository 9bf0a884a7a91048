// The data area's bound: a dictionary filled with long entries until every
// further change is refused with 3 keeps every entry it answered success
// for, stays sound in memory and in its file, and goes on taking changes
// that fit after a reopen.
//
// The UTF-16 builds reach their 65 536 units (16 MiB with 256-byte units)
// in a few seconds. The byte builds' 0x200000 units would take 512 MiB with
// 256-byte units, so they are filled at the smallest unit the engine takes
// (8 bytes, 16 MiB); VK_LIMITS_BYTE_UNIT=256 runs them at the real unit size
// by hand.
#include <gtest/gtest.h>

#include "limits/LimitsTestUtil.h"

namespace vktest {
namespace {

template <class B>
class DataAreaLimitTest : public ::testing::Test {
 protected:
  using Text = std::basic_string<typename B::IChar>;
  static constexpr bool kByteBuild = sizeof(typename B::Unit) == 1;

  // Unit size and translation lengths that fill the data area with some
  // thousands of entries.
  int16_t Unit() const { return kByteBuild ? static_cast<int16_t>(EnvKnob("VK_LIMITS_BYTE_UNIT", 8)) : 256; }
  size_t MinUnits() const { return size_t(Unit()) * (kByteBuild ? 120 : 4); }
  // A search hands out at most 3000 units of a translation.
  size_t MaxUnits() const { return kByteBuild ? size_t(Unit()) * 360 : 2900; }
  // Every write-through change writes the whole free chain, unit by unit:
  // with 8-byte units it is long.
  int WriteThroughSteps() const { return kByteBuild && Unit() < 64 ? 12 : 150; }
};

TYPED_TEST_SUITE(DataAreaLimitTest, AllBuilds, BuildNames);

TYPED_TEST(DataAreaLimitTest, FilledUntilFullKeepsEveryEntryAndTakesWhatFits) {
  using B = TypeParam;
  TestDic<B> d("full.dic");
  d.Create();
  d.Close();
  if (this->Unit() != 256) SetUnitSize<B>(d.path(), this->Unit());
  d.Open();
  Model<B> model;
  RandomFiller<B> fill(&d.v(), &model, static_cast<uint32_t>(EnvKnob("VK_LIMITS_SEED", 7)));
  fill.SetShape("w", this->MinUnits(), this->MaxUnits());

  // Fast mode until the area is full and refusals are common.
  ASSERT_EQ(d.v().SetFast(true), 1);
  int64_t steps = 0;
  while (fill.refusals() < 200 && !fill.failed() && steps < 200000) {
    fill.Step();
    ++steps;
  }
  ASSERT_FALSE(fill.failed());
  ASSERT_GE(fill.refusals(), 200) << "the data area was never full";
  EXPECT_GT(d.v().Data().End(), B::kMaxDataUnits - B::kMaxDataUnits / 16) << "refused far from the bound";
  EXPECT_LE(d.v().Data().End(), B::kMaxDataUnits);

  // Write-through near the bound: every change flushed at once.
  ASSERT_EQ(d.v().SetFast(false), 0);
  const int64_t before = fill.refusals();
  for (int i = 0; i < this->WriteThroughSteps() && !fill.failed(); ++i) fill.Step(60, 20);
  ASSERT_FALSE(fill.failed());
  EXPECT_GT(fill.refusals(), before) << "the write-through stretch met no refusal";
  EXPECT_LE(d.v().Data().End(), B::kMaxDataUnits);
  CheckOpenAgainstModel<B>(d.v(), model, fill.refusedNew());
  d.Close();

  Walk<B> walk;
  CheckFileAgainstModel<B>(d.path(), model, &walk);
  if (this->HasFatalFailure()) return;

  // Reopened it keeps taking changes that fit: a fifth of the entries go,
  // smaller ones come.
  d.Open();
  fill.SetDic(&d.v());
  ASSERT_EQ(d.v().SetFast(true), 1);
  std::vector<typename TestFixture::Text> words;
  for (const auto& e : model) words.push_back(e.first);
  for (size_t i = 0; i < words.size(); i += 5) ASSERT_EQ(fill.Erase(words[i]), 1) << d.Error();
  fill.SetShape("s", 16, 64);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(fill.Add(fill.NextWord(), fill.Length()), 1) << d.Error();
  ASSERT_EQ(d.v().SetFast(false), 0);
  CheckOpenAgainstModel<B>(d.v(), model);
  d.Close();
  Walk<B> again;
  CheckFileAgainstModel<B>(d.path(), model, &again);
}

}  // namespace
}  // namespace vktest
