// The index area's bound: its size in the header is a signed 16-bit count of
// units, so it never grows past 0x7FFF units. Filled with blocks named by
// 248-unit headwords it refuses what needs more index with 3, and the
// dictionary keeps every entry, in memory and in its file, and goes on
// taking changes that fit.
//
// Reaching the bound takes about 65 000 entries in VKCU8L and 32 000 in
// VKCUB (8 MiB of index); set VK_LIMITS_INDEX_ALL=1 to run it for VKCUL and
// VKC620 as well, which share the code with those two.
#include <gtest/gtest.h>

#include "limits/LimitsTestUtil.h"

namespace vktest {
namespace {

template <class B>
class IndexAreaLimitTest : public ::testing::Test {};

TYPED_TEST_SUITE(IndexAreaLimitTest, AllBuilds, BuildNames);

TYPED_TEST(IndexAreaLimitTest, GrownToItsBoundRefusesWith3AndKeepsEveryEntry) {
  using B = TypeParam;
  const bool main = std::string(B::kName) == "VKCU8L" || std::string(B::kName) == "VKCUB";
  if (!main && !EnvKnob("VK_LIMITS_INDEX_ALL", 0)) GTEST_SKIP() << "VK_LIMITS_INDEX_ALL=1 runs this build too";
  TestDic<B> d("index.dic");
  d.Create();
  Model<B> model;
  RandomFiller<B> fill(&d.v(), &model, static_cast<uint32_t>(EnvKnob("VK_LIMITS_SEED", 11)));
  fill.SetShape("", 1, 8, 248);
  const int32_t bound = vk::kMaxIndexUnits * d.v().Data().UnitSize();

  ASSERT_EQ(d.v().SetFast(true), 1);
  int64_t steps = 0;
  while (fill.refusals() < 50 && !fill.failed() && steps < 400000) {
    fill.Step(95, 2);
    ++steps;
  }
  ASSERT_FALSE(fill.failed());
  ASSERT_GE(fill.refusals(), 50);
  EXPECT_EQ(d.v().Index().AreaSize(), bound);
  EXPECT_LT(d.v().Data().End(), B::kMaxDataUnits) << "the data area, not the index, was full";

  // Write-through at the bound (each change writes the 8 MiB index).
  ASSERT_EQ(d.v().SetFast(false), 0);
  for (int i = 0; i < 12 && !fill.failed(); ++i) fill.Step(70, 15);
  ASSERT_FALSE(fill.failed());
  CheckOpenAgainstModel<B>(d.v(), model, fill.refusedNew());
  d.Close();

  Walk<B> walk;
  CheckFileAgainstModel<B>(d.path(), model, &walk);
  if (this->HasFatalFailure()) return;
  EXPECT_EQ(walk.header.indexBlocks(), vk::kMaxIndexUnits);

  // Reopened: a fifth of the entries go, short ones come.
  d.Open();
  fill.SetDic(&d.v());
  ASSERT_EQ(d.v().SetFast(true), 1);
  std::vector<std::basic_string<typename B::IChar>> words;
  for (const auto& e : model) words.push_back(e.first);
  for (size_t i = 0; i < words.size(); i += 5) ASSERT_EQ(fill.Erase(words[i]), 1) << d.Error();
  fill.SetShape("s", 4, 16);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(fill.Add(fill.NextWord(), fill.Length()), 1) << d.Error();
  ASSERT_EQ(d.v().SetFast(false), 0);
  CheckOpenAgainstModel<B>(d.v(), model);
  d.Close();
  Walk<B> again;
  CheckFileAgainstModel<B>(d.path(), model, &again);
  EXPECT_LE(again.header.indexBlocks(), vk::kMaxIndexUnits);
  EXPECT_GE(again.header.indexBlocks(), 0);
}

}  // namespace
}  // namespace vktest
