// The conversion figures: the data set as a Win32 (Shift-JIS) dictionary,
// converted by vkcv, timed from outside.
//
// WriteSjisTsv makes the entry lines that `vkdic --engine VKC620 --bytes
// import` reads: headword, translation, example, pronunciation, separated by
// tabs, as Shift-JIS (Windows code page 932, through iconv(3)) with \\, \t,
// \r and \n escaped; the second byte of a two-byte character is never
// escaped, as the import expects. A character that CP932 cannot hold is left
// out (counted); an entry whose headword is then empty, or whose texts pass
// the Win32 engine's limits in bytes (headword 248, translation 3000,
// pronunciation 1000), is left out (counted).
//
// RunTimed runs a program with its standard output to a file (its standard
// error to the same name with ".err" added) and waits for
// it with wait4, which gives the child's peak resident set size.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "Store.h"

namespace vkbench {

struct SjisCounts {
  size_t written = 0;
  size_t entriesWithLoss = 0;   // entries that lost at least one character
  size_t charactersLost = 0;    // characters without a CP932 code, left out
  size_t emptyWord = 0;         // left out: nothing of the headword was left
  size_t overLimit = 0;         // left out: too long for the Win32 engine
};

bool WriteSjisTsv(const std::vector<ScannedEntry>& entries, const std::string& path, SjisCounts* counts,
                  std::string* error);

struct ChildRun {
  int status = -1;       // exit status, or -1 when it did not exit normally
  double ms = 0;         // wall time
  long maxRssKb = 0;     // ru_maxrss of the child
};

bool RunTimed(const std::vector<std::string>& argv, const std::string& outPath, ChildRun* run,
              std::string* error);

// The first argument that makes vokabench the small process that RunTimed
// starts: `vokabench --run-timed OUT PROGRAM ARGS...` runs PROGRAM and
// writes "status ms maxrss-KiB" to OUT.time.
constexpr const char* kRunTimedFlag = "--run-timed";
int RunTimedMain(int argc, char** argv);

}  // namespace vkbench
