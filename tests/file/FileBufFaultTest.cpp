// FileBuf under injected faults: every failure leaves its code in the error
// cell, answers -1 and keeps what was done before it.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "file/ErrorCodes.h"
#include "file/FileBuf.h"
#include "support/FaultEnv.h"
#include "support/FileText.h"
#include "support/TempDir.h"

namespace {

using vktest::Slurp;

class FileBufFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.Path("f.dic");
    ASSERT_EQ(file.Create(path), 0);
    ASSERT_EQ(file.Write("0123456789", 10), 10);
    ASSERT_EQ(file.Seek(0), 0);
    env.Reset();
  }

  vktest::TempDir dir;
  vktest::FaultEnv env;
  int32_t cell = 0;
  vk::FileBuf file{&env, &cell};
  std::string path;
};

TEST_F(FileBufFaultTest, FailedReadIsCode5WhateverTheSystemSaid) {
  for (int sysError : {30, 5, 23, 2, 39, 112}) {
    SCOPED_TRACE(sysError);
    env.Reset();
    cell = 0;
    ASSERT_EQ(file.Seek(3), 0);
    env.FailReadAfter(0, true, sysError);
    char buf[4] = {};
    EXPECT_EQ(file.Read(buf, 4), -1);
    EXPECT_EQ(cell, vk::kErrReadWrite);
    EXPECT_EQ(file.Transferred(), 0u);
    // The fault was once: the next read works from the same position.
    ASSERT_EQ(file.Read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "3456");
  }
}

TEST_F(FileBufFaultTest, ShortReadIsNotAnError) {
  env.ShortReadAfter(1, true);
  char buf[8];
  ASSERT_EQ(file.Read(buf, 4), 4);
  EXPECT_EQ(file.Read(buf, 4), 2);
  EXPECT_EQ(file.Transferred(), 2u);
  EXPECT_EQ(std::string(buf, 2), "45");
  EXPECT_EQ(cell, 0);
  EXPECT_EQ(file.Read(buf, 4), 4);
  EXPECT_EQ(std::string(buf, 4), "6789");
}

TEST_F(FileBufFaultTest, FailedWriteCodes) {
  // A failed write is a read/write error, unless the system says the disk
  // is full.
  struct Case {
    int sysError;
    int32_t code;
  };
  const Case cases[] = {{29, 5}, {5, 5}, {30, 5}, {21, 5}, {39, 4}, {112, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sysError);
    file.Close();
    ASSERT_EQ(file.OpenReadWrite(path), 0);
    ASSERT_FALSE(file.Written());
    ASSERT_EQ(file.Seek(2), 0);
    env.FailWriteAfter(0, true, c.sysError);
    EXPECT_EQ(file.Write("ab", 2), -1);
    EXPECT_EQ(cell, c.code);
    EXPECT_TRUE(file.Written()) << "the flag is set before the write is tried";
    EXPECT_EQ(Slurp(path), "0123456789") << "nothing reached the file";
  }
  ASSERT_EQ(file.Seek(2), 0);
  EXPECT_EQ(file.Write("ab", 2), 2) << "the faults were once each";
  EXPECT_EQ(Slurp(path), "01ab456789");
}

TEST_F(FileBufFaultTest, ShortWriteIsCode4) {
  ASSERT_EQ(file.Seek(8), 0);
  env.ShortWriteAfter(0);
  EXPECT_EQ(file.Write("ABCD", 4), -1);
  EXPECT_EQ(cell, vk::kErrDiskFull);
  EXPECT_EQ(file.Transferred(), 2u);
  EXPECT_EQ(Slurp(path), "01234567AB");
  cell = 0;
  EXPECT_EQ(file.Write("CD", 2), -1) << "persistent until reset";
  EXPECT_EQ(cell, vk::kErrDiskFull);
  env.Reset();
  EXPECT_EQ(file.Write("XY", 2), 2);
}

