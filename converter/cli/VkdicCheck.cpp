// vkdic check: the engine's own dictionary check (VKDicCheck) with every
// problem and verdict told in words beside the engine's text.
//
// The engine tells a problem only by its text, so each text is matched
// against the engine's own message table (VKGetErrorMessage of the check's
// ids, with the "%s [pbn=%d]" and "%s [%d,%d]" forms around some): the match
// names the problem and gives its numbers and headwords.
//
// The engine writes to a file it checks without asking when the check finds
// nothing but a wrong entry count in the header. So that a check without
// --repair never changes the file, it runs on a scratch copy (beside the
// file, else in $TMPDIR) made while a shared lock keeps writers out; the
// copy's header then tells whether the count would have been corrected.
// With --repair the check runs on the file itself, removes the index entries
// that name units beyond the data area (answer 2: every such entry), and,
// when it removed any, runs once more so that the entry count is corrected
// and the verdict is the repaired file's.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/StopSignals.h"
#include "cli/Vkdic.h"
#include "util/Utf8.h"

namespace vk {

namespace {

// ---- the engine's texts ----

// A problem or status of the check: where its text comes from and what it
// means. `words` takes the message's placeholders in order as {0}, {1}, ...
struct TCheckText {
  int id;             // message-table id, 0 for a text the engine carries itself
  const char* fixed;  // that text
  const char* form;   // "%s [pbn=%d]": the table text inside a form, or null
  const char* words;
};

// The two texts the engine does not take from its table.
const char kUnlinkedFree[] = "リンクされていない空きブロックです";
const char kMissingBlock[] = "存在しない物理ブロックを示しています.";

constexpr int kIdBadIndexValue = 429;
constexpr int kIdDetail = 436;
constexpr int kIdClean = 440;
constexpr int kIdStopped = 441;

const TCheckText kProblems[] = {
    {402, nullptr, nullptr,
     "the first headword of the block at unit {0} (index entry {1}) is \"{3}\", its index entry says \"{2}\""},
    {404, nullptr, nullptr, "the entries of a block run past its end"},
    {405, nullptr, nullptr, "an entry's length, {0} bytes, is more than its block holds ({1})"},
    {406, nullptr, nullptr, "an entry claims to share {0} units with the headword before it, more than any headword has"},
    {407, nullptr, nullptr, "a headword of {0} units; at most {1} are allowed"},
    {412, nullptr, nullptr, "a headword takes {0} bytes, more than its whole entry ({1})"},
    {413, nullptr, nullptr, "an entry's translation and further fields do not end where the entry ends"},
    {421, nullptr, nullptr, "the free chain leads (after unit {0}) to unit {1}, which is outside the data area or cannot be read"},
    {423, nullptr, nullptr, "unit {0} is on the free chain but holds a block"},
    {427, nullptr, "%s [pbn=%d]", "unit {1} holds a data block that no index entry names"},
    {0, kUnlinkedFree, "%s [pbn=%d]", "unit {1} is free but not on the free chain"},
    {kIdBadIndexValue, nullptr, nullptr, "index entry {0} names unit {1}, beyond the data area"},
    {0, kMissingBlock, nullptr, "the data block an index entry names cannot be read"},
    {431, nullptr, nullptr, "index entry {0} names unit {1}, which holds no block (its size word is 0)"},
    {442, nullptr, "%s [%d,%d]", "unit {1} lies inside another data block, yet index entry {2} names it"},
    {444, nullptr, "%s [pbn=%d]", "the free chain loops back to unit {1}"},
};

const TCheckText kStatuses[] = {
    {420, nullptr, nullptr, "the link check starts"},
    {437, nullptr, nullptr, "checking the free chain"},
    {438, nullptr, nullptr, "checking for units that no block uses"},
    {439, nullptr, nullptr, "checking the blocks the index names"},
    {433, nullptr, nullptr, "the links are sound; the entries are checked next"},
    {kIdClean, nullptr, nullptr, "no problem found"},
    {kIdStopped, nullptr, nullptr, "stopped"},
};

// Matches `text` against a format with %d, %0nX and %s placeholders; the
// placeholders' texts go to *args. A %s takes the text up to the next piece
// of the format (up to the last one when nothing follows that piece).
bool MatchFormat(const std::string& format, const std::string& text, std::vector<std::string>* args) {
  args->clear();
  size_t f = 0, t = 0;
  while (f < format.size()) {
    if (format[f] != '%') {
      if (t >= text.size() || text[t] != format[f]) return false;
      ++f, ++t;
      continue;
    }
    size_t q = f + 1;
    while (q < format.size() && format[q] >= '0' && format[q] <= '9') ++q;
    if (q >= format.size()) return false;
    const char conv = format[q];
    f = q + 1;
    if (conv == '%') {
      if (t >= text.size() || text[t] != '%') return false;
      ++t;
      continue;
    }
    size_t end = t;
    if (conv == 'd') {
      if (end < text.size() && text[end] == '-') ++end;
      while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    } else if (conv == 'X') {
      while (end < text.size() && std::strchr("0123456789ABCDEF", text[end]) && text[end]) ++end;
    } else if (conv == 's') {
      size_t next = format.find('%', f);
      std::string piece = format.substr(f, next == std::string::npos ? std::string::npos : next - f);
      if (piece.empty()) {
        end = text.size();
      } else {
        size_t at = next == std::string::npos ? text.rfind(piece) : text.find(piece, t);
        if (at == std::string::npos || at < t) return false;
        end = at;
      }
    } else {
      return false;
    }
    if (conv != 's' && end == t) return false;
    args->push_back(text.substr(t, end - t));
    t = end;
  }
  return t == text.size();
}

std::string FillWords(const char* words, const std::vector<std::string>& args) {
  std::string out;
  for (const char* p = words; *p; ++p) {
    if (*p == '{' && p[1] >= '0' && p[1] <= '9' && p[2] == '}') {
      size_t n = size_t(p[1] - '0');
      if (n < args.size()) out += args[n];
      p += 2;
    } else {
      out += *p;
    }
  }
  return out;
}

// The engine's texts on one line: the table's line breaks become " / ".
std::string OneLine(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += " / ";
    else if (c != '\r') out += c;
  }
  return out;
}

// The check's texts of one engine, read from its message table once.
class TCheckTexts {
 public:
  explicit TCheckTexts(TToolDic* dic) {
    for (const TCheckText& t : kProblems) problems_.push_back(FormatOf(dic, t));
    for (const TCheckText& t : kStatuses) statuses_.push_back(FormatOf(dic, t));
    detail_ = dic->EngineText(kIdDetail);
  }

