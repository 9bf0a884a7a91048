// The write side of shared access on real files: changes recorded at the
// file layer in 16-byte pieces, written back to the shared file and logged
// in its history; a reader that applies the logged ranges, or copies the
// whole file when the history cannot tell it what changed; and a write-back
// that fails part-way, which must leave the shared file and its history as
// they were.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "file/FileBuf.h"
#include "format/ByteOrder.h"
#include "shared/NetworkDic.h"
#include "support/FaultEnv.h"
#include "support/FileText.h"
#include "support/TempDir.h"

namespace vk {
namespace {

using vktest::ReadAll;
using vktest::WriteAll;

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 7);
  return v;
}

// One process's view: its NetworkDic and its local copy, open through a
// FileBuf as the dictionary code would have it.
struct Side {
  Side(const std::string& sharedPath, const std::string& local, Env* env = Env::Default())
      : net(env, [](int) {}), localPath(local), file(Env::Default(), &error) {
    net.SetFileName(sharedPath);
  }
  // The first copy, and the local file opened for writing.
  void Join() {
    ASSERT_FALSE(net.IsCurrent());
    ASSERT_TRUE(net.Duplicate(localPath));
    ASSERT_EQ(file.OpenReadWrite(localPath), 0);
  }
  // Writes `bytes` at `at` in the local copy under the lock, and writes the
  // change back.
  bool WriteUnderLock(int64_t at, const std::vector<uint8_t>& bytes) {
    EXPECT_TRUE(net.WriteLock());
    file.SetChangeRecorder(&net);
    EXPECT_EQ(file.Seek(at), 0);
    EXPECT_EQ(file.Write(bytes.data(), uint32_t(bytes.size())), int32_t(bytes.size()));
    EXPECT_EQ(file.Commit(false), 0);
    file.SetChangeRecorder(nullptr);
    return net.WriteUnlock(&file);
  }
  // Brings the local copy up to date the way a refresh does.
  int Refresh() {
    file.Close();
    const int rc = net.CheckHistFile(localPath);
    EXPECT_EQ(file.OpenReadWrite(localPath), 0);
    return rc;
  }

  int32_t error = 0;
  NetworkDic net;
  std::string localPath;
  FileBuf file;
};

class WriteBackTest : public ::testing::Test {
 protected:
  WriteBackTest() { WriteAll(shared, original); }

  std::vector<NDHField> Logged() {
    std::vector<uint8_t> h = ReadAll(shared + ".HST");
    std::vector<NDHField> out;
    for (size_t at = kHistoryHeaderBytes; at + 8 <= h.size(); at += 8)
      out.push_back(NDHField{LoadLE32(h.data() + at), LoadLE32(h.data() + at + 4)});
    return out;
  }
  HistoryHeader Header() {
    std::vector<uint8_t> h = ReadAll(shared + ".HST");
    HistoryHeader header;
    EXPECT_TRUE(HistoryHeader::Decode(h.data(), h.size(), &header));
    return header;
  }

  vktest::TempDir dir;
  std::string shared = dir.Path("x.dic");
  std::vector<uint8_t> original = Pattern(1000, 3);
};

