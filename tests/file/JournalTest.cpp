// The rollback journal under FileBuf: what a change saves, the journal's
// layout, rolling back at open (also a file that was cut and one that grew),
// commits that empty it, and damaged journals: a header that does not check
// out belongs to no change and is ignored; a record that is cut short, fails
// its check or carries another change's salt ends what counts.
#include "file/Journal.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "file/ErrorCodes.h"
#include "file/FileBuf.h"
#include "format/ByteOrder.h"
#include "support/CrashImageEnv.h"
#include "support/FaultEnv.h"
#include "support/FileText.h"
#include "support/TempDir.h"

namespace {

using vk::Journal;

using vktest::Slurp;
using vktest::Spit;

bool Exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// 5000 committed bytes: five pages, the last one cut at 904 bytes.
std::string Committed() {
  std::string s;
  for (int i = 0; i < 5000; ++i) s += char('a' + i % 23);
  return s;
}

class JournalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.Path("d.dic");
    Spit(path, Committed());
    ASSERT_EQ(file.OpenReadWrite(path), 0);
  }

  void WriteAt(int64_t offset, const std::string& bytes) {
    ASSERT_EQ(file.Seek(offset), 0);
    ASSERT_EQ(file.Write(bytes.data(), uint32_t(bytes.size())), int32_t(bytes.size()));
  }

  // Changes pages 0, 2 and 4, grows the file and takes what a process
  // killed now would leave; the image's journal then goes through `damage`,
  // and the image is opened.
  std::string CrashAndReopen(const std::function<void(std::string*)>& damage, std::string* changed) {
    WriteAt(10, "0123");
    WriteAt(2100, "45");
    WriteAt(4990, std::string(30, '#'));
    *changed = Slurp(path);
    vktest::CopyFolderFiles(dir.path(), image.path());
    const std::string imaged = image.Path("d.dic");
    std::string j = Slurp(Journal::PathFor(imaged));
    damage(&j);
    Spit(Journal::PathFor(imaged), j);
    int32_t c = 0;
    vk::FileBuf reopened(vk::Env::Default(), &c);
    EXPECT_EQ(reopened.OpenReadWrite(imaged), 0) << c;
    reopened.Close();
    EXPECT_FALSE(Exists(Journal::PathFor(imaged))) << "the journal is gone once it was read";
    return Slurp(imaged);
  }

  vktest::TempDir dir, image;
  std::string path;
  int32_t cell = 0;
  vk::FileBuf file{vk::Env::Default(), &cell};
};

TEST_F(JournalTest, ChangeSavesEachCommittedPageOnceAndCommitEmptiesIt) {
  const std::string journal = Journal::PathFor(path);
  EXPECT_FALSE(Exists(journal)) << "opening starts no change";
  WriteAt(1030, "xy");
  WriteAt(1500, "z");    // same page: saved once
  WriteAt(6000, "far");  // past the committed length: nothing to save
  EXPECT_TRUE(file.ChangeOpen());
  const std::string j = Slurp(journal);
  ASSERT_EQ(j.size(), Journal::kHeaderSize + 8 + 1024 + 4);
  const uint8_t* h = reinterpret_cast<const uint8_t*>(j.data());
  EXPECT_EQ(j.substr(0, 8), std::string("VKJRNL\x01\x00", 8));
  EXPECT_EQ(vk::LoadLE32(h + 8), 5000u);
  EXPECT_EQ(vk::LoadLE32(h + 12), 0u);
  EXPECT_EQ(vk::LoadLE32(h + 16), Journal::kPageSize);
  EXPECT_EQ(vk::LoadLE32(h + 24), 0u);
  const uint8_t* r = h + Journal::kHeaderSize;
  EXPECT_EQ(vk::LoadLE32(r), 1u) << "page number";
  EXPECT_EQ(vk::LoadLE32(r + 4), 1024u);
  EXPECT_EQ(j.substr(Journal::kHeaderSize + 8, 1024), Committed().substr(1024, 1024));

  ASSERT_EQ(file.Commit(false), 0);
  EXPECT_FALSE(file.ChangeOpen());
  EXPECT_EQ(Slurp(journal), "") << "a commit empties the journal";
  WriteAt(4990, "q");  // the last page, cut at the committed length 6003
  const std::string k = Slurp(journal);
  ASSERT_EQ(k.size(), Journal::kHeaderSize + 8 + 1024 + 4);
  EXPECT_EQ(vk::LoadLE32(reinterpret_cast<const uint8_t*>(k.data()) + 8), 6003u);
  EXPECT_NE(k.substr(20, 4), j.substr(20, 4)) << "every change has its own salt";
  file.Close();
  EXPECT_FALSE(Exists(journal)) << "closing removes the journal";
}

