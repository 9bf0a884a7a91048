// The lock side of shared access on real files: what the shared dictionary
// looked like when last seen, the write lock and its retries against another
// open of the file, and the history a lock holder opens or starts anew.
#include "shared/NetworkDic.h"

#include <gtest/gtest.h>

#include <cstdlib>
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

class NetworkDicTest : public ::testing::Test {
 protected:
  NetworkDicTest() {
    WriteAll(shared, std::vector<uint8_t>(1000, 0x11));
    net.SetFileName(shared);
  }
  // A pause that only counts.
  PauseFunction Counting() {
    return [this](int ms) {
      EXPECT_GE(ms, 0);
      EXPECT_LT(ms, 100);
      ++pauses;
    };
  }
  // A header that describes the shared dictionary as it is now.
  HistoryHeader CurrentHeader(int32_t identity) {
    FileStat st;
    EXPECT_EQ(Env::Default()->Stat(shared, &st), 0);
    HistoryHeader h;
    h.sharedSize = static_cast<uint32_t>(st.size);
    h.sharedTime = st.lastWrite;
    h.identity = identity;
    return h;
  }
  void WriteHistory(const HistoryHeader& h, int64_t entries) {
    std::vector<uint8_t> bytes(kHistoryHeaderBytes + size_t(entries) * kHistoryEntryBytes);
    h.Encode(bytes.data());
    for (int64_t k = 0; k < entries; ++k) StoreLE32(bytes.data() + kHistoryHeaderBytes + size_t(k) * 8, uint32_t(k));
    WriteAll(net.HistoryPath(), bytes);
  }

  vktest::TempDir dir;
  std::string shared = dir.Path("x.dic");
  int pauses = 0;
  NetworkDic net{Env::Default(), Counting()};
};

TEST_F(NetworkDicTest, TheHistorySitsBesideTheWholeName) {
  EXPECT_EQ(net.HistoryPath(), shared + ".HST");
}

TEST_F(NetworkDicTest, ReadLockTellsAChangeOnceAndAMissingFile) {
  EXPECT_FALSE(net.ReadLock()) << "the first look is a change";
  EXPECT_EQ(net.status(), NetworkDic::kOk);
  EXPECT_TRUE(net.ReadLock());
  EXPECT_TRUE(net.IsCurrent());
  WriteAll(shared, std::vector<uint8_t>(1001, 0x11));  // another size
  EXPECT_FALSE(net.ReadLock());
  EXPECT_TRUE(net.ReadLock());
  FileStat st;
  ASSERT_EQ(Env::Default()->Stat(shared, &st), 0);
  ASSERT_EQ(Env::Default()->SetLastWrite(shared, st.lastWrite - 10000000), 0);  // a second earlier
  EXPECT_FALSE(net.ReadLock()) << "the same size, another time";
  ASSERT_EQ(std::remove(shared.c_str()), 0);
  EXPECT_FALSE(net.ReadLock());
  EXPECT_EQ(net.status(), NetworkDic::kSharedMissing);
}

TEST_F(NetworkDicTest, TheWriteLockWaitsTwentyTimesForAnotherOpenThenGivesUp) {
  std::unique_ptr<File> reader;
  ASSERT_EQ(Env::Default()->Open(shared, OpenMode::kReadOnly, &reader), 0);
  EXPECT_FALSE(net.WriteLock());
  EXPECT_EQ(net.status(), NetworkDic::kNoWriteLock);
  EXPECT_EQ(pauses, kSharedOpenAttempts - 1) << "a pause between two attempts";
  EXPECT_FALSE(net.Locked());
  EXPECT_TRUE(ReadAll(net.HistoryPath()).empty()) << "no history without the lock";

  reader.reset();
  ASSERT_TRUE(net.WriteLock());
  EXPECT_TRUE(net.Locked());
  EXPECT_TRUE(net.IsCurrent());
  ASSERT_NE(net.Changes(), nullptr);
  // Nobody else has the dictionary or its history while the lock is held.
  NetworkDic other(Env::Default(), [](int) {});
  other.SetFileName(shared);
  EXPECT_FALSE(other.WriteLock());
  EXPECT_EQ(other.status(), NetworkDic::kNoWriteLock);
  std::unique_ptr<File> peek;
  EXPECT_NE(Env::Default()->Open(shared, OpenMode::kReadOnly, &peek), 0);
  net.ReleaseLock();
  EXPECT_TRUE(other.WriteLock());
}

