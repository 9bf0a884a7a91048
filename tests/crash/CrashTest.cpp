// A dictionary file is always in its last committed state, whatever happens
// to the process changing it. Child processes change a dictionary and are
// killed with SIGKILL at a random moment; the parent then opens the file as
// the next user would and checks its whole content against the model of the
// transactions the child acknowledged: the state after the acknowledged
// ones, or after the one in flight too (a batch in fast mode is all or
// nothing). The file must walk soundly, keep every old entry no committed
// transaction touched, leave nothing beside it once closed, and take new
// entries.
//
//   VK_KILLS=n   kills per build (default 100; the load and optimisation
//                tests run a fifth)
//   VK_SEED=n    the seed of the content, transactions and kill moments
//                (a failure prints it with the round)
//   VK_KILL_AT_COMMIT=1  children wait for the kill right after a commit:
//                a check of the test itself, which then passes on a file
//                layer that keeps no journal
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>

#include "crash/CrashUtil.h"
#include "optimize/OptimizeTestUtil.h"

namespace vktest {
namespace {

using crash::ChildEnd;
using crash::EnvInt;
using crash::FolderNames;

// Transactions one child is given: more than it gets through before most
// kills, so that it is usually killed at work.
constexpr size_t kTxnsPerChild = 60;
// Kill moments measured from the start of a child, and after an
// acknowledgement.
constexpr size_t kMaxDelayUs = 40000;
constexpr size_t kMaxDelayAfterAckUs = 3000;
// Entries of the dictionary the first child finds, and of the bulk load.
constexpr size_t kInitialEntries = 300;
constexpr size_t kLoadEntries = 2000;

template <class B>
class CrashTest : public ::testing::Test {
 protected:
  using K = crash::Kit<B>;
  using Text = typename K::Text;
  using Model = typename K::Model;
  using Txn = typename K::Txn;
  using Entries = std::vector<WalkedEntry<B>>;

  CrashTest() : path_(dir_.Path("crash.dic")) {}

  uint32_t Seed() const { return static_cast<uint32_t>(EnvInt("VK_SEED", 20250611)); }
  int Kills() const { return EnvInt("VK_KILLS", 100); }
  static bool KillAtCommit() { return EnvInt("VK_KILL_AT_COMMIT", 0) != 0; }

  // A child told to stop at a commit waits there for its kill.
  static void WaitForKill() {
    for (;;) ::pause();
  }

  // A dictionary holding `m`, loaded in fast mode and closed.
  void Build(const Model& m) {
    vk::Voka<B> v;
    ASSERT_EQ(v.CreateDic(path_, nullptr, false), 0) << v.Error();
    ASSERT_GE(v.SetFast(true), 0);
    for (const auto& p : m) ASSERT_EQ(v.RecordWord(p.second.word.c_str(), p.second.fields), 1) << v.Error();
    v.CloseDic();
  }

  // The child's side: opens the dictionary, runs the transactions and
  // acknowledges each once its commit has returned; closes the dictionary
  // only when the work runs out. Answers the exit status for _exit. With
  // `stopAt` >= 0 it waits for the kill before transaction `stopAt` (or
  // before the close).
  int ChangeChild(const std::vector<Txn>& txns, int ackFd, int32_t stopAt) {
    // Never destroyed: the process ends in _exit, without closing.
    auto* v = new vk::Voka<B>();
    if (v->OpenDic(path_, nullptr, false) != 0 || v->IsReadOnly()) return crash::kChildOpenFailed;
    for (size_t i = 0; i < txns.size(); ++i) {
      if (int32_t(i) == stopAt) WaitForKill();
      if (int rc = K::Run(*v, txns[i])) return rc;
      if (!crash::Acknowledge(ackFd, int32_t(i))) return crash::kChildAckFailed;
    }
    if (stopAt == int32_t(txns.size())) WaitForKill();
    v->CloseDic();
    return 0;
  }

