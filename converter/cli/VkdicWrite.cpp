// The vkdic commands that change a dictionary: create, import, erase, rename,
// set and optimize.
#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "EngineErrors.h"
#include "cli/StopSignals.h"
#include "cli/Tsv.h"
#include "cli/Vkdic.h"

namespace vk {

namespace {

// Entries stored between two commits of an import: few enough that a failure
// of the disk loses little, many enough that the flushes (header, index and
// free chain each time) cost little.
constexpr long kCommitEvery = 1000;

std::string NewEngine(const TVkdicArgs& a) { return a.engine.empty() ? "VKCU8L" : a.engine; }

bool AnswerYes(const std::string& question) {
  std::fprintf(stderr, "vkdic: %s [y/N] ", question.c_str());
  std::fflush(stderr);
  std::string line;
  int c;
  bool any = false;
  while ((c = std::fgetc(stdin)) != EOF) {
    any = true;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  if (!any) std::fputc('\n', stderr);  // end of input: the answer is no
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  return line == "y" || line == "Y" || line == "yes" || line == "Yes" || line == "YES";
}

// How many entries the file holds now, as its header says; -1 when it
// cannot be read.
long HeldEntries(TToolDic* dic, const std::string& engine, const std::string& path) {
  TToolInfo info;
  if (!dic->ReadInfo(engine, path, &info)) return -1;
  return info.wordCount;
}

std::string Holds(TToolDic* dic, const std::string& engine, const std::string& path) {
  long held = HeldEntries(dic, engine, path);
  if (held < 0) return path + " cannot be read back";
  return path + " holds " + std::to_string(held) + (held == 1 ? " entry" : " entries");
}

// Reads one line, counting its bytes; false at the end of the input (or on
// a read error, which *failed tells).
bool ReadLine(FILE* f, std::string* line, int64_t* bytes) {
  line->clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(f)) != EOF) {
    any = true;
    ++*bytes;
    if (c == '\n') break;
    line->push_back(static_cast<char>(c));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();  // CR LF files
  return any;
}

// The four texts of an entry line, each decoded for the dictionary; false
// with *why naming the field.
bool DecodeEntry(const TDicText& text, const std::string& line, TToolEntry* e, std::string* why) {
  std::string texts[4];
  int level = 0;
  if (!SplitTsvLine(line, texts, &level, why)) return false;
  *e = TToolEntry();
  std::string* into[4] = {&e->word, &e->japa, &e->exp, &e->pron};
  static const char* const kNames[4] = {"headword", "translation", "example", "pronunciation"};
  for (int i = 0; i < 4; ++i) {
    std::string reason;
    if (!text.Decode(texts[i], into[i], &reason)) {
      *why = std::string("the ") + kNames[i] + " " + reason;
      return false;
    }
  }
  if (e->word.empty()) {
    *why = "empty headword";
    return false;
  }
  e->attr = static_cast<uint8_t>(0x80 | level);
  return true;
}

// A word given on the command line, for the dictionary; false after saying why.
bool TypedWord(const TDicText& text, const std::string& typed, std::string* word,
               TVkdicOut& out) {
  std::string why;
  if (!text.FromTyped(typed, word, &why)) {
    out.Say("the word " + typed + " " + why);
    return false;
  }
  if (word->empty()) {
    out.Say("an empty word is no headword");
    return false;
  }
  return true;
}

}  // namespace

int RunCreate(const TVkdicArgs& a) {
  TVkdicOut out;
  const std::string& path = a.operands[0];
  if (FileExists(path) && !a.yes && !AnswerYes(path + " exists: replace it?")) {
    out.Say(path + " is left as it was");
    return kExitPartly;
  }
  TToolDic dic;
  if (!dic.Create(NewEngine(a), path)) {
    out.Say(dic.errorText());
    return kExitFailed;
  }
  dic.Close();
  return kExitOk;
}

int RunImport(const TVkdicArgs& a) {
  TVkdicOut out;
  // Caught from the start: once the dictionary file exists, a signal ends the
  // import through the same door as every other stop.
  TStopSignals signals;
  const std::string& path = a.operands[0];
  const std::string& file = a.operands[1];
  FILE* in = file == "-" ? stdin : std::fopen(file.c_str(), "rb");
  if (!in) {
    out.Say(file + ": " + std::strerror(errno));
    return kExitFailed;
  }
  struct InputCloser {
    FILE* f;
    ~InputCloser() {
      if (f != stdin) std::fclose(f);
    }
  } closer{in};
  struct stat st;
  int64_t total = in != stdin && ::fstat(fileno(in), &st) == 0 && S_ISREG(st.st_mode)
                      ? static_cast<int64_t>(st.st_size)
                      : 0;

  TToolDic dic;
  TDicText text;
  std::string engine;
  int maxWordLen = static_cast<int>(kMaxHeadwordUnits);
  if (a.shared && !FileExists(path)) {
    out.Say(path + ": no such dictionary (--shared works on an existing one)");
    return kExitFailed;
  }
  if (FileExists(path)) {
    if (!ChooseEngine(&dic, a, path, true, &engine, out)) return kExitFailed;
    if (!ChooseText(a, engine, &text, out)) return kExitFailed;
    // The header is read before the file is opened for writing, which locks
    // it against every other opener.
    TToolInfo info;
    if (dic.ReadInfo(engine, path, &info) && info.maxWordLen > 0) maxWordLen = info.maxWordLen;
    if (!dic.Open(engine, path, false)) {
      out.Say(dic.errorText());
      return kExitFailed;
    }
  } else {
    engine = NewEngine(a);
    if (!ChooseText(a, engine, &text, out)) return kExitFailed;
    if (!dic.Create(engine, path)) {
      out.Say(dic.errorText());
      return kExitFailed;
    }
  }
  if (!dic.Has("VKRecord")) {
    out.Say(dic.errorText());
    return kExitFailed;
  }
  dic.SetFastMode(true);

  TProgressMeter meter(stderr, ProgressWanted(), total > 0 ? "bytes" : "lines");
  out.Attach(&meter);
  meter.Start(total);
  std::string line, why;
  long number = 0, stored = 0, refused = 0;
  // The last line whose entry, and every one before it, the file holds for
  // certain: a failure loses at most what came after it.
  long committedLine = 0, sinceCommit = 0;
  int64_t bytes = 0;
  bool failed = false;
  TToolEntry e;
  while (!TStopSignals::Caught() && ReadLine(in, &line, &bytes)) {
    ++number;
    meter.Update(total > 0 ? bytes : number);
    if (line.empty()) continue;
    const std::string where = file + ":" + std::to_string(number) + ": ";
    if (!DecodeEntry(text, line, &e, &why)) {
      out.Say(where + why);
      ++refused;
      continue;
    }
    why = CheckLimits(text, engine, maxWordLen, e);
    if (!why.empty()) {
      out.Say(where + why);
      ++refused;
      continue;
    }
    if (!dic.Record(e)) {
      int code = dic.errorCode();
      out.Say(where + dic.errorText());
      if (code != VK_ERR_WORD_TOO_LONG && IsStorageFailure(code)) {
        failed = true;
        break;
      }
      ++refused;
      continue;
    }
    ++stored;
    if (++sinceCommit == kCommitEvery) {
      if (!dic.Commit()) {
        out.Say(where + dic.errorText());
        failed = true;
        break;
      }
      committedLine = number;
      sinceCommit = 0;
    }
  }
  bool readError = std::ferror(in) != 0;
  int readErrno = errno;
  int caught = TStopSignals::Caught();
  if (!failed) {
    if (dic.Commit()) {
      committedLine = number;
    } else {
      out.Say(dic.errorText());
      failed = true;
    }
  }
  dic.SetFastMode(false);
  dic.Close();
  meter.Clear();
  out.Attach(nullptr);

  std::string counts = std::to_string(stored) + (stored == 1 ? " entry" : " entries") +
                       " stored";
  if (refused)
    counts += ", " + std::to_string(refused) + (refused == 1 ? " line" : " lines") + " refused";
  const std::string kept = committedLine > 0 ? "the lines up to " + file + ":" +
                                                   std::to_string(committedLine) + " are stored"
                                             : "no line of " + file + " is stored";
  if (failed) {
    out.Say("stopped at " + file + ":" + std::to_string(number) + ", the rest not read; " + kept +
            "; " + Holds(&dic, engine, path));
    return kExitFailed;
  }
  if (caught) {
    out.Say("stopped by " + std::string(SignalName(caught)) + " after " + file + ":" +
            std::to_string(number) + ", the rest not read: " + counts + "; " +
            Holds(&dic, engine, path));
    return kExitFailed;
  }
  if (readError) {
    out.Say("cannot read " + file + " after line " + std::to_string(number) + ": " +
            std::strerror(readErrno) + "; " + counts + "; " + Holds(&dic, engine, path));
    return kExitFailed;
  }
  out.Say(path + ": " + counts);
  return refused ? kExitPartly : kExitOk;
}

int RunErase(const TVkdicArgs& a) {
  TVkdicOut out;
  const std::string& path = a.operands[0];
  TToolDic dic;
  TDicText text;
  if (!OpenExisting(&dic, a, path, true, &text, out)) return kExitFailed;
  if (!dic.Has("VKErase")) {
    out.Say(dic.errorText());
    return kExitFailed;
  }
  int status = kExitOk;
  for (size_t i = 1; i < a.operands.size(); ++i) {
    std::string word;
    if (!TypedWord(text, a.operands[i], &word, out)) {
      status = kExitPartly;
      continue;
    }
    TToolEntry there;
    if (!dic.Find(word, &there)) {
      if (dic.errorCode() != 0) {
        out.Say(dic.errorText());
        return kExitFailed;
      }
      out.Say(a.operands[i] + ": not found");
      status = kExitPartly;
      continue;
    }
    if (!dic.Erase(word)) {
      out.Say(dic.errorText());
      return kExitFailed;
    }
  }
  return status;
}

namespace {

// Opens the existing dictionary `path` for a change through `exportName`:
// the engine and text form chosen, the header's headword bound read, and
// the export there; false after saying why.
bool OpenForChange(TToolDic* dic, const TVkdicArgs& a, const std::string& path,
                   const char* exportName, TDicText* text, std::string* engine, int* maxWordLen,
                   TVkdicOut& out) {
  if (!ChooseEngine(dic, a, path, true, engine, out)) return false;
  TToolInfo info;
  *maxWordLen = dic->ReadInfo(*engine, path, &info) ? info.maxWordLen : static_cast<int>(kMaxHeadwordUnits);
  if (!ChooseText(a, *engine, text, out)) return false;
  if (!dic->Open(*engine, path, false) || !dic->Has(exportName)) {
    out.Say(dic->errorText());
    return false;
  }
  return true;
}

}  // namespace

int RunRename(const TVkdicArgs& a) {
  TVkdicOut out;
  const std::string& path = a.operands[0];
  TToolDic dic;
  TDicText text;
  std::string engine;
  int maxWordLen = 0;
  if (!OpenForChange(&dic, a, path, "VKRename", &text, &engine, &maxWordLen, out)) return kExitFailed;
  std::string from, to;
  if (!TypedWord(text, a.operands[1], &from, out) || !TypedWord(text, a.operands[2], &to, out))
    return kExitFailed;
  if (from == to) {
    out.Say("the old and the new word are the same");
    return kExitFailed;
  }
  TToolEntry old, clash;
  if (!dic.Find(from, &old)) {
    if (dic.errorCode() != 0) {
      out.Say(dic.errorText());
      return kExitFailed;
    }
    out.Say(a.operands[1] + ": not found");
    return kExitPartly;
  }
  if (dic.Find(to, &clash)) {
    out.Say(a.operands[2] + " exists already in " + path + "; erase it first to rename " +
            a.operands[1] + " to it");
    return kExitPartly;
  }
  TToolEntry renamed = old;
  renamed.word = to;
  std::string why = CheckLimits(text, engine, maxWordLen, renamed);
  if (!why.empty()) {
    out.Say("cannot rename " + a.operands[1] + ": " + why);
    return kExitFailed;
  }
  if (!dic.Rename(from, to)) {
    std::string failure = dic.errorText();
    // The engine erases before it inserts: an entry lost on the way is put
    // back as it was.
    TToolEntry back;
    if (!dic.Find(from, &back) && !dic.Find(to, &back)) dic.Record(old);
    out.Say(failure);
    return kExitFailed;
  }
  dic.Close();
  return kExitOk;
}

int RunSet(const TVkdicArgs& a) {
  TVkdicOut out;
  const std::string& path = a.operands[0];
  TToolDic dic;
  TDicText text;
  std::string engine;
  int maxWordLen = 0;
  if (!OpenForChange(&dic, a, path, "VKUpdate", &text, &engine, &maxWordLen, out)) return kExitFailed;
  std::string word;
  if (!TypedWord(text, a.operands[1], &word, out)) return kExitFailed;
  TToolEntry e;
  if (!dic.Find(word, &e)) {
    if (dic.errorCode() != 0) {
      out.Say(dic.errorText());
      return kExitFailed;
    }
    out.Say(a.operands[1] + ": not found");
    return kExitPartly;
  }
  struct Change {
    bool given;
    const std::string* typed;
    std::string* field;
    const char* name;
  } changes[] = {{a.hasJapa, &a.japa, &e.japa, "translation"},
                 {a.hasExp, &a.exp, &e.exp, "example"},
                 {a.hasPron, &a.pron, &e.pron, "pronunciation"}};
  for (const Change& c : changes) {
    if (!c.given) continue;
    std::string why;
    if (!text.FromTyped(*c.typed, c.field, &why)) {
      out.Say(std::string("the ") + c.name + " " + why);
      return kExitFailed;
    }
  }
  // Bit 4 tells the engine how the stored fields are laid out; it sets that
  // bit itself whenever it writes an entry.
  if (a.hasAttr) e.attr = static_cast<uint8_t>(a.attr);
  if (a.hasLevel) e.attr = static_cast<uint8_t>((e.attr & 0xF0) | a.level);
  std::string why = CheckLimits(text, engine, maxWordLen, e);
  if (!why.empty()) {
    out.Say("cannot change " + a.operands[1] + ": " + why);
    return kExitFailed;
  }
  if (!dic.Update(e)) {
    out.Say(dic.errorText());
    return kExitFailed;
  }
  dic.Close();
  return kExitOk;
}

}  // namespace vk

