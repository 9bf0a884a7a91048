// FileBuf over the POSIX environment: open semantics and sharing, the
// written flag, reading and writing through real files.
#include "file/FileBuf.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <iterator>
#include <string>
#include <vector>

#include "file/ErrorCodes.h"
#include "support/FileText.h"
#include "support/TempDir.h"

namespace {

using vktest::Slurp;
using vktest::Spit;

// A file record with its own error cell, as each dictionary object has.
struct Rec {
  int32_t cell = -77;
  vk::FileBuf file{vk::Env::Default(), &cell};
};

class FileBufTest : public ::testing::Test {
 protected:
  vktest::TempDir dir;
};

TEST_F(FileBufTest, CreateMakesAnEmptyFileAndReplacesAnOldOne) {
  std::string p = dir.Path("a.dic");
  Rec r;
  ASSERT_EQ(r.file.Create(p), 0);
  EXPECT_EQ(r.cell, 0);
  EXPECT_EQ(r.file.Size(), 0);
  ASSERT_EQ(r.file.Write("hello", 5), 5);
  r.file.Close();
  EXPECT_EQ(Slurp(p), "hello");

  ASSERT_EQ(r.file.Create(p), 0);
  EXPECT_EQ(r.file.Size(), 0);
  r.file.Close();
  EXPECT_EQ(Slurp(p), "");
}

TEST_F(FileBufTest, OpenFailuresGiveTheirCodes) {
  std::string missing = dir.Path("missing.dic");
  struct Case {
    const char* what;
    std::string name;
    int32_t code;
  };
  const Case cases[] = {
      {"missing file", missing, vk::kErrFileNotFound},
      {"directory", dir.path(), vk::kErrCannotOpen},
      {"empty name", "", vk::kErrCannotOpen},
      {"name too long", dir.Path(std::string(300, 'n')), vk::kErrBadFileName},
  };
  for (const Case& c : cases) {
    Rec rw, ro;
    EXPECT_EQ(rw.file.OpenReadWrite(c.name), -1) << c.what;
    EXPECT_EQ(rw.cell, c.code) << c.what;
    EXPECT_FALSE(rw.file.IsOpen()) << c.what;
    EXPECT_EQ(ro.file.OpenRead(c.name), -1) << c.what;
    EXPECT_EQ(ro.cell, c.code) << c.what;
  }
  // Create makes missing files; it still refuses the others.
  for (const Case& c : cases) {
    if (c.name == missing) continue;
    Rec cr;
    EXPECT_EQ(cr.file.Create(c.name), -1) << c.what;
    EXPECT_EQ(cr.cell, c.code) << c.what;
  }
  struct stat st;
  EXPECT_EQ(::stat(missing.c_str(), &st), -1) << "a failed open must not create the file";
}

TEST_F(FileBufTest, SharingBetweenOpeners) {
  std::string p = dir.Path("shared.dic");
  Spit(p, "content");
  enum Kind { RW, RO, CR };
  struct Case {
    Kind first, second;
    bool shares;
  };
  const Case cases[] = {
      {RO, RO, true},  {RW, RW, false}, {RW, RO, false}, {RO, RW, false},
      {RW, CR, false}, {RO, CR, false}, {CR, RO, false}, {CR, RW, false},
  };
  auto open = [&](Rec& r, Kind k) {
    switch (k) {
      case RW: return r.file.OpenReadWrite(p);
      case RO: return r.file.OpenRead(p);
      case CR: return r.file.Create(p);
    }
    return -1;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "first " << c.first << " second " << c.second);
    Spit(p, "content");
    Rec a, b;
    ASSERT_EQ(open(a, c.first), 0);
    if (c.shares) {
      EXPECT_EQ(open(b, c.second), 0);
      EXPECT_EQ(b.cell, 0);
    } else {
      EXPECT_EQ(open(b, c.second), -1);
      EXPECT_EQ(b.cell, vk::kErrSharing);
    }
    // A refused create must leave the other opener's file alone.
    if (c.first != CR) {
      EXPECT_EQ(Slurp(p), "content");
    }
    a.file.Close();
    b.file.Close();
    // Once both are closed the file is free again.
    Rec again;
    EXPECT_EQ(again.file.OpenReadWrite(p), 0);
  }
}