  // Creates a dictionary (acknowledgement 0), loads it in fast mode and
  // switches fast mode off (acknowledgement 1), then closes it. With
  // `stopAt` >= 0 it waits for the kill after `stopAt` acknowledgements.
  int LoadChild(const std::vector<std::pair<Text, vk::Japa<B>>>& load, int ackFd, int32_t stopAt) {
    auto* v = new vk::Voka<B>();
    if (stopAt == 0) WaitForKill();
    if (v->CreateDic(path_, nullptr, false) != 0) return crash::kChildCreateFailed;
    if (!crash::Acknowledge(ackFd, 0)) return crash::kChildAckFailed;
    if (stopAt == 1) WaitForKill();
    if (v->SetFast(true) < 0) return crash::kChildFastFailed;
    for (const auto& e : load)
      if (v->RecordWord(e.first.c_str(), e.second) != 1) return crash::kChildOpFailed;
    if (v->SetFast(false) != 0) return crash::kChildFastFailed;
    if (!crash::Acknowledge(ackFd, 1)) return crash::kChildAckFailed;
    if (stopAt == 2) WaitForKill();
    v->CloseDic();
    return 0;
  }

  // Starts a child running `work(ackFd, stopAt)`, kills it at a moment
  // chosen by `gen` and reaps it. Answers how it ended, and in `*acked` the
  // number of acknowledgements it made (numbered from 0 without a gap).
  template <class Work>
  ChildEnd RunAndKill(typename K::Generator& gen, int32_t maxAcks, Work work, int32_t* acked, std::string* moment) {
    size_t kind = gen.R(3);
    const size_t delay = gen.R(kind == 0 ? kMaxDelayUs : kMaxDelayAfterAckUs);
    const int32_t target = int32_t(gen.R(size_t(maxAcks) + 1));
    int32_t stopAt = -1;
    if (KillAtCommit()) {
      kind = 1;
      stopAt = target;
    }
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    if (pid < 0) {
      ChildEnd none;
      none.failure = "fork failed";
      return none;
    }
    if (pid == 0) {
      ::close(fds[0]);
      ::_exit(work(fds[1], stopAt));
    }
    ::close(fds[1]);
    *acked = 0;
    bool inOrder = true;
    auto take = [&]() {
      int32_t t;
      if (!crash::ReadAck(fds[0], &t)) return false;
      if (t != *acked) inOrder = false;
      ++*acked;
      return true;
    };
    if (kind == 0) {
      *moment = std::to_string(delay) + " us after the start";
      crash::SleepMicros(int64_t(delay));
    } else {
      *moment = "after acknowledgement " + std::to_string(target);
      if (kind == 2) *moment += " + " + std::to_string(delay) + " us";
      while (*acked < target && take()) {
      }
      if (kind == 2) crash::SleepMicros(int64_t(delay));
    }
    ChildEnd end = crash::KillAndReap(pid);
    while (take()) {
    }
    ::close(fds[0]);
    EXPECT_TRUE(inOrder) << "acknowledgements out of order";
    return end;
  }

  enum Found { kRefused, kWhole, kCutShort };

  // Opens the dictionary after a kill as the next user would (read-write),
  // looks up the entries of `before` outside `touched` (when given), reads
  // its headwords through a search walk, closes it and walks the file whole
  // into `*entries`. kCutShort when the walk stopped at damage, kRefused
  // when the open failed (a failure unless `mayRefuse`); every fault found
  // goes to gtest.
  Found Inspect(Entries* entries, bool mayRefuse = false, const Model* before = nullptr,
                const std::set<typename K::Word>* touched = nullptr) {
    std::vector<Text> words;
    int32_t count = 0;
    {
      vk::Voka<B> v;
      if (v.OpenDic(path_, nullptr, false) != 0) {
        EXPECT_NE(v.Error(), 0) << "the open failed without a code";
        EXPECT_TRUE(mayRefuse) << "the dictionary does not open after the kill, code " << v.Error();
        return kRefused;
      }
      EXPECT_FALSE(v.IsReadOnly()) << "opened read-only, code " << v.Error();
      count = v.WordCount();
      if (before) {
        EXPECT_EQ(K::LookupDamage(v, *before, *touched), "");
      }
      v.StartSearch(nullptr, vk::kTypeAll);
      const int64_t bound = int64_t(count) + v.Index().Count() + 16;
      int32_t rc = 0;
      for (int64_t step = 0; step < bound; ++step) {
        rc = v.NextResult(nullptr);
        if (rc == 1) words.push_back(v.ResultWord());
        else if (rc != 0) break;
      }
      EXPECT_EQ(rc, -2) << "the search walk does not end cleanly, code " << v.Error();
      v.CloseDic();
    }
    EXPECT_EQ(FolderNames(dir_.path()), std::vector<std::string>{"crash.dic"})
        << "something besides the dictionary is left after a clean close";
    Walk<B> w;
    WalkFile<B>(path_, &w);
    if (::testing::Test::HasFatalFailure()) return kCutShort;
    EXPECT_EQ(size_t(count), w.entries.size()) << "WordCount() differs from the entries walked";
    EXPECT_EQ(words.size(), w.entries.size()) << "the search walk and the file walk differ";
    for (size_t i = 0; i < words.size() && i < w.entries.size(); ++i)
      if (words[i] != w.entries[i].word) {
        ADD_FAILURE() << "the search walk and the file walk differ at entry " << i;
        break;
      }
    *entries = std::move(w.entries);
    return kWhole;
  }

