// The optimisation on real dictionaries whose blocks were put out of order
// and among free units byte by byte: each case checks what the callback saw
// and that the file ends packed, with the same entries and block bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <numeric>
#include <random>

#include "optimize/OptimizeTestUtil.h"
#include "support/Builds.h"
#include "support/FaultEnv.h"

namespace vktest {
namespace {

template <class B>
class OptimizeTest : public ::testing::Test {
 public:
  // A dictionary of these blocks, laid out as `slots` say.
  void Make(const std::vector<int32_t>& units, const std::vector<Slot>& slots, int32_t indexUnits = 8) {
    units_ = units;
    BuildBlocks<B>(path_, units, 2, indexUnits);
    ASSERT_FALSE(this->HasFailure());
    Arrange<B>(path_, units, slots);
    before_ = Walk<B>();
    WalkFile<B>(path_, &before_);
    ASSERT_FALSE(this->HasFailure()) << "the arranged file is not sound";
    bytes_ = ReadAll(path_);
  }

  // A slot list of blocks 0..n-1 in the given order.
  static std::vector<Slot> InOrder(const std::vector<int32_t>& order) {
    std::vector<Slot> s;
    for (int32_t k : order) s.push_back(Blk(k));
    return s;
  }

  TempDir dir_;
  std::string path_ = dir_.Path("o.dic");
  std::vector<int32_t> units_;
  Walk<B> before_;
  std::vector<uint8_t> bytes_;
};

TYPED_TEST_SUITE(OptimizeTest, AllBuilds, BuildNames);

TYPED_TEST(OptimizeTest, PackedFileKeepsItsBlocksAndLosesOnlyTrailingFreeUnits) {
  using B = TypeParam;
  std::vector<int32_t> units(20, 2);
  units[3] = 5;
  std::vector<Slot> slots;
  for (int32_t k = 0; k < 20; ++k) slots.push_back(Blk(k));
  slots.push_back(Free(3));
  this->Make(units, slots);
  const int32_t packed = 19 * 2 + 5;

  FaultEnv env;
  OptimizeRecorder<B> r;
  EXPECT_EQ(Optimize<B>(this->path_, &r, &env), 0);
  ASSERT_GE(r.lines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(r.lines.end() - 3, r.lines.end()),
            (std::vector<std::string>{"6:100", "11", kDoneText}));
  EXPECT_EQ(r.Outcome(), (std::vector<std::string>{"11", kDoneText}));
  EXPECT_EQ(r.pollCount, 20);
  ExpectOptimized<B>(this->path_, this->before_);
  // The data area is the one before, cut after the last block.
  DamagedFile<B> after(this->path_);
  DamagedFile<B> was(this->path_);
  was.bytes() = this->bytes_;
  ASSERT_EQ(after.bytes().size(), was.UnitAt(packed));
  EXPECT_TRUE(std::equal(after.bytes().begin() + std::ptrdiff_t(after.UnitAt(0)), after.bytes().end(),
                         was.bytes().begin() + std::ptrdiff_t(was.UnitAt(0))));
  // A block in place is not read, only its size word: one read for each,
  // beside the header, the index and the three free units.
  EXPECT_LE(env.reads(), 20 + 3 + 8);
}

// Layouts and what has to happen to them; each must end packed.
TYPED_TEST(OptimizeTest, LayoutsEndPackedInIndexOrder) {
  using B = TypeParam;
  struct Case {
    const char* name;
    std::vector<int32_t> units;
    std::vector<Slot> slots;
    int polls;  // polls sent: one per block, one more for each emptying of the buffer
  };
  // Block 0 spans 70 units, blocks 1..70 one unit each and stand in its way.
  std::vector<int32_t> wide(71, 1);
  wide[0] = 70;
  std::vector<Slot> inTheWay, inTheWayThenRoom;
  for (int32_t k = 1; k <= 70; ++k) inTheWay.push_back(Blk(k));
  inTheWayThenRoom = inTheWay;
  inTheWay.push_back(Blk(0));
  inTheWayThenRoom.push_back(Free(80));
  inTheWayThenRoom.push_back(Blk(0));
  const std::vector<Case> cases = {
      {"two blocks in reverse order", {3, 5}, {Blk(1), Blk(0)}, 2},
      {"reverse order with gaps", {2, 3, 4}, {Free(2), Blk(2), Free(1), Blk(1), Free(3), Blk(0), Free(2)}, 3},
      {"a long block behind short ones", {1, 1, 6}, {Blk(2), Free(1), Blk(0), Blk(1)}, 3},
      // The buffer fills with 64 blocks and goes to the end of the file: no
      // free run starts at or after the position reached.
      {"more than 64 blocks in the way, emptied at the end", wide, inTheWay, 72},
      // ...and into the free run after them.
      {"more than 64 blocks in the way, emptied into free units", wide, inTheWayThenRoom, 72},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    this->Make(c.units, c.slots);
    if (this->HasFatalFailure()) return;
    OptimizeRecorder<B> r;
    EXPECT_EQ(Optimize<B>(this->path_, &r), 0);
    EXPECT_EQ(r.Outcome(), (std::vector<std::string>{"11", kDoneText}));
    EXPECT_EQ(r.pollCount, c.polls);
    ExpectOptimized<B>(this->path_, this->before_);
  }
}

// VK_OPTIMIZE_BLOCKS=n adds a layout of n blocks (a long run by hand).
TYPED_TEST(OptimizeTest, RandomLayoutsEndPackedInIndexOrder) {
  using B = TypeParam;
  const char* env = std::getenv("VK_OPTIMIZE_BLOCKS");
  const int large = env && *env ? std::atoi(env) : 0;
  for (uint32_t seed = 1; seed <= (large > 0 ? 13u : 12u); ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 rng(seed);
    auto R = [&](int n) { return int32_t(std::uniform_int_distribution<int>(0, n - 1)(rng)); };
    const size_t blocks = seed == 13 ? size_t(large) : size_t(1 + R(seed % 3 == 0 ? 150 : 40));
    std::vector<int32_t> units(blocks);
    for (int32_t& u : units) u = R(10) == 0 ? 8 + R(60) : 1 + R(4);
    std::vector<int32_t> order(blocks);
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), rng);
    std::vector<Slot> slots;
    for (int32_t k : order) {
      if (R(3) == 0) slots.push_back(Free(1 + R(R(4) == 0 ? 40 : 3)));
      slots.push_back(Blk(k));
    }
    if (R(2) == 0) slots.push_back(Free(1 + R(5)));
    this->Make(units, slots);
    if (this->HasFatalFailure()) return;
    OptimizeRecorder<B> r;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Optimize<B>(this->path_, &r), 0);
    if (seed == 13) {
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      std::printf("%zu blocks, %zu free runs: optimised in %.0f ms\n", blocks, this->before_.freeUnits.size(), ms);
    }
    EXPECT_EQ(r.Outcome(), (std::vector<std::string>{"11", kDoneText}));
    ExpectOptimized<B>(this->path_, this->before_);
    if (this->HasFailure()) return;
  }
}

