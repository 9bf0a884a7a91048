// The commands of vkdic, the dictionary tool, and what they share: the
// parsed command line, opening a dictionary with the engine that accepts it,
// the text form its entries travel in (cli/DicText.h) and messages.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "cli/DicText.h"
#include "cli/Progress.h"
#include "cli/ToolDic.h"

namespace vk {

// Exit status: 0 done; 1 done in part (a line refused, a word not there, an
// answer of no); 2 failure.
constexpr int kExitOk = 0;
constexpr int kExitPartly = 1;
constexpr int kExitFailed = 2;

struct TVkdicArgs {
  std::string command;
  std::vector<std::string> operands;  // after the command
  std::string engine;                 // empty: the one that accepts the file
  std::string table;                  // empty: cp932 beside the program
  bool bytes = false;
  bool shared = false;  // open the existing dictionary in shared mode
  bool yes = false;
  bool repair = false;
  bool prefix = false, substring = false, ignoreCase = false, translations = false;
  bool hasJapa = false, hasExp = false, hasPron = false, hasLevel = false, hasAttr = false;
  std::string japa, exp, pron;
  int level = 0, attr = 0;
};

// Messages on standard error, each as "vkdic: ...", out of the way of a
// progress line that may be on the terminal.
class TVkdicOut {
 public:
  void Attach(TProgressMeter* meter) { meter_ = meter; }
  void Say(const std::string& text);

 private:
  TProgressMeter* meter_ = nullptr;
};

// Is standard error a terminal, where progress is shown?
bool ProgressWanted();

// Chooses the engine for the existing file `path` (the one asked for, or the
// one that accepts the file) and the text form for it; false after saying
// why. `write`: the file will be opened for writing.
bool ChooseEngine(TToolDic* dic, const TVkdicArgs& a, const std::string& path, bool write,
                  std::string* engine, TVkdicOut& out);
// The text form for `engine`; false after saying why (a table that cannot
// be read).
bool ChooseText(const TVkdicArgs& a, const std::string& engine, TDicText* text, TVkdicOut& out);
// ChooseEngine, ChooseText and open.
bool OpenExisting(TToolDic* dic, const TVkdicArgs& a, const std::string& path, bool write,
                  TDicText* text, TVkdicOut& out);

// The entry line of `e`; *unmapped as TDicText::Encode.
std::string EntryLine(const TDicText& text, const TToolEntry& e, bool* unmapped = nullptr);

// Why `e`'s texts cannot be stored in a dictionary of `engine` whose
// headwords hold at most `maxWordLen` units, or empty.
std::string CheckLimits(const TDicText& text, const std::string& engine, int maxWordLen,
                        const TToolEntry& e);

bool FileExists(const std::string& path);

int RunCreate(const TVkdicArgs& a);
int RunImport(const TVkdicArgs& a);
int RunErase(const TVkdicArgs& a);
int RunRename(const TVkdicArgs& a);
int RunSet(const TVkdicArgs& a);
int RunExport(const TVkdicArgs& a);
int RunFind(const TVkdicArgs& a);
int RunSearch(const TVkdicArgs& a);
int RunInfo(const TVkdicArgs& a);
int RunStats(const TVkdicArgs& a);
int RunCheck(const TVkdicArgs& a);
int RunOptimize(const TVkdicArgs& a);

}  // namespace vk
