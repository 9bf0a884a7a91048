// Dictionary handles in shared mode: each works on its own temporary copy
// of one shared dictionary, sees the others' changes before each lookup,
// writes its own back under the write lock, and leaves no copy behind. Then
// the same across real processes: several of them changing one dictionary
// at once, and one killed while it holds the lock.
#include <gtest/gtest.h>
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "dic/DicCheck.h"
#include "dic/Voka.h"
#include "file/ErrorCodes.h"
#include "format/BuildTraits.h"
#include "format/ByteOrder.h"
#include "support/Builds.h"
#include "support/FileText.h"
#include "support/TempDir.h"

namespace vk {
namespace {

using Model = std::map<std::string, std::string>;

template <class B>
std::basic_string<typename B::IChar> I(const std::string& ascii) {
  return std::basic_string<typename B::IChar>(ascii.begin(), ascii.end());
}
template <class B>
std::string A(const std::basic_string<typename B::IChar>& s) {
  return std::string(s.begin(), s.end());
}
template <class B>
Japa<B> Translation(const std::string& text) {
  Japa<B> f;
  f.translation = I<B>(text);
  return f;
}

// Every entry of the handle, in dictionary order, by a scan.
template <class B>
Model Dump(Voka<B>& v) {
  Model m;
  v.InitScan();
  Japa<B> f;
  std::basic_string<typename B::IChar> w;
  for (;;) {
    const int32_t rc = v.NextScan(&f, &w);
    if (rc == kStepEnd) break;
    if (rc == kStepAgain) continue;
    EXPECT_EQ(rc, kStepEntry);
    if (rc != kStepEntry) break;
    m[A<B>(w)] = A<B>(f.translation);
  }
  return m;
}

template <class B>
std::string Find(Voka<B>& v, const std::string& word) {
  Japa<B> f;
  const int32_t rc = v.FindWord(I<B>(word).c_str(), &f);
  return rc == 1 ? A<B>(f.translation) : rc == 0 ? "<none>" : "<failed>";
}

// No problem found by the dictionary check on the file at `path`.
template <class B>
int Problems(const std::string& path) {
  VkcDic<B> dic;
  EXPECT_EQ(dic.OpenDic(path, nullptr, true), 0);
  int problems = 0;
  RunCheck<B>(dic, [&](int32_t kind, CheckReport<B>&) {
    if (kind == kCheckProblem || kind == kCheckUnreadable) ++problems;
    return kind == kCheckProblem ? int32_t(kAnswerGoOn) : 0;
  });
  return problems;
}

// A scratch folder that is also the folder for temporary files, so that
// the local copies can be counted.
class SharedFolder {
 public:
  SharedFolder() {
    const char* old = std::getenv("TMPDIR");
    hadTmp_ = old != nullptr;
    if (old) oldTmp_ = old;
    ::setenv("TMPDIR", tmp_.path().c_str(), 1);
  }
  ~SharedFolder() {
    if (hadTmp_) {
      ::setenv("TMPDIR", oldTmp_.c_str(), 1);
    } else {
      ::unsetenv("TMPDIR");
    }
  }
  std::string Path(const std::string& name) { return dir_.Path(name); }
  // Files whose names start with "TD" in the temporary folder.
  int LocalCopies() {
    int n = 0;
    if (DIR* d = ::opendir(tmp_.path().c_str())) {
      while (dirent* e = ::readdir(d)) n += std::string(e->d_name).rfind("TD", 0) == 0;
      ::closedir(d);
    }
    return n;
  }

