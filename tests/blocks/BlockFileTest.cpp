// The block file and the dictionary-level storage operations, through real
// files, in the UTF-8 and the UTF-16 big-endian builds.
#include <gtest/gtest.h>

#include <cstring>

#include "dic/DicFile.h"
#include "format/HeaderCodec.h"
#include "support/StoredWords.h"
#include "support/FaultEnv.h"
#include "support/Builds.h"
#include "support/TempDir.h"
#include "text/Collation.h"

namespace {

using namespace vk;
using vktest::ReadAll;

template <class B>
class BlockFileTest : public ::testing::Test {
 protected:
  using Unit = typename B::Unit;

  void SetUp() override {
    path_ = dir_.Path("blocks.dic");
    ASSERT_EQ(dic_.Create(path_, false), 0);
  }

  HVokaData<B>& data() { return dic_.Data(); }
  HVokaIndex<B>& index() { return dic_.Index(); }

  // A fresh block of `units` units with a marker after its empty entry list,
  // named in the index by `word`. Answers its number.
  int32_t AddBlock(int32_t units, uint32_t marker, const std::string& word) {
    int32_t n = data().NewBlock(static_cast<uint16_t>(units));
    EXPECT_GE(n, 0);
    StoreLE32(data().Buffer() + 4, marker);
    EXPECT_EQ(data().MarkWritten(n), 0);
    auto w = vktest::Word<B>(word);
    int32_t pos = index().Count() == 0 ? 0 : index().Find(w.c_str());
    if (index().Count() > 0 && CompareWords(w.c_str(), index().Word(pos)) > 0) ++pos;
    EXPECT_EQ(dic_.InsertIndex(pos, n, w.c_str()), 0);
    return index().BlockNumber(index().FindBlock(index().BlockNumber(pos)));
  }

  uint32_t MarkerAt(int32_t n) {
    EXPECT_EQ(data().Load(n), 0);
    return LoadLE32(data().Buffer() + 4);
  }

  void FreeAt(int32_t n) {
    ASSERT_EQ(data().Load(n), 0);
    ASSERT_EQ(data().FreeBlock(n), 0);
    int32_t pos = index().FindBlock(n);
    if (pos >= 0) index().Remove(pos);
  }

  // Reads the free chain as stored in the file, from the header's free_block.
  std::vector<int32_t> StoredChain() {
    std::vector<int32_t> chain;
    auto bytes = ReadAll(path_);
    DicHeader h;
    HeaderCodec<B>::FromFile(bytes.data(), h);
    int64_t dataStart = h.IndexAreaOffset() + int64_t(h.indexBlocks()) * h.blockSize();
    for (int32_t u = h.freeBlock(); u != -1 && chain.size() < 100000;) {
      chain.push_back(u);
      size_t off = size_t(dataStart + int64_t(u) * h.blockSize());
      if (off + 6 > bytes.size()) break;
      EXPECT_EQ(LoadLE16(&bytes[off]), 0) << "unit " << u;
      u = int32_t(LoadLE32(&bytes[off + 2]));
    }
    return chain;
  }

