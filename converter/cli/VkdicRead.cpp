// The vkdic commands that read a dictionary: export, find, search, info and
// stats.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "cli/Vkdic.h"
#include "util/ProgramFolder.h"
#include "util/Utf8.h"

namespace vk {

namespace {

// Where an export to `file` lands: the file a symbolic link names, so that the
// link stays.
std::string ExportTarget(const std::string& file) {
  char buf[PATH_MAX];
  struct stat st;
  if (::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::realpath(file.c_str(), buf))
    return buf;
  return file;
}

// An output file written beside its final place and put there only when it
// is complete, so that a failed export leaves an older file as it was.
class TOutputFile {
 public:
  ~TOutputFile() { Abandon(); }

  bool Open(const std::string& target, int* err) {
    target_ = target;
    temp_ = FolderPart(target) + "/." + NamePart(target) + ".vkdic-XXXXXX";
    std::vector<char> name(temp_.begin(), temp_.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) {
      *err = errno;
      temp_.clear();
      return false;
    }
    temp_ = name.data();
    // The permissions the file would have had from a plain create, or those
    // of the file it replaces.
    struct stat st;
    mode_t mode;
    if (::stat(target.c_str(), &st) == 0) {
      mode = st.st_mode & 07777;
    } else {
      mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    f_ = ::fdopen(fd, "wb");
    if (!f_) {
      *err = errno;
      ::close(fd);
      return false;
    }
    return true;
  }

  FILE* stream() const { return f_; }

  bool Commit(int* err) {
    bool ok = std::fflush(f_) == 0;
    if (!ok) *err = errno;
    if (ok && ::fsync(::fileno(f_)) != 0) {
      ok = false;
      *err = errno;
    }
    if (std::fclose(f_) != 0 && ok) {
      ok = false;
      *err = errno;
    }
    f_ = nullptr;
    if (ok && ::rename(temp_.c_str(), target_.c_str()) != 0) {
      ok = false;
      *err = errno;
    }
    if (ok) temp_.clear();
    return ok;
  }

  void Abandon() {
    if (f_) std::fclose(f_);
    f_ = nullptr;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
  }

 private:
  std::string target_, temp_;
  FILE* f_ = nullptr;
};

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

bool PrintLines(const std::vector<std::string>& lines) {
  for (const std::string& l : lines) std::printf("%s\n", l.c_str());
  return std::fflush(stdout) == 0;
}

}  // namespace

int RunExport(const TVkdicArgs& a) {
  TVkdicOut out;
  const std::string& path = a.operands[0];
  std::string file = a.operands.size() > 1 ? a.operands[1] : std::string("-");
  // Before anything is opened for writing: an export onto the dictionary
  // would empty it before reading it.
  if (file != "-" && SameFile(path, file)) {
    out.Say("refusing to export " + path + " onto itself: " + file + " is the dictionary");
    return kExitFailed;
  }
  TToolDic dic;
  TDicText text;
  if (!OpenExisting(&dic, a, path, false, &text, out)) return kExitFailed;
  TToolInfo info;
  int64_t total = dic.Info(&info) ? info.wordCount : 0;

  TOutputFile target;
  FILE* f = stdout;
  const std::string shown = file == "-" ? std::string("standard output") : file;
  int err = 0;
  if (file != "-") {
    if (!target.Open(ExportTarget(file), &err)) {
      out.Say("cannot write " + file + ": " + std::strerror(err));
      return kExitFailed;
    }
    f = target.stream();
  }
  TProgressMeter meter(stderr, ProgressWanted(), "entries");
  out.Attach(&meter);
  meter.Start(total);
  int64_t done = 0;
  long unmappedEntries = 0;
  bool writeFailed = false;
  std::string line;
  bool ok = dic.Search("", VK_SEARCH_ALL, [&](const TToolEntry& e) {
    bool unmapped = false;
    line = EntryLine(text, e, &unmapped);
    line += '\n';
    if (unmapped) {
      ++unmappedEntries;
      out.Say(text.Readable(e.word) + ": codes without a mapping in " + text.tableName() +
              " are written as \\xNN");
    }
    if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) {
      err = errno;
      writeFailed = true;
      return false;
    }
    meter.Update(++done);
    return true;
  });
  meter.Clear();
  out.Attach(nullptr);
  if (!writeFailed) {
    if (f == stdout) {
      if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        err = errno;
        writeFailed = true;
      }
    } else if (ok && !target.Commit(&err)) {
      writeFailed = true;
    }
  }
  if (writeFailed) {
    out.Say("cannot write " + shown + ": " + std::strerror(err) +
            (file != "-" ? "; " + file + " is left as it was" : std::string()));
    return kExitFailed;
  }
  if (!ok) {
    out.Say(dic.errorText());
    return kExitFailed;
  }
  return unmappedEntries ? kExitPartly : kExitOk;
}