  // The dictionary takes a new entry that is there after a reopen; the
  // model takes it too.
  void TakesNewEntry(Model* m, size_t round) {
    Text word = T<B>("probe" + std::to_string(round));
    while (m->count(Stored<B>(word))) word += T<B>("x");
    const vk::Japa<B> f = Fields<B>(T<B>("probe translation " + std::to_string(round)), T<B>("ex"));
    vk::Voka<B> v;
    ASSERT_EQ(v.OpenDic(path_, nullptr, false), 0) << v.Error();
    ASSERT_EQ(v.RecordWord(word.c_str(), f), 1) << "a new entry is refused, code " << v.Error();
    v.CloseDic();
    ASSERT_EQ(v.OpenDic(path_, nullptr, false), 0) << v.Error();
    vk::Japa<B> got;
    ASSERT_EQ(v.FindWord(word.c_str(), &got), 1) << "the new entry is not found after a reopen";
    EXPECT_TRUE(got.translation == f.translation && got.example == f.example);
    EXPECT_EQ(size_t(v.WordCount()), m->size() + 1);
    v.CloseDic();
    (*m)[Stored<B>(word)] = typename K::Entry{word, K::AsStored(f)};
  }

  TempDir dir_;
  std::string path_;
};

TYPED_TEST_SUITE(CrashTest, AllBuilds, BuildNames);

// Children change an existing dictionary, one mutation with fast mode off or
// a batch in fast mode per transaction, and are killed at work.
TYPED_TEST(CrashTest, KilledWhileChangingKeepsLastCommit) {
  using K = typename TestFixture::K;
  using Model = typename TestFixture::Model;
  const uint32_t seed = this->Seed();
  const int kills = this->Kills();
  typename K::Generator gen(seed);

  Model model;
  while (model.size() < kInitialEntries) {
    typename K::Text w = gen.NewWord(model);
    model[Stored<TypeParam>(w)] = typename K::Entry{w, K::AsStored(gen.Fields())};
  }
  ASSERT_NO_FATAL_FAILURE(this->Build(model));
  {
    Walk<TypeParam> w;
    WalkFile<TypeParam>(this->path_, &w);
    ASSERT_FALSE(this->HasFailure());
    ASSERT_EQ(K::Difference(w.entries, model), "");
  }

  for (int round = 0; round < kills; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    Model end = model;
    const std::vector<typename K::Txn> txns = gen.Transactions(&end, kTxnsPerChild);
    int32_t acked = 0;
    std::string moment;
    auto child = [&](int fd, int32_t stopAt) { return this->ChangeChild(txns, fd, stopAt); };
    const ChildEnd how = this->RunAndKill(gen, int32_t(txns.size()), child, &acked, &moment);
    const size_t n = size_t(acked);
    SCOPED_TRACE("killed " + moment + ", " + std::to_string(n) + " of " + std::to_string(txns.size()) +
                 " transactions acknowledged" + (how.finished ? ", the child had finished" : ""));
    ASSERT_EQ(how.failure, "");
    if (how.finished) {
      ASSERT_EQ(n, txns.size());
    }

    const bool inFlight = !how.finished && n < txns.size();
    std::set<typename K::Word> touched;
    for (size_t i = 0; i < n + (inFlight ? 1 : 0); ++i) K::Touched(txns[i], &touched);

    typename TestFixture::Entries found;
    if (this->Inspect(&found, false, &model, &touched) == TestFixture::kWhole) {
      EXPECT_EQ(K::OldEntryDamage(found, model, touched), "");
    }
    ASSERT_FALSE(this->HasFailure());

    Model committed = K::After(model, txns, n);
    const std::string atAcked = K::Difference(found, committed);
    if (!atAcked.empty()) {
      ASSERT_TRUE(inFlight) << "the content is not the state after the acknowledged transactions: " << atAcked;
      committed = K::After(model, txns, n + 1);
      const std::string atNext = K::Difference(found, committed);
      ASSERT_EQ(atNext, "") << "the content is neither the state after the acknowledged transactions ("
                            << atAcked << ") nor after the one in flight";
    }
    model = std::move(committed);
    ASSERT_NO_FATAL_FAILURE(this->TakesNewEntry(&model, size_t(round)));
  }
}

// Children create a dictionary and load it in fast mode, and are killed at
// it. The file is then refused cleanly (only while its creation was not yet
// acknowledged) or is the last committed state: empty after the creation,
// full once the switch out of fast mode was acknowledged.
TYPED_TEST(CrashTest, KilledWhileLoadingNewDictionary) {
  using K = typename TestFixture::K;
  using Model = typename TestFixture::Model;
  using Text = typename TestFixture::Text;
  const uint32_t seed = this->Seed() + 1;
  const int rounds = std::max(10, this->Kills() / 5);
  typename K::Generator gen(seed);

  Model full;
  std::vector<std::pair<Text, vk::Japa<TypeParam>>> load;
  while (load.size() < kLoadEntries) {
    Text w = gen.NewWord(full);
    vk::Japa<TypeParam> f = gen.Fields();
    full[Stored<TypeParam>(w)] = typename K::Entry{w, K::AsStored(f)};
    load.emplace_back(w, f);
  }

  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    crash::EmptyFolder(this->dir_.path());
    int32_t acked = 0;
    std::string moment;
    auto child = [&](int fd, int32_t stopAt) { return this->LoadChild(load, fd, stopAt); };
    const ChildEnd how = this->RunAndKill(gen, 2, child, &acked, &moment);
    SCOPED_TRACE("killed " + moment + ", " + std::to_string(acked) + " of 2 commits acknowledged" +
                 (how.finished ? ", the child had finished" : ""));
    ASSERT_EQ(how.failure, "");
    if (how.finished) {
      ASSERT_EQ(acked, 2);
    }

    struct stat st;
    if (::stat(this->path_.c_str(), &st) != 0) {
      ASSERT_EQ(acked, 0) << "the dictionary is gone after its creation was acknowledged";
      continue;
    }
    typename TestFixture::Entries found;
    if (this->Inspect(&found, acked == 0) == TestFixture::kRefused) continue;
    ASSERT_FALSE(this->HasFailure());
    const Model empty;
    const std::string asEmpty = K::Difference(found, empty);
    const std::string asFull = K::Difference(found, full);
    if (acked == 0) {
      ASSERT_EQ(asEmpty, "") << "a dictionary whose creation was not acknowledged is not empty";
    } else if (acked == 1) {
      ASSERT_TRUE(asEmpty.empty() || asFull.empty())
          << "neither empty (" << asEmpty << ") nor the full load (" << asFull << ")";
    } else {
      ASSERT_EQ(asFull, "") << "the acknowledged load is not all there";
    }
    Model now = asEmpty.empty() ? empty : full;
    ASSERT_NO_FATAL_FAILURE(this->TakesNewEntry(&now, size_t(round)));
  }
}

// Children optimise a dictionary that a run of changes left with its blocks
// out of order among free units, and are killed at work. The next open finds
// the file as it was before the optimisation or as the optimisation left
// it, byte for byte, holding the model's entries, with a clean check.
TYPED_TEST(CrashTest, KilledWhileOptimizingKeepsBeforeOrAfter) {
  using B = TypeParam;
  using K = typename TestFixture::K;
  using Model = typename TestFixture::Model;
  const uint32_t seed = this->Seed() + 2;
  const int rounds = std::max(10, this->Kills() / 5);
  typename K::Generator gen(seed);

  Model model;
  while (model.size() < kLoadEntries) {
    typename K::Text w = gen.NewWord(model);
    model[Stored<B>(w)] = typename K::Entry{w, K::AsStored(gen.Fields())};
  }
  ASSERT_NO_FATAL_FAILURE(this->Build(model));
  {
    vk::Voka<B> v;
    ASSERT_EQ(v.OpenDic(this->path_, nullptr, false), 0);
    for (const typename K::Txn& t : gen.Transactions(&model, 4 * kTxnsPerChild)) ASSERT_EQ(K::Run(v, t), 0);
    v.CloseDic();
  }
  const std::vector<uint8_t> before = FileBytes(this->path_);
  {
    Walk<B> w;
    WalkFile<B>(this->path_, &w);
    ASSERT_FALSE(w.freeUnits.empty()) << "the changes left no free unit to optimise away";
  }

  // The file as the optimisation commits it and as its close leaves it, and
  // how long it takes.
  TempDir other;
  const std::string copy = other.Path("copy.dic");
  PutFileBytes(copy, before);
  std::vector<uint8_t> committed, closed;
  const auto start = std::chrono::steady_clock::now();
  {
    vk::VkcDic<B> dic;
    ASSERT_EQ(dic.OpenDic(copy, nullptr, false), 0);
    ASSERT_EQ(vk::RunOptimize(dic, vk::CheckCallback<B>()), 0);
    committed = FileBytes(copy);
    dic.CloseDic();
    closed = FileBytes(copy);
  }
  const int64_t runUs =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
  ASSERT_TRUE(committed != before);

  int asBefore = 0, asAfter = 0;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(round));
    crash::EmptyFolder(this->dir_.path());
    PutFileBytes(this->path_, before);
    const int64_t delay = int64_t(gen.R(size_t(runUs * 3 / 2 + 2000)));
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      auto* dic = new vk::VkcDic<B>();
      if (dic->OpenDic(this->path_, nullptr, false) != 0) ::_exit(crash::kChildOpenFailed);
      if (vk::RunOptimize(*dic, vk::CheckCallback<B>()) != 0) ::_exit(crash::kChildOpFailed);
      dic->CloseDic();
      ::_exit(0);
    }
    crash::SleepMicros(delay);
    const ChildEnd how = crash::KillAndReap(pid);
    SCOPED_TRACE("killed " + std::to_string(delay) + " us after the start" +
                 (how.finished ? ", the child had finished" : ""));
    ASSERT_EQ(how.failure, "");
    {
      vk::VkcDic<B> dic;
      ASSERT_EQ(dic.OpenDic(this->path_, nullptr, false), 0) << dic.Error();
      dic.CloseDic();
    }
    const std::vector<uint8_t> got = FileBytes(this->path_);
    ASSERT_TRUE(got == before || got == committed || got == closed)
        << "the file is neither as before the optimisation nor as after it";
    if (how.finished) {
      EXPECT_TRUE(got == closed);
    }
    ++(got == before ? asBefore : asAfter);
    typename TestFixture::Entries found;
    ASSERT_EQ(this->Inspect(&found), TestFixture::kWhole);
    ASSERT_EQ(K::Difference(found, model), "");
    Walk<B> w;
    WalkFile<B>(this->path_, &w);
    EXPECT_EQ(CheckLines<B>(this->path_), CleanCheck(!w.freeUnits.empty()));
  }
  // Kept in the test's record: how many kills found which file.
  this->RecordProperty("killed_before_commit", asBefore);
  this->RecordProperty("killed_after_commit", asAfter);
}

}  // namespace
}  // namespace vktest
