// The page cache under the POSIX files: it must answer every read exactly as
// the file would, after any mix of writes, truncates and reads, and it must
// go to the file only for pages it does not hold.
#include "platform/PageCache.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "file/Env.h"
#include "support/FileText.h"
#include "support/TempDir.h"

namespace {

// An in-memory file that counts the reads the cache makes of it.
class CountingSource : public vk::PageSource {
 public:
  std::string bytes;
  int reads = 0;
  int failWith = 0;
  int ReadAt(int64_t offset, void* buf, size_t n, size_t* got) override {
    ++reads;
    *got = 0;
    if (failWith) return failWith;
    if (offset < static_cast<int64_t>(bytes.size())) {
      *got = std::min(n, bytes.size() - static_cast<size_t>(offset));
      bytes.copy(static_cast<char*>(buf), *got, static_cast<size_t>(offset));
    }
    return 0;
  }
};

std::string ReadVia(vk::PageCache& c, CountingSource& s, int64_t pos, size_t n) {
  std::string out(n, '?');
  size_t got = 0;
  EXPECT_EQ(c.Read(pos, &out[0], n, &got, &s), 0);
  out.resize(got);
  return out;
}

constexpr size_t kPage = vk::PageCache::kPageBytes;

TEST(PageCacheTest, LoadsEachPageOnceAndStopsAtTheEnd) {
  CountingSource s;
  s.bytes = std::string(2 * kPage + 100, 'a');
  for (size_t i = 0; i < s.bytes.size(); ++i) s.bytes[i] = static_cast<char>('a' + i % 26);
  vk::PageCache c(static_cast<int64_t>(s.bytes.size()));

  EXPECT_EQ(ReadVia(c, s, 10, 2), s.bytes.substr(10, 2));
  EXPECT_EQ(s.reads, 1);
  EXPECT_EQ(ReadVia(c, s, 0, 256), s.bytes.substr(0, 256));
  EXPECT_EQ(s.reads, 1);
  // Across a page boundary into the short last page, and past the end.
  EXPECT_EQ(ReadVia(c, s, kPage - 3, kPage + 200), s.bytes.substr(kPage - 3));
  EXPECT_EQ(s.reads, 3);
  EXPECT_EQ(ReadVia(c, s, static_cast<int64_t>(s.bytes.size()), 10), "");
  EXPECT_EQ(ReadVia(c, s, 100000, 10), "");
  EXPECT_EQ(s.reads, 3);
  EXPECT_EQ(c.cachedPages(), 3u);
}

TEST(PageCacheTest, AFailedLoadIsReportedAndNotCached) {
  CountingSource s;
  s.bytes = std::string(3 * kPage, 'x');
  vk::PageCache c(static_cast<int64_t>(s.bytes.size()));
  EXPECT_EQ(ReadVia(c, s, 0, 1), "x");
  s.failWith = 30;
  std::string out(2 * kPage, '?');
  size_t got = 99;
  EXPECT_EQ(c.Read(kPage - 1, &out[0], out.size(), &got, &s), 30);
  EXPECT_EQ(got, 1u);  // the cached byte before the failing page
  s.failWith = 0;
  EXPECT_EQ(ReadVia(c, s, kPage, 4), "xxxx");
  EXPECT_EQ(c.cachedPages(), 2u);
}

TEST(PageCacheTest, WritesReachCachedPagesAndGapsReadAsZeros) {
  CountingSource s;
  s.bytes = std::string(kPage + 10, 'a');
  vk::PageCache c(static_cast<int64_t>(s.bytes.size()));
  ASSERT_EQ(ReadVia(c, s, 0, s.bytes.size()), s.bytes);
  int loads = s.reads;

  // The "file" takes the write; the cache is told, and must not reload.
  auto write = [&](int64_t pos, const std::string& data) {
    if (s.bytes.size() < pos + data.size()) s.bytes.resize(pos + data.size(), '\0');
    s.bytes.replace(static_cast<size_t>(pos), data.size(), data);
    c.Wrote(pos, data.data(), data.size());
  };
  write(kPage - 2, "WXYZ");
  write(kPage + 300, "tail");  // past the end: the gap in the cached page is zeros
  EXPECT_EQ(c.size(), static_cast<int64_t>(kPage + 304));
  EXPECT_EQ(ReadVia(c, s, 0, 3 * kPage), s.bytes);
  EXPECT_EQ(s.reads, loads);

  c.Truncated(kPage - 1);
  s.bytes.resize(kPage - 1);
  EXPECT_EQ(ReadVia(c, s, 0, 3 * kPage), s.bytes);
  write(kPage + 5, "z");  // the bytes the truncate cut come back as zeros
  EXPECT_EQ(ReadVia(c, s, 0, 3 * kPage), s.bytes);
  EXPECT_EQ(ReadVia(c, s, kPage - 2, 8), std::string("W\0\0\0\0\0\0z", 8));
}

TEST(PageCacheTest, AFullCacheGivesUpOnePageForANewOne) {
  CountingSource s;
  s.bytes = std::string(6 * kPage, 'q');
  s.bytes[5 * kPage] = 'r';
  s.bytes[2 * kPage + 1] = 's';
  vk::PageCache c(static_cast<int64_t>(s.bytes.size()), 4);
  std::string out(1, '?');
  size_t got;
  for (size_t i = 0; i < 4; ++i) ASSERT_EQ(c.Read(static_cast<int64_t>(i * kPage), &out[0], 1, &got, &s), 0);
  EXPECT_EQ(c.cachedPages(), 4u);
  EXPECT_EQ(ReadVia(c, s, 5 * kPage, 2), "rq");
  EXPECT_EQ(c.cachedPages(), 4u);
  EXPECT_EQ(s.reads, 5);
  EXPECT_EQ(ReadVia(c, s, 5 * kPage, 2), "rq");  // the new page stays
  EXPECT_EQ(s.reads, 5);
  // One of the first four pages made room: reading them again loads it (and
  // whatever that load displaces), and every byte is the file's.
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(ReadVia(c, s, static_cast<int64_t>(i * kPage), 2), i == 2 ? "qs" : "qq");
  EXPECT_GE(s.reads, 6);
  EXPECT_LE(s.reads, 9);
  EXPECT_EQ(c.cachedPages(), 4u);
}

TEST(PageCacheTest, ReplacedPagesStayTrueThroughWritesAndCuts) {
  // Many more pages than the cache holds, read, written and cut in a
  // pseudo-random order: every read must give the file's bytes.
  CountingSource s;
  s.bytes = std::string(40 * kPage, '\0');
  for (size_t i = 0; i < s.bytes.size(); ++i) s.bytes[i] = static_cast<char>('a' + i % 23);
  vk::PageCache c(static_cast<int64_t>(s.bytes.size()), 5);
  uint32_t x = 12345;
  auto next = [&x](uint32_t n) { x = x * 1103515245u + 12345u; return (x >> 8) % n; };
  for (int step = 0; step < 3000; ++step) {
    const size_t size = s.bytes.size();
    const size_t pos = next(static_cast<uint32_t>(size + 100));
    const size_t n = 1 + next(3 * kPage);
    switch (next(10)) {
      case 0: {  // a write, through the file first and then the cache
        std::string data(n, static_cast<char>('A' + step % 26));
        if (s.bytes.size() < pos + n) s.bytes.resize(pos + n, '\0');
        s.bytes.replace(pos, n, data);
        c.Wrote(static_cast<int64_t>(pos), data.data(), n);
        break;
      }
      case 1:  // a cut, now and then
        if (step % 7 == 0) {
          s.bytes.resize(std::max<size_t>(pos, 10 * kPage));
          c.Truncated(static_cast<int64_t>(s.bytes.size()));
        }
        break;
      default: {
        const std::string want = pos >= size ? std::string() : s.bytes.substr(pos, n);
        ASSERT_EQ(ReadVia(c, s, static_cast<int64_t>(pos), n), want) << "step " << step;
        ASSERT_LE(c.cachedPages(), 5u);
      }
    }
  }
}

using vktest::Slurp;

// Random seeks, reads, writes (inside, across and past the end), truncates
// and size queries on a real file through the POSIX Env, against a string
// model of the file; then the file on disk must equal the model.
TEST(PageCacheTest, RealFileMatchesAModelUnderRandomOperations) {
  const char* env = std::getenv("VK_SEED");
  const uint32_t seed = env ? static_cast<uint32_t>(std::strtoul(env, nullptr, 10)) : 20261210u;
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_SEED=<n> replays)");
  std::mt19937 rng(seed);
  vktest::TempDir dir;
  const std::string path = dir.Path("cache.bin");
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 3 * 4096 + 17; ++i) out.put(static_cast<char>(i * 7));
  }
  std::string model = Slurp(path);

  std::unique_ptr<vk::File> f;
  ASSERT_EQ(vk::Env::Default()->Open(path, vk::OpenMode::kReadWrite, &f), 0);
  auto pick = [&](int64_t hi) { return std::uniform_int_distribution<int64_t>(0, hi)(rng); };
  for (int op = 0; op < 3000; ++op) {
    const int64_t span = static_cast<int64_t>(model.size()) + 2 * kPage;
    const int64_t pos = pick(span);
    const size_t n = static_cast<size_t>(pick(pick(1) ? 300 : 3 * kPage));
    ASSERT_EQ(f->Seek(pos), 0);
    switch (pick(9)) {
      case 0: case 1: case 2: case 3: {
        std::string got(n, '?');
        size_t count = 0;
        ASSERT_EQ(f->Read(&got[0], n, &count), 0) << "op " << op;
        got.resize(count);
        std::string want = pos < static_cast<int64_t>(model.size()) ? model.substr(static_cast<size_t>(pos), n) : "";
        ASSERT_EQ(got, want) << "op " << op << " read " << n << " at " << pos;
        ASSERT_EQ(f->Position(), pos + static_cast<int64_t>(count));
        break;
      }
      case 4: case 5: case 6: case 7: {
        std::string data(n, '\0');
        for (char& ch : data) ch = static_cast<char>(pick(255));
        size_t put = 0;
        ASSERT_EQ(f->Write(data.data(), n, &put), 0);
        ASSERT_EQ(put, n);
        if (n == 0) break;  // writing nothing does not lengthen the file
        if (model.size() < pos + n) model.resize(static_cast<size_t>(pos) + n, '\0');
        model.replace(static_cast<size_t>(pos), n, data);
        break;
      }
      case 8: {
        ASSERT_EQ(f->Truncate(), 0);
        model.resize(static_cast<size_t>(pos), '\0');
        break;
      }
      default: {
        int64_t size = -1;
        ASSERT_EQ(f->Size(&size), 0);
        ASSERT_EQ(size, static_cast<int64_t>(model.size())) << "op " << op;
      }
    }
  }
  f.reset();
  EXPECT_EQ(Slurp(path), model);
}

}  // namespace
