// The system-error table, written out here row by row from the published
// list (ranges as ranges) so that a slip in the engine's flat array shows up,
// and the errno mapping that feeds it on Linux.
#include <gtest/gtest.h>

#include <cerrno>
#include <vector>

#include "file/SystemErrors.h"
#include "platform/ErrnoMap.h"

namespace {

struct Row {
  int first, last;  // system errors first..last
  int code;
};

const std::vector<Row> kPublished = {
    {0, 0, 0},    {1, 1, 98},   {2, 2, 1},    {3, 3, 16},   {4, 4, 10},   {5, 5, 16},
    {6, 7, 99},   {8, 8, 11},   {9, 10, 99},  {11, 11, 18}, {12, 14, 99}, {15, 15, 16},
    {16, 16, 99}, {17, 17, 16}, {18, 18, 99}, {19, 19, 16}, {20, 20, 16}, {21, 21, 7},
    {22, 22, 99}, {23, 23, 5},  {24, 24, 99}, {25, 25, 5},  {26, 27, 18}, {28, 28, 99},
    {29, 30, 5},  {31, 31, 99}, {32, 33, 17}, {34, 34, 16}, {35, 35, 99}, {36, 36, 16},
    {37, 37, 99}, {38, 38, 99}, {39, 39, 4},  {40, 50, 99}, {51, 51, 20}, {52, 52, 16},
    {53, 53, 16}, {54, 54, 20}, {55, 55, 16},
};

TEST(SystemErrorTable, AllFiftySixEntries) {
  int covered = 0;
  for (const Row& row : kPublished) {
    for (int e = row.first; e <= row.last; ++e) {
      EXPECT_EQ(vk::EngineCodeForSystemError(e), row.code) << "system error " << e;
      ++covered;
    }
  }
  EXPECT_EQ(covered, 56);
}

TEST(SystemErrorTable, BeyondTheTable) {
  EXPECT_EQ(vk::EngineCodeForSystemError(123), 35);  // invalid name
  for (int e : {56, 57, 59, 80, 87, 112, 122, 124, 131, 1000, 0x7FFFFFFF}) {
    EXPECT_EQ(vk::EngineCodeForSystemError(e), 20) << "system error " << e;
  }
}

TEST(SystemErrorTable, ReadAndWriteFaultsAreReadWriteErrors) {
  EXPECT_EQ(vk::EngineCodeForSystemError(vk::kSysReadFault), 5);
  EXPECT_EQ(vk::EngineCodeForSystemError(vk::kSysWriteFault), 5);
  EXPECT_EQ(vk::EngineCodeForSystemError(vk::kSysHandleDiskFull), 4);
  EXPECT_EQ(vk::EngineCodeForSystemError(vk::kSysSharingViolation), 17);
}

struct ErrnoCase {
  int err;
  vk::IoKind kind;
  int windows;
  int engine;
};

TEST(ErrnoMap, MainErrnos) {
  using K = vk::IoKind;
  const ErrnoCase cases[] = {
      {0, K::kOther, 0, 0},
      {ENOENT, K::kOther, 2, 1},
      {ENOTDIR, K::kOther, 3, 16},
      {EMFILE, K::kOther, 4, 10},
      {ENFILE, K::kOther, 4, 10},
      {EACCES, K::kOther, 5, 16},
      {EPERM, K::kOther, 5, 16},
      {EISDIR, K::kOther, 5, 16},
      {ENOMEM, K::kOther, 8, 11},
      {EROFS, K::kOther, 19, 16},
      {EIO, K::kRead, 30, 5},
      {EIO, K::kWrite, 29, 5},
      {EWOULDBLOCK, K::kOther, 32, 17},
      {ENOSPC, K::kWrite, 39, 4},
      {ENOSPC, K::kOther, 39, 4},
      {ENAMETOOLONG, K::kOther, 123, 35},
  };
  for (const ErrnoCase& c : cases) {
    int windows = vk::WindowsErrorFromErrno(c.err, c.kind);
    EXPECT_EQ(windows, c.windows) << "errno " << c.err;
    EXPECT_EQ(vk::EngineCodeForSystemError(windows), c.engine) << "errno " << c.err;
  }
}

TEST(ErrnoMap, NetworkFaultsAreNetworkErrors) {
  for (int err : {ENETDOWN, ENETUNREACH, ECONNRESET, ETIMEDOUT}) {
    EXPECT_EQ(vk::EngineCodeForSystemError(vk::WindowsErrorFromErrno(err)), 20) << "errno " << err;
  }
}

}  // namespace
