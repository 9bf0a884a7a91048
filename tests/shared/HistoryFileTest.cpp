// The history file of a shared dictionary: its header and entries byte for
// byte, the change list's merging, the 16-byte pieces a write records, and
// the cut of the oldest entries, through real files.
#include "shared/HistoryFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "format/ByteOrder.h"
#include "support/FileText.h"
#include "support/TempDir.h"

namespace vk {
namespace {

using vktest::ReadAll;
using vktest::WriteAll;
using Fields = std::vector<NDHField>;

TEST(HistFieldArray, MergeSortsAndFoldsWhatTouchesOrOverlaps) {
  struct Case {
    const char* what;
    Fields in;
    Fields out;
  };
  const Case cases[] = {
      {"touching ranges are one", {{0, 16}, {16, 16}}, {{0, 32}}},
      {"a range inside another disappears", {{0, 64}, {16, 8}}, {{0, 64}}},
      {"out of order", {{48, 16}, {0, 16}, {16, 16}}, {{0, 32}, {48, 16}}},
      {"overlap lengthens", {{10, 10}, {15, 20}}, {{10, 25}}},
      {"a gap of one byte stays", {{0, 16}, {17, 4}}, {{0, 16}, {17, 4}}},
      {"equal offsets keep the longer", {{8, 4}, {8, 12}, {8, 2}}, {{8, 12}}},
      {"a chain folds into the first", {{0, 2}, {2, 2}, {4, 2}, {1, 9}}, {{0, 10}}},
      {"nothing", {}, {}},
      {"at the top of the offsets", {{0xFFFFFFF0u, 16}, {0xFFFFFFF8u, 8}}, {{0xFFFFFFF0u, 16}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    HistFieldArray list;
    for (const NDHField& f : c.in) list.Add(f.offset, f.length);
    list.Merge();
    EXPECT_EQ(list.Fields(), c.out);
  }
}

TEST(HistFieldArray, AWriteRecordsOnlyThePiecesThatChange) {
  std::vector<uint8_t> before(40), after;
  for (size_t i = 0; i < before.size(); ++i) before[i] = static_cast<uint8_t>(i);
  after = before;
  HistFieldArray list;
  RecordChangedPieces(1000, before.data(), after.data(), before.size(), &list);
  EXPECT_EQ(list.size(), 0u) << "the same bytes record nothing";

  after[17] ^= 1;  // the second piece
  after[39] ^= 1;  // the last, short piece (32..39)
  RecordChangedPieces(1000, before.data(), after.data(), before.size(), &list);
  EXPECT_EQ(list.Fields(), (Fields{{1016, 16}, {1032, 8}}));

  // Pieces are counted from the write's own start, not from the file's.
  list.Clear();
  RecordChangedPieces(5, before.data(), after.data(), 20, &list);
  EXPECT_EQ(list.Fields(), (Fields{{21, 4}}));

  // Every piece changed: merged, one range for the whole write.
  list.Clear();
  std::vector<uint8_t> other(before.size(), 0xEE);
  RecordChangedPieces(64, before.data(), other.data(), other.size(), &list);
  list.Merge();
  EXPECT_EQ(list.Fields(), (Fields{{64, 40}}));
}

TEST(HistoryHeader, BytesAreLittleEndianAndTheMagicIsReadByItsFirstByte) {
  HistoryHeader h;
  h.sharedSize = 0x01020304;
  h.sharedTime = 0x1122334455667788ull;
  h.base = 0x8000;
  h.identity = 0x1234;
  uint8_t raw[kHistoryHeaderBytes];
  h.Encode(raw);
  const std::vector<uint8_t> head(raw, raw + 24);
  const std::vector<uint8_t> want = {'V',  'K',  'H',  '1',  0x04, 0x03, 0x02, 0x01, 0x88, 0x77, 0x66, 0x55,
                                     0x44, 0x33, 0x22, 0x11, 0x00, 0x80, 0x00, 0x00, 0x34, 0x12, 0x00, 0x00};
  EXPECT_EQ(head, want);
  for (size_t i = 24; i < kHistoryHeaderBytes; ++i) ASSERT_EQ(raw[i], 0) << i;

  HistoryHeader back;
  ASSERT_TRUE(HistoryHeader::Decode(raw, sizeof raw, &back));
  EXPECT_EQ(back.sharedSize, h.sharedSize);
  EXPECT_EQ(back.sharedTime, h.sharedTime);
  EXPECT_EQ(back.base, h.base);
  EXPECT_EQ(back.identity, h.identity);

  raw[1] = 'X';  // only the first byte of the magic is compared
  EXPECT_TRUE(HistoryHeader::Decode(raw, sizeof raw, &back));
  raw[0] = 'W';
  EXPECT_FALSE(HistoryHeader::Decode(raw, sizeof raw, &back));
  raw[0] = 'V';
  EXPECT_FALSE(HistoryHeader::Decode(raw, sizeof raw - 1, &back)) << "a short header is no header";
}

class HistoryFileTest : public ::testing::Test {
 protected:
  void Open(OpenMode mode = OpenMode::kReadWrite) {
    file.reset();
    ASSERT_EQ(Env::Default()->Open(path, mode, &file), 0);
  }
  vktest::TempDir dir;
  std::string path = dir.Path("x.dic.HST");
  std::unique_ptr<File> file;
};

TEST_F(HistoryFileTest, ANewHistoryThenEntriesRoundTripThroughTheFile) {
  Open(OpenMode::kCreate);
  HistoryFile hist(file.get());
  ASSERT_EQ(hist.StartNew(777), 0);
  for (uint32_t k = 0; k < 3; ++k) ASSERT_EQ(hist.Append(NDHField{k * 100, k + 1}), 0);
  file.reset();

  const std::vector<uint8_t> bytes = ReadAll(path);
  ASSERT_EQ(bytes.size(), kHistoryHeaderBytes + 3 * kHistoryEntryBytes);
  EXPECT_EQ(LoadLE32(bytes.data() + 20), 777u);
  EXPECT_EQ(LoadLE32(bytes.data() + 16), 0u);
  EXPECT_EQ(LoadLE32(bytes.data() + 256 + 8), 100u);  // entry 1: offset
  EXPECT_EQ(LoadLE32(bytes.data() + 256 + 12), 2u);   // and length

  Open(OpenMode::kReadOnly);
  HistoryFile again(file.get());
  HistoryHeader h;
  bool found = false;
  ASSERT_EQ(again.ReadHeader(&h, &found), 0);
  ASSERT_TRUE(found);
  EXPECT_EQ(h.identity, 777);
  int64_t count = -1;
  ASSERT_EQ(again.EntryCount(&count), 0);
  EXPECT_EQ(count, 3);
  Fields from1;
  ASSERT_EQ(again.ReadEntries(1, &from1), 0);
  EXPECT_EQ(from1, (Fields{{100, 2}, {200, 3}}));
  ASSERT_EQ(again.ReadEntries(3, &from1), 0);
  EXPECT_TRUE(from1.empty());
}

TEST_F(HistoryFileTest, AShortOrForeignFileIsNoHistory) {
  for (const std::vector<uint8_t>& bytes :
       {std::vector<uint8_t>{}, std::vector<uint8_t>(100, 'V'), std::vector<uint8_t>(300, 'X')}) {
    WriteAll(path, bytes);
    Open();
    HistoryFile hist(file.get());
    HistoryHeader h;
    h.identity = 5;
    bool found = true;
    ASSERT_EQ(hist.ReadHeader(&h, &found), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(h.identity, 5) << "left as it was";
  }
}

// A file of more than 98304 entries loses its 32768 oldest: the rest move
// down, the base rises, the rest of the header stays.
TEST_F(HistoryFileTest, TruncateDropsTheOldestEntriesAndRaisesTheBase) {
  const int64_t n = kHistoryMaxEntries + 1;
  HistoryHeader h;
  h.sharedSize = 4096;
  h.sharedTime = 99;
  h.base = 0x8000;
  h.identity = 42;
  std::vector<uint8_t> bytes(kHistoryHeaderBytes + size_t(n) * kHistoryEntryBytes);
  h.Encode(bytes.data());
  for (int64_t k = 0; k < n; ++k) {
    StoreLE32(bytes.data() + kHistoryHeaderBytes + size_t(k) * kHistoryEntryBytes, uint32_t(k));
    StoreLE32(bytes.data() + kHistoryHeaderBytes + size_t(k) * kHistoryEntryBytes + 4, uint32_t(k % 7 + 1));
  }
  WriteAll(path, bytes);
  Open();
  HistoryFile hist(file.get());
  ASSERT_EQ(hist.Truncate(), 0);
  int64_t count = 0;
  ASSERT_EQ(hist.EntryCount(&count), 0);
  EXPECT_EQ(count, n - kHistoryDroppedEntries);
  HistoryHeader after;
  bool found = false;
  ASSERT_EQ(hist.ReadHeader(&after, &found), 0);
  ASSERT_TRUE(found);
  EXPECT_EQ(after.base, 0x10000);
  EXPECT_EQ(after.sharedSize, 4096u);
  EXPECT_EQ(after.sharedTime, 99u);
  EXPECT_EQ(after.identity, 42);
  Fields entries;
  ASSERT_EQ(hist.ReadEntries(0, &entries), 0);
  ASSERT_EQ(int64_t(entries.size()), count);
  for (size_t i = 0; i < entries.size(); ++i) {
    const uint32_t k = uint32_t(i + kHistoryDroppedEntries);
    ASSERT_EQ(entries[i], (NDHField{k, k % 7 + 1})) << i;
  }
  file.reset();
  EXPECT_EQ(ReadAll(path).size(), kHistoryHeaderBytes + size_t(count) * kHistoryEntryBytes);
}

}  // namespace
}  // namespace vk