  vktest::TempDir dir_;
  std::string path_;
  DicFile<B> dic_;
};

using Builds = vktest::ByteAndUnitBuilds;
TYPED_TEST_SUITE(BlockFileTest, Builds);

TYPED_TEST(BlockFileTest, FirstIndexInsertGrowsTheAreaByFourUnits) {
  EXPECT_EQ(this->index().AreaSize(), 0);
  int32_t n = this->AddBlock(1, 7, "apple");
  EXPECT_EQ(this->index().AreaSize(), 4 * 256);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(this->data().End(), 1);
  EXPECT_EQ(this->MarkerAt(0), 7u);
  ASSERT_EQ(this->dic_.Close(), 0);
  // Header, four index units, one data unit.
  EXPECT_EQ(ReadAll(this->path_).size(), 256u + 5 * 256);
}

TYPED_TEST(BlockFileTest, LoadingAFreeUnitGivesAnEmptyOneUnitBlock) {
  this->AddBlock(1, 1, "a");
  int32_t b = this->AddBlock(2, 2, "b");
  this->FreeAt(b);
  ASSERT_EQ(this->data().SaveFreeChain(), 0);
  ASSERT_EQ(this->data().Load(0), 0);
  ASSERT_EQ(this->data().Load(b), 0);
  EXPECT_EQ(this->data().BufferedSizeWord(), 0);
  EXPECT_EQ(LoadLE16(this->data().Buffer()), 0);
  EXPECT_EQ(this->data().BufferSize(), 256u);
}

TYPED_TEST(BlockFileTest, FreedUnitsMergeAndChainAscending) {
  for (int i = 0; i < 10; ++i) this->AddBlock(1, i, "w" + std::to_string(i));
  this->FreeAt(5);
  this->FreeAt(6);
  this->FreeAt(7);
  EmptyList* runs = this->data().FreeRuns();
  runs->Sort();
  ASSERT_EQ(runs->Runs().size(), 1u);
  EXPECT_EQ(runs->Runs()[0].start, 5);
  EXPECT_EQ(runs->Runs()[0].length, 3);
  this->FreeAt(9);  // the last block: trimmed away at close
  ASSERT_EQ(this->dic_.FullFlush(), 0);
  EXPECT_EQ(this->StoredChain(), (std::vector<int32_t>{5, 6, 7, 9}));
  ASSERT_EQ(this->dic_.Close(), 0);
  EXPECT_EQ(this->StoredChain(), (std::vector<int32_t>{5, 6, 7}));
  EXPECT_EQ(ReadAll(this->path_).size(), 256u + 4 * 256 + 9 * 256);
}

TYPED_TEST(BlockFileTest, GrowingKeepsThePlaceWhenRoomFollows) {
  int32_t a = this->AddBlock(2, 1, "a");
  int32_t b = this->AddBlock(1, 2, "b");
  int32_t c = this->AddBlock(3, 3, "c");
  // The last block grows in place.
  ASSERT_EQ(this->data().Load(c), 0);
  EXPECT_EQ(this->data().GrowBlock(c, 3, 5, true), c);
  EXPECT_EQ(this->data().End(), c + 5);
  ASSERT_EQ(this->data().MarkWritten(c), 0);
  // A block followed by enough free units keeps its number.
  this->FreeAt(b);
  ASSERT_EQ(this->data().Load(a), 0);
  EXPECT_EQ(this->data().GrowBlock(a, 2, 3, true), a);
  ASSERT_EQ(this->data().MarkWritten(a), 0);
  EXPECT_EQ(this->data().FreeRuns()->FreeRunLengthAt(b), 0);
  // Without room the block moves to the end, and its old units are freed.
  ASSERT_EQ(this->data().Load(a), 0);
  int32_t moved = this->data().GrowBlock(a, 3, 4, true);
  EXPECT_EQ(moved, c + 5);
  ASSERT_EQ(this->data().MarkWritten(moved), 0);
  this->index().SetBlockNumber(this->index().FindBlock(a), moved);
  EXPECT_EQ(this->MarkerAt(moved), 1u);
  EXPECT_EQ(UnitsOf(this->data().BufferedSizeWord()), 4);
  EXPECT_EQ(this->data().FreeRuns()->FreeRunLengthAt(a), 3);
  EXPECT_EQ(this->MarkerAt(c), 3u);
}

TYPED_TEST(BlockFileTest, FastModeWritesAChangedBlockOnce) {
  vktest::FaultEnv env;
  DicFile<TypeParam> dic(&env);
  ASSERT_EQ(dic.Create(this->dir_.Path("fast.dic"), false), 0);
  ASSERT_EQ(dic.GrowIndexArea(1), 0);
  int32_t a = dic.Data().NewBlock(1);
  int32_t b = dic.Data().NewBlock(1);
  ASSERT_EQ(dic.SetFastMode(true), 1);
  ASSERT_EQ(dic.Data().Load(a), 0) << dic.Error();
  int before = env.writes();
  dic.Data().Buffer()[10] = 1;
  ASSERT_EQ(dic.Data().MarkWritten(a), 0);
  dic.Data().Buffer()[11] = 2;
  ASSERT_EQ(dic.Data().MarkWritten(a), 0);
  EXPECT_EQ(env.writes(), before);
  // Loading another block writes the changed one once, into the file
  // layer, which holds fast mode's writes until the commit.
  ASSERT_EQ(dic.Data().Load(b), 0);
  EXPECT_EQ(env.writes(), before);
  ASSERT_EQ(dic.SetFastMode(false), 0);
  EXPECT_GT(env.writes(), before);
  // Without fast mode each change is written at once (the first change
  // after a commit also saves what it overwrites first).
  dic.Data().Buffer()[12] = 3;
  ASSERT_EQ(dic.Data().MarkWritten(b), 0);
  before = env.writes();
  dic.Data().Buffer()[12] = 4;
  ASSERT_EQ(dic.Data().MarkWritten(b), 0);
  dic.Data().Buffer()[12] = 5;
  ASSERT_EQ(dic.Data().MarkWritten(b), 0);
  EXPECT_EQ(env.writes(), before + 2);
  ASSERT_EQ(dic.Data().Load(a), 0) << dic.Error();
  EXPECT_EQ(dic.Data().Buffer()[10], 1);
  EXPECT_EQ(dic.Data().Buffer()[11], 2);
}

TYPED_TEST(BlockFileTest, CompactionMovesASmallGapsStretchDown) {
  ASSERT_EQ(this->dic_.GrowIndexArea(8), 0);  // room for every entry: no block moves
  for (int i = 0; i < 44; ++i) this->AddBlock(1, 100 + i, "w" + std::to_string(1000 + i));
  this->FreeAt(10);
  this->FreeAt(11);
  this->FreeAt(42);
  // 20 x 2 >= 30: the 30 units 12..41 move down by 2.
  EXPECT_EQ(this->dic_.CompactionStep(), 1);
  for (int i = 12; i < 42; ++i) {
    int32_t pos = this->index().FindBlock(i - 2);
    ASSERT_GE(pos, 0);
    EXPECT_EQ(this->MarkerAt(i - 2), uint32_t(100 + i));
  }
  EXPECT_EQ(this->index().FindBlock(41), -1);
  EXPECT_EQ(this->data().FreeRuns()->FreeRunLengthAt(40), 3);
  EXPECT_EQ(this->dic_.CompactionStep(), 0);
}

TYPED_TEST(BlockFileTest, CompactionLeavesALargeStretchAlone) {
  ASSERT_EQ(this->dic_.GrowIndexArea(8), 0);  // room for every entry: no block moves
  for (int i = 0; i < 64; ++i) this->AddBlock(1, i, "w" + std::to_string(1000 + i));
  this->FreeAt(10);
  this->FreeAt(11);
  this->FreeAt(62);  // 50 used units between the gaps: 40 < 50
  EXPECT_EQ(this->dic_.CompactionStep(), 0);
  EXPECT_EQ(this->MarkerAt(12), 12u);
}

TYPED_TEST(BlockFileTest, CompactionRefusesABlockNoIndexEntryNames) {
  for (int i = 0; i < 4; ++i) this->AddBlock(1, i, "w" + std::to_string(i));
  int32_t stray = this->data().NewBlock(1);  // never entered into the index
  this->AddBlock(1, 9, "x");
  this->FreeAt(1);
  ASSERT_EQ(stray, 4);
  this->FreeAt(5);
  EXPECT_EQ(this->dic_.CompactionStep(), -1);
  EXPECT_EQ(this->dic_.Error(), kErrDamaged);
}

// The stretch moves as its bytes stand, block after block; a block whose
// units run into the free run that ends the stretch (free units the free
// list and the block both claim) is damage, refused before anything moves.
TYPED_TEST(BlockFileTest, CompactionRefusesABlockReachingIntoTheFreeRunAfterIt) {
  ASSERT_EQ(this->dic_.GrowIndexArea(8), 0);  // room for every entry: no block moves
  for (int i = 0; i < 4; ++i) this->AddBlock(1, 100 + i, "w" + std::to_string(i));
  ASSERT_EQ(this->AddBlock(2, 109, "x"), 4);  // units 4 and 5
  this->FreeAt(1);
  this->data().FreeRuns()->Add(5, 1);  // the second unit of "x" listed as free too
  EXPECT_EQ(this->dic_.CompactionStep(), -1);
  EXPECT_EQ(this->dic_.Error(), kErrDamaged);
  for (int i = 2; i < 4; ++i) {
    EXPECT_EQ(this->index().BlockNumber(this->index().FindBlock(i)), i);
    EXPECT_EQ(this->MarkerAt(i), uint32_t(100 + i));
  }
  EXPECT_EQ(this->MarkerAt(4), 109u);
}

TYPED_TEST(BlockFileTest, GrowingTheIndexMovesTheFirstBlockInSteps) {
  ASSERT_EQ(this->dic_.GrowIndexArea(4), 0);
  ASSERT_EQ(this->AddBlock(3, 30, "b"), 0);
  ASSERT_EQ(this->AddBlock(2, 20, "c"), 3);
  int32_t areaBefore = this->index().AreaSize();
  // k = 4 against a 3-unit first block: it moves to the end and 3 units are
  // gained; the fourth comes from moving the next block, whose second unit
  // is left free.
  ASSERT_EQ(this->dic_.GrowIndexArea(4), 0);
  EXPECT_EQ(this->index().AreaSize(), areaBefore + 4 * 256);
  EXPECT_EQ(this->index().BlockNumber(0), 1);  // "b": moved to 5, shifted by 3 and 1
  EXPECT_EQ(this->index().BlockNumber(1), 4);  // "c": moved to 5 after the first shift
  EXPECT_EQ(this->MarkerAt(1), 30u);
  EXPECT_EQ(this->MarkerAt(4), 20u);
  EXPECT_EQ(this->data().End(), 6);
  EXPECT_EQ(this->data().FreeRuns()->FreeRunLengthAt(0), 1);
  ASSERT_EQ(this->dic_.Close(), 0);
  DicFile<TypeParam> again;
  ASSERT_EQ(again.Open(this->path_, true), 0);
  EXPECT_EQ(again.Index().Count(), 2);
  EXPECT_EQ(again.Header().indexBlocks(), 8);
}

TYPED_TEST(BlockFileTest, NewBlockPastTheLastNumberIsRefused) {
  ASSERT_EQ(this->dic_.GrowIndexArea(1), 0);
  this->data().SetEnd(TypeParam::kMaxBlockStart + 1);
  EXPECT_EQ(this->data().NewBlock(1), -1);
  EXPECT_EQ(this->dic_.Error(), kErrDictionaryFull);
  EXPECT_EQ(this->data().AllocateRun(1, false), -1);
  EXPECT_EQ(this->dic_.Error(), kErrDictionaryFull);
  this->data().SetEnd(TypeParam::kMaxBlockStart);
  EXPECT_EQ(this->data().NewBlock(1), TypeParam::kMaxBlockStart);
}

TYPED_TEST(BlockFileTest, ClosingUnchangedDictionaryLeavesTheFileAsItWas) {
  for (int i = 0; i < 5; ++i) this->AddBlock(1, i, "w" + std::to_string(i));
  this->FreeAt(4);
  ASSERT_EQ(this->dic_.Close(), 0);
  auto before = ReadAll(this->path_);
  DicFile<TypeParam> again;
  ASSERT_EQ(again.Open(this->path_, false), 0);
  ASSERT_EQ(again.Data().Load(2), 0);
  ASSERT_EQ(again.Close(), 0);
  EXPECT_EQ(ReadAll(this->path_), before);
}

TYPED_TEST(BlockFileTest, TrimmingGivesBackARoomyIndexArea) {
  this->AddBlock(1, 1, "a");
  ASSERT_EQ(this->dic_.GrowIndexArea(20), 0);
  ASSERT_EQ(this->index().AreaSize(), 24 * 256);
  ASSERT_EQ(this->dic_.Close(), 0);
  DicFile<TypeParam> again;
  ASSERT_EQ(again.Open(this->path_, true), 0);
  EXPECT_EQ(again.Header().indexBlocks(), 16);
  EXPECT_EQ(again.Index().BlockNumber(0), 8);
  EXPECT_EQ(again.Header().freeBlock(), 0);
  EXPECT_EQ(again.Data().End(), 9);
}

// A chain read from a damaged file ends at the first unit already seen, at a
// unit outside the data area, or at a used unit; loading it never hangs.
TEST(FreeChainDamage, LoadStopsAtLoopsAndStrayLinks) {
  struct Case {
    const char* what;
    int32_t lastLink;  // what the chain's last unit (7) is made to point at
    std::vector<int32_t> expectedFree;
  };
  const Case cases[] = {
      {"loop back to the first unit", 3, {3, 5, 7}},
      {"loop onto itself", 7, {3, 5, 7}},
      {"link past the data area", 5000, {3, 5, 7}},
      {"link to a used unit", 1, {3, 5, 7}},
  };
  vktest::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string path = dir.Path("chain.dic");
    {
      DicFile<TraitsVKCU8L> dic;
      ASSERT_EQ(dic.Create(path, false), 0);
      ASSERT_EQ(dic.GrowIndexArea(1), 0);
      for (int i = 0; i < 9; ++i) ASSERT_EQ(dic.Data().NewBlock(1), i);
      for (int n : {3, 5, 7}) {
        ASSERT_EQ(dic.Data().Load(n), 0);
        ASSERT_EQ(dic.Data().FreeBlock(n), 0);
      }
      ASSERT_EQ(dic.Close(), 0);
    }
    auto bytes = ReadAll(path);
    const size_t unit7 = 256 + 256 + 7 * 256;
    ASSERT_EQ(LoadLE32(&bytes[unit7 + 2]), 0xFFFFFFFFu);
    StoreLE32(&bytes[unit7 + 2], static_cast<uint32_t>(c.lastLink));
    vktest::WriteAll(path, bytes);
    DicFile<TraitsVKCU8L> dic;
    ASSERT_EQ(dic.Open(path, false), 0);
    EmptyList* runs = dic.Data().FreeRuns();
    runs->Sort();
    std::vector<int32_t> free;
    for (const auto& r : runs->Runs())
      for (int32_t i = 0; i < r.length; ++i) free.push_back(r.start + i);
    EXPECT_EQ(free, c.expectedFree);
    ASSERT_EQ(dic.Close(), 0);
  }
}