TEST_F(WriteBackTest, OnlyChangedPiecesAreLoggedMergedAndCopied) {
  Side a(shared, dir.Path("a"));
  a.Join();
  struct Case {
    const char* what;
    int64_t at;
    std::vector<uint8_t> bytes;
    std::vector<NDHField> logged;  // this write-back's entries
  };
  std::vector<uint8_t> two = Pattern(32, 99);     // pieces 0 and 1 of the write: touching
  std::vector<uint8_t> same(original.begin() + 100, original.begin() + 140);
  std::vector<uint8_t> middle(same);
  middle[20] ^= 0xFF;                            // only the second piece of the write differs
  const std::vector<Case> cases = {
      {"touching pieces make one range", 0, two, {{0, 32}}},
      {"equal bytes record nothing", 100, same, {}},
      {"only the piece that differs", 100, middle, {{116, 16}}},
      {"a short last piece", 990, Pattern(10, 1), {{990, 10}}},
  };
  size_t before = 0;
  std::vector<uint8_t> expect = original;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(a.WriteUnderLock(c.at, c.bytes));
    std::copy(c.bytes.begin(), c.bytes.end(), expect.begin() + c.at);
    EXPECT_EQ(ReadAll(shared), expect);
    const std::vector<NDHField> all = Logged();
    ASSERT_GE(all.size(), before);
    EXPECT_EQ(std::vector<NDHField>(all.begin() + before, all.end()), c.logged);
    before = all.size();
    EXPECT_EQ(a.net.historyPosition(), int32_t(before));
    // The header describes the shared file as the write-back left it.
    FileStat st;
    ASSERT_EQ(Env::Default()->Stat(shared, &st), 0);
    EXPECT_EQ(Header().sharedTime, st.lastWrite);
    EXPECT_EQ(Header().sharedSize, uint32_t(st.size));
    EXPECT_TRUE(a.net.ReadLock()) << "its own write-back is no change to the writer";
  }
}

TEST_F(WriteBackTest, RangesInsideAnotherFoldIntoIt) {
  HistFieldArray list;
  for (NDHField f : std::vector<NDHField>{{40, 8}, {0, 16}, {16, 16}, {4, 4}, {100, 1}, {32, 8}}) list.Add(f.offset, f.length);
  list.Merge();
  EXPECT_EQ(list.Fields(), (std::vector<NDHField>{{0, 48}, {100, 1}}));
}

TEST_F(WriteBackTest, AGrownCopyAddsItsTailAndAShrunkOneCutsTheSharedFile) {
  Side a(shared, dir.Path("a"));
  a.Join();
  ASSERT_TRUE(a.WriteUnderLock(1000, Pattern(300, 5)));
  std::vector<uint8_t> grown = original;
  const std::vector<uint8_t> tail = Pattern(300, 5);
  grown.insert(grown.end(), tail.begin(), tail.end());
  EXPECT_EQ(ReadAll(shared), grown);
  EXPECT_EQ(Logged(), (std::vector<NDHField>{{1000, 300}}));

  ASSERT_TRUE(a.net.WriteLock());
  ASSERT_EQ(a.file.Truncate(600), 0);
  ASSERT_EQ(a.file.Commit(false), 0);
  ASSERT_TRUE(a.net.WriteUnlock(&a.file));
  EXPECT_EQ(ReadAll(shared), std::vector<uint8_t>(original.begin(), original.begin() + 600));
}

TEST_F(WriteBackTest, AReaderAppliesOnlyTheLoggedRanges) {
  Side a(shared, dir.Path("a")), b(shared, dir.Path("b"));
  a.Join();
  ASSERT_TRUE(a.WriteUnderLock(0, Pattern(16, 50)));  // starts a history b can follow
  b.Join();
  EXPECT_EQ(b.net.historyIdentity(), a.net.historyIdentity());
  EXPECT_EQ(b.net.historyPosition(), 1);

  // A mark in b's copy where nobody writes: a partial update keeps it, a
  // whole copy would not.
  b.file.Close();
  std::vector<uint8_t> local = ReadAll(b.localPath);
  local[500] ^= 0xFF;
  WriteAll(b.localPath, local);
  ASSERT_EQ(b.file.OpenReadWrite(b.localPath), 0);

  ASSERT_TRUE(a.WriteUnderLock(200, Pattern(20, 60)));
  ASSERT_TRUE(a.WriteUnderLock(900, Pattern(200, 70)));  // grows the file
  EXPECT_FALSE(b.net.IsCurrent());
  EXPECT_EQ(b.Refresh(), 1);
  b.file.Close();
  std::vector<uint8_t> expect = ReadAll(shared);
  expect[500] ^= 0xFF;
  EXPECT_EQ(ReadAll(b.localPath), expect);
  EXPECT_EQ(b.net.historyPosition(), a.net.historyPosition());
}