TYPED_TEST(OptimizeTest, ARoomyIndexAreaGivesItsRoomBackAndNoFreeUnitIsLeft) {
  using B = TypeParam;
  this->Make({2, 3}, {Blk(1), Free(2), Blk(0)}, 60);
  OptimizeRecorder<B> r;
  EXPECT_EQ(Optimize<B>(this->path_, &r), 0);
  Walk<B> after;
  WalkFile<B>(this->path_, &after);
  EXPECT_LT(after.header.indexBlocks(), 60);
  ExpectOptimized<B>(this->path_, this->before_);
}

TYPED_TEST(OptimizeTest, EmptyDictionary) {
  using B = TypeParam;
  this->Make({}, {Free(4)});
  OptimizeRecorder<B> r;
  EXPECT_EQ(Optimize<B>(this->path_, &r), 0);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"6:100", "11", kDoneText}));
  ExpectOptimized<B>(this->path_, this->before_);
}

TYPED_TEST(OptimizeTest, StopAtTheFirstPollMovesNoBlock) {
  using B = TypeParam;
  this->Make({3, 5, 2}, {Blk(2), Free(2), Blk(1), Blk(0)});
  OptimizeRecorder<B> r;
  r.polls = {1};
  EXPECT_EQ(Optimize<B>(this->path_, &r), 1);
  EXPECT_EQ(r.lines, (std::vector<std::string>{"6:0", "7", "12", kStoppedText}));
  Walk<B> after;
  WalkFile<B>(this->path_, &after);
  ASSERT_FALSE(this->HasFailure());
  ASSERT_EQ(after.blocks.size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(after.blocks[k].number, this->before_.blocks[k].number);
    EXPECT_TRUE(after.blocks[k].bytes == this->before_.blocks[k].bytes);
  }
  EXPECT_EQ(after.freeUnits, this->before_.freeUnits);
  EXPECT_EQ(EntryTexts(after), EntryTexts(this->before_));
  EXPECT_EQ(CheckLines<B>(this->path_), CleanCheck(true));
}