namespace vk {

namespace {

// The engine's message on one line.
std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}

std::string Bytes(long long n) { return std::to_string(n) + (n == 1 ? " byte" : " bytes"); }

}  // namespace

int RunOptimize(const TVkdicArgs& a) {
  TVkdicOut out;
  TStopSignals signals;
  const std::string& path = a.operands[0];
  TToolDic dic;
  std::string engine;
  if (!ChooseEngine(&dic, a, path, true, &engine, out)) return kExitFailed;
  TToolInfo before;
  if (!dic.ReadInfo(engine, path, &before)) {
    out.Say(dic.errorText());
    return kExitFailed;
  }

  TProgressMeter meter(stderr, ProgressWanted(), "blocks");
  out.Attach(&meter);
  meter.Start(before.indexCount);
  int32_t outcome = 0, reason = -1;
  std::string message;
  bool hasMessage = false;
  auto report = [&](const TOptimizeReport& r) -> int32_t {
    switch (r.kind) {
      case VK_OPTIMIZE_PROGRESS:
        meter.Update(int64_t(before.indexCount) * r.percent / 100, r.percent == 100);
        return 0;
      case VK_CHECK_POLL:
        return TStopSignals::Caught() != 0 ? 1 : 0;
      case VK_OPTIMIZE_DONE:
      case VK_OPTIMIZE_STOPPED:
        outcome = r.kind;
        return 0;
      case VK_OPTIMIZE_FAILED:
        outcome = r.kind;
        reason = r.reason;
        return 0;
      case VK_CHECK_STATUS:
      case VK_OPTIMIZE_FAILURE:
        hasMessage = r.hasMessage;
        message = OneLine(r.message);
        return 0;
      default:
        return 0;
    }
  };
  const bool ran = dic.Optimize(engine, path, report);
  meter.Clear();
  out.Attach(nullptr);
  if (!ran) {
    out.Say(dic.errorText());
    return kExitFailed;
  }
  const std::string engineText = hasMessage ? " (" + message + ")" : "";
  switch (outcome) {
    case VK_OPTIMIZE_DONE: {
      TToolInfo after;
      std::string sizes;
      if (dic.ReadInfo(engine, path, &after))
        sizes = "; " + std::to_string(after.indexCount) + " blocks in " + std::to_string(after.blockCount) +
                " units, the file went from " + Bytes(before.fileSize) + " to " + Bytes(after.fileSize);
      std::printf("%s optimised: its blocks stand in index order with no free unit between them%s%s\n",
                  path.c_str(), sizes.c_str(), engineText.c_str());
      return kExitOk;
    }
    case VK_OPTIMIZE_STOPPED:
      out.Say("the optimisation of " + path + " stopped by " + SignalName(TStopSignals::Caught()) +
              "; the blocks moved so far keep their new places and every entry is kept" + engineText);
      return kExitPartly;
    case VK_OPTIMIZE_FAILED:
      if (reason == VK_REASON_DISK_ERROR) {
        out.Say("cannot optimise " + path +
                ": a read or write failed, or the file is damaged; it is as it was "
                "before" + engineText);
        return kExitFailed;
      }
      out.Say("the optimisation of " + path + " would have lost entries (reason " + std::to_string(reason) +
              "); the file is as it was before" + engineText);
      return kExitPartly;
    default:
      out.Say("the optimisation of " + path + " ended without a verdict");
      return kExitFailed;
  }
}

}  // namespace vk