TEST_F(WriteBackTest, AReaderCopiesTheWholeFileWhenTheHistoryCannotTell) {
  struct Case {
    const char* what;
    std::function<void(Side& b, const std::string& hist)> spoil;
    int expect;  // what CheckHistFile answers
  };
  const std::vector<Case> cases = {
      {"a history this reader follows", [](Side&, const std::string&) {}, 1},
      {"only the magic's first byte is right",
       [](Side&, const std::string& hist) {
         std::vector<uint8_t> h = ReadAll(hist);
         h[1] = 'X';
         h[3] = '9';
         WriteAll(hist, h);
       },
       1},
      {"another identity", [](Side& b, const std::string&) { b.net.SetHistoryState(b.net.historyPosition(), 1); }, 0},
      {"a position below the base",
       [](Side&, const std::string& hist) {
         std::vector<uint8_t> h = ReadAll(hist);
         StoreLE32(h.data() + 16, 32768);
         WriteAll(hist, h);
       },
       0},
      {"a header that does not describe the file",
       [](Side&, const std::string& hist) {
         std::vector<uint8_t> h = ReadAll(hist);
         h[4] ^= 1;
         WriteAll(hist, h);
       },
       0},
      {"no history", [](Side&, const std::string& hist) { ::unlink(hist.c_str()); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteAll(shared, original);
    ::unlink((shared + ".HST").c_str());
    Side a(shared, dir.Path("a")), b(shared, dir.Path("b"));
    a.Join();
    ASSERT_TRUE(a.WriteUnderLock(0, Pattern(16, 50)));
    b.Join();
    b.file.Close();
    std::vector<uint8_t> local = ReadAll(b.localPath);
    local[500] ^= 0xFF;
    WriteAll(b.localPath, local);
    ASSERT_TRUE(a.WriteUnderLock(300, Pattern(40, 80)));
    // The spoiling keeps the shared file's time: the header is to blame.
    FileStat st;
    ASSERT_EQ(Env::Default()->Stat(shared, &st), 0);
    c.spoil(b, shared + ".HST");
    EXPECT_FALSE(b.net.ReadLock());
    EXPECT_EQ(b.net.CheckHistFile(b.localPath), c.expect);
    std::vector<uint8_t> expect = ReadAll(shared);
    if (c.expect == 1) expect[500] ^= 0xFF;
    EXPECT_EQ(ReadAll(b.localPath), expect);
  }
}

TEST_F(WriteBackTest, AWriterThatStartedAHistoryKeepsFollowingIt) {
  Side a(shared, dir.Path("a")), b(shared, dir.Path("b"));
  a.Join();
  ASSERT_TRUE(a.WriteUnderLock(0, Pattern(16, 50)));
  b.Join();
  // A header that no longer describes the file: the next lock starts anew.
  std::vector<uint8_t> h = ReadAll(shared + ".HST");
  h[4] ^= 1;
  WriteAll(shared + ".HST", h);
  ASSERT_TRUE(a.net.WriteLock());
  const int32_t identity = a.net.historyIdentity();
  a.file.Close();
  EXPECT_EQ(a.net.CheckHistFile(a.localPath), 0) << "a whole copy under the lock";
  EXPECT_EQ(a.net.historyIdentity(), identity);
  ASSERT_EQ(a.file.OpenReadWrite(a.localPath), 0);
  a.file.SetChangeRecorder(&a.net);
  const std::vector<uint8_t> first = Pattern(16, 77);
  ASSERT_EQ(a.file.Seek(60), 0);
  ASSERT_EQ(a.file.Write(first.data(), 16), 16);
  a.file.SetChangeRecorder(nullptr);
  ASSERT_TRUE(a.net.WriteUnlock(&a.file));
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(a.WriteUnderLock(100 + 40 * i, Pattern(16, uint8_t(i))));
    EXPECT_EQ(a.net.historyIdentity(), identity) << "the history is not started again";
  }
  EXPECT_EQ(b.Refresh(), 0) << "b followed the old history";
  ASSERT_TRUE(a.WriteUnderLock(600, Pattern(16, 9)));
  EXPECT_EQ(b.Refresh(), 1) << "and follows the new one now";
  b.file.Close();
  EXPECT_EQ(ReadAll(b.localPath), ReadAll(shared));
}

TEST_F(WriteBackTest, AFailedWriteBackLeavesTheSharedFileAndItsHistoryAsTheyWere) {
  // Every write of the write-back fails in turn (the journal's, the
  // copies', the cut's), until one that comes after the commit.
  int failAt = 0;
  for (;; ++failAt) {
    SCOPED_TRACE(failAt);
    WriteAll(shared, original);
    ::unlink((shared + ".HST").c_str());
    vktest::FaultEnv faults;
    Side a(shared, dir.Path("a"), &faults);
    a.Join();
    ASSERT_TRUE(a.WriteUnderLock(0, Pattern(16, 50)));
    const std::vector<uint8_t> sharedBefore = ReadAll(shared);
    const std::vector<uint8_t> historyBefore = ReadAll(shared + ".HST");

    ASSERT_TRUE(a.net.WriteLock());
    a.file.SetChangeRecorder(&a.net);
    // Three ranges apart from each other, the last one growing the file.
    for (int64_t at : {100, 400, 990}) {
      ASSERT_EQ(a.file.Seek(at), 0);
      const std::vector<uint8_t> p = Pattern(16, uint8_t(at));
      ASSERT_EQ(a.file.Write(p.data(), 16), 16);
    }
    a.file.SetChangeRecorder(nullptr);
    faults.ShortWriteAfter(failAt, true);
    const bool ok = a.net.WriteUnlock(&a.file);
    faults.Reset();
    if (ok) break;
    EXPECT_EQ(ReadAll(shared), sharedBefore);
    EXPECT_EQ(ReadAll(shared + ".HST"), historyBefore);
    // The writer copies the whole file again before it goes on.
    EXPECT_FALSE(a.net.ReadLock());
    EXPECT_EQ(a.net.historyIdentity(), 0);
  }
  EXPECT_GE(failAt, 4);
}

TEST_F(WriteBackTest, EveryWriteBackMovesTheSharedFilesTimeOn) {
  Side a(shared, dir.Path("a")), b(shared, dir.Path("b"));
  a.Join();
  b.Join();
  // Many write-backs within one tick of a coarse clock: the reader sees each.
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(a.WriteUnderLock(16 * i, Pattern(16, uint8_t(i))));
    ASSERT_FALSE(b.net.ReadLock()) << i;
  }
}

