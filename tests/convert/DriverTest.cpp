// The conversion driver's road through stand-in engines: the engine calls in
// order, the questions and their defaults, every error box, what is left
// behind, the record loops' error handling, progress and cancelling.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "ConvertTestUtil.h"

namespace vk {
namespace {

using cvtest::FakeFolder;
using cvtest::Lines;
using cvtest::ReadFile;
using cvtest::RecordingUser;
using cvtest::TablePath;
using cvtest::WriteFile;

const char kExistsQuestion[] = "すでに辞書ファイルが存在します。初期化しますか？";
const char kMissingQuestion[] = "辞書ﾌｧｲﾙが存在しません.新規作成しますか？";
const char kWriteError[] = "辞書の書き込みでエラーが発生しました";

class DriverTest : public ::testing::Test {
 protected:
  DriverTest() : log_(dir_.Path("calls.log")) { ::setenv("VK_FAKE_ENGINE_LOG", log_.c_str(), 1); }
  ~DriverTest() override { ::unsetenv("VK_FAKE_ENGINE_LOG"); }

  // Settings for `mode` (1-6) from source.txt to target.txt, with the CP932
  // table for every field and the stand-in engines.
  TConvertSettings Settings(int mode) {
    TConvertSettings s;
    s.mode = mode - 1;
    s.source = dir_.Path("source.txt");
    s.target = dir_.Path("target.txt");
    s.wordTable = s.pronTable = s.japaTable = s.expTable = TablePath("cp932.tbl");
    s.engineFolder = FakeFolder();
    return s;
  }
  // A stand-in dictionary: one "word<TAB>japa<TAB>exp<TAB>pron<TAB>attr" line each.
  void Source(const std::string& lines) { WriteFile(dir_.Path("source.txt"), lines); }
  std::string Target() { return ReadFile(dir_.Path("target.txt")); }
  std::vector<std::string> Calls() { return Lines(ReadFile(log_)); }
  void ClearCalls() { WriteFile(log_, ""); }

  TConvertResult Run(const TConvertSettings& s) {
    TConvertDriver driver(&user_);
    return driver.Convert(s);
  }
  // A conversion in `mode` by a new user into a target that is not there yet.
  TConvertResult RunAfresh(int mode) {
    user_ = RecordingUser();
    ::unlink(dir_.Path("target.txt").c_str());
    return Run(Settings(mode));
  }

  void TargetLibraryMissing();
  void NoLegacyEngine();

