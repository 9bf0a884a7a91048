// Sizes a header states are checked against the file before anything is
// allocated, read or written on their account: a header whose extension,
// index area or data area reaches past the end of the file is refused at
// open with 31, one that fails the header check keeps its code (19, 6, 28),
// and neither an open attempt nor a change attempt alters the file. The
// program runs under a bounded address space (MemoryLimit.cpp), and the
// codes are those of the checks, not the 2 or 11 of an allocation that
// failed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "limits/LimitsTestUtil.h"

namespace vktest {
namespace {

template <class B>
class DamagedHeaderTest : public ::testing::Test {
 protected:
  // A small real dictionary: a few blocks, some free units.
  void SetUp() override {
    TestDic<B> d("base.dic");
    d.Create();
    for (int i = 0; i < 40; ++i) ASSERT_EQ(d.Rec("w" + std::to_string(100 + i), std::string(300, 'x')), 1);
    for (int i = 0; i < 40; i += 3) ASSERT_EQ(d.Del("w" + std::to_string(100 + i)), 1);
    d.Close();
    base_ = FileBytes(d.path());
    ASSERT_GT(base_.size(), 1024u);
  }

  // The dictionary with `change` made to its header and then its length set
  // to `*size` (which the change may set; it starts as the real length).
  std::vector<uint8_t> Damaged(const std::function<void(vk::DicHeader&, int64_t*)>& change) {
    std::vector<uint8_t> bytes = base_;
    vk::DicHeader h;
    vk::HeaderCodec<B>::FromFile(bytes.data(), h);
    int64_t size = int64_t(bytes.size());
    change(h, &size);
    vk::HeaderCodec<B>::ToFile(h, bytes.data());
    bytes.resize(size_t(size), 0);
    return bytes;
  }