 private:
  vktest::TempDir dir_, tmp_;
  bool hadTmp_ = false;
  std::string oldTmp_;
};

template <class B>
void MakeShared(const std::string& path, const Model& entries) {
  Voka<B> v;
  ASSERT_EQ(v.CreateDic(path, nullptr, false), 0);
  for (const auto& e : entries) ASSERT_EQ(v.RecordWord(I<B>(e.first).c_str(), Translation<B>(e.second)), 1);
  ASSERT_EQ(v.CloseFile(), 0);
}

template <class B>
class SharedDicTest : public ::testing::Test {};
TYPED_TEST_SUITE(SharedDicTest, vktest::AllBuilds, vktest::BuildNames);

TYPED_TEST(SharedDicTest, TwoHandlesSeeEachOthersChangesThroughTheSharedFile) {
  using B = TypeParam;
  SharedFolder folder;
  const std::string shared = folder.Path("shared.dic");
  MakeShared<B>(shared, {{"apple", "ringo"}});
  const uint32_t countBefore = LoadLE32(vktest::ReadAll(shared).data() + 208);

  Voka<B> a, b;
  ASSERT_EQ(a.OpenShared(shared, nullptr, false), 0) << a.Error();
  ASSERT_EQ(b.OpenShared(shared, nullptr, false), 0) << b.Error();
  EXPECT_EQ(folder.LocalCopies(), 2);
  EXPECT_NE(a.LocalPath(), b.LocalPath());

  ASSERT_EQ(a.RecordWord(I<B>("banana").c_str(), Translation<B>("banana-ja")), 1) << a.Error();
  EXPECT_EQ(Find(b, "banana"), "banana-ja");
  ASSERT_EQ(b.EraseWord(I<B>("apple").c_str()), 1) << b.Error();
  ASSERT_EQ(b.RecordWord(I<B>("cherry").c_str(), Translation<B>("sakuranbo")), 1);
  EXPECT_EQ(Find(a, "apple"), "<none>");
  EXPECT_EQ(Find(a, "cherry"), "sakuranbo");
  ASSERT_EQ(a.RenameWord(I<B>("cherry").c_str(), I<B>("cherries").c_str()), 1);
  const Model expect = {{"banana", "banana-ja"}, {"cherries", "sakuranbo"}};
  EXPECT_EQ(Dump(b), expect);
  EXPECT_EQ(Dump(a), expect);

  EXPECT_EQ(a.CloseFile(), 0);
  EXPECT_EQ(b.CloseFile(), 0);
  EXPECT_EQ(folder.LocalCopies(), 0) << "close deletes the local copy";

  // The shared file itself holds it all, and counted the flushes.
  Voka<B> direct;
  ASSERT_EQ(direct.OpenDic(shared, nullptr, true), 0);
  EXPECT_EQ(Dump(direct), expect);
  EXPECT_GT(direct.Header().updateCount(), countBefore + 3);
  direct.CloseDic();
  EXPECT_EQ(Problems<B>(shared), 0);
}

TEST(SharedDic, OpeningRefusesWhatItCannotCopyAndLeavesNoCopyBehind) {
  using B = TraitsVKCU8L;
  SharedFolder folder;
  Voka<B> v;
  EXPECT_EQ(v.OpenShared(folder.Path("none.dic"), nullptr, false), -1);
  EXPECT_EQ(v.Error(), kErrFileNotFound);
  EXPECT_EQ(folder.LocalCopies(), 0);

  const std::string shared = folder.Path("s.dic");
  MakeShared<B>(shared, {{"a", "1"}});
  vktest::WriteAll(shared + ".bad", {1, 2, 3});
  EXPECT_EQ(v.OpenShared(shared + ".bad", nullptr, false), -1);
  EXPECT_NE(v.Error(), 0);
  EXPECT_EQ(folder.LocalCopies(), 0);

  ::setenv("TMPDIR", folder.Path("no-such-folder").c_str(), 1);
  EXPECT_EQ(v.OpenShared(shared, nullptr, false), -1);
  EXPECT_EQ(v.Error(), kErrNoTempName);
}

TEST(SharedDic, AChangeWithoutTheLockFailsWith20AndChangesNothing) {
  using B = TraitsVKCU8L;
  SharedFolder folder;
  const std::string shared = folder.Path("s.dic");
  MakeShared<B>(shared, {{"a", "1"}});
  int pauses = 0;
  Voka<B> v;
  ASSERT_EQ(v.OpenShared(shared, nullptr, false, [&](int) { ++pauses; }), 0);
  {
    // Another opener of the shared file holds the lock off.
    std::unique_ptr<File> other;
    ASSERT_EQ(Env::Default()->Open(shared, OpenMode::kReadOnly, &other), 0);
    EXPECT_EQ(v.RecordWord(I<B>("b").c_str(), Translation<B>("2")), -1);
    EXPECT_EQ(v.Error(), kErrNetwork);
    EXPECT_EQ(pauses, 3 * 19) << "three lock calls of twenty attempts each";
    EXPECT_EQ(Find(v, "b"), "<none>");
  }
  EXPECT_EQ(v.RecordWord(I<B>("b").c_str(), Translation<B>("2")), 1);
  EXPECT_EQ(v.CloseFile(), 0);
  Voka<B> direct;
  ASSERT_EQ(direct.OpenDic(shared, nullptr, true), 0);
  EXPECT_EQ(Dump(direct), (Model{{"a", "1"}, {"b", "2"}}));
}

TEST(SharedDic, AReadOnlyHandleFollowsTheOthers) {
  using B = TraitsVKCU8L;
  SharedFolder folder;
  const std::string shared = folder.Path("s.dic");
  MakeShared<B>(shared, {{"a", "1"}});
  Voka<B> reader, writer;
  ASSERT_EQ(reader.OpenShared(shared, nullptr, true), 0);
  ASSERT_EQ(writer.OpenShared(shared, nullptr, false), 0);
  EXPECT_EQ(reader.RecordWord(I<B>("x").c_str(), Translation<B>("y")), -1);
  EXPECT_EQ(reader.Error(), kErrReadOnly);
  for (int i = 0; i < 30; ++i) {
    const std::string w = "w" + std::to_string(i);
    ASSERT_EQ(writer.RecordWord(I<B>(w).c_str(), Translation<B>(std::to_string(i))), 1);
    ASSERT_EQ(Find(reader, w), std::to_string(i));
  }
  EXPECT_EQ(Dump(reader).size(), 31u);
}

TEST(SharedDic, FastModeHoldsTheLockAndWritesTheChangesBackTogether) {
  using B = TraitsVKCU8L;
  SharedFolder folder;
  const std::string shared = folder.Path("s.dic");
  MakeShared<B>(shared, {{"a", "1"}});
  int pauses = 0;
  Voka<B> batch, other;
  ASSERT_EQ(batch.OpenShared(shared, nullptr, false), 0);
  ASSERT_EQ(other.OpenShared(shared, nullptr, false, [&](int) { ++pauses; }), 0);
  ASSERT_EQ(batch.SetFast(true), 1);
  for (int i = 0; i < 50; ++i)
    ASSERT_EQ(batch.RecordWord(I<B>("b" + std::to_string(i)).c_str(), Translation<B>("x")), 1);
  EXPECT_EQ(other.RecordWord(I<B>("c").c_str(), Translation<B>("y")), -1);
  EXPECT_EQ(other.Error(), kErrNetwork) << "the batch holds the lock";
  EXPECT_EQ(Find(other, "b7"), "<none>") << "nothing went back yet";
  ASSERT_EQ(batch.SetFast(false), 0);
  EXPECT_EQ(Find(other, "b7"), "x");
  EXPECT_EQ(other.RecordWord(I<B>("c").c_str(), Translation<B>("y")), 1);
  EXPECT_EQ(Find(batch, "c"), "y");
  // A batch left open at close goes back too.
  ASSERT_EQ(batch.SetFast(true), 1);
  ASSERT_EQ(batch.EraseWord(I<B>("a").c_str()), 1);
  EXPECT_EQ(batch.CloseFile(), 0);
  EXPECT_EQ(Find(other, "a"), "<none>");
  EXPECT_EQ(Dump(other).size(), 51u);
}

// Handles of one process taking turns at random, checked against a model
// after every change.
TEST(SharedDic, RandomChangesOfThreeHandlesMatchAModel) {
  using B = TraitsVKCU8L;
  SharedFolder folder;
  const std::string shared = folder.Path("s.dic");
  MakeShared<B>(shared, {});
  std::vector<std::unique_ptr<Voka<B>>> handles;
  for (int i = 0; i < 3; ++i) {
    handles.emplace_back(new Voka<B>);
    ASSERT_EQ(handles.back()->OpenShared(shared, nullptr, false), 0);
  }
  std::mt19937 rng(7);
  Model model;
  for (int step = 0; step < 600; ++step) {
    Voka<B>& v = *handles[rng() % 3];
    const std::string w = "word" + std::to_string(rng() % 60);
    const std::string t = std::string(rng() % 40 + 1, char('a' + rng() % 26));
    switch (rng() % 4) {
      case 0:
      case 1:
        ASSERT_EQ(v.RecordWord(I<B>(w).c_str(), Translation<B>(t)), 1) << step;
        model[w] = t;
        break;
      case 2:
        ASSERT_EQ(v.EraseWord(I<B>(w).c_str()), 1) << step;
        model.erase(w);
        break;
      case 3: {
        const std::string to = "word" + std::to_string(rng() % 60);
        const bool moves = model.count(w) && !model.count(to);
        ASSERT_EQ(v.RenameWord(I<B>(w).c_str(), I<B>(to).c_str()), moves ? 1 : 0) << step;
        if (moves) {
          model[to] = model[w];
          model.erase(w);
        }
        break;
      }
    }
    Voka<B>& other = *handles[rng() % 3];
    const std::string probe = "word" + std::to_string(rng() % 60);
    ASSERT_EQ(Find(other, probe), model.count(probe) ? model[probe] : "<none>") << step << " error " << other.Error();
  }
  for (auto& h : handles) EXPECT_EQ(Dump(*h), model);
  for (auto& h : handles) EXPECT_EQ(h->CloseFile(), 0);
  EXPECT_EQ(Problems<B>(shared), 0);
}

// ---- real processes ----

// The changes of one process: its own headwords, so that the model of all
// of them is the union of each one's, whatever the order they came in. A
// change refused because the lock could not be had in time (20: the others
// held it throughout) changed nothing and is tried again, as a user would.
// *why tells what stopped a worker.
Model RunWorker(const std::string& shared, int id, int steps, std::string* why) {
  using B = TraitsVKCU8L;
  *why = "cannot open";
  Model model;
  Voka<B> v;
  if (v.OpenShared(shared, nullptr, false) != 0) return model;
  std::mt19937 rng(100 + id);
  for (int step = 0; step < steps; ++step) {
    const std::string w = "p" + std::to_string(id) + "-" + std::to_string(rng() % 40);
    const std::string t = std::to_string(id) + ":" + std::to_string(step);
    const bool record = rng() % 3 != 0;
    int32_t rc = -1;
    for (int attempt = 0; attempt < 20 && rc != 1; ++attempt) {
      rc = record ? v.RecordWord(I<B>(w).c_str(), Translation<B>(t)) : v.EraseWord(I<B>(w).c_str());
      if (rc != 1 && v.Error() != kErrNetwork) break;
    }
    if (rc != 1) {
      *why = "step " + std::to_string(step) + " answered " + std::to_string(rc) + ", error " +
             std::to_string(v.Error());
      return model;
    }
    if (record) {
      model[w] = t;
    } else {
      model.erase(w);
    }
    // Its own entries read back as it left them, whatever the others did.
    const std::string probe = "p" + std::to_string(id) + "-" + std::to_string(rng() % 40);
    const std::string found = Find(v, probe);
    if (found != (model.count(probe) ? model[probe] : "<none>")) {
      *why = "step " + std::to_string(step) + ": " + probe + " reads " + found + ", error " + std::to_string(v.Error());
      return model;
    }
  }
  *why = v.CloseFile() == 0 ? "" : "close failed, error " + std::to_string(v.Error());
  return model;
}

std::string Serialise(const Model& m) {
  std::string s;
  for (const auto& e : m) s += e.first + "\t" + e.second + "\n";
  return s;
}

TEST(SharedProcesses, SeveralProcessesChangeOneDictionaryAndAllEndWithTheSameEntries) {
  using B = TraitsVKCU8L;
  SharedFolder folder;
  const std::string shared = folder.Path("s.dic");
  MakeShared<B>(shared, {{"common", "0"}});
  // VK_SHARED_STEPS sets the number of changes of each worker.
  const char* steps = std::getenv("VK_SHARED_STEPS");
  constexpr int kWorkers = 3;
  const int kSteps = steps ? std::atoi(steps) : 120;
  std::vector<pid_t> pids;
  for (int id = 0; id < kWorkers; ++id) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      std::string why;
      RunWorker(shared, id, kSteps, &why);
      vktest::Spit(folder.Path("why" + std::to_string(id)), why);
      const bool ok = why.empty();
      // Done; when all are, read everything through a shared handle.
      vktest::Spit(folder.Path("done" + std::to_string(id)), "");
      for (int k = 0; k < kWorkers; ++k) {
        while (::access(folder.Path("done" + std::to_string(k)).c_str(), F_OK) != 0) ::usleep(10000);
      }
      Voka<B> v;
      if (v.OpenShared(shared, nullptr, true) != 0) ::_exit(3);
      vktest::Spit(folder.Path("dump" + std::to_string(id)), Serialise(Dump(v)));
      v.CloseDic();
      ::_exit(ok ? 0 : 2);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  for (int id = 0; id < kWorkers; ++id) EXPECT_EQ(vktest::Slurp(folder.Path("why" + std::to_string(id))), "") << id;
  // The model: each worker's changes replayed on its own.
  Model expect = {{"common", "0"}};
  for (int id = 0; id < kWorkers; ++id) {
    vktest::TempDir scratch;
    const std::string alone = scratch.Path("alone.dic");
    MakeShared<B>(alone, {});
    std::string why;
    for (const auto& e : RunWorker(alone, id, kSteps, &why)) expect.insert(e);
    ASSERT_EQ(why, "");
  }
  for (int id = 0; id < kWorkers; ++id)
    EXPECT_EQ(vktest::Slurp(folder.Path("dump" + std::to_string(id))), Serialise(expect)) << id;
  Voka<B> direct;
  ASSERT_EQ(direct.OpenDic(shared, nullptr, true), 0);
  EXPECT_EQ(Dump(direct), expect);
  direct.CloseDic();
  EXPECT_EQ(Problems<B>(shared), 0);
  EXPECT_EQ(folder.LocalCopies(), 0);
}

// An Env whose files of one path stop for good at their second write once
// armed, after leaving a mark: a process that is then killed dies in the
// middle of a write-back.
class StallingEnv : public Env {
 public:
  StallingEnv(std::string path, std::string mark) : path_(std::move(path)), mark_(std::move(mark)) {}
  std::atomic<bool> armed{false};