TEST_F(FileBufFaultTest, DiskFullStopsAfterTheGivenBytes) {
  ASSERT_EQ(file.Seek(10), 0);
  env.DiskFullAfterBytes(5);
  EXPECT_EQ(file.Write("abc", 3), 3);
  EXPECT_EQ(file.Write("defg", 4), -1);
  EXPECT_EQ(cell, vk::kErrDiskFull);
  EXPECT_EQ(file.Transferred(), 2u);
  cell = 0;
  EXPECT_EQ(file.Write("h", 1), -1);
  EXPECT_EQ(cell, vk::kErrDiskFull);
  EXPECT_EQ(file.Transferred(), 0u);
  EXPECT_EQ(Slurp(path), "0123456789abcde");
  // What was written before the failure stays readable.
  ASSERT_EQ(file.Seek(10), 0);
  char buf[8];
  EXPECT_EQ(file.Read(buf, 8), 5);
  EXPECT_EQ(std::string(buf, 5), "abcde");
}

TEST_F(FileBufFaultTest, FailedSeekIsCode6AndKeepsThePosition) {
  ASSERT_EQ(file.Seek(7), 0);
  env.FailSeekAfter(0, true);
  EXPECT_EQ(file.Seek(1), -1);
  EXPECT_EQ(cell, vk::kErrSeek);
  char c;
  ASSERT_EQ(file.Read(&c, 1), 1);
  EXPECT_EQ(c, '7');
  ASSERT_EQ(file.Seek(1), 0);
  ASSERT_EQ(file.Read(&c, 1), 1);
  EXPECT_EQ(c, '1');
}

TEST_F(FileBufFaultTest, FailedOpenPerModeThroughTheTable) {
  file.Close();
  struct Case {
    vk::OpenMode mode;
    int sysError;
    int32_t code;
  };
  const Case cases[] = {
      {vk::OpenMode::kReadWrite, 5, vk::kErrCannotOpen},  // write-protected
      {vk::OpenMode::kReadWrite, 32, vk::kErrSharing},
      {vk::OpenMode::kReadOnly, 4, vk::kErrTooManyFiles},
      {vk::OpenMode::kReadOnly, 21, vk::kErrDriveNotReady},
      {vk::OpenMode::kCreate, 39, vk::kErrDiskFull},
      {vk::OpenMode::kCreate, 123, vk::kErrBadFileName},
      {vk::OpenMode::kReadWrite, 80, vk::kErrNetwork},
  };
  auto open = [&](vk::OpenMode mode) {
    switch (mode) {
      case vk::OpenMode::kReadWrite: return file.OpenReadWrite(path);
      case vk::OpenMode::kReadOnly: return file.OpenRead(path);
      case vk::OpenMode::kCreate: return file.Create(path);
    }
    return -1;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sysError);
    env.Reset();
    env.FailOpen(c.mode, c.sysError);
    EXPECT_EQ(open(c.mode), -1);
    EXPECT_EQ(cell, c.code);
    EXPECT_FALSE(file.IsOpen());
    // The other modes still open, and a refused create truncated nothing.
    for (vk::OpenMode other :
         {vk::OpenMode::kReadWrite, vk::OpenMode::kReadOnly}) {
      if (other == c.mode) continue;
      EXPECT_EQ(open(other), 0);
      EXPECT_EQ(cell, 0);
      file.Close();
    }
    EXPECT_EQ(Slurp(path), "0123456789");
  }
  env.FailOpen(vk::OpenMode::kReadWrite, 0);
  EXPECT_EQ(file.OpenReadWrite(path), 0);
}

TEST_F(FileBufFaultTest, FailureUndoesItsChangeAndKeepsCommittedWork) {
  // A change whose write failed is rolled back at close; what was committed
  // before it stays.
  EXPECT_EQ(file.Write("ab", 2), 2);
  ASSERT_EQ(file.Commit(false), 0);
  EXPECT_EQ(file.Write("cd", 2), 2);
  env.FailWriteAfter(0);
  EXPECT_EQ(file.Write("ef", 2), -1);
  EXPECT_EQ(file.Write("gh", 2), -1);
  EXPECT_TRUE(file.ChangeFailed());
  EXPECT_EQ(file.Commit(false), -1) << "a failed change is never committed";
  file.Close();
  env.Reset();
  ASSERT_EQ(file.OpenRead(path), 0);
  char buf[16];
  ASSERT_EQ(file.Read(buf, 16), 10);
  EXPECT_EQ(std::string(buf, 10), "ab23456789");
}

}  // namespace