int RunFind(const TVkdicArgs& a) {
  TVkdicOut out;
  TToolDic dic;
  TDicText text;
  if (!OpenExisting(&dic, a, a.operands[0], false, &text, out)) return kExitFailed;
  std::string word, why;
  if (!text.FromTyped(a.operands[1], &word, &why)) {
    out.Say("the word " + a.operands[1] + " " + why);
    return kExitFailed;
  }
  std::vector<std::string> lines;
  if (!a.prefix && !a.substring && !a.ignoreCase) {
    TToolEntry e;
    if (dic.Find(word, &e)) {
      lines.push_back(EntryLine(text, e));
    } else if (dic.errorCode() != 0) {
      out.Say(dic.errorText());
      return kExitFailed;
    }
  } else {
    int32_t flags = VK_SEARCH_HEADWORD | (a.ignoreCase ? VK_SEARCH_CASE_FOLDED : 0) |
                    (a.substring ? 0 : VK_SEARCH_PREFIX);
    // Case folding maps unit to unit, so a case-folded prefix match of the
    // same length is an exact match that ignores case.
    bool whole = !a.prefix && !a.substring;
    size_t units = text.Units(word);
    bool ok = dic.Search(word, flags, [&](const TToolEntry& e) {
      if (!whole || text.Units(e.word) == units) lines.push_back(EntryLine(text, e));
      return true;
    });
    if (!ok) {
      out.Say(dic.errorText());
      return kExitFailed;
    }
  }
  if (lines.empty()) {
    out.Say(a.operands[1] + ": not found");
    return kExitPartly;
  }
  if (!PrintLines(lines)) {
    out.Say(std::string("cannot write standard output: ") + std::strerror(errno));
    return kExitFailed;
  }
  return kExitOk;
}

int RunSearch(const TVkdicArgs& a) {
  TVkdicOut out;
  TToolDic dic;
  TDicText text;
  if (!OpenExisting(&dic, a, a.operands[0], false, &text, out)) return kExitFailed;
  std::string pattern, why;
  if (!text.FromTyped(a.operands[1], &pattern, &why)) {
    out.Say("the pattern " + a.operands[1] + " " + why);
    return kExitFailed;
  }
  int32_t flags = VK_SEARCH_HEADWORD | (a.translations ? VK_SEARCH_TRANSLATION : 0) |
                  (a.prefix ? VK_SEARCH_PREFIX : 0) | (a.ignoreCase ? VK_SEARCH_CASE_FOLDED : 0);
  long found = 0;
  bool ok = dic.Search(pattern, flags, [&](const TToolEntry& e) {
    std::printf("%s\n", EntryLine(text, e).c_str());
    ++found;
    return true;
  });
  if (!ok) {
    out.Say(dic.errorText());
    return kExitFailed;
  }
  if (std::fflush(stdout) != 0) {
    out.Say(std::string("cannot write standard output: ") + std::strerror(errno));
    return kExitFailed;
  }
  return found ? kExitOk : kExitPartly;
}