  int Open(const std::string& name, OpenMode mode, std::unique_ptr<File>* out) override {
    int rc = base_->Open(name, mode, out);
    if (rc == 0 && name == path_) out->reset(new Stalling(std::move(*out), this));
    return rc;
  }
  int FullPath(const std::string& name, std::string* out) override { return base_->FullPath(name, out); }
  int Delete(const std::string& name) override { return base_->Delete(name); }
  int Stat(const std::string& name, FileStat* out) override { return base_->Stat(name, out); }
  int SetLastWrite(const std::string& name, uint64_t t) override { return base_->SetLastWrite(name, t); }
  int CreateTemporary(const std::string& prefix, std::string* path) override {
    return base_->CreateTemporary(prefix, path);
  }

 private:
  class Stalling : public File {
   public:
    Stalling(std::unique_ptr<File> f, StallingEnv* env) : f_(std::move(f)), env_(env) {}
    int Seek(int64_t offset) override { return f_->Seek(offset); }
    int64_t Position() const override { return f_->Position(); }
    int Read(void* buf, size_t n, size_t* got) override { return f_->Read(buf, n, got); }
    int Write(const void* buf, size_t n, size_t* put) override {
      if (env_->armed && ++writes_ == 2) {
        vktest::Spit(env_->mark_, "");
        for (;;) ::pause();
      }
      return f_->Write(buf, n, put);
    }
    int Truncate() override { return f_->Truncate(); }
    int Size(int64_t* size) override { return f_->Size(size); }
    int Sync() override { return f_->Sync(); }