TEST_F(JournalTest, RollbackRestoresOverwrittenCutAndGrownFiles) {
  const std::string original = Committed();
  WriteAt(0, "ABCDEFGH");
  WriteAt(7000, "tail");
  ASSERT_EQ(file.Rollback(), 0);
  EXPECT_EQ(Slurp(path), original);
  EXPECT_FALSE(file.ChangeOpen());

  ASSERT_EQ(file.Truncate(1500), 0);
  EXPECT_EQ(Slurp(path).size(), 1500u);
  WriteAt(3000, "after the cut");
  ASSERT_EQ(file.Rollback(), 0);
  EXPECT_EQ(Slurp(path), original) << "pages that were cut off come back";

  // What was committed stays through later rollbacks.
  WriteAt(100, "kept");
  ASSERT_EQ(file.Commit(true), 0);
  WriteAt(100, "lost");
  ASSERT_EQ(file.Rollback(), 0);
  EXPECT_EQ(Slurp(path).substr(100, 4), "kept");
}

TEST_F(JournalTest, DamagedJournals) {
  const std::string original = Committed();
  // Record offsets in the journal that CrashAndReopen makes: pages 0, 2, 4.
  const size_t r0 = Journal::kHeaderSize, r1 = r0 + 8 + 1024 + 4, r2 = r1 + 8 + 1024 + 4;
  struct Case {
    const char* what;
    std::function<void(std::string*)> damage;
    int restored;  // records that count: pages 0, 2, 4 in that order
  };
  const Case cases[] = {
      {"whole", [](std::string*) {}, 3},
      {"empty", [](std::string* j) { j->clear(); }, -1},
      {"header cut short", [](std::string* j) { j->resize(20); }, -1},
      {"magic wrong", [](std::string* j) { (*j)[0] = 'X'; }, -1},
      {"header check fails", [](std::string* j) { (*j)[9] ^= 1; }, -1},
      {"page size not ours", [](std::string* j) { (*j)[17] ^= 8; }, -1},
      {"first record cut short", [=](std::string* j) { j->resize(r0 + 500); }, 0},
      {"last record cut short", [=](std::string* j) { j->resize(r2 + 8 + 100); }, 2},
      {"last record without its check", [=](std::string* j) { j->resize(r2 + 8 + 904); }, 2},
      {"second record's bytes changed", [=](std::string* j) { (*j)[r1 + 8 + 3] ^= 0x40; }, 1},
      {"second record's page number changed", [=](std::string* j) { (*j)[r1] = 3; }, 1},
      {"a record past the committed length", [=](std::string* j) { (*j)[r1] = 9; }, 1},
      {"salt changed", [](std::string* j) { (*j)[21] ^= 1; }, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    file.Close();
    Spit(path, original);
    ASSERT_EQ(file.OpenReadWrite(path), 0);
    std::string changed;
    const std::string got = CrashAndReopen(c.damage, &changed);
    if (c.restored < 0) {
      EXPECT_EQ(got, changed) << "a journal of no change is ignored";
      continue;
    }
    std::string expected = changed;
    const int64_t pages[] = {0, 2, 4};
    for (int k = 0; k < c.restored; ++k) {
      const size_t start = size_t(pages[k]) * 1024;
      expected.replace(start, std::min<size_t>(1024, original.size() - start),
                       original.substr(start, std::min<size_t>(1024, original.size() - start)));
    }
    expected.resize(original.size());
    EXPECT_EQ(got, expected);
  }
}

// A journal left beside a file is rolled back by every kind of open: a
// reader that may write the file rolls it back for good; one that may not
// reads the committed state, and the files stay as they are.
TEST_F(JournalTest, ReadOnlyOpeners) {
  const std::string original = Committed();
  std::string changed;
  WriteAt(10, "0123");
  WriteAt(4990, std::string(30, '#'));
  changed = Slurp(path);
  vktest::CopyFolderFiles(dir.path(), image.path());
  const std::string imaged = image.Path("d.dic");
  const std::string journal = Slurp(Journal::PathFor(imaged));

  vktest::FaultEnv cannotWrite;
  cannotWrite.FailOpen(vk::OpenMode::kReadWrite, 5);
  int32_t c = 0;
  {
    vk::FileBuf reader(&cannotWrite, &c);
    ASSERT_EQ(reader.OpenRead(imaged), 0) << c;
    EXPECT_EQ(reader.Size(), 5000);
    std::string back(6000, '?');
    ASSERT_EQ(reader.Seek(0), 0);
    ASSERT_EQ(reader.Read(&back[0], 6000), 5000);
    back.resize(5000);
    EXPECT_EQ(back, original);
    ASSERT_EQ(reader.Seek(4000), 0);
    char tail[8];
    ASSERT_EQ(reader.Read(tail, 8), 8);
    EXPECT_EQ(std::string(tail, 8), original.substr(4000, 8));
  }
  EXPECT_EQ(Slurp(imaged), changed);
  EXPECT_EQ(Slurp(Journal::PathFor(imaged)), journal);

  {
    // While such a reader holds the file, one that may write it cannot roll
    // the journal back, and reads through it too.
    vk::FileBuf first(&cannotWrite, &c);
    ASSERT_EQ(first.OpenRead(imaged), 0) << c;
    vk::FileBuf second(vk::Env::Default(), &c);
    ASSERT_EQ(second.OpenRead(imaged), 0) << c;
    std::string back(5000, '?');
    ASSERT_EQ(second.Seek(0), 0);
    ASSERT_EQ(second.Read(&back[0], 5000), 5000);
    EXPECT_EQ(back, original);
  }
  EXPECT_EQ(Slurp(imaged), changed);

  {
    vk::FileBuf reader(vk::Env::Default(), &c);
    ASSERT_EQ(reader.OpenRead(imaged), 0) << c;
  }
  EXPECT_EQ(Slurp(imaged), original);
  EXPECT_FALSE(Exists(Journal::PathFor(imaged)));
}

// While the writer lives, its journal is its own: another opener is refused
// by the lock and touches neither file.
TEST_F(JournalTest, ALiveWritersJournalIsLeftAlone) {
  WriteAt(10, "0123");
  const std::string changed = Slurp(path);
  int32_t c = 0;
  vk::FileBuf other(vk::Env::Default(), &c);
  EXPECT_EQ(other.OpenRead(path), -1);
  EXPECT_EQ(c, vk::kErrSharing);
  EXPECT_EQ(other.OpenReadWrite(path), -1);
  EXPECT_EQ(Slurp(path), changed);
  EXPECT_TRUE(Exists(Journal::PathFor(path)));
  file.Close();
  EXPECT_EQ(Slurp(path), changed) << "the close committed it";
}

// A journal that cannot be written fails the write before the file changes.
TEST_F(JournalTest, JournalFaultsFailTheWriteFirst) {
  vktest::FaultEnv env;
  int32_t c = 0;
  file.Close();
  vk::FileBuf f(&env, &c);
  ASSERT_EQ(f.OpenReadWrite(path), 0);
  const struct {
    const char* what;
    std::function<void()> arm;
    int32_t code;
  } cases[] = {
      {"journal cannot be made", [&] { env.FailOpen(vk::OpenMode::kCreate, 5); }, vk::kErrReadWrite},
      {"header write fails", [&] { env.FailWriteAfter(0, true); }, vk::kErrReadWrite},
      {"page record write fails", [&] { env.FailWriteAfter(1, true); }, vk::kErrReadWrite},
      {"disk full", [&] { env.DiskFullAfterGrowth(100); }, vk::kErrDiskFull},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.what);
    env.Reset();
    k.arm();
    ASSERT_EQ(f.Seek(2000), 0);
    EXPECT_EQ(f.Write("XYZ", 3), -1);
    EXPECT_EQ(c, k.code);
    EXPECT_TRUE(f.ChangeFailed());
    env.Reset();
    EXPECT_EQ(Slurp(path), Committed()) << "the file was not touched";
    ASSERT_EQ(f.Rollback(), 0);
    EXPECT_FALSE(f.ChangeFailed());
  }
  ASSERT_EQ(f.Seek(2000), 0);
  EXPECT_EQ(f.Write("XYZ", 3), 3);
  f.Close();
  EXPECT_EQ(Slurp(path).substr(2000, 3), "XYZ");
}

}  // namespace