TEST_F(FileBufTest, AlreadyOpenRecordKeepsItsFile) {
  std::string p = dir.Path("one.dic"), q = dir.Path("two.dic");
  Spit(p, "one");
  Spit(q, "two");
  Rec r;
  ASSERT_EQ(r.file.OpenRead(p), 0);
  EXPECT_EQ(r.file.OpenReadWrite(q), -1);
  EXPECT_EQ(r.cell, vk::kErrAlreadyOpen);
  EXPECT_EQ(r.file.Create(q), -1);
  EXPECT_EQ(r.cell, vk::kErrAlreadyOpen);
  EXPECT_EQ(r.file.Name(), p);
  char buf[8] = {};
  EXPECT_EQ(r.file.Read(buf, sizeof buf), 3);
  EXPECT_EQ(std::string(buf, 3), "one");
  EXPECT_EQ(Slurp(q), "two");
}

TEST_F(FileBufTest, OpensClearTheErrorCellAndTheWrittenFlag) {
  std::string p = dir.Path("w.dic");
  Rec r;
  ASSERT_EQ(r.file.Create(p), 0);
  EXPECT_EQ(r.cell, 0);
  EXPECT_FALSE(r.file.Written());
  ASSERT_EQ(r.file.Write("x", 1), 1);
  EXPECT_TRUE(r.file.Written());
  r.file.Close();

  r.cell = 42;
  ASSERT_EQ(r.file.OpenReadWrite(p), 0);
  EXPECT_EQ(r.cell, 0);
  EXPECT_FALSE(r.file.Written());
  char c;
  ASSERT_EQ(r.file.Read(&c, 1), 1);
  EXPECT_FALSE(r.file.Written()) << "reading does not set the flag";
  ASSERT_EQ(r.file.Seek(0), 0);
  ASSERT_EQ(r.file.Write("", 0), 0);
  EXPECT_TRUE(r.file.Written());
}

TEST_F(FileBufTest, NameAndFullPath) {
  std::string p = dir.Path("n.dic");
  Spit(p, "");
  Rec r;
  ASSERT_EQ(r.file.OpenRead(p), 0);
  EXPECT_EQ(r.file.Name(), p);
  EXPECT_EQ(r.file.FullPath(), p);
  r.file.Close();
  EXPECT_EQ(r.file.Name(), "");
  EXPECT_FALSE(r.file.IsOpen());
  r.file.Close();  // closing a closed record does nothing

  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(::chdir(dir.path().c_str()), 0);
  int rc = r.file.OpenRead("n.dic");
  std::string full = r.file.FullPath();
  ASSERT_EQ(::chdir(cwd), 0);
  ASSERT_EQ(rc, 0);
  EXPECT_EQ(r.file.Name(), "n.dic");
  EXPECT_EQ(full, p);
}

TEST_F(FileBufTest, RoundTripThroughAClosedFile) {
  std::string p = dir.Path("rt.dic");
  std::vector<unsigned char> expect(3000);
  for (size_t i = 0; i < expect.size(); ++i) expect[i] = static_cast<unsigned char>(i * 7 + 3);
  {
    Rec r;
    ASSERT_EQ(r.file.Create(p), 0);
    // Out of order, with a hole filled later.
    ASSERT_EQ(r.file.Seek(1000), 0);
    ASSERT_EQ(r.file.Write(&expect[1000], 2000), 2000);
    EXPECT_EQ(r.file.Transferred(), 2000u);
    ASSERT_EQ(r.file.Seek(0), 0);
    ASSERT_EQ(r.file.Write(&expect[0], 1000), 1000);
    EXPECT_EQ(r.cell, 0);
  }  // the destructor closes
  Rec r;
  ASSERT_EQ(r.file.OpenRead(p), 0);
  EXPECT_EQ(r.file.Size(), 3000);
  std::vector<unsigned char> got(3000);
  ASSERT_EQ(r.file.Seek(0), 0);
  ASSERT_EQ(r.file.Read(got.data(), 3000), 3000);
  EXPECT_EQ(got, expect);
  // Reads continue where the last one stopped.
  ASSERT_EQ(r.file.Seek(10), 0);
  unsigned char two[2];
  ASSERT_EQ(r.file.Read(two, 1), 1);
  ASSERT_EQ(r.file.Read(two + 1, 1), 1);
  EXPECT_EQ(two[0], expect[10]);
  EXPECT_EQ(two[1], expect[11]);
}

