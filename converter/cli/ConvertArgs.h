// The command line of vkcv, parsed into the driver's settings, and the
// choice of a conversion table by the name its file declares or by a path.
#pragma once
#include <string>
#include <vector>

#include "Driver.h"

namespace vk {

struct TConvertArgs {
  enum Command { kHelp, kConvert, kTables, kVersion } command = kHelp;
  // The command whose help was asked for ("convert", "tables"), or empty.
  std::string helpFor;
  int mode = 0;  // 1-6 as the user gives it
  std::string source, target;
  bool bigEndian = false;
  bool yes = false;
  // Table choices as given (names or paths); empty: not given.
  std::string table, word, pron, japa, exp;
  // Where the engine libraries are looked for first; empty: vkcv's folder.
  std::string engines;
};

// False with *error for a command line that cannot be run.
bool ParseConvertArgs(const std::vector<std::string>& args, TConvertArgs* out,
                      std::string* error);

// The conversion tables on offer: those of `folder`, sorted by file name.
struct TTableList {
  std::vector<std::string> names;
  std::vector<std::string> paths;
};
TTableList ListTables(const std::string& folder);

// The path of the table that `spec` means: a declared name (ignoring case;
// the first table of that name), else an existing file, else a file of that
// name (or with ".tbl" or ".txt" added) in `folder`. Empty when none.
std::string ResolveTable(const std::string& spec, const TTableList& tables,
                         const std::string& folder);

// Why the file at `path` cannot serve as a conversion table, or empty when
// it can: it must be readable, map at least one code, and most of its lines
// that are not comments must be "code unit" lines. Any file loads as a
// table (every stray hexadecimal digit starts a number), so a file chosen by
// mistake would otherwise convert every text into nothing or noise.
std::string CheckConvTable(const std::string& path);

extern const char kVkcvHelp[];
extern const char kVkcvUsage[];
extern const char kVkcvTablesHelp[];

}  // namespace vk