   private:
    std::unique_ptr<File> f_;
    StallingEnv* env_;
    int writes_ = 0;
  };

  Env* base_ = Env::Default();
  std::string path_, mark_;
};

TEST(SharedProcesses, AProcessKilledInItsWriteBackHoldsNobodyBackAndLeavesWhatItHadWrittenBack) {
  using B = TraitsVKCU8L;
  SharedFolder folder;
  const std::string shared = folder.Path("s.dic");
  const std::string mark = folder.Path("stalled");
  MakeShared<B>(shared, {{"a", "1"}});
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    StallingEnv env(shared, mark);
    Voka<B> v(&env);
    if (v.OpenShared(shared, nullptr, false) != 0) ::_exit(3);
    if (v.RecordWord(I<B>("before").c_str(), Translation<B>("kept")) != 1) ::_exit(4);
    env.armed = true;
    v.RecordWord(I<B>("after").c_str(), Translation<B>(std::string(300, 'z')));
    ::_exit(5);  // not reached: the write-back stalls
  }
  for (int i = 0; i < 1000 && ::access(mark.c_str(), F_OK) != 0; ++i) ::usleep(10000);
  ASSERT_EQ(::access(mark.c_str(), F_OK), 0) << "the worker never reached its write-back";
  ::kill(pid, SIGKILL);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status));

  Voka<B> v;
  ASSERT_EQ(v.OpenShared(shared, nullptr, false), 0) << v.Error();
  EXPECT_EQ(Dump(v), (Model{{"a", "1"}, {"before", "kept"}}));
  ASSERT_EQ(v.RecordWord(I<B>("next").c_str(), Translation<B>("2")), 1) << v.Error();
  EXPECT_EQ(v.CloseFile(), 0);
  Voka<B> direct;
  ASSERT_EQ(direct.OpenDic(shared, nullptr, true), 0);
  EXPECT_EQ(Dump(direct), (Model{{"a", "1"}, {"before", "kept"}, {"next", "2"}}));
  direct.CloseDic();
  EXPECT_EQ(Problems<B>(shared), 0);
}