TEST_F(FileBufTest, ShortReadAtTheEndIsNotAnError) {
  std::string p = dir.Path("s.dic");
  Spit(p, "abcdef");
  Rec r;
  ASSERT_EQ(r.file.OpenRead(p), 0);
  char buf[16];
  ASSERT_EQ(r.file.Seek(4), 0);
  EXPECT_EQ(r.file.Read(buf, 16), 2);
  EXPECT_EQ(r.file.Transferred(), 2u);
  EXPECT_EQ(std::string(buf, 2), "ef");
  EXPECT_EQ(r.file.Read(buf, 16), 0);
  ASSERT_EQ(r.file.Seek(100), 0) << "positioning past the end is allowed";
  EXPECT_EQ(r.file.Read(buf, 16), 0);
  EXPECT_EQ(r.cell, 0);
}

TEST_F(FileBufTest, SizePositionsAtTheEnd) {
  std::string p = dir.Path("z.dic");
  Rec r;
  ASSERT_EQ(r.file.Create(p), 0);
  ASSERT_EQ(r.file.Write("0123456789", 10), 10);
  ASSERT_EQ(r.file.Seek(2), 0);
  EXPECT_EQ(r.file.Size(), 10);
  ASSERT_EQ(r.file.Write("AB", 2), 2);
  r.file.Close();
  EXPECT_EQ(Slurp(p), "0123456789AB");
}

TEST_F(FileBufTest, TruncateCutsAndPositions) {
  std::string p = dir.Path("t.dic");
  Rec r;
  ASSERT_EQ(r.file.Create(p), 0);
  ASSERT_EQ(r.file.Write("0123456789", 10), 10);
  EXPECT_EQ(r.file.Truncate(4), 0);
  EXPECT_EQ(r.file.Size(), 4);
  ASSERT_EQ(r.file.Truncate(2), 0);
  ASSERT_EQ(r.file.Write("xy", 2), 2);  // written at the cut
  EXPECT_EQ(r.file.Truncate(6), 0) << "growing is allowed";
  r.file.Close();
  EXPECT_EQ(Slurp(p), std::string("01xy\0\0", 6));

  // A failing truncate (a read-only file) answers -1 and stores no code.
  Rec ro;
  ASSERT_EQ(ro.file.OpenRead(p), 0);
  ro.cell = 0;
  EXPECT_EQ(ro.file.Truncate(1), -1);
  EXPECT_EQ(ro.cell, 0);
  ro.file.Close();
  EXPECT_EQ(Slurp(p).size(), 6u);
}

TEST_F(FileBufTest, WriteToAReadOnlyOpenFails) {
  std::string p = dir.Path("ro.dic");
  Spit(p, "keep");
  Rec r;
  ASSERT_EQ(r.file.OpenRead(p), 0);
  EXPECT_EQ(r.file.Write("lost", 4), -1);
  EXPECT_EQ(r.cell, vk::kErrReadWrite);
  r.file.Close();
  EXPECT_EQ(Slurp(p), "keep");
}

TEST_F(FileBufTest, ClosedRecordRefusesIo) {
  Rec r;
  char buf[4];
  EXPECT_EQ(r.file.Read(buf, 4), -1);
  EXPECT_EQ(r.cell, vk::kErrReadWrite);
  r.cell = 0;
  EXPECT_EQ(r.file.Write(buf, 4), -1);
  EXPECT_EQ(r.cell, vk::kErrReadWrite);
  r.cell = 0;
  EXPECT_EQ(r.file.Seek(0), -1);
  EXPECT_EQ(r.cell, vk::kErrSeek);
  EXPECT_EQ(r.file.Truncate(0), -1);
}