TEST_F(WriteBackTest, ALockThatChangedNothingLeavesTheSharedFileAlone) {
  Side a(shared, dir.Path("a")), b(shared, dir.Path("b"));
  a.Join();
  ASSERT_TRUE(a.WriteUnderLock(0, Pattern(16, 50)));
  b.Join();
  FileStat before;
  ASSERT_EQ(Env::Default()->Stat(shared, &before), 0);
  ASSERT_TRUE(a.WriteUnderLock(0, Pattern(16, 50)));  // the same bytes again
  FileStat after;
  ASSERT_EQ(Env::Default()->Stat(shared, &after), 0);
  EXPECT_EQ(after.lastWrite, before.lastWrite);
  EXPECT_TRUE(b.net.ReadLock()) << "no change for the others to fetch";
  EXPECT_EQ(Logged().size(), 1u);
}

TEST_F(WriteBackTest, TheUpdateCountsOfBothHeadersDecideWhetherAWriterIsCurrent) {
  Side a(shared, dir.Path("a"));
  a.Join();
  ASSERT_TRUE(a.net.WriteLock());
  EXPECT_TRUE(a.net.WriteCheckDate(&a.file));
  std::vector<uint8_t> count = {1, 2, 3, 4};
  ASSERT_EQ(a.file.Seek(208), 0);
  ASSERT_EQ(a.file.Write(count.data(), 4), 4);
  EXPECT_FALSE(a.net.WriteCheckDate(&a.file));
  a.net.ReleaseLock();
}

}  // namespace
}  // namespace vk