  // The problem `message` names, or null; *args its numbers and words.
  const TCheckText* Problem(const std::string& message, std::vector<std::string>* args) const {
    return Find(kProblems, problems_, message, args);
  }
  const TCheckText* Status(const std::string& message) const {
    std::vector<std::string> args;
    return Find(kStatuses, statuses_, message, &args);
  }

  // "at unit 16 (index entry 2), byte 0x0002 of the block, file offset
  // 0x00001A02", or empty when the detail is not the engine's form.
  // `words`: the index's headwords, by index entry, when known.
  std::string Where(const std::string& detail, const std::vector<std::string>* words) const {
    std::vector<std::string> a;
    if (detail_.empty() || !MatchFormat(detail_, detail, &a) || a.size() != 5) return std::string();
    // The unit is told as its low 12 bits and its high 4 bits plus one.
    const long unit = std::atol(a[0].c_str()) + (std::atol(a[1].c_str()) - 1) * 4096L;
    const long lbn = std::atol(a[2].c_str());
    std::string block = "index entry " + a[2];
    if (words && lbn >= 0 && size_t(lbn) < words->size()) block += ", the block of \"" + (*words)[size_t(lbn)] + "\"";
    return "at unit " + std::to_string(unit) + " (" + block + "), byte 0x" + a[3] + " of the block, file offset 0x" +
           a[4];
  }

 private:
  static std::string FormatOf(TToolDic* dic, const TCheckText& t) {
    std::string text = t.id ? dic->EngineText(t.id) : std::string(t.fixed);
    if (text.empty()) return text;
    if (!t.form) return text;
    std::string form = t.form;
    // The table text stands for the %s as it is: its own % are literal.
    std::string escaped;
    for (char c : text) escaped += c == '%' ? std::string("%%") : std::string(1, c);
    form.replace(form.find("%s"), 2, escaped);
    return form;
  }

  template <size_t N>
  static const TCheckText* Find(const TCheckText (&table)[N], const std::vector<std::string>& formats,
                                const std::string& message, std::vector<std::string>* args) {
    for (size_t i = 0; i < N; ++i) {
      if (formats[i].empty() || !MatchFormat(formats[i], message, args)) continue;
      // The form's %s was the table text itself: it is no argument.
      if (table[i].form) args->insert(args->begin(), std::string());
      return &table[i];
    }
    return nullptr;
  }

