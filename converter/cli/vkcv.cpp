// vkcv: the dictionary converter without windows. See kVkcvHelp
// (ConvertArgs.cpp) for the command line and the exit status.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Dictionary.h"
#include "Dlldic.h"
#include "Driver.h"
#include "Tablerw.h"
#include "api/EngineLibrary.h"
#include "cli/ConvertArgs.h"
#include "cli/Terminal.h"
#include "cli/ToolDic.h"
#include "util/ProgramFolder.h"

#ifndef VK_TOOLS_VERSION
#define VK_TOOLS_VERSION "unknown"
#endif

namespace {

constexpr int kExitDone = 0;
constexpr int kExitRefused = 1;
constexpr int kExitFailed = 2;

int Fail(const std::string& why) {
  std::fprintf(stderr, "vkcv: %s\n", why.c_str());
  return kExitFailed;
}

int ListTablesCommand(const vk::TTableList& tables, const std::string& folder) {
  if (tables.names.empty())
    return Fail("no conversion table in " + folder);
  for (size_t i = 0; i < tables.names.size(); ++i)
    std::printf("%s\t%s\n", tables.names[i].c_str(), tables.paths[i].c_str());
  return kExitDone;
}

const char* KindOfEngine(const std::string& engine) {
  if (engine == "VKC620") return "Win32 (Shift-JIS)";
  if (engine == "VKCU8L") return "UTF-8";
  if (engine == "VKCUL") return "UTF-16";
  if (engine == "VKCUB") return "UTF-16 big-endian";
  return nullptr;
}

const char* KindOfSide(int kind, bool bigEndian) {
  if (kind == vk::kDicWin32) return "Win32 (Shift-JIS)";
  if (kind == vk::kDicUtf8) return "UTF-8";
  return bigEndian ? "UTF-16 big-endian" : "UTF-16";
}

// A source of another kind than the mode reads, named with the mode that
// would read it, instead of the engine's bare "not supported".
bool SourceKindFits(const vk::TConvertArgs& a, int sourceKind, const std::string& folder) {
  vk::TToolDic probe(folder);
  const char* found = KindOfEngine(probe.DetectEngine(a.source));
  const char* wanted = KindOfSide(sourceKind, a.bigEndian);
  if (!found || std::strcmp(found, wanted) == 0) return true;
  Fail(a.source + " is a " + found + " dictionary, but mode " + std::to_string(a.mode) +
       " reads a " + wanted + " one (see vkcv --help for the modes)");
  return false;
}

// Refusals that can be known before any question: the table choices, the
// engine library of each side, a source of another kind than the mode's.
bool Preflight(const vk::TConvertArgs& a, const vk::TTableList& tables, const std::string& folder,
               vk::TConvertSettings* s) {
  vk::TModeSides sides = vk::ModeSides(s->mode);
  for (int kind : {sides.source, sides.target}) {
    const char* dll = vk::EngineLibraryFor(kind, a.bigEndian ? 1 : 0);
    vk::EngineLibrary module;
    if (dll && !module.Load(dll, vk::EngineFolder(s->engineFolder, dll), vk::kEngineExports)) {
      Fail("the engine library " + vk::EngineLibrary::SharedObjectName(dll) +
           " cannot be loaded: " + module.loadError());
      return false;
    }
  }
  if (!SourceKindFits(a, sides.source, s->engineFolder)) return false;
  if (sides.source != vk::kDicWin32 && sides.target != vk::kDicWin32) return true;
  struct Field {
    const char* option;
    const std::string& spec;
    std::string* path;
  } fields[] = {{"--word", a.word, &s->wordTable},
                {"--pron", a.pron, &s->pronTable},
                {"--japa", a.japa, &s->japaTable},
                {"--exp", a.exp, &s->expTable}};
  for (Field& f : fields) {
    // A field without a choice takes --table, else the Shift-JIS table.
    const std::string& spec = !f.spec.empty() ? f.spec : !a.table.empty() ? a.table : "cp932";
    *f.path = vk::ResolveTable(spec, tables, folder);
    if (f.path->empty()) {
      Fail("no conversion table named or at \"" + spec + "\" (see vkcv tables)");
      return false;
    }
    std::string why = vk::CheckConvTable(*f.path);
    if (!why.empty()) {
      Fail(why);
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // A file that reaches the size limit must fail the write, to be reported
  // and the dictionaries closed, not end the program.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  vk::TConvertArgs a;
  std::string error;
  if (!vk::ParseConvertArgs(args, &a, &error)) {
    std::fprintf(stderr, "vkcv: %s\n%sTry 'vkcv --help' for more.\n", error.c_str(),
                 vk::kVkcvUsage);
    return kExitFailed;
  }
  if (a.command == vk::TConvertArgs::kHelp) {
    std::fputs(a.helpFor == "tables" ? vk::kVkcvTablesHelp : vk::kVkcvHelp, stdout);
    return kExitDone;
  }
  if (a.command == vk::TConvertArgs::kVersion) {
    std::printf("vkcv %s\n", VK_TOOLS_VERSION);
    return kExitDone;
  }
  const std::string folder = vk::TableFolder(vk::ProgramFolder());
  vk::TTableList tables = vk::ListTables(folder);
  if (a.command == vk::TConvertArgs::kTables) return ListTablesCommand(tables, folder);

  vk::TConvertSettings s;
  s.mode = a.mode - 1;
  s.source = a.source;
  s.target = a.target;
  s.bigEndian = a.bigEndian;
  s.engineFolder = a.engines;
  if (!Preflight(a, tables, folder, &s)) return kExitFailed;

  vk::TTerminalUser user(stdin, stdout, stderr, a.yes, ::isatty(STDERR_FILENO) != 0);
  vk::TConvertDriver driver(&user);
  vk::TConvertResult r = driver.Convert(s);
  switch (r.outcome) {
    case vk::TConvertOutcome::kDone:
      return kExitDone;
    case vk::TConvertOutcome::kRefused:
    case vk::TConvertOutcome::kCancelled:
      return kExitRefused;
    case vk::TConvertOutcome::kFailed:
      break;
  }
  return kExitFailed;
}