  vktest::TempDir dir_;
  std::string log_;
  RecordingUser user_;
};

TEST_F(DriverTest, EngineCallsOfAWholeConversionInOrder) {
  Source("apple\tringo\t\t\t129\nbee\thachi\t\t\t130\n");
  TConvertResult r = Run(Settings(5));  // Win32 -> UTF-16
  EXPECT_EQ(TConvertOutcome::kDone, r.outcome);
  std::vector<std::string> want = {
      "VKC620 VKCreateHandle",  "VKC620 VKOpen 1",         "VKC620 VKInitSearch null 4",
      "VKCUL VKCreateHandle",   "VKCUL VKCreate 0",        "VKCUL VKInitSearch null 4",
      "VKCUL VKClose",          "VKCUL VKDeleteHandle",    "VKCUL VKCreateHandle",
      "VKCUL VKOpen 0",         "VKCUL VKInitSearch null 4", "VKC620 VKSetFastMode 1",
      "VKCUL VKSetFastMode 1",  "VKC620 VKGetNextSearch 0", "VKC620 VKGetNextSearch 0",
      "VKC620 VKGetNextSearch 1", "VKCUL VKQueryRecord 6 2147418112",
      "VKC620 VKGetNextSearch 0", "VKC620 VKGetNextSearch 0", "VKC620 VKGetNextSearch 1",
      "VKCUL VKQueryRecord 6 2147418112", "VKC620 VKGetNextSearch -2",
      "VKCUL VKSetFastMode 0",  "VKCUL VKSetFastMode 1",
      "VKC620 VKClose",         "VKC620 VKDeleteHandle",   "VKCUL VKClose",
      "VKCUL VKDeleteHandle"};
  EXPECT_EQ(want, Calls());
  EXPECT_EQ("apple\tringo\t\t\t129\nbee\thachi\t\t\t130\n", Target());
  EXPECT_EQ(1, user_.clears);
  EXPECT_EQ(1, user_.starts);
  EXPECT_EQ(1, user_.ends);
  ASSERT_TRUE(user_.resultShown);
  EXPECT_EQ(2, user_.result.sourceCount);
  EXPECT_EQ(2, user_.result.recCount);
  ASSERT_EQ(1u, user_.questions.size());
  EXPECT_EQ(kMissingQuestion, user_.questions[0].text);
  EXPECT_EQ("辞書の変換", user_.questions[0].caption);
  EXPECT_TRUE(user_.questions[0].defaultYes);
}

TEST_F(DriverTest, ExistingTargetDefaultsToNoAndStaysUntouched) {
  Source("apple\tりんご\t\t\t0\n");
  WriteFile(dir_.Path("target.txt"), "old\tentry\t\t\t0\n");
  TConvertResult r = Run(Settings(5));
  EXPECT_EQ(TConvertOutcome::kRefused, r.outcome);
  ASSERT_EQ(1u, user_.questions.size());
  EXPECT_EQ(kExistsQuestion, user_.questions[0].text);
  EXPECT_FALSE(user_.questions[0].defaultYes);
  EXPECT_EQ("old\tentry\t\t\t0\n", Target());
  EXPECT_FALSE(user_.resultShown);
  EXPECT_TRUE(user_.boxes.empty());
  std::vector<std::string> want = {"VKC620 VKCreateHandle", "VKC620 VKOpen 1",
                                   "VKC620 VKInitSearch null 4", "VKC620 VKClose",
                                   "VKC620 VKDeleteHandle"};
  EXPECT_EQ(want, Calls());
}

TEST_F(DriverTest, AnswersDecideWhetherTheTargetIsMade) {
  struct Case {
    bool exists;
    bool answer;
    bool converts;
  } cases[] = {{true, true, true}, {true, false, false}, {false, true, true}, {false, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.exists) + std::to_string(c.answer));
    Source("apple\tringo\t\t\t0\n");
    ::unlink(dir_.Path("target.txt").c_str());
    if (c.exists) WriteFile(dir_.Path("target.txt"), "old\tentry\t\t\t0\n");
    user_ = RecordingUser();
    user_.answers = {c.answer};
    TConvertResult r = Run(Settings(5));
    EXPECT_EQ(c.converts ? TConvertOutcome::kDone : TConvertOutcome::kRefused, r.outcome);
    struct stat st;
    if (c.converts)
      EXPECT_EQ("apple\tringo\t\t\t0\n", Target());
    else if (c.exists)
      EXPECT_EQ("old\tentry\t\t\t0\n", Target());
    else
      EXPECT_NE(0, ::stat(dir_.Path("target.txt").c_str(), &st));
  }
}

TEST_F(DriverTest, SourceThatCannotBeHadIsReportedBeforeAnyEngineCall) {
  struct Case {
    const char* what;
    std::function<void()> prepare;
  } cases[] = {
      {"missing", [] {}},
      {"folder", [this] { ::mkdir(dir_.Path("source.txt").c_str(), 0755); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::rmdir(dir_.Path("source.txt").c_str());
    ::unlink(dir_.Path("source.txt").c_str());
    c.prepare();
    user_ = RecordingUser();
    ClearCalls();
    TConvertResult r = Run(Settings(5));
    EXPECT_EQ(TConvertOutcome::kFailed, r.outcome);
    ASSERT_EQ(1u, user_.boxes.size());
    EXPECT_EQ("辞書の変換", user_.boxes[0].caption);
    EXPECT_EQ("変換元ファイルが存在しません", user_.boxes[0].text);
    EXPECT_TRUE(user_.questions.empty());
    EXPECT_FALSE(user_.resultShown);
    EXPECT_TRUE(Calls().empty());
  }
}

TEST_F(DriverTest, SourceLockedByAnotherProgramCountsAsAbsent) {
  Source("apple\tりんご\t\t\t0\n");
  int fd = ::open(dir_.Path("source.txt").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(0, ::flock(fd, LOCK_SH));  // as an engine holds a dictionary open read-only
  EXPECT_FALSE(SourceFileExists(dir_.Path("source.txt")));
  Run(Settings(5));
  ASSERT_EQ(1u, user_.boxes.size());
  EXPECT_EQ("変換元ファイルが存在しません", user_.boxes[0].text);
  // The English detail tells the lock apart from a missing file.
  EXPECT_NE(std::string::npos, user_.boxes[0].detail.find("locked by another process"))
      << user_.boxes[0].detail;
  ::close(fd);
  EXPECT_TRUE(SourceFileExists(dir_.Path("source.txt")));
}

TEST_F(DriverTest, SourceThatNoEngineOpens) {
  // The real UTF-8 engine refuses a file that is not a dictionary.
  Source("not a dictionary");
  TConvertSettings s = Settings(2);
  s.engineFolder.clear();
  TConvertResult r = Run(s);
  EXPECT_EQ(TConvertOutcome::kFailed, r.outcome);
  ASSERT_EQ(1u, user_.boxes.size());
  EXPECT_EQ("変換元の辞書を開くことができません", user_.boxes[0].text);
  EXPECT_TRUE(user_.questions.empty());
}

TEST_F(DriverTest, BigEndianUtf8SourceCannotBeOpened) {
  Source("apple\tりんご\t\t\t0\n");
  TConvertSettings s = Settings(4);  // UTF-8 -> UTF-16
  s.bigEndian = true;
  Run(s);
  ASSERT_EQ(1u, user_.boxes.size());
  EXPECT_EQ("変換元の辞書を開くことができません", user_.boxes[0].text);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(DriverTest, TargetLibraryMissingWhileCreating) {
  IN_FRESH_PROCESS(TargetLibraryMissing());
}

void DriverTest::TargetLibraryMissing() {
  Source("apple\tringo\t\t\t0\n");
  struct Case {
    int mode;
    bool bigEndian;
    std::string folder;
  } cases[] = {
      // The stand-in folder has no libVKCUB.so, and neither has the system.
      {5, true, FakeFolder()},
      // No big-endian UTF-8 engine exists.
      {3, true, FakeFolder()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    user_ = RecordingUser();
    ClearCalls();
    TConvertSettings s = Settings(c.mode);
    if (c.mode == 3) WriteFile(s.source, "apple\tりんご\t\t\t0\n");
    s.bigEndian = c.bigEndian;
    s.source = dir_.Path("source.txt");
    // Mode 3 reads a UTF-16 source through libVKCUB.so with big-endian: use
    // the stand-in VKCUL by a little-endian source instead.
    if (c.mode == 3) {
      s.mode = 2;
      s.bigEndian = false;
      ::symlink((FakeFolder() + "/libVKCUL.so").c_str(), dir_.Path("libVKCUL.so").c_str());
      s.engineFolder = dir_.path();  // no libVKCU8L.so here
    }
    TConvertResult r = Run(s);
    EXPECT_EQ(TConvertOutcome::kFailed, r.outcome);
    ASSERT_EQ(1u, user_.boxes.size());
    EXPECT_EQ("エラー", user_.boxes[0].caption);
    EXPECT_EQ("必要なDLLが見つかりません", user_.boxes[0].text);
    struct stat st;
    EXPECT_NE(0, ::stat(s.target.c_str(), &st));
    std::vector<std::string> calls = Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_NE(std::string::npos, calls[calls.size() - 2].find("VKClose"));  // the source closed
    EXPECT_FALSE(user_.resultShown);
  }
}

TEST_F(DriverTest, CreateFailureShowsTheLegacyEnginesMessage) {
  Source("apple\tりんご\t\t\t0\n");
  struct Case {
    const char* target;
    std::string text;
  } cases[] = {
      {"nocreate14.txt", "fake " + dir_.Path("nocreate14.txt") + " 14"},
      {"nocreate99.txt", "Unknown Error[355]"},  // the legacy engine has no text for 99
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.target);
    user_ = RecordingUser();
    ClearCalls();
    TConvertSettings s = Settings(5);
    s.target = dir_.Path(c.target);
    TConvertResult r = Run(s);
    EXPECT_EQ(TConvertOutcome::kFailed, r.outcome);
    ASSERT_EQ(1u, user_.boxes.size());
    EXPECT_EQ("エラー", user_.boxes[0].caption);
    EXPECT_EQ(c.text, user_.boxes[0].text);
    std::vector<std::string> calls = Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ("VKC620 VKClose", calls[calls.size() - 2]);
    EXPECT_EQ("VKC620 VKDeleteHandle", calls.back());
  }
}

TEST_F(DriverTest, ErrorMessageWithoutLegacyEngineIsUnknownError) {
  IN_FRESH_PROCESS(NoLegacyEngine());
}

void DriverTest::NoLegacyEngine() {
  TConvertDriver driver(&user_);
  // Nothing of the legacy engine in an empty folder; the system has none either.
  TConvertSettings s;
  s.engineFolder = dir_.path();
  // ReportEngineError takes the folder from the last settings: run a refused
  // conversion first to set them.
  user_.answers = {false};
  driver.Convert(s);
  user_.boxes.clear();
  driver.ReportEngineError(256 + 14, "x.dic");
  ASSERT_EQ(1u, user_.boxes.size());
  EXPECT_EQ("Unknown Error[270]", user_.boxes[0].text);
}

TEST_F(DriverTest, TargetThatCannotBeOpenedAfterCreation) {
  Source("apple\tりんご\t\t\t0\n");
  TConvertSettings s = Settings(5);
  s.target = dir_.Path("noopen.txt");
  TConvertResult r = Run(s);
  EXPECT_EQ(TConvertOutcome::kFailed, r.outcome);
  ASSERT_EQ(1u, user_.boxes.size());
  EXPECT_EQ("辞書の変換", user_.boxes[0].caption);
  EXPECT_EQ("変換先の辞書を開くことができません", user_.boxes[0].text);
  EXPECT_EQ("", ReadFile(s.target));  // the new empty target stays
  EXPECT_FALSE(user_.resultShown);
}

TEST_F(DriverTest, TableThatCannotBeReadLeavesAnEmptyTargetAndZeros) {
  Source("apple\tりんご\t\t\t0\n");
  struct Case {
    const char* what;
    std::string* field;
    std::string path;
    std::string text;
  };
  std::string missing = dir_.Path("none.tbl");
  for (int field = 0; field < 4; ++field) {
    for (bool offered : {true, false}) {
      SCOPED_TRACE(std::to_string(field) + (offered ? " missing file" : " no table offered"));
      user_ = RecordingUser();
      ::unlink(dir_.Path("target.txt").c_str());
      TConvertSettings s = Settings(field % 2 ? 6 : 1);
      if (field % 2) s.source = dir_.Path("source.txt");
      std::string* paths[4] = {&s.wordTable, &s.pronTable, &s.japaTable, &s.expTable};
      *paths[field] = offered ? missing : "";
      ClearCalls();
      TConvertResult r = Run(s);
      EXPECT_EQ(TConvertOutcome::kFailed, r.outcome);
      ASSERT_EQ(1u, user_.boxes.size());
      EXPECT_EQ("変換テーブルファイル " + (offered ? missing : std::string()) + " が開けません",
                user_.boxes[0].text);
      ASSERT_TRUE(user_.resultShown);
      EXPECT_EQ(0, user_.result.sourceCount);
      EXPECT_EQ(0, user_.result.recCount);
      EXPECT_EQ("", Target());
      std::vector<std::string> calls = Calls();
      ASSERT_GE(calls.size(), 4u);
      EXPECT_NE(std::string::npos, calls[calls.size() - 1].find("VKDeleteHandle"));
      EXPECT_NE(std::string::npos, calls[calls.size() - 3].find("VKDeleteHandle"));
      for (const std::string& call : calls) EXPECT_EQ(std::string::npos, call.find("GetNextSearch"));
    }
  }
}

TEST_F(DriverTest, TooLongHeadwordIsLoggedAndSkippedOnlyFromWin32) {
  Source("apple\tA\t\t\t0\nlongword\tL\t\t\t0\nzebra\tZ\t\t\t0\n");
  struct Case {
    int mode;
    bool goesOn;
  } cases[] = {{1, true}, {5, true}, {3, false}, {4, false}, {2, false}, {6, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    user_ = RecordingUser();
    ::unlink(dir_.Path("target.txt").c_str());
    TConvertResult r = Run(Settings(c.mode));
    ASSERT_TRUE(user_.resultShown);
    if (c.goesOn) {
      EXPECT_EQ(TConvertOutcome::kDone, r.outcome);
      EXPECT_EQ(std::vector<std::string>{"2 : 見出語 : too long : longword"}, user_.log);
      EXPECT_TRUE(user_.boxes.empty());
      EXPECT_EQ(3, user_.result.sourceCount);
      EXPECT_EQ(2, user_.result.recCount);
      EXPECT_EQ(1, user_.result.overCount);
      EXPECT_EQ("apple\tA\t\t\t0\nzebra\tZ\t\t\t0\n", Target());
    } else {
      EXPECT_EQ(TConvertOutcome::kFailed, r.outcome);
      EXPECT_TRUE(user_.log.empty());
      ASSERT_EQ(1u, user_.boxes.size());
      EXPECT_EQ(kWriteError, user_.boxes[0].text);
      EXPECT_EQ(2, user_.result.sourceCount);
      EXPECT_EQ(1, user_.result.recCount);
      EXPECT_EQ(0, user_.result.overCount);
      EXPECT_EQ("apple\tA\t\t\t0\n", Target());
    }
  }
}

TEST_F(DriverTest, OtherWriteFailureEndsEveryLoop) {
  Source("apple\tA\t\t\t0\nfailing\tF\t\t\t0\nzebra\tZ\t\t\t0\n");
  for (int mode = 1; mode <= 6; ++mode) {
    SCOPED_TRACE(mode);
    TConvertResult r = RunAfresh(mode);
    EXPECT_EQ(TConvertOutcome::kFailed, r.outcome);
    ASSERT_EQ(1u, user_.boxes.size());
    EXPECT_EQ(kWriteError, user_.boxes[0].text);
    EXPECT_EQ(2, user_.result.sourceCount);
    EXPECT_EQ(1, user_.result.recCount);
    EXPECT_EQ("apple\tA\t\t\t0\n", Target());
    // Which record, which file, and the engine's reason in words and its own.
    EXPECT_NE(std::string::npos,
              user_.boxes[0].detail.find("record 2 (failing) could not be written to " +
                                         dir_.Path("target.txt") +
                                         ": a read or write of the file failed (fake "))
        << user_.boxes[0].detail;
    EXPECT_NE(std::string::npos, user_.boxes[0].detail.find("engine error 5)"));
  }
}

// The save after the last record is where a target that holds its writes
// back (fast mode) meets a full disk: told in the same box, never lost at the
// close without a word.
TEST_F(DriverTest, FailedSaveAfterTheLastRecordIsAFailure) {
  Source("apple\tA\t\t\t0\nzebra\tZ\t\t\t0\n");
  TConvertSettings s = Settings(5);
  s.target = dir_.Path("nosave.txt");
  TConvertResult r = Run(s);
  EXPECT_EQ(TConvertOutcome::kFailed, r.outcome);
  ASSERT_EQ(1u, user_.boxes.size());
  EXPECT_EQ(kWriteError, user_.boxes[0].text);
  EXPECT_NE(std::string::npos, user_.boxes[0].detail.find("the records up to record 2 could not be written to " +
                                                          dir_.Path("nosave.txt") + ": "))
      << user_.boxes[0].detail;
  EXPECT_NE(std::string::npos, user_.boxes[0].detail.find("engine error 4)")) << user_.boxes[0].detail;
}

TEST_F(DriverTest, SourceThatFailsToReadEndsTheConversionAsAFailure) {
  // The stand-in fails to read at "unreadable": what came before is kept.
  Source("apple\tA\t\t\t0\nbee\tB\t\t\t0\nunreadable\tU\t\t\t0\nzebra\tZ\t\t\t0\n");
  for (int mode = 1; mode <= 6; ++mode) {
    SCOPED_TRACE(mode);
    TConvertResult r = RunAfresh(mode);
    EXPECT_EQ(TConvertOutcome::kFailed, r.outcome);
    ASSERT_EQ(1u, user_.boxes.size());
    EXPECT_EQ("変換元の辞書の読み込みでエラーが発生しました", user_.boxes[0].text);
    EXPECT_NE(std::string::npos, user_.boxes[0].detail.find("record 3 of the source"));
    ASSERT_EQ(1u, user_.log.size());
    EXPECT_EQ("3 : read error : a read or write of the file failed (fake " +
                  dir_.Path("source.txt") + " 5, engine error 5)",
              user_.log[0]);
    ASSERT_TRUE(user_.resultShown);
    EXPECT_EQ(2, user_.result.sourceCount);
    EXPECT_EQ(2, user_.result.recCount);
    EXPECT_EQ("apple\tA\t\t\t0\nbee\tB\t\t\t0\n", Target());
  }
}

TEST_F(DriverTest, EntryTheTargetLeavesOutIsLoggedAndCountedAsTooLongInEveryLoop) {
  // The stand-in answers success for "dropped" but stores nothing and counts
  // it as too long, as the engines do with a text over its limit.
  Source("apple\tA\t\t\t0\ndropped\tD\t\t\t0\nzebra\tZ\t\t\t0\n");
  for (int mode = 1; mode <= 6; ++mode) {
    SCOPED_TRACE(mode);
    TConvertResult r = RunAfresh(mode);
    EXPECT_EQ(TConvertOutcome::kDone, r.outcome);
    EXPECT_TRUE(user_.boxes.empty());
    // Its own fields fit: the stored entry and the new one merged were too long.
    std::vector<std::string> want = {"2 : 結合 : too long : dropped"};
    EXPECT_EQ(want, user_.log);
    EXPECT_EQ(3, user_.result.sourceCount);
    EXPECT_EQ(2, user_.result.recCount);
    EXPECT_EQ(1, user_.result.overCount);
    EXPECT_EQ("apple\tA\t\t\t0\nzebra\tZ\t\t\t0\n", Target());
  }
}

TEST_F(DriverTest, StopRequestEndsTheLoopAtTheNextRecordAsACancel) {
  Source(std::string("apple\tA\t\t\t0\n") + "\x85\x40\tnothing\t\t\t0\n" + "zebra\tZ\t\t\t0\n");
  // The first poll comes before the first record; the third, after the
  // second record, which was skipped: a stop needs no registered record.
  user_.stopAtPoll = 3;
  TConvertResult r = Run(Settings(1));
  EXPECT_EQ(TConvertOutcome::kCancelled, r.outcome);
  EXPECT_EQ(2, user_.result.sourceCount);
  EXPECT_EQ(1, user_.result.recCount);
  EXPECT_EQ(1, user_.ends);
  EXPECT_EQ("apple\tA\t\t\t0\n", Target());
}

TEST_F(DriverTest, ProgressIsToldTheSourcesEntryCount) {
  Source("apple\tA\t\t\t0\nbee\tB\t\t\t0\n");
  Run(Settings(5));
  EXPECT_EQ(2, user_.total);
}

TEST_F(DriverTest, TargetThatIsTheSourceIsRefusedBeforeTheQuestion) {
  Source("apple\tA\t\t\t0\n");
  TConvertSettings s = Settings(5);
  ::symlink(s.source.c_str(), dir_.Path("same.txt").c_str());
  s.target = dir_.Path("same.txt");  // another name of the same file
  TConvertResult r = Run(s);
  EXPECT_EQ(TConvertOutcome::kFailed, r.outcome);
  EXPECT_TRUE(user_.questions.empty());
  ASSERT_EQ(1u, user_.boxes.size());
  EXPECT_NE(std::string::npos, user_.boxes[0].detail.find("is the source itself"));
  EXPECT_EQ("apple\tA\t\t\t0\n", ReadFile(s.source));
}

TEST_F(DriverTest, EmptyConvertedHeadwordIsLoggedAndSkippedButCounted) {
  // 0x8540 has no mapping in CP932: the first headword converts to nothing.
  Source("\x85\x40\t\x85\x40\t\t\t0\nb\x85\x40\tB\x85\x40\t\t\t0\n");
  TConvertResult r = Run(Settings(1));
  EXPECT_EQ(TConvertOutcome::kDone, r.outcome);
  std::vector<std::string> want = {"1 : 見出語 : UndefChar [0x8540] : [\\x85\\x40]",
                                   "1 : 見出語 : empty : \\x85\\x40",
                                   "2 : 見出語 : UndefChar [0x8540] : [b\\x85\\x40]",
                                   "2 : 訳語 : UndefChar [0x8540] : [b\\x85\\x40]"};
  EXPECT_EQ(want, user_.log);
  EXPECT_EQ(2, user_.result.sourceCount);
  EXPECT_EQ(1, user_.result.recCount);
  EXPECT_EQ(3, user_.result.undefCount);
  EXPECT_EQ("b\tB\t\t\t0\n", Target());
}

TEST_F(DriverTest, AllHeadwordsEmptyWritesNothing) {
  Source("é\tx\t\t\t0\nü\ty\t\t\t0\n");  // no CP932 code for either
  TConvertResult r = Run(Settings(6));
  EXPECT_EQ(TConvertOutcome::kDone, r.outcome);
  EXPECT_EQ(2, user_.result.sourceCount);
  EXPECT_EQ(0, user_.result.recCount);
  std::vector<std::string> want = {"1 : 見出語 : UndefChar [0xE9] : [é]",
                                   "1 : 見出語 : empty : é",
                                   "2 : 見出語 : UndefChar [0xFC] : [ü]",
                                   "2 : 見出語 : empty : ü"};
  EXPECT_EQ(want, user_.log);
  EXPECT_EQ("", Target());
}

std::string ManyRecords(int n) {
  std::string lines;
  for (int i = 0; i < n; ++i) lines += "w" + std::to_string(100000 + i) + "\tJ\t\t\t0\n";
  return lines;
}

TEST_F(DriverTest, CancelTakesEffectAtTheNextRegisteredRecordAfterYes) {
  Source(ManyRecords(700));
  user_.onEvents = [](RecordingUser& u) { u.closed = true; };  // Yes at the first cancel point
  TConvertResult r = Run(Settings(3));
  EXPECT_EQ(TConvertOutcome::kCancelled, r.outcome);
  EXPECT_EQ(1, user_.events);
  EXPECT_EQ(257, user_.result.recCount);
  EXPECT_EQ(257, user_.result.sourceCount);
  EXPECT_EQ(257u, Lines(Target()).size());
  EXPECT_EQ(1, user_.ends);
}

TEST_F(DriverTest, AnsweringNoAtTheCancelPointGoesOn) {
  Source(ManyRecords(700));
  user_.onEvents = [](RecordingUser&) {};
  TConvertResult r = Run(Settings(3));
  EXPECT_EQ(TConvertOutcome::kDone, r.outcome);
  EXPECT_EQ(2, user_.events);  // at 256 and 512
  EXPECT_EQ(700, user_.result.recCount);
}

TEST_F(DriverTest, ClosingTheProgressDisplayStopsAtTheNextRecordWithoutQuestion) {
  Source(ManyRecords(40));
  user_.closeAtPoll = 10;
  TConvertResult r = Run(Settings(5));
  EXPECT_EQ(TConvertOutcome::kCancelled, r.outcome);
  EXPECT_EQ(10, user_.result.recCount);
  EXPECT_EQ(0, user_.events);
  EXPECT_EQ(1u, user_.questions.size());  // only the target question
}

TEST_F(DriverTest, ProgressRefreshesAtMostOnceASecondAtCancelPoints) {
  struct Case {
    int records;
    uint32_t step;
    std::vector<std::pair<int, int>> want;
  } cases[] = {
      {255, 2000, {}},                           // fewer than 256: never
      {800, 600, {{64, 512}}},                   // 600 ms after start: too soon
      {800, 1001, {{32, 256}, {64, 512}, {96, 768}}},
      {800, 1000, {{64, 512}}},                  // exactly a second is not more
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.records * 10000 + c.step);
    Source(ManyRecords(c.records));
    ::unlink(dir_.Path("target.txt").c_str());
    user_ = RecordingUser();
    user_.clockStep = c.step;
    Run(Settings(3));
    EXPECT_EQ(c.want, user_.progress);
  }
}

TEST_F(DriverTest, ClockWrapStillMeasuresForward) {
  Source(ManyRecords(300));
  user_.clock = 0xFFFFFF00u;
  user_.clockStep = 2000;
  Run(Settings(3));
  EXPECT_EQ((std::vector<std::pair<int, int>>{{85, 256}}), user_.progress);
}

}  // namespace
}  // namespace vk
