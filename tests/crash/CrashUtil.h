// Helpers of the kill tests: the in-memory model of a dictionary's content,
// the transactions a child process runs on the dictionary (generated from a
// seed, so that the parent knows them too), their effect on the model, the
// comparison of a walked file with a model, and the small process plumbing
// (acknowledgements through a pipe, the kill, the folder listing).
#pragma once
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dic/MutationTestUtil.h"

namespace vktest {
namespace crash {

inline int EnvInt(const char* name, int fallback) {
  const char* s = std::getenv(name);
  return s && *s ? std::atoi(s) : fallback;
}

// The names in a folder, "." and ".." left out, sorted.
inline std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(folder.c_str())) {
    while (dirent* e = ::readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    ::closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline void EmptyFolder(const std::string& folder) {
  for (const std::string& n : FolderNames(folder)) ::unlink((folder + "/" + n).c_str());
}

// One acknowledgement: the number of the transaction whose commit returned.
// Written with one write of four bytes, which a pipe never splits.
inline bool Acknowledge(int fd, int32_t txn) {
  for (;;) {
    ssize_t n = ::write(fd, &txn, sizeof txn);
    if (n == sizeof txn) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

// Reads one acknowledgement; false at the end of the pipe.
inline bool ReadAck(int fd, int32_t* txn) {
  for (;;) {
    ssize_t n = ::read(fd, txn, sizeof *txn);
    if (n == sizeof *txn) return true;
    if (n < 0 && errno == EINTR) continue;
    return false;
  }
}

// How a child ended, as the parent saw it after the kill.
struct ChildEnd {
  bool finished = false;  // ran out of work, closed the dictionary, exit 0
  std::string failure;    // set when it ended any other way than these two
};

// SIGKILLs the child (it may already have ended) and reaps it.
inline ChildEnd KillAndReap(pid_t pid) {
  ::kill(pid, SIGKILL);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ChildEnd end;
  if (WIFEXITED(status)) {
    if (WEXITSTATUS(status) == 0) end.finished = true;
    else end.failure = "the child failed with exit status " + std::to_string(WEXITSTATUS(status));
  } else if (WIFSIGNALED(status)) {
    if (WTERMSIG(status) != SIGKILL) end.failure = "the child died of signal " + std::to_string(WTERMSIG(status));
  } else {
    end.failure = "the child ended in an unexpected way";
  }
  return end;
}

inline void SleepMicros(int64_t us) {
  if (us > 0) ::usleep(static_cast<useconds_t>(us));
}

// Exit codes of a child that could not do its work (the kill never gives an
// exit code).
enum ChildFailure {
  kChildOpenFailed = 10,
  kChildCreateFailed = 11,
  kChildOpFailed = 12,
  kChildFastFailed = 13,
  kChildAckFailed = 14,
  kChildCloseFailed = 15,
};

template <class B>
struct Kit {
  using IChar = typename B::IChar;
  using Text = std::basic_string<IChar>;
  using Word = std::basic_string<typename B::Unit>;
  static constexpr bool kWide = sizeof(IChar) == 2;

  struct Entry {
    Text word;
    vk::Japa<B> fields;  // with the attribute as stored
  };
  // Stored headword -> entry: the dictionary's content in its order.
  using Model = std::map<Word, Entry>;

  enum class Kind { kRecord, kUpdate, kErase, kRename };
  struct Op {
    Kind kind = Kind::kRecord;
    Text word;
    Text to;  // rename target
    vk::Japa<B> fields;
  };
  // One mutation with fast mode off, or a batch in fast mode ended by
  // switching fast mode off.
  struct Txn {
    bool batch = false;
    std::vector<Op> ops;
  };

  static vk::Japa<B> AsStored(vk::Japa<B> f) {
    f.attribute = StoredAttribute<B>(f);
    return f;
  }

  static void Apply(const Op& op, Model* m) {
    const Word key = Stored<B>(op.word);
    switch (op.kind) {
      case Kind::kRecord:
        (*m)[key] = Entry{op.word, AsStored(op.fields)};
        break;
      case Kind::kUpdate:
        (*m)[key].fields = AsStored(op.fields);
        break;
      case Kind::kErase:
        m->erase(key);
        break;
      case Kind::kRename: {
        Entry e = (*m)[key];
        m->erase(key);
        e.word = op.to;
        (*m)[Stored<B>(op.to)] = e;
        break;
      }
    }
  }

  static void Apply(const Txn& t, Model* m) {
    for (const Op& op : t.ops) Apply(op, m);
  }

  // The model after the first n transactions.
  static Model After(Model m, const std::vector<Txn>& txns, size_t n) {
    for (size_t i = 0; i < n && i < txns.size(); ++i) Apply(txns[i], &m);
    return m;
  }

  // The stored headwords a transaction may change.
  static void Touched(const Txn& t, std::set<Word>* keys) {
    for (const Op& op : t.ops) {
      keys->insert(Stored<B>(op.word));
      if (op.kind == Kind::kRename) keys->insert(Stored<B>(op.to));
    }
  }

  // Runs one operation on an open dictionary; false when it did not answer
  // as the model says it must.
  static bool Run(vk::Voka<B>& v, const Op& op) {
    switch (op.kind) {
      case Kind::kRecord: return v.RecordWord(op.word.c_str(), op.fields) == 1;
      case Kind::kUpdate: return v.UpdateWord(op.word.c_str(), op.fields) == 1;
      case Kind::kErase: return v.EraseWord(op.word.c_str()) == 1;
      case Kind::kRename: return v.RenameWord(op.word.c_str(), op.to.c_str()) == 1;
    }
    return false;
  }

  // Runs one transaction up to its commit: 0, or a ChildFailure code.
  static int Run(vk::Voka<B>& v, const Txn& t) {
    if (t.batch && v.SetFast(true) < 0) return kChildFastFailed;
    for (const Op& op : t.ops)
      if (!Run(v, op)) return kChildOpFailed;
    if (t.batch && v.SetFast(false) != 0) return kChildFastFailed;
    return 0;
  }

  // Where a walked file and a model first differ; empty when they agree
  // entry by entry, in order, texts and attribute.
  static std::string Difference(const std::vector<WalkedEntry<B>>& walked, const Model& m) {
    size_t i = 0;
    for (const auto& p : m) {
      if (i >= walked.size()) return "the file ends after " + std::to_string(i) + " entries, the model holds " +
                                     std::to_string(m.size());
      const WalkedEntry<B>& e = walked[i];
      const std::string at = "entry " + std::to_string(i) + " (" + Ascii(p.second.word) + ")";
      if (e.word != p.second.word) return at + ": the file holds " + Ascii(e.word) + " there";
      const vk::Japa<B>& f = e.fields;
      const vk::Japa<B>& g = p.second.fields;
      if (f.attribute != g.attribute) return at + ": attribute differs";
      if (f.translation != g.translation) return at + ": translation differs";
      if (f.example != g.example) return at + ": example differs";
      if (f.pronunciation != g.pronunciation) return at + ": pronunciation differs";
      ++i;
    }
    if (i != walked.size()) return "the file holds " + std::to_string(walked.size()) + " entries, the model " +
                                   std::to_string(m.size());
    return "";
  }

  // The damage to the entries of `before` whose headwords are not in
  // `touched` (no transaction that may have committed changed them):
  // entries lost, entries whose texts changed. Empty when there is none.
  static std::string OldEntryDamage(const std::vector<WalkedEntry<B>>& walked, const Model& before,
                                    const std::set<Word>& touched) {
    std::map<Text, const vk::Japa<B>*> found;
    for (const WalkedEntry<B>& e : walked) found[e.word] = &e.fields;
    size_t lost = 0, changed = 0;
    std::string first;
    for (const auto& p : before) {
      if (touched.count(p.first)) continue;
      auto it = found.find(p.second.word);
      if (it == found.end()) {
        if (first.empty()) first = "lost " + Ascii(p.second.word);
        ++lost;
        continue;
      }
      const vk::Japa<B>& f = *it->second;
      const vk::Japa<B>& g = p.second.fields;
      if (f.attribute != g.attribute || f.translation != g.translation || f.example != g.example ||
          f.pronunciation != g.pronunciation) {
        if (first.empty()) first = "changed " + Ascii(p.second.word);
        ++changed;
      }
    }
    if (lost == 0 && changed == 0) return "";
    return std::to_string(lost) + " untouched old entries lost, " + std::to_string(changed) + " changed (first: " +
           first + ")";
  }

  // The same damage as the open dictionary's lookups see it: entries of
  // `before` outside `touched` that are not found, or found with other
  // texts (compared where a lookup delivers them whole).
  static std::string LookupDamage(vk::Voka<B>& v, const Model& before, const std::set<Word>& touched) {
    size_t lost = 0, changed = 0, failed = 0;
    std::string first;
    for (const auto& p : before) {
      if (touched.count(p.first)) continue;
      vk::Japa<B> got;
      const int32_t rc = v.FindWord(p.second.word.c_str(), &got);
      const vk::Japa<B>& g = p.second.fields;
      if (rc != 1) {
        if (first.empty()) first = (rc < 0 ? "lookup failed for " : "not found: ") + Ascii(p.second.word);
        ++(rc < 0 ? failed : lost);
      } else if (g.translation.size() < 1000 && g.example.size() < 1000 && g.pronunciation.size() < 1000 &&
                 (got.attribute != g.attribute || got.translation != g.translation || got.example != g.example ||
                  got.pronunciation != g.pronunciation)) {
        if (first.empty()) first = "changed " + Ascii(p.second.word);
        ++changed;
      }
    }
    if (lost == 0 && changed == 0 && failed == 0) return "";
    return std::to_string(lost) + " untouched old entries of " + std::to_string(before.size()) + " not found, " +
           std::to_string(failed) + " lookups failed, " + std::to_string(changed) + " changed (first: " + first + ")";
  }

  static std::string Ascii(const Text& t) {
    std::string s;
    for (IChar c : t) s.push_back(uint32_t(c) >= 0x20 && uint32_t(c) < 0x7F ? char(c) : '?');
    if (s.size() > 40) s = s.substr(0, 40) + "...";
    return s;
  }

  // Headwords, fields and transactions from one random source.
  class Generator {
   public:
    explicit Generator(uint32_t seed) : rng_(seed) {}

    size_t R(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng_); }
    bool P(int percent) { return int(R(100)) < percent; }
    std::mt19937& rng() { return rng_; }

    // Headwords sharing prefixes, now and then long, in the wide builds now
    // and then with characters beyond ASCII.
    Text NewWord(const Model& m) {
      for (;;) {
        Text w;
        const size_t n = P(5) ? 30 + R(120) : 2 + R(9);
        for (size_t i = 0; i < n; ++i) {
          char16_t c = char16_t('a' + R(8));
          if (kWide && P(3)) c = P(50) ? u'\u00E9' : u'\u6F22';
          w.push_back(static_cast<IChar>(c));
        }
        if (!m.count(Stored<B>(w))) return w;
      }
    }

    Text Str(size_t n) {
      static const char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz ,.?";
      Text t;
      t.reserve(n);
      for (size_t i = 0; i < n; ++i) {
        IChar c = static_cast<IChar>(kAlphabet[R(sizeof kAlphabet - 1)]);
        if (kWide && P(2)) c = static_cast<IChar>(u'\u3042' + R(80));
        t.push_back(c);
      }
      return t;
    }

    // Mostly short texts; a good share of translations of hundreds and
    // thousands of characters, so that blocks grow, split and move; now and
    // then one large enough for a long entry where the build has them.
    vk::Japa<B> Fields() {
      vk::Japa<B> f;
      f.attribute = static_cast<uint8_t>(R(256));
      const size_t k = R(100);
      if (k < 60) f.translation = Str(1 + R(40));
      else if (k < 85) f.translation = Str(100 + R(600));
      else if (k < 98) f.translation = Str(1000 + R(3000));
      else f.translation = Str(1 + R(10));
      if (P(30)) f.example = Str(1 + R(60));
      if (P(15)) f.pronunciation = Str(1 + R(12));
      if (k >= 98) f.example = Str(B::kLongEntries ? 33000 + R(3000) : 12000 + R(8000));
      return f;
    }

    // One mutation that applies to `m` as the model says, applied to it.
    // `own` holds the headwords recorded since the child began; they are
    // picked more often than their share.
    Op NewOp(Model* m, std::vector<Text>* own) {
      Op op;
      const size_t size = m->size();
      const int recordShare = size < 200 ? 55 : size > 400 ? 15 : 35;
      const size_t k = R(100);
      if (size == 0 || int(k) < recordShare) {
        op.kind = Kind::kRecord;
        op.word = NewWord(*m);
        op.fields = Fields();
        own->push_back(op.word);
      } else {
        op.word = Existing(*m, *own);
        const size_t rest = R(100);
        if (rest < 30) {
          op.kind = P(50) ? Kind::kRecord : Kind::kUpdate;
          op.fields = Fields();
        } else if (rest < 75) {
          op.kind = Kind::kErase;
        } else {
          op.kind = Kind::kRename;
          op.to = NewWord(*m);
          own->push_back(op.to);
        }
      }
      Apply(op, m);
      return op;
    }

    // `count` transactions starting from `m`; `m` ends as their result.
    std::vector<Txn> Transactions(Model* m, size_t count) {
      std::vector<Txn> txns(count);
      std::vector<Text> own;
      for (Txn& t : txns) {
        t.batch = P(35);
        const size_t ops = t.batch ? 2 + R(7) : 1;
        for (size_t i = 0; i < ops; ++i) t.ops.push_back(NewOp(m, &own));
      }
      return txns;
    }

   private:
    Text Existing(const Model& m, const std::vector<Text>& own) {
      if (!own.empty() && P(40)) {
        const Text& w = own[R(own.size())];
        if (m.count(Stored<B>(w))) return w;
      }
      auto it = m.begin();
      std::advance(it, static_cast<long>(R(m.size())));
      return it->second.word;
    }

    std::mt19937 rng_;
  };
};

}  // namespace crash
}  // namespace vktest