// One row per failure of the block file, each injected at the file layer.
struct FaultCase {
  const char* what;
  void (*arm)(vktest::FaultEnv&);
  int (*run)(DicFile<TraitsVKCU8L>&);
  int32_t code;
};

int LoadBlock1(DicFile<TraitsVKCU8L>& d) { return d.Data().Load(1); }
// A changed block 0: bytes the file already holds are not written again.
int WriteBlock0(DicFile<TraitsVKCU8L>& d) {
  if (d.Data().Load(0) != 0) return 0;
  d.Data().Buffer()[20] ^= 0x5A;
  return d.Data().MarkWritten(0);
}
int Relocate0(DicFile<TraitsVKCU8L>& d) { return d.Data().RelocateBlock(0, 0) < 0 ? -1 : 0; }
int SaveChain(DicFile<TraitsVKCU8L>& d) {
  d.Data().FreeRuns()->Add(5, 1);
  return d.Data().SaveFreeChain();
}
int AllocateAtEnd(DicFile<TraitsVKCU8L>& d) { return d.Data().AllocateRun(2, false) < 0 ? -1 : 0; }
int GrowMiddle(DicFile<TraitsVKCU8L>& d) {
  if (d.Data().Load(0) != 0) return 0;
  return d.Data().GrowBlock(0, 1, 3, true) < 0 ? -1 : 0;
}
int NewBlockFlush(DicFile<TraitsVKCU8L>& d) { return d.Data().NewBlock(1) < 0 ? -1 : 0; }
int CopyBlock1(DicFile<TraitsVKCU8L>& d) {
  std::vector<uint8_t> copy;
  return d.Data().ReadBlockCopy(1, &copy);
}
// An image the file does not hold yet, so that it has to be written.
int WriteImage1(DicFile<TraitsVKCU8L>& d) {
  std::vector<uint8_t> image(size_t(d.Data().UnitSize()), 0);
  image[0] = 1;
  image[20] = 0x5A;
  return d.Data().WriteBlockImage(1, image.data(), image.size());
}