TEST_F(NetworkDicTest, ANewHistoryGetsAFreshIdentity) {
  ASSERT_TRUE(net.WriteLock());
  const std::vector<uint8_t> bytes = ReadAll(net.HistoryPath());
  ASSERT_EQ(bytes.size(), kHistoryHeaderBytes);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "VKH1");
  const int32_t identity = static_cast<int32_t>(LoadLE32(bytes.data() + 20));
  EXPECT_EQ(identity, net.historyIdentity());
  EXPECT_GE(identity, 1);
  EXPECT_LE(identity, 32767);
  EXPECT_EQ(net.historyPosition(), 0);
  for (size_t i = 4; i < kHistoryHeaderBytes; ++i) {
    if (i < 20 || i >= 24) {
      ASSERT_EQ(bytes[i], 0) << i;
    }
  }
}

TEST_F(NetworkDicTest, AHistoryThatFitsIsKeptAndOneThatDoesNotIsStartedAgain) {
  // One this object follows, describing the dictionary as it is: kept.
  net.SetHistoryState(3, 4321);
  WriteHistory(CurrentHeader(4321), 3);
  ASSERT_TRUE(net.WriteLock());
  net.ReleaseLock();
  EXPECT_EQ(ReadAll(net.HistoryPath()).size(), kHistoryHeaderBytes + 3 * kHistoryEntryBytes);
  EXPECT_EQ(net.historyIdentity(), 4321);
  EXPECT_EQ(net.historyPosition(), 3);

  struct Case {
    const char* what;
    HistoryHeader header;
  };
  HistoryHeader otherIdentity = CurrentHeader(999), otherTime = CurrentHeader(4321), otherSize = CurrentHeader(4321);
  otherTime.sharedTime += 1;
  otherSize.sharedSize += 1;
  for (const Case& c : {Case{"another identity", otherIdentity}, Case{"another time", otherTime},
                        Case{"another size", otherSize}}) {
    SCOPED_TRACE(c.what);
    net.SetHistoryState(3, 4321);
    WriteHistory(c.header, 3);
    ASSERT_TRUE(net.WriteLock());
    net.ReleaseLock();
    EXPECT_EQ(ReadAll(net.HistoryPath()).size(), kHistoryHeaderBytes) << "the old entries are gone";
    EXPECT_NE(net.historyIdentity(), c.header.identity);
    EXPECT_NE(net.historyIdentity(), 0);
    EXPECT_EQ(net.historyPosition(), 0);
  }
}

TEST_F(NetworkDicTest, TheHistoryIsCutWhenItHoldsMoreThan98304Entries) {
  for (int64_t entries : {kHistoryMaxEntries, kHistoryMaxEntries + 1}) {
    SCOPED_TRACE(entries);
    net.SetHistoryState(0, 77);
    WriteHistory(CurrentHeader(77), entries);
    ASSERT_TRUE(net.WriteLock());
    net.ReleaseLock();
    const std::vector<uint8_t> bytes = ReadAll(net.HistoryPath());
    const int64_t left = entries > kHistoryMaxEntries ? entries - kHistoryDroppedEntries : entries;
    EXPECT_EQ(int64_t(bytes.size()), int64_t(kHistoryHeaderBytes) + left * int64_t(kHistoryEntryBytes));
    EXPECT_EQ(LoadLE32(bytes.data() + 16), entries > kHistoryMaxEntries ? uint32_t(kHistoryDroppedEntries) : 0u);
  }
}

TEST(SharedEnv, StatTimesAndTemporaryFiles) {
  vktest::TempDir dir;
  const std::string path = dir.Path("f");
  WriteAll(path, std::vector<uint8_t>(12, 1));
  FileStat st;
  ASSERT_EQ(Env::Default()->Stat(path, &st), 0);
  EXPECT_EQ(st.size, 12);
  const uint64_t when = 133000000000000000ull + 1234567;  // a Windows file time in 2022
  ASSERT_EQ(Env::Default()->SetLastWrite(path, when), 0);
  ASSERT_EQ(Env::Default()->Stat(path, &st), 0);
  EXPECT_EQ(st.lastWrite, when);
  EXPECT_EQ(Env::Default()->Stat(dir.Path("none"), &st), 2);

  const char* old = std::getenv("TMPDIR");
  const std::string keep = old ? old : "";
  ::setenv("TMPDIR", dir.path().c_str(), 1);
  std::string a, b;
  ASSERT_EQ(Env::Default()->CreateTemporary("TD", &a), 0);
  ASSERT_EQ(Env::Default()->CreateTemporary("TD", &b), 0);
  if (old) {
    ::setenv("TMPDIR", keep.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
  EXPECT_NE(a, b);
  EXPECT_EQ(a.rfind(dir.path() + "/TD", 0), 0u) << a;
  EXPECT_TRUE(ReadAll(a).empty());
}

}  // namespace
}  // namespace vk