namespace {

const char* KindOf(const std::string& engine) {
  if (engine == "VKCU8L") return "UTF-8 headwords, BOCU-1 texts (VKCU8L)";
  if (engine == "VKCUB") return "UTF-16 big-endian headwords and texts (VKCUB)";
  if (engine == "VKCUL") return "UTF-16 little-endian headwords and texts (VKCUL)";
  return "Win32 code page (Shift-JIS) headwords and texts, stored as bytes (VKC620)";
}

// The header keeps the version as two BCD-like bytes: 0x0500 is 5.00.
std::string VersionText(int version) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X.%02X", (version >> 8) & 0xFF, version & 0xFF);
  return buf;
}

// Opens the existing dictionary `path` for reading and reads its header
// facts; false after saying why.
bool OpenWithInfo(TToolDic* dic, const TVkdicArgs& a, const std::string& path, TDicText* text,
                  TToolInfo* info, TVkdicOut& out) {
  if (!OpenExisting(dic, a, path, false, text, out)) return false;
  if (!dic->Info(info)) {
    out.Say(dic->errorText());
    return false;
  }
  return true;
}

std::string Plural(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

int RunInfo(const TVkdicArgs& a) {
  TVkdicOut out;
  TToolDic dic;
  TDicText text;
  const std::string& path = a.operands[0];
  TToolInfo info;
  if (!OpenWithInfo(&dic, a, path, &text, &info, out)) return kExitFailed;
  std::printf("file: %s\n", path.c_str());
  std::printf("kind: %s\n", KindOf(dic.engine()));
  std::printf("entries: %d\n", info.wordCount);
  std::printf("version: %s\n", VersionText(info.version).c_str());
  std::printf("block size: %d bytes\n", info.blockSize);
  std::printf("data area: %s, in %s\n", Plural(info.blockCount, "unit", "units").c_str(),
              Plural(info.indexCount, "block", "blocks").c_str());
  std::printf("index area: %s\n", Plural(info.indexBlocks, "unit", "units").c_str());
  std::printf("longest headword allowed: %d %s\n", info.maxWordLen,
              dic.engine() == "VKCU8L" ? "bytes of UTF-8" : text.unitName());
  std::printf("file size: %lld bytes\n", info.fileSize);
  return kExitOk;
}

namespace {

struct TBlockFigures {
  long blocks = 0, longBlocks = 0, freeUnits = 0;
  double fillSum = 0, fullest = 0, emptiest = 1;
};

// Walks the data area of the file as the format lays it out: each unit
// begins either a data block (its size word gives its units; bit 15 marks a
// block of one long entry) or, with a size word of 0, is free. How much of a
// block is in use runs from its start to the end of its terminator.
bool WalkBlocks(const std::string& path, const std::string& engine, const TToolInfo& info,
                TBlockFigures* fig, std::string* why) {
  const bool big = engine == "VKCUB";
  const bool longEntries = engine == "VKCU8L" || engine == "VKC620";
  int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) {
    *why = std::strerror(errno);
    return false;
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  auto u16 = [big](const unsigned char* p) {
    return big ? static_cast<uint32_t>(p[0] << 8 | p[1]) : static_cast<uint32_t>(p[1] << 8 | p[0]);
  };
  auto u32le = [](const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  };
  unsigned char header[256];
  if (::pread(fd, header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
    *why = "the header cannot be read";
    return false;
  }
  // The big-endian build keeps a 32-bit field as two big-endian halves.
  uint32_t ext = big ? (u16(header + 184) | u16(header + 186)) : u32le(header + 184);
  const int64_t bs = info.blockSize;
  if (bs < 8) {
    *why = "the block size is not usable";
    return false;
  }
  const int64_t start = 256 + static_cast<int64_t>(ext) + static_cast<int64_t>(info.indexBlocks) * bs;
  std::vector<unsigned char> block;
  for (int64_t unit = 0; unit < info.blockCount;) {
    unsigned char word[2];
    if (::pread(fd, word, 2, start + unit * bs) != 2) {
      *why = "the data area ends early";
      return false;
    }
    uint32_t size = u16(word);
    if (size == 0) {
      ++fig->freeUnits;
      ++unit;
      continue;
    }
    bool isLong = longEntries && (size & 0x8000) != 0;
    int64_t units = size & 0x7FFF;
    if (units == 0 || unit + units > info.blockCount) {
      *why = "a block runs past the data area";
      return false;
    }
    block.resize(static_cast<size_t>(units * bs));
    if (::pread(fd, block.data(), block.size(), start + unit * bs) !=
        static_cast<ssize_t>(block.size())) {
      *why = "the data area ends early";
      return false;
    }
    size_t used = 0;
    if (isLong) {
      used = 2 + 6 + static_cast<size_t>(u32le(block.data() + 2)) + 4;
      ++fig->longBlocks;
    } else {
      size_t off = 2;
      while (off + 2 <= block.size()) {
        uint32_t length = u16(block.data() + off);
        if (length == 0) {
          used = off + 2;
          break;
        }
        off += length + 4;
      }
    }
    if (used == 0 || used > block.size()) {
      *why = "a block's entries run past its end";
      return false;
    }
    double fill = static_cast<double>(used) / static_cast<double>(block.size());
    fig->fillSum += fill;
    if (fill > fig->fullest) fig->fullest = fill;
    if (fill < fig->emptiest) fig->emptiest = fill;
    ++fig->blocks;
    unit += units;
  }
  return true;
}

int Percent(double f) { return static_cast<int>(f * 100 + 0.5); }

}  // namespace

int RunStats(const TVkdicArgs& a) {
  TVkdicOut out;
  TToolDic dic;
  TDicText text;
  const std::string& path = a.operands[0];
  TToolInfo info;
  if (!OpenWithInfo(&dic, a, path, &text, &info, out)) return kExitFailed;
  TProgressMeter meter(stderr, ProgressWanted(), "entries");
  out.Attach(&meter);
  meter.Start(info.wordCount);
  long long entries = 0, textBytes = 0;
  size_t longest = 0;
  std::string longestWord;
  bool ok = dic.Search("", VK_SEARCH_ALL, [&](const TToolEntry& e) {
    ++entries;
    textBytes += static_cast<long long>(e.word.size() + e.japa.size() + e.exp.size() +
                                        e.pron.size());
    size_t units = text.Units(e.word);
    if (units > longest) {
      longest = units;
      longestWord = e.word;
    }
    meter.Update(entries);
    return true;
  });
  meter.Clear();
  out.Attach(nullptr);
  if (!ok) {
    out.Say(dic.errorText());
    return kExitFailed;
  }
  TBlockFigures fig;
  std::string why;
  bool walked = WalkBlocks(path, dic.engine(), info, &fig, &why);
  std::printf("entries: %lld", entries);
  if (entries != info.wordCount) std::printf(" (the header says %d)", info.wordCount);
  std::printf("\n");
  if (walked) {
    std::printf("data blocks: %ld", fig.blocks);
    if (fig.longBlocks) std::printf(", %ld of them holding one long entry", fig.longBlocks);
    std::printf("\n");
    std::printf("units: %d of %d bytes, %ld free\n", info.blockCount, info.blockSize,
                fig.freeUnits);
    if (fig.blocks)
      std::printf("block fill: %d%% on average, fullest %d%%, emptiest %d%%\n",
                  Percent(fig.fillSum / static_cast<double>(fig.blocks)), Percent(fig.fullest),
                  Percent(fig.emptiest));
  } else {
    std::printf("data blocks: %d (the data area cannot be walked: %s)\n", info.indexCount,
                why.c_str());
    std::printf("units: %d of %d bytes\n", info.blockCount, info.blockSize);
  }
  if (entries)
    std::printf("longest headword: %zu %s: %s\n", longest, text.unitName(),
                text.Readable(longestWord).c_str());
  std::printf("text: %lld bytes %s\n", textBytes,
              text.form() == TDicText::kUtf8 ? "of UTF-8" : "as stored");
  std::printf("file size: %lld bytes\n", info.fileSize);
  return kExitOk;
}

}  // namespace vk
