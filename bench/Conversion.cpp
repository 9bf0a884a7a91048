#include "Conversion.h"

#include <fcntl.h>
#include <iconv.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace vkbench {
namespace {

constexpr size_t kMaxWord = 248, kMaxJapa = 3000, kMaxPron = 1000;

// Bytes of the UTF-8 sequence that starts with b.
size_t SequenceLength(unsigned char b) {
  return b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
}

class Cp932 {
 public:
  Cp932() : cd_(iconv_open("CP932", "UTF-8")) {}
  ~Cp932() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts one text; a character without a code is left out and counted.
  std::string Convert(const std::string& in, size_t* lost) {
    std::string out;
    char buf[8];
    size_t i = 0;
    while (i < in.size()) {
      size_t n = std::min(SequenceLength(static_cast<unsigned char>(in[i])), in.size() - i);
      char* src = const_cast<char*>(in.data() + i);
      size_t srcLeft = n, dstLeft = sizeof buf;
      char* dst = buf;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1)) ++*lost;
      else out.append(buf, sizeof buf - dstLeft);
      i += n;
    }
    return out;
  }

 private:
  iconv_t cd_;
};

bool IsLead(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

void Escaped(const std::string& sjis, std::string* line) {
  for (size_t i = 0; i < sjis.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(sjis[i]);
    if (IsLead(b) && i + 1 < sjis.size()) {
      line->push_back(sjis[i]);
      line->push_back(sjis[++i]);
      continue;
    }
    switch (b) {
      case '\\': *line += "\\\\"; break;
      case '\t': *line += "\\t"; break;
      case '\r': *line += "\\r"; break;
      case '\n': *line += "\\n"; break;
      default: line->push_back(sjis[i]);
    }
  }
}

}  // namespace

bool WriteSjisTsv(const std::vector<ScannedEntry>& entries, const std::string& path, SjisCounts* counts,
                  std::string* error) {
  Cp932 cp;
  if (!cp.ok()) {
    *error = "iconv cannot convert UTF-8 to CP932";
    return false;
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *error = "cannot write " + path;
    return false;
  }
  std::string line;
  for (const ScannedEntry& e : entries) {
    size_t lost = 0;
    std::string word = cp.Convert(e.word, &lost), japa = cp.Convert(e.japa, &lost), exp = cp.Convert(e.exp, &lost),
                pron = cp.Convert(e.pron, &lost);
    counts->charactersLost += lost;
    if (lost) ++counts->entriesWithLoss;
    if (word.empty()) {
      ++counts->emptyWord;
      continue;
    }
    if (word.size() > kMaxWord || japa.size() > kMaxJapa || pron.size() > kMaxPron) {
      ++counts->overLimit;
      continue;
    }
    line.clear();
    Escaped(word, &line);
    line += '\t';
    Escaped(japa, &line);
    line += '\t';
    Escaped(exp, &line);
    line += '\t';
    Escaped(pron, &line);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), f);
    ++counts->written;
  }
  if (std::fclose(f) != 0) {
    *error = "cannot write " + path;
    return false;
  }
  return true;
}

namespace {

// fork, exec, wait4: the child's wall time, exit status and ru_maxrss.
bool Spawn(const std::vector<std::string>& argv, const std::string& outPath, ChildRun* run, std::string* error) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::fflush(nullptr);
  auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    return false;
  }
  if (pid == 0) {
    int fd = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) _exit(127);
    dup2(fd, 1);
    close(fd);
    int err = open((outPath + ".err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err >= 0) dup2(err, 2);
    int in = open("/dev/null", O_RDONLY);
    if (in >= 0) dup2(in, 0);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  struct rusage ru {};
  if (wait4(pid, &status, 0, &ru) != pid) {
    *error = std::string("wait4: ") + std::strerror(errno);
    return false;
  }
  run->ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  run->status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run->maxRssKb = ru.ru_maxrss;
  return true;
}

}  // namespace

// A child forked from this (large) process starts with its resident set,
// and Linux keeps a process's peak across exec, so the program is started
// by a fresh copy of this one, small, whose own child then has a peak of
// its own.
bool RunTimed(const std::vector<std::string>& argv, const std::string& outPath, ChildRun* run,
              std::string* error) {
  std::vector<std::string> helper = {"/proc/self/exe", kRunTimedFlag, outPath};
  helper.insert(helper.end(), argv.begin(), argv.end());
  std::string timing = outPath + ".time";
  std::remove(timing.c_str());
  ChildRun h;
  if (!Spawn(helper, outPath + ".helper", &h, error)) return false;
  FILE* f = std::fopen(timing.c_str(), "r");
  if (!f || std::fscanf(f, "%d %lf %ld", &run->status, &run->ms, &run->maxRssKb) != 3) {
    if (f) std::fclose(f);
    *error = "no timing from the helper run of " + argv[0] + " (exit status " + std::to_string(h.status) + ")";
    return false;
  }
  std::fclose(f);
  for (const char* tail : {".time", ".helper", ".helper.err"}) std::remove((outPath + tail).c_str());
  return true;
}

int RunTimedMain(int argc, char** argv) {
  if (argc < 4) return 2;
  std::string outPath = argv[2];
  std::vector<std::string> args(argv + 3, argv + argc);
  ChildRun run;
  std::string error;
  if (!Spawn(args, outPath, &run, &error)) {
    std::fprintf(stderr, "vokabench: %s\n", error.c_str());
    return 2;
  }
  FILE* f = std::fopen((outPath + ".time").c_str(), "w");
  if (!f) return 2;
  std::fprintf(f, "%d %.3f %ld\n", run.status, run.ms, run.maxRssKb);
  return std::fclose(f) == 0 ? 0 : 2;
}

}  // namespace vkbench
