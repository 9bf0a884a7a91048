// A process killed at any write of a change leaves a dictionary that the next
// open brings back, byte for byte, to its last committed state. For every
// write of a change (the journal's writes included), a crash image is taken
// after the write and with the write half done; opening the image must give
// the file as it was before the change or as the change committed it, never
// anything else, and no journal may be left after that open closes.
#include <gtest/gtest.h>

#include <functional>

#include "MutationTestUtil.h"
#include "file/Journal.h"
#include "support/CrashImageEnv.h"
#include "support/FaultEnv.h"

namespace vktest {
namespace {

template <class B>
class CrashImageTest : public ::testing::Test {
 protected:
  using Text = std::basic_string<typename B::IChar>;
  using Op = std::function<void(vk::Voka<B>&)>;

  static std::string Name(int i) { return "k" + std::to_string(100 + i); }
  static Text Letters(size_t n, char c) { return Text(n, typename B::IChar(c)); }

  // A few blocks of entries averaging over 64 bytes, so that the changes
  // below split, grow, move and free blocks.
  static std::vector<uint8_t> Start() {
    TempDir dir;
    vk::Voka<B> v;
    EXPECT_EQ(v.CreateDic(dir.Path("s.dic"), nullptr, false), 0);
    for (int i = 0; i < 14; ++i)
      EXPECT_EQ(v.RecordWord(T<B>(Name(i * 2)).c_str(), Fields<B>(Letters(40 + size_t(i * 37 % 90), 'x'))), 1);
    v.CloseDic();
    return FileBytes(dir.Path("s.dic"));
  }

  // Runs `op` on a copy of the start file once per write it makes, taking a
  // crash image at that write, and checks each image.
  void EveryWriteCrashes(const Op& op) {
    const std::vector<uint8_t> start = Start();
    int images = 0;
    for (bool half : {false, true}) {
      for (int n = 0; n < 400; ++n) {
        SCOPED_TRACE(std::string(half ? "half of " : "") + "write " + std::to_string(n));
        TempDir dir, image;
        const std::string path = dir.Path("d.dic");
        PutFileBytes(path, start);
        CrashImageEnv env;
        std::vector<uint8_t> committed, closed;
        int opWrites = 0;
        {
          vk::Voka<B> v(&env);
          ASSERT_EQ(v.OpenDic(path, nullptr, false), 0);
          env.ImageAtWrite(n, half, dir.path(), image.path());
          op(v);
          opWrites = env.writes();
          committed = FileBytes(path);
          v.CloseDic();
        }
        closed = FileBytes(path);
        EXPECT_FALSE(FileExists(vk::Journal::PathFor(path))) << "a clean close leaves no journal";
        if (!env.imageTaken()) break;
        ++images;
        const std::string imaged = image.Path("d.dic");
        {
          vk::Voka<B> v;
          ASSERT_EQ(v.OpenDic(imaged, nullptr, false), 0) << v.Error();
          v.CloseDic();
        }
        EXPECT_FALSE(FileExists(vk::Journal::PathFor(imaged)));
        const std::vector<uint8_t> got = FileBytes(imaged);
        if (n < opWrites) {
          EXPECT_TRUE(got == start || got == committed) << "a crash inside the change";
        } else {
          EXPECT_TRUE(got == committed || got == closed) << "a crash inside the close";
        }
        if (HasFailure()) return;
      }
    }
    // Fast mode's batch reaches the file only at its commit, in a few
    // writes; a run of its own makes more.
    EXPECT_GT(images, 4);
  }

