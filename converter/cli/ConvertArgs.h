// The command line of vkcv, parsed into the driver's settings, and the
// choice of a conversion table by the name its file declares or by a path.
#pragma once
#include <string>
#include <vector>

#include "Driver.h"

namespace vk {

struct TConvertArgs {
  enum Command { kHelp, kConvert, kTables } command = kHelp;
  int mode = 0;  // 1-6 as the user gives it
  std::string source, target;
  bool bigEndian = false;
  bool yes = false;
  // Table choices as given (names or paths); empty: not given.
  std::string table, word, pron, japa, exp;
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

extern const char kVkcvHelp[];

}  // namespace vk