  std::vector<uint8_t> base_;
  TempDir dir_;
};

TYPED_TEST_SUITE(DamagedHeaderTest, AllBuilds, BuildNames);

struct HeaderCase {
  const char* what;
  std::function<void(vk::DicHeader&, int64_t*)> change;
  int32_t code;  // 0: opens
};

// Where the data area of an unchanged header ends.
inline int64_t DataEnd(const vk::DicHeader& h) {
  return h.IndexAreaOffset() + int64_t(h.indexBlocks()) * h.blockSize() + int64_t(h.blockCount()) * h.blockSize();
}

std::vector<HeaderCase> Cases() {
  using H = vk::DicHeader;
  const int32_t kDamaged = vk::kErrDamaged;
  return {
      {"extension of 2 GiB", [](H& h, int64_t*) { h.setExtHeaderSize(0x7FFFFFFF); }, kDamaged},
      {"extension of 4 GiB", [](H& h, int64_t*) { h.setExtHeaderSize(0xFFFFFFFFu); }, kDamaged},
      {"extension past the end",
       [](H& h, int64_t* size) { h.setExtHeaderSize(uint32_t(*size - 256 + 1)); }, kDamaged},
      {"index area of 0x7FFF units of 0x7FFF bytes",
       [](H& h, int64_t*) {
         h.setIndexBlocks(0x7FFF);
         h.setBlockSize(0x7FFF);
       },
       kDamaged},
      {"index area one unit longer", [](H& h, int64_t*) { h.setIndexBlocks(int16_t(h.indexBlocks() + 1)); }, kDamaged},
      {"index area negative", [](H& h, int64_t*) { h.setIndexBlocks(-1); }, kDamaged},
      {"file cut inside the index",
       [](H& h, int64_t* size) { *size = h.IndexAreaOffset() + int64_t(h.indexBlocks()) * h.blockSize() - 10; },
       kDamaged},
      {"data area of 0x1FFFFE units of 32767 bytes in 64 KiB",
       [](H& h, int64_t* size) {
         h.setBlockSize(32767);
         h.setIndexBlocks(1);
         h.setBlockCount(0x1FFFFE);
         *size = 64 * 1024;
       },
       kDamaged},
      {"huge data area, block size 0x7FFF, 33 KiB",
       [](H& h, int64_t* size) {
         h.setBlockSize(0x7FFF);
         h.setIndexBlocks(0);
         h.setBlockCount(0x100000);
         *size = 33 * 1024;
       },
       kDamaged},
      {"data area of 0x7FFFFFFF units", [](H& h, int64_t*) { h.setBlockCount(0x7FFFFFFF); }, kDamaged},
      {"data area one unit longer", [](H& h, int64_t*) { h.setBlockCount(h.blockCount() + 1); }, kDamaged},
      {"data area negative", [](H& h, int64_t*) { h.setBlockCount(-5); }, kDamaged},
      {"file cut to the start of its last unit",
       [](H& h, int64_t* size) { *size = DataEnd(h) - h.blockSize(); }, kDamaged},
      {"block size 0", [](H& h, int64_t*) { h.setBlockSize(0); }, kDamaged},
      {"block size negative", [](H& h, int64_t*) { h.setBlockSize(-256); }, kDamaged},
      {"block size 7", [](H& h, int64_t*) { h.setBlockSize(7); }, kDamaged},
      {"block size 0x7FFF", [](H& h, int64_t*) { h.setBlockSize(0x7FFF); }, kDamaged},
      {"header size 0", [](H& h, int64_t*) { h.setHeaderSize(0); }, vk::kErrNotDictionary},
      {"version 4", [](H& h, int64_t*) { h.setVersion(0x0400); }, vk::kErrVersion},
      {"another type", [](H& h, int64_t*) { h.setDicType(0x7F); }, vk::kErrUnsupportedType},
      // What still opens: the last unit may be incomplete, a free chain that
      // leads nowhere is left behind, and bytes after the data area do no harm.
      {"file cut inside its last unit", [](H& h, int64_t* size) { *size = DataEnd(h) - h.blockSize() + 6; }, 0},
      {"free chain far past the end", [](H& h, int64_t*) { h.setFreeBlock(0x7FFFFFF0); }, 0},
      {"index count huge", [](H& h, int64_t*) { h.setIndexCount(0x7FFFFFFF); }, 0},
  };
}

TYPED_TEST(DamagedHeaderTest, SizesPastTheFileAreRefusedAndTheFileStaysAsItWas) {
  using B = TypeParam;
  const std::string path = this->dir_.Path("damaged.dic");
  for (const HeaderCase& c : Cases()) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> bytes = this->Damaged(c.change);
    PutFileBytes(path, bytes);
    for (bool readOnly : {true, false}) {
      vk::DicFile<B> dic;
      EXPECT_EQ(dic.Open(path, readOnly), c.code == 0 ? 0 : -1);
      EXPECT_EQ(dic.Error(), c.code);
      dic.Close();
      vk::Voka<B> v;
      if (v.OpenDic(path, nullptr, readOnly) != 0) {
        EXPECT_EQ(v.Error(), c.code);
        continue;
      }
      EXPECT_EQ(c.code, 0) << "opened";
      // Reading it does not change it.
      EXPECT_GE(v.FindWord(T<B>("w101").c_str(), nullptr), 0);
      v.CloseDic();
    }
    EXPECT_TRUE(FileBytes(path) == bytes) << "the file changed";
  }
}

// A header that opens but understates nothing: changes go on and the file
// stays sound, whatever its free chain pointed at.
TYPED_TEST(DamagedHeaderTest, OpenableDamageStillTakesChanges) {
  using B = TypeParam;
  const std::string path = this->dir_.Path("damaged.dic");
  for (const HeaderCase& c : Cases()) {
    if (c.code != 0) continue;
    SCOPED_TRACE(c.what);
    PutFileBytes(path, this->Damaged(c.change));
    {
      vk::Voka<B> v;
      ASSERT_EQ(v.OpenDic(path, nullptr, false), 0);
      for (int i = 0; i < 30; ++i)
        ASSERT_EQ(v.RecordWord(T<B>("n" + std::to_string(i)).c_str(), Fields<B>(T<B>(std::string(200, 'y')))), 1)
            << v.Error();
      v.CloseDic();
    }
    Walk<B> walk;
    WalkFile<B>(path, &walk);
  }
}

// A block whose size word states more units than the data area holds is
// refused when it is loaded, before a buffer for it is made, and a change
// that meets it leaves the file as it was.
TYPED_TEST(DamagedHeaderTest, BlockSizeWordPastTheDataAreaIsRefused) {
  using B = TypeParam;
  const std::string path = this->dir_.Path("damaged.dic");
  for (int16_t unit : {int16_t(256), int16_t(0x7FFF)}) {
    SCOPED_TRACE(unit);
    // With unit 0x7FFF the file is made to match: every unit as long.
    std::vector<uint8_t> bytes = this->Damaged([unit](vk::DicHeader& h, int64_t* size) {
      if (unit != h.blockSize()) {
        h.setBlockSize(unit);
        *size = h.IndexAreaOffset() + int64_t(h.indexBlocks() + h.blockCount()) * unit;
      }
    });
    vk::DicHeader h;
    vk::HeaderCodec<B>::FromFile(bytes.data(), h);
    // The first index entry's block: its size word becomes 0x7FFF.
    int32_t first;
    {
      PutFileBytes(path, this->base_);
      vk::DicFile<B> dic;
      ASSERT_EQ(dic.Open(path, true), 0);
      first = dic.Index().BlockNumber(0);
    }
    const int64_t at = h.IndexAreaOffset() + int64_t(h.indexBlocks()) * unit + int64_t(first) * unit;
    vk::Store16<B::kFileOrder>(bytes.data() + at, 0x7FFF);
    PutFileBytes(path, bytes);
    vk::Voka<B> v;
    ASSERT_EQ(v.OpenDic(path, nullptr, false), 0);
    EXPECT_EQ(v.Data().Load(first), -1);
    EXPECT_EQ(v.Error(), vk::kErrDamaged);
    EXPECT_EQ(v.RecordWord(T<B>("a").c_str(), Fields<B>(T<B>("x"))), -1);
    EXPECT_EQ(v.Error(), vk::kErrDamaged);
    v.CloseDic();
    EXPECT_TRUE(FileBytes(path) == bytes) << "the file changed";
  }
}

}  // namespace
}  // namespace vktest