  std::vector<std::string> problems_, statuses_;
  std::string detail_;
};

// ---- the scratch copy ----

std::string DirOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string BaseOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Copies the file `from` to a new file `to`; false with errno set.
bool CopyFile(const std::string& from, const std::string& to) {
  int in = ::open(from.c_str(), O_RDONLY);
  if (in < 0) return false;
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (out < 0) {
    int e = errno;
    ::close(in);
    errno = e;
    return false;
  }
  std::vector<char> buf(1 << 20);
  bool ok = true;
  for (;;) {
    if (TStopSignals::Caught()) {
      ok = false;
      errno = EINTR;
      break;
    }
    ssize_t n = ::read(in, buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out, buf.data() + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  int e = errno;
  if (::close(out) != 0 && ok) {
    ok = false;
    e = errno;
  }
  ::close(in);
  errno = e;
  return ok;
}

// A copy of a dictionary (with the journal a killed writer left beside it,
// which the engine plays back into the copy) in a folder of its own,
// removed with the folder when this goes.
class TScratchCopy {
 public:
  ~TScratchCopy() {
    if (!path_.empty()) {
      ::unlink(path_.c_str());
      ::unlink((path_ + "-journal").c_str());
    }
    if (!folder_.empty()) ::rmdir(folder_.c_str());
    if (lock_ >= 0) ::close(lock_);
  }

  // False with *why.
  bool Make(const std::string& original, std::string* why) {
    // A writer holds an exclusive lock while the file may be half changed;
    // the shared one keeps it out until the copy is checked.
    lock_ = ::open(original.c_str(), O_RDONLY);
    if (lock_ < 0) {
      *why = original + ": " + std::strerror(errno);
      return false;
    }
    if (::flock(lock_, LOCK_SH | LOCK_NB) != 0) {
      *why = original + " is in use by another process (locked)";
      return false;
    }
    const char* tmp = std::getenv("TMPDIR");
    const std::string folders[] = {DirOf(original) + "/." + BaseOf(original) + ".check-XXXXXX",
                                   std::string(tmp && *tmp ? tmp : "/tmp") + "/vkdic-check-XXXXXX"};
    int err = 0;
    for (const std::string& f : folders) {
      std::vector<char> name(f.begin(), f.end());
      name.push_back('\0');
      if (!::mkdtemp(name.data())) {
        err = errno;
        continue;
      }
      folder_ = name.data();
      path_ = folder_ + "/" + BaseOf(original);
      if (CopyFile(original, path_) &&
          (!FileExists(original + "-journal") || CopyFile(original + "-journal", path_ + "-journal")))
        return true;
      err = errno;
      ::unlink(path_.c_str());
      ::unlink((path_ + "-journal").c_str());
      ::rmdir(folder_.c_str());
      folder_.clear();
      path_.clear();
      if (TStopSignals::Caught()) break;
    }
    *why = "cannot make a copy of " + original + " to check: " + std::strerror(err) +
           " (--repair checks the file itself)";
    return false;
  }

  const std::string& path() const { return path_; }

 private:
  int lock_ = -1;
  std::string folder_, path_;
};

// ---- the headwords of the index ----

// The first headword of each block as the index area lists it, read from
// the file as it lies (the engine tells a block by its position only), in
// the text form the user reads; empty where the area cannot be read. Every
// length is bounded by the area and the file: the area may lie too.
std::vector<std::string> IndexWords(const std::string& path, const std::string& engine,
                                    const TDicText& text) {
  std::vector<std::string> words;
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) return words;
  const bool big = engine == "VKCUB";
  const size_t unitBytes = engine == "VKCUB" || engine == "VKCUL" ? 2 : 1;
  auto u16 = [big](const unsigned char* p) { return big ? unsigned(p[0] << 8 | p[1]) : unsigned(p[1] << 8 | p[0]); };
  auto u32 = [&](const unsigned char* p) {
    // The big-endian build keeps a 32-bit field as two big-endian halves.
    return big ? (u16(p) | u16(p + 2)) : unsigned(p[0] | p[1] << 8 | p[2] << 16 | unsigned(p[3]) << 24);
  };
  unsigned char h[256];
  struct stat st;
  if (::pread(fd, h, sizeof h, 0) == ssize_t(sizeof h) && ::fstat(fd, &st) == 0) {
    const int64_t start = 256 + int64_t(u32(h + 184));
    int64_t size = int64_t(int16_t(u16(h + 148))) * int16_t(u16(h + 146));
    constexpr int64_t kMaxArea = int64_t(64) << 20;
    if (size > st.st_size - start) size = st.st_size - start;
    if (size > kMaxArea) size = kMaxArea;
    std::vector<unsigned char> area(size > 0 ? size_t(size) : 0);
    if (!area.empty() && ::pread(fd, area.data(), area.size(), start) == ssize_t(area.size())) {
      const size_t valueBytes = unitBytes == 1 && h[182] ? 4 : 2;  // only the byte builds have the wide form
      for (size_t at = 0; at + valueBytes + unitBytes <= area.size();) {
        size_t w = at + valueBytes;
        std::u16string wide;
        std::string narrow;
        for (; w + unitBytes <= area.size(); w += unitBytes) {
          const unsigned u = unitBytes == 2 ? u16(&area[w]) : area[w];
          if (u == 0) break;
          if (unitBytes == 2) wide.push_back(char16_t(u));
          else narrow.push_back(char(u));
        }
        if (w + unitBytes > area.size() || (wide.empty() && narrow.empty())) break;
        words.push_back(unitBytes == 2 ? ToUtf8Text(wide.c_str()) : text.Readable(narrow));
        at = w + unitBytes;
      }
    }
  }
  ::close(fd);
  return words;
}

// ---- one run of the check ----

struct TCheckRun {
  long problems = 0;       // kind 1
  long repairsAsked = 0;   // answers that asked to remove an index entry
  bool unreadable = false; // kind 8: the data check ended early
  bool stopped = false;    // by a signal
  bool clean = false;      // the engine's verdict 440
  int32_t words = 0;       // entries checked
};

void Print(TProgressMeter& meter, const std::string& line) {
  meter.Clear();
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// Runs the check of `engine` on `path`; false when it could not run (said).
bool RunOnce(TToolDic* dic, const std::string& engine, const std::string& path, bool repair,
             const TToolInfo& info, const TDicText& text, TCheckRun* run, TVkdicOut& out) {
  TCheckTexts texts(dic);
  const std::vector<std::string> indexWords = IndexWords(path, engine, text);
  // The narrow engine puts headwords into its UTF-8 texts as stored.
  auto readable = [&](const std::string& word) { return engine == "VKC620" ? text.Readable(word) : word; };
  // The link check is shown in units of the data area, the entries' check
  // in entries.
  TProgressMeter links(stderr, ProgressWanted(), "units");
  TProgressMeter entries(stderr, ProgressWanted(), "entries");
  TProgressMeter* meter = &links;
  out.Attach(meter);
  links.Start(info.blockCount);
  bool dataCheck = false;
  bool ok = dic->Check(engine, path, [&](const TToolCheckEvent& e) -> int32_t {
    switch (e.kind) {
      case VK_CHECK_PROBLEM: {
        ++run->problems;
        std::vector<std::string> args;
        const TCheckText* t = e.hasMessage ? texts.Problem(e.message, &args) : nullptr;
        std::string message = e.message;
        for (std::string& arg : args) {
          const std::string shown = readable(arg);
          if (shown == arg) continue;
          const size_t at = message.find(arg);
          if (at != std::string::npos) message.replace(at, arg.size(), shown);
          arg = shown;
        }
        std::string line = "problem: " + (t ? FillWords(t->words, args) : std::string("the engine reports a problem"));
        // A removal shifts the entries after it: their positions no longer
        // match the headwords read before the check.
        const std::string where =
            e.hasDetail ? texts.Where(e.detail, run->repairsAsked ? nullptr : &indexWords) : std::string();
        if (!where.empty()) line += ", " + where;
        Print(*meter, line);
        std::string engineText = e.hasMessage ? OneLine(message) : std::string("(no text)");
        if (e.hasDetail) engineText += " / " + e.detail;
        Print(*meter, "  engine: " + engineText);
        if (t && t->id == kIdBadIndexValue) {
          if (!repair) {
            Print(*meter, "  not repaired: --repair removes the index entry");
            return VK_ANSWER_GO_ON;
          }
          ++run->repairsAsked;
          Print(*meter, "  repair: the index entry is removed, and every later one beyond the data area");
          return VK_ANSWER_REPAIR_ALL;
        }
        return VK_ANSWER_GO_ON;
      }
      case VK_CHECK_STATUS: {
        const TCheckText* t = e.hasMessage ? texts.Status(e.message) : nullptr;
        if (t && t->id == kIdClean) run->clean = true;
        if (e.hasMessage)
          Print(*meter, "status: " + std::string(t ? t->words : "the engine says") + " (" + OneLine(e.message) + ")");
        else
          Print(*meter, "status: problems found");  // the verdict without a text
        return 0;
      }
      case VK_CHECK_POSITION:
        if (!dataCheck) links.Update(int64_t(e.percent) * info.blockCount / 100);
        return 0;
      case VK_CHECK_PROGRESS:
        if (!dataCheck) {
          dataCheck = true;
          links.Clear();
          meter = &entries;
          out.Attach(meter);
          entries.Start(info.wordCount);
        }
        run->words = e.words;
        entries.Update(e.words);
        return 0;
      case VK_CHECK_UNREADABLE:
        run->unreadable = true;
        Print(*meter, "problem: a data block cannot be read; the check of the entries ends here");
        return 0;
      case VK_CHECK_POLL:
        if (TStopSignals::Caught()) {
          run->stopped = true;
          return 1;
        }
        return 0;
      default:
        return 0;
    }
  });
  meter->Clear();
  out.Attach(nullptr);
  if (!ok) out.Say(dic->errorText());
  return ok;
}

std::string Entries(long n) { return std::to_string(n) + (n == 1 ? " entry" : " entries"); }

}  // namespace

int RunCheck(const TVkdicArgs& a) {
  TVkdicOut out;
  TToolDic dic;
  const std::string& path = a.operands[0];
  std::string engine;
  // The file is written only with --repair; a check without it needs the
  // file to be readable only.
  if (!ChooseEngine(&dic, a, path, a.repair, &engine, out)) return kExitFailed;
  TDicText text;
  if (!ChooseText(a, engine, &text, out)) return kExitFailed;
  TToolInfo before;
  if (!dic.ReadInfo(engine, path, &before)) {
    out.Say(dic.errorText());
    return kExitFailed;
  }
  TStopSignals signals;
  TScratchCopy scratch;
  std::string checked = path;
  if (!a.repair) {
    std::string why;
    if (!scratch.Make(path, &why)) {
      out.Say(TStopSignals::Caught() ? std::string("stopped by ") + SignalName(TStopSignals::Caught()) : why);
      return kExitFailed;
    }
    checked = scratch.path();
  }
  std::printf("checking %s (%s)\n", path.c_str(), engine.c_str());
  TCheckRun run;
  if (!RunOnce(&dic, engine, checked, a.repair, before, text, &run, out)) return kExitFailed;
  if (run.stopped) {
    out.Say(std::string("stopped by ") + SignalName(TStopSignals::Caught()) +
            (a.repair ? "; what was repaired before is kept" : ""));
    return kExitFailed;
  }
  TToolInfo after;
  if (!dic.ReadInfo(engine, checked, &after)) {
    out.Say(dic.errorText());
    return kExitFailed;
  }
  long problems = run.problems;
  const bool countWrong = after.wordCount != before.wordCount;
  bool repaired = false;
  if (a.repair) {
    const long removed = long(before.indexCount) - long(after.indexCount);
    repaired = removed > 0 || countWrong;
    if (removed > 0)
      std::printf("repaired: %ld index %s naming units beyond the data area removed\n", removed,
                  removed == 1 ? "entry" : "entries");
    else if (run.repairsAsked > 0)
      std::printf("not repaired: the engine removed no index entry (the file may be read-only)\n");
    if (countWrong)
      std::printf("repaired: the header's entry count %d corrected to %d\n", before.wordCount, after.wordCount);
    if (removed > 0 && !TStopSignals::Caught()) {
      // The first run counted the removed entries as problems, so it left
      // the entry count alone: a second run judges the repaired file.
      std::printf("checking %s again after the repair\n", path.c_str());
      TCheckRun again;
      if (!RunOnce(&dic, engine, path, true, after, text, &again, out)) return kExitFailed;
      if (again.stopped) {
        out.Say(std::string("stopped by ") + SignalName(TStopSignals::Caught()) + "; the repair is kept");
        return kExitFailed;
      }
      TToolInfo last;
      if (dic.ReadInfo(engine, path, &last) && last.wordCount != after.wordCount)
        std::printf("repaired: the header's entry count %d corrected to %d\n", after.wordCount, last.wordCount);
      run = again;
      problems = again.problems;
    }
  } else if (countWrong) {
    ++problems;
    std::printf("problem: the header counts %s, the check counted %d\n", Entries(before.wordCount).c_str(),
                after.wordCount);
    std::printf("  not repaired: --repair writes the counted number\n");
  }
  if (run.unreadable && problems == 0) {
    out.Say("cannot read all of " + path + ": a data block cannot be read");
    return kExitFailed;
  }
  if (problems == 0 && !run.unreadable) {
    std::printf("%s: no problems, %s checked\n", path.c_str(), Entries(run.words).c_str());
    return kExitOk;
  }
  std::printf("%s: %ld %s found%s, %s checked\n", path.c_str(), problems + (run.unreadable ? 1 : 0),
              problems + (run.unreadable ? 1 : 0) == 1 ? "problem" : "problems",
              repaired ? " after the repair" : "", Entries(run.words).c_str());
  return kExitPartly;
}

}  // namespace vk