TEST_F(FileBufTest, NegativeSeekFailsWithCode6) {
  std::string p = dir.Path("neg.dic");
  Spit(p, "abc");
  Rec r;
  ASSERT_EQ(r.file.OpenRead(p), 0);
  ASSERT_EQ(r.file.Seek(1), 0);
  EXPECT_EQ(r.file.Seek(-1), -1);
  EXPECT_EQ(r.cell, vk::kErrSeek);
  char c;
  ASSERT_EQ(r.file.Read(&c, 1), 1);
  EXPECT_EQ(c, 'b') << "a failed seek keeps the position";
}

TEST_F(FileBufTest, AnOverwriteInsideTheFileContinuesFromWhereItEnds) {
  std::string p = dir.Path("rec.dic");
  Rec r;
  ASSERT_EQ(r.file.Create(p), 0);
  ASSERT_EQ(r.file.Write("abcd", 4), 4);
  ASSERT_EQ(r.file.Seek(1), 0);
  ASSERT_EQ(r.file.Write("XY", 2), 2);
  ASSERT_EQ(r.file.Write("Z", 1), 1);
  r.file.Close();
  EXPECT_EQ(Slurp(p), "aXYZ");
}

}  // namespace

namespace {

// Write-back against a plain byte vector: random writes (small, across
// pages, past the end), reads, sizes, cuts, commits and rollbacks. Whatever
// is held, reads see the model; the file on disk is always the last
// committed model; a rollback comes back to it.
TEST_F(FileBufTest, WriteBackMatchesAModelAndTheFileHoldsTheLastCommit) {
  std::mt19937 rng(5);
  auto R = [&](uint32_t n) { return rng() % n; };
  const std::string p = dir.Path("w.dic");
  Rec r;
  ASSERT_EQ(r.file.Create(p), 0);
  std::vector<uint8_t> model, committed;
  ASSERT_EQ(r.file.SetWriteBack(true), 0);
  for (int step = 0; step < 3000; ++step) {
    const uint32_t op = R(20);
    if (op < 10) {
      const int64_t at = R(static_cast<uint32_t>(model.size() + 9000));
      std::vector<uint8_t> bytes(1 + R(op == 0 ? 20000 : 300));
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(R(256));
      ASSERT_EQ(r.file.Seek(at), 0);
      ASSERT_EQ(r.file.Write(bytes.data(), static_cast<uint32_t>(bytes.size())), int32_t(bytes.size()));
      if (model.size() < at + bytes.size()) model.resize(at + bytes.size(), 0);
      std::copy(bytes.begin(), bytes.end(), model.begin() + at);
    } else if (op < 15) {
      const int64_t at = R(static_cast<uint32_t>(model.size() + 100));
      std::vector<uint8_t> got(R(9000));
      ASSERT_EQ(r.file.Seek(at), 0);
      const int32_t n = r.file.Read(got.data(), static_cast<uint32_t>(got.size()));
      const size_t want = at >= int64_t(model.size()) ? 0 : std::min(got.size(), model.size() - at);
      ASSERT_EQ(n, int32_t(want)) << step;
      ASSERT_TRUE(std::equal(got.begin(), got.begin() + n, model.begin() + at)) << step;
    } else if (op < 16) {
      ASSERT_EQ(r.file.Size(), int64_t(model.size()));
    } else if (op < 17) {
      const int64_t at = R(static_cast<uint32_t>(model.size() + 1));
      ASSERT_EQ(r.file.Truncate(at), 0);
      model.resize(at);
    } else if (op < 19) {
      ASSERT_EQ(r.file.Commit(false), 0);
      committed = model;
      const std::string disk = Slurp(p);
      ASSERT_EQ(disk, std::string(committed.begin(), committed.end())) << step;
    } else {
      ASSERT_EQ(r.file.Rollback(), 0);
      model = committed;
      ASSERT_EQ(r.file.Size(), int64_t(model.size()));
    }
  }
  ASSERT_EQ(r.file.SetWriteBack(false), 0);
  ASSERT_EQ(r.file.Commit(false), 0);
  r.file.Close();
  EXPECT_EQ(Slurp(p), std::string(model.begin(), model.end()));
}

}  // namespace