  static bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }
};

TYPED_TEST_SUITE(CrashImageTest, AllBuilds, BuildNames);

TYPED_TEST(CrashImageTest, RecordThatSplitsABlock) {
  using B = TypeParam;
  this->EveryWriteCrashes([](vk::Voka<B>& v) {
    EXPECT_EQ(v.RecordWord(T<B>(TestFixture::Name(9)).c_str(), Fields<B>(TestFixture::Letters(150, 'y'))), 1);
  });
}

TYPED_TEST(CrashImageTest, RewriteThatGrowsABlock) {
  using B = TypeParam;
  this->EveryWriteCrashes([](vk::Voka<B>& v) {
    EXPECT_EQ(v.RecordWord(T<B>(TestFixture::Name(4)).c_str(), Fields<B>(TestFixture::Letters(700, 'y'))), 1);
  });
}

TYPED_TEST(CrashImageTest, EraseTheFirstEntry) {
  using B = TypeParam;
  this->EveryWriteCrashes([](vk::Voka<B>& v) { EXPECT_EQ(v.EraseWord(T<B>(TestFixture::Name(0)).c_str()), 1); });
}

TYPED_TEST(CrashImageTest, RenameToANewFirstHeadword) {
  using B = TypeParam;
  this->EveryWriteCrashes([](vk::Voka<B>& v) {
    EXPECT_EQ(v.RenameWord(T<B>(TestFixture::Name(6)).c_str(), T<B>("a-first").c_str()), 1);
  });
}

// A batch in fast mode is one change: all of it or none.
TYPED_TEST(CrashImageTest, FastModeBatch) {
  using B = TypeParam;
  this->EveryWriteCrashes([](vk::Voka<B>& v) {
    ASSERT_EQ(v.SetFast(true), 1);
    for (int i = 0; i < 12; ++i)
      EXPECT_EQ(v.RecordWord(T<B>(TestFixture::Name(i * 2 + 1)).c_str(), Fields<B>(TestFixture::Letters(90, 'z'))), 1);
    EXPECT_EQ(v.EraseWord(T<B>(TestFixture::Name(2)).c_str()), 1);
    EXPECT_EQ(v.SetFast(false), 0);
  });
}

// A reader that may not write the file reads the committed state through
// the journal that a killed writer left, and changes neither file.
TYPED_TEST(CrashImageTest, ReadOnlyOpenReadsTheCommittedState) {
  using B = TypeParam;
  using Text = typename TestFixture::Text;
  const std::vector<uint8_t> start = TestFixture::Start();
  TempDir dir, image;
  const std::string path = dir.Path("d.dic");
  PutFileBytes(path, start);
  // The batch reaches the file when fast mode ends; the image is taken after
  // the last write of that commit, before the journal is emptied: the file
  // holds the batch, the journal what it overwrote. A first run counts the
  // commit's writes.
  auto batch = [&](vk::Voka<B>& v) {
    ASSERT_EQ(v.OpenDic(path, nullptr, false), 0);
    ASSERT_EQ(v.SetFast(true), 1);
    for (int i = 0; i < 30; ++i)
      ASSERT_EQ(v.RecordWord(T<B>(TestFixture::Name(i * 2 + 1)).c_str(), Fields<B>(TestFixture::Letters(120, 'z'))), 1);
    ASSERT_EQ(v.EraseWord(T<B>(TestFixture::Name(0)).c_str()), 1);
  };
  int commitWrites = 0;
  {
    CrashImageEnv counting;
    vk::Voka<B> v(&counting);
    batch(v);
    const int before = counting.writes();
    ASSERT_EQ(v.SetFast(false), 0);
    commitWrites = counting.writes() - before;
    v.CloseDic();
  }
  ASSERT_GT(commitWrites, 0);
  PutFileBytes(path, start);
  CrashImageEnv env;
  {
    vk::Voka<B> v(&env);
    batch(v);
    env.ImageAtWrite(commitWrites - 1, false, dir.path(), image.path());
    ASSERT_EQ(v.SetFast(false), 0);
    v.CloseDic();
  }
  ASSERT_TRUE(env.imageTaken());
  const std::string imaged = image.Path("d.dic");
  const std::string journal = vk::Journal::PathFor(imaged);
  const std::vector<uint8_t> journalBytes = FileBytes(journal);
  ASSERT_GT(journalBytes.size(), vk::Journal::kHeaderSize) << "the batch overwrote committed pages";
  const std::vector<uint8_t> imageBytes = FileBytes(imaged);
  ASSERT_NE(imageBytes, start);

  Walk<B> expected;
  PutFileBytes(dir.Path("start.dic"), start);
  WalkFile<B>(dir.Path("start.dic"), &expected);
  FaultEnv readOnly;
  readOnly.FailOpen(vk::OpenMode::kReadWrite, 5);
  {
    vk::Voka<B> v(&readOnly);
    ASSERT_EQ(v.OpenDic(imaged, nullptr, true), 0) << v.Error();
    EXPECT_EQ(v.WordCount(), int32_t(expected.entries.size()));
    for (const auto& e : expected.entries) {
      vk::Japa<B> f;
      ASSERT_EQ(v.FindWord(e.word.c_str(), &f), 1);
      EXPECT_EQ(f.translation, e.fields.translation);
    }
    EXPECT_EQ(v.FindWord(T<B>(TestFixture::Name(1)).c_str(), nullptr), 0) << "the batch is not there";
    v.CloseDic();
  }
  EXPECT_EQ(FileBytes(imaged), imageBytes);
  EXPECT_EQ(FileBytes(journal), journalBytes);
  // A writer then rolls it back for good.
  {
    vk::Voka<B> v;
    ASSERT_EQ(v.OpenDic(imaged, nullptr, false), 0);
    EXPECT_EQ(v.RecordWord(T<B>("new").c_str(), Fields<B>(Text(T<B>("entry")))), 1);
    v.CloseDic();
  }
  EXPECT_FALSE(TestFixture::FileExists(journal));
  Walk<B> after;
  WalkFile<B>(imaged, &after);
  EXPECT_EQ(after.entries.size(), expected.entries.size() + 1);
}

}  // namespace
}  // namespace vktest