// A stop at any poll, with blocks in the buffer or not, leaves a sound file
// with every entry, and a second run packs it.
TYPED_TEST(OptimizeTest, StopAtEveryPollLeavesASoundFile) {
  using B = TypeParam;
  std::vector<int32_t> units(71, 1);
  units[0] = 70;
  units[40] = 3;
  std::vector<Slot> slots;
  for (int32_t k = 70; k >= 1; --k) {
    slots.push_back(Blk(k));
    if (k % 9 == 0) slots.push_back(Free(2));
  }
  slots.push_back(Blk(0));
  for (int stopAt = 1; stopAt <= 73; ++stopAt) {
    SCOPED_TRACE("stop at poll " + std::to_string(stopAt));
    this->Make(units, slots);
    if (this->HasFatalFailure()) return;
    OptimizeRecorder<B> r;
    r.polls.assign(size_t(stopAt), 0);
    r.polls.back() = 1;
    const int32_t rc = Optimize<B>(this->path_, &r);
    if (r.pollCount < stopAt) {
      EXPECT_EQ(rc, 0);
      break;
    }
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(r.Outcome(), (std::vector<std::string>{"12", kStoppedText}));
    Walk<B> after;
    WalkFile<B>(this->path_, &after);
    ASSERT_FALSE(this->HasFailure());
    EXPECT_EQ(EntryTexts(after), EntryTexts(this->before_));
    EXPECT_EQ(CheckLines<B>(this->path_), CleanCheck(!after.freeUnits.empty()));
    OptimizeRecorder<B> again;
    EXPECT_EQ(Optimize<B>(this->path_, &again), 0);
    ExpectOptimized<B>(this->path_, this->before_);
    if (this->HasFailure()) return;
  }
}

// A build whose table lacks the texts: the statuses come with a null
// message, a failure without a text sends no kind 4.
TYPED_TEST(OptimizeTest, MissingTextsGiveNullStatusesAndNoFailureMessage) {
  using B = TypeParam;
  vk::OptimizeTexts none = [](int32_t) -> const char16_t* { return nullptr; };
  this->Make({2, 2}, {Blk(1), Blk(0)});
  {
    OptimizeRecorder<B> r;
    EXPECT_EQ(Optimize<B>(this->path_, &r, nullptr, none), 0);
    EXPECT_EQ(r.Outcome(), (std::vector<std::string>{"11", "3:(null)"}));
  }
  this->Make({2, 2}, {Blk(1), Blk(0)});
  {
    OptimizeRecorder<B> r;
    r.polls = {1};
    EXPECT_EQ(Optimize<B>(this->path_, &r, nullptr, none), 1);
    EXPECT_EQ(r.Outcome(), (std::vector<std::string>{"12", "3:(null)"}));
  }
  {
    FaultEnv env;
    OptimizeRecorder<B> r;
    vk::VkcDic<B> dic(&env);
    ASSERT_EQ(dic.OpenDic(this->path_, nullptr, false), 0);
    env.FailReadAfter(0);
    EXPECT_EQ(vk::RunOptimize(dic, r.Callback(), none), -1);
    dic.CloseDic();
    EXPECT_EQ(r.Outcome(), (std::vector<std::string>{"13:2"}));
  }
}

// Damage that would make blocks lose each other is refused before anything
// moves: the file stays as it was.
TYPED_TEST(OptimizeTest, DamagedLayoutsAreRefusedUntouched) {
  using B = TypeParam;
  using F = DamagedFile<B>;
  struct Case {
    const char* name;
    std::function<void(F&)> damage;
  };
  const std::vector<Case> cases = {
      {"two index entries name one block", [](F& f) { f.SetIndexValue(1, 0); }},
      {"an index entry inside another block", [](F& f) { f.SetIndexValue(1, 1); }},
      {"an index entry beyond the data area", [](F& f) { f.SetIndexValue(2, 500); }},
      {"a size word that runs past the data area", [](F& f) { f.SetH16(f.UnitAt(6), 9); }},
      {"an index entry names a free unit", [](F& f) { f.SetIndexValue(2, 5); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Blocks 2 (units 0-1), 0 (2-4), free 5, 1 (6-9).
    this->Make({3, 4, 2}, {Blk(2), Blk(0), Free(1), Blk(1)});
    if (this->HasFatalFailure()) return;
    {
      F f(this->path_);
      c.damage(f);
      f.Save();
    }
    const std::vector<uint8_t> damaged = ReadAll(this->path_);
    OptimizeRecorder<B> r;
    vk::VkcDic<B> dic;
    ASSERT_EQ(dic.OpenDic(this->path_, nullptr, false), 0);
    EXPECT_EQ(vk::RunOptimize(dic, r.Callback()), -1);
    EXPECT_EQ(dic.Error(), vk::kErrDamaged);
    dic.CloseDic();
    EXPECT_EQ(r.Outcome(), (std::vector<std::string>{"13:2", kDiskErrorText}));
    EXPECT_TRUE(ReadAll(this->path_) == damaged) << "the damaged file was changed";
  }
}

}  // namespace
}  // namespace vktest