// The changes of a killed worker, step by step: step k of seed s is the same
// in the worker and in the model.
struct Step {
  bool erase;
  std::string word, text;
};
Step StepOf(std::mt19937& rng, int k) {
  Step st;
  st.erase = rng() % 4 == 0;
  st.word = "k" + std::to_string(rng() % 50);
  st.text = std::string(rng() % 200 + 1, char('a' + k % 26));
  return st;
}

// Workers killed at random moments, again and again: each time the shared
// dictionary holds every change whose call had returned, the one under way
// whole or not at all, passes the check, and takes the next change.
// VK_SHARED_KILLS sets the number of kills (a few by default).
TEST(SharedProcesses, WorkersKilledAtRandomMomentsLeaveEveryFinishedChange) {
  using B = TraitsVKCU8L;
  const char* env = std::getenv("VK_SHARED_KILLS");
  const int kills = env ? std::atoi(env) : 6;
  SharedFolder folder;
  const std::string shared = folder.Path("s.dic");
  const std::string log = folder.Path("log");
  std::mt19937 timing(99);
  for (int round = 0; round < kills; ++round) {
    SCOPED_TRACE(round);
    ::unlink(shared.c_str());
    ::unlink((shared + ".HST").c_str());
    MakeShared<B>(shared, {{"base", "0"}});
    vktest::Spit(log, "");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      Voka<B> v;
      if (v.OpenShared(shared, nullptr, false) != 0) ::_exit(3);
      std::mt19937 rng(round);
      const int fd = ::open(log.c_str(), O_WRONLY | O_APPEND);
      for (int k = 0;; ++k) {
        const Step st = StepOf(rng, k);
        const int32_t rc = st.erase ? v.EraseWord(I<B>(st.word).c_str())
                                    : v.RecordWord(I<B>(st.word).c_str(), Translation<B>(st.text));
        if (rc != 1) ::_exit(4);
        if (::write(fd, "x", 1) != 1) ::_exit(5);  // one byte per finished change
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + timing() % 60));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the worker stopped by itself: " << status;
    const size_t done = vktest::Slurp(log).size();

    // What the dictionary may hold: the model after `done` steps, or after
    // one more.
    std::mt19937 rng(round);
    Model model = {{"base", "0"}};
    for (size_t k = 0; k < done; ++k) {
      const Step st = StepOf(rng, int(k));
      if (st.erase) {
        model.erase(st.word);
      } else {
        model[st.word] = st.text;
      }
    }
    Model next = model;
    const Step st = StepOf(rng, int(done));
    if (st.erase) {
      next.erase(st.word);
    } else {
      next[st.word] = st.text;
    }
    Voka<B> v;
    ASSERT_EQ(v.OpenShared(shared, nullptr, false), 0) << v.Error();
    const Model found = Dump(v);
    EXPECT_TRUE(found == model || found == next) << done << " changes had finished";
    ASSERT_EQ(v.RecordWord(I<B>("after").c_str(), Translation<B>("kill")), 1) << v.Error();
    EXPECT_EQ(v.CloseFile(), 0);
    EXPECT_EQ(Problems<B>(shared), 0);
  }
}

}  // namespace
}  // namespace vk
