// vkcv: the dictionary converter without windows. See kVkcvHelp
// (ConvertArgs.cpp) for the command line and the exit status.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Driver.h"
#include "cli/ConvertArgs.h"
#include "cli/Terminal.h"
#include "util/ProgramFolder.h"

namespace {

constexpr int kExitDone = 0;
constexpr int kExitRefused = 1;
constexpr int kExitFailed = 2;

int ListTablesCommand(const vk::TTableList& tables) {
  if (tables.names.empty()) {
    std::fprintf(stderr, "vkcv: no conversion table in %s\n", vk::ProgramFolder().c_str());
    return kExitFailed;
  }
  for (size_t i = 0; i < tables.names.size(); ++i)
    std::printf("%s\t%s\n", tables.names[i].c_str(), tables.paths[i].c_str());
  return kExitDone;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  vk::TConvertArgs a;
  std::string error;
  if (!vk::ParseConvertArgs(args, &a, &error)) {
    std::fprintf(stderr, "vkcv: %s\n\n%s", error.c_str(), vk::kVkcvHelp);
    return kExitFailed;
  }
  if (a.command == vk::TConvertArgs::kHelp) {
    std::fputs(vk::kVkcvHelp, stdout);
    return kExitDone;
  }
  const std::string folder = vk::ProgramFolder();
  vk::TTableList tables = vk::ListTables(folder);
  if (a.command == vk::TConvertArgs::kTables) return ListTablesCommand(tables);

  vk::TConvertSettings s;
  s.mode = a.mode - 1;
  s.source = a.source;
  s.target = a.target;
  s.bigEndian = a.bigEndian;
  vk::TModeSides sides = vk::ModeSides(s.mode);
  if (sides.source == vk::kDicWin32 || sides.target == vk::kDicWin32) {
    // A field without a choice takes --table, else the first table listed;
    // with no table at all its path stays empty and the driver reports it.
    std::string fallback = a.table.empty() && !tables.paths.empty() ? tables.paths[0] : "";
    struct Field {
      const std::string& spec;
      std::string* path;
    } fields[] = {{a.word, &s.wordTable}, {a.pron, &s.pronTable}, {a.japa, &s.japaTable},
                  {a.exp, &s.expTable}};
    for (Field& f : fields) {
      const std::string& spec = !f.spec.empty() ? f.spec : a.table;
      if (spec.empty()) {
        *f.path = fallback;
        continue;
      }
      *f.path = vk::ResolveTable(spec, tables, folder);
      if (f.path->empty()) {
        std::fprintf(stderr, "vkcv: no conversion table named or at \"%s\" (see vkcv tables)\n",
                     spec.c_str());
        return kExitFailed;
      }
    }
  }

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