TEST(BlockFileFaults, EachFailureGivesItsCode) {
  const FaultCase cases[] = {
      {"read fails", [](vktest::FaultEnv& e) { e.FailReadAfter(0); }, LoadBlock1, kErrReadWrite},
      {"size word short", [](vktest::FaultEnv& e) { e.ShortReadAfter(0); }, LoadBlock1, kErrReadWrite},
      {"positioning fails", [](vktest::FaultEnv& e) { e.FailSeekAfter(0); }, LoadBlock1, kErrSeek},
      {"block write fails", [](vktest::FaultEnv& e) { e.FailWriteAfter(0); }, WriteBlock0, kErrReadWrite},
      {"block write short", [](vktest::FaultEnv& e) { e.ShortWriteAfter(0); }, WriteBlock0, kErrDiskFull},
      {"disk full", [](vktest::FaultEnv& e) { e.DiskFullAfterBytes(10); }, WriteBlock0, kErrDiskFull},
      {"relocation copy unwritable", [](vktest::FaultEnv& e) { e.FailWriteAfter(0); }, Relocate0, kErrReadWrite},
      {"free chain unwritable", [](vktest::FaultEnv& e) { e.FailWriteAfter(0); }, SaveChain, kErrDiskFull},
      {"free chain short", [](vktest::FaultEnv& e) { e.ShortWriteAfter(0); }, SaveChain, kErrDiskFull},
      {"positioning past a new run fails", [](vktest::FaultEnv& e) { e.FailSeekAfter(0); }, AllocateAtEnd, kErrDiskFull},
      {"positioning past a moved block fails", [](vktest::FaultEnv& e) { e.FailSeekAfter(1); }, GrowMiddle, kErrDiskFull},
      {"new block unwritable", [](vktest::FaultEnv& e) { e.FailWriteAfter(0); }, NewBlockFlush, kErrReadWrite},
      {"copy: size word unreadable", [](vktest::FaultEnv& e) { e.FailReadAfter(0); }, CopyBlock1, kErrReadWrite},
      {"copy: size word short", [](vktest::FaultEnv& e) { e.ShortReadAfter(0); }, CopyBlock1, kErrReadWrite},
      {"copy: body unreadable", [](vktest::FaultEnv& e) { e.FailReadAfter(1); }, CopyBlock1, kErrReadWrite},
      {"copy: positioning fails", [](vktest::FaultEnv& e) { e.FailSeekAfter(0); }, CopyBlock1, kErrSeek},
      {"copy: positioning for the body fails", [](vktest::FaultEnv& e) { e.FailSeekAfter(1); }, CopyBlock1, kErrSeek},
      {"image unwritable", [](vktest::FaultEnv& e) { e.FailWriteAfter(0); }, WriteImage1, kErrReadWrite},
      {"image written short", [](vktest::FaultEnv& e) { e.ShortWriteAfter(0); }, WriteImage1, kErrDiskFull},
      {"image: disk full", [](vktest::FaultEnv& e) { e.DiskFullAfterBytes(10); }, WriteImage1, kErrDiskFull},
      {"image: positioning fails", [](vktest::FaultEnv& e) { e.FailSeekAfter(0); }, WriteImage1, kErrSeek},
  };
  vktest::TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    vktest::FaultEnv env;
    DicFile<TraitsVKCU8L> dic(&env);
    ASSERT_EQ(dic.Create(dir.Path("f.dic"), false), 0);
    ASSERT_EQ(dic.GrowIndexArea(1), 0);
    for (int i = 0; i < 3; ++i) ASSERT_EQ(dic.Data().NewBlock(1), i);
    dic.SetError(0);
    c.arm(env);
    EXPECT_EQ(c.run(dic), -1);
    EXPECT_EQ(dic.Error(), c.code);
    env.Reset();
  }
}

}  // namespace
