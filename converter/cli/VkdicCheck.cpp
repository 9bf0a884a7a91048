// vkdic check: the engine's own dictionary check (VKDicCheck) with every
// problem and verdict told in words beside the engine's text (cli/CheckWords.h).
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
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/CheckWords.h"
#include "cli/ScratchCopy.h"
#include "cli/StopSignals.h"
#include "cli/Vkdic.h"
#include "util/Utf8.h"

namespace vk {

namespace {

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

struct TCheckRun {
  long problems = 0;       // kind 1
  long repairsAsked = 0;   // answers that asked to remove an index entry
  bool unreadable = false; // kind 8: the data check ended early
  bool stopped = false;    // by a signal
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
  TCheckTexts texts([dic](int id) { return dic->EngineText(id); });
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
        if (t && t->id == kCheckIdBadIndexValue) {
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
