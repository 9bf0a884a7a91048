#include "cli/ConvertArgs.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fstream>
#include <numeric>

#include "EngineErrors.h"

#include "Tablerw.h"
#include "util/NoCase.h"
#include "util/ProgramFolder.h"

namespace vk {

const char kVkcvUsage[] =
    "usage: vkcv convert --mode N SOURCE TARGET [--table T] [--big-endian] [--yes]\n"
    "       vkcv tables | --help | --version\n";

const char kVkcvTablesHelp[] =
    "usage: vkcv tables\n"
    "\n"
    "Lists the conversion tables beside vkcv (or, when it has none there, those\n"
    "of its installation, in share/voka/): the name each table file declares,\n"
    "a tab, and its path. Any of them can be given to --table by name.\n";

const char kVkcvHelp[] =
    "usage: vkcv convert --mode N SOURCE TARGET [--big-endian]\n"
    "                    [--table T] [--word T] [--pron T] [--japa T] [--exp T]\n"
    "                    [--engines DIR] [--yes]\n"
    "       vkcv tables\n"
    "       vkcv --help | --version\n"
    "\n"
    "Converts a whole VOKA dictionary into a new one, record by record.\n"
    "\n"
    "  --mode N       1  Win32   -> UTF-8      4  UTF-8  -> UTF-16\n"
    "                 2  UTF-8   -> Win32      5  Win32  -> UTF-16\n"
    "                 3  UTF-16  -> UTF-8      6  UTF-16 -> Win32\n"
    "                 Win32 dictionaries (Shift-JIS text) go through libVKC620.so,\n"
    "                 UTF-8 ones through libVKCU8L.so, UTF-16 ones through\n"
    "                 libVKCUL.so (little-endian) or libVKCUB.so (--big-endian).\n"
    "                 The libraries are looked for in vkcv's own folder (or in\n"
    "                 DIR, with --engines DIR) first, then in the library folder\n"
    "                 of vkcv's installation, then where the system looks for\n"
    "                 shared libraries.\n"
    "  --big-endian   UTF-16 dictionaries are big-endian (expert only); only in\n"
    "                 modes 5 and 6: there is no big-endian UTF-8 engine.\n"
    "  --word T, --pron T, --japa T, --exp T\n"
    "                 the conversion table for the headword, pronunciation,\n"
    "                 translation and example, in modes with a Win32 side: the\n"
    "                 name the table file declares (see `vkcv tables`), or a path,\n"
    "                 or a file in the tables' folder (\"cp932\" finds cp932.tbl).\n"
    "  --table T      the table for every field not chosen by its own option;\n"
    "                 without either, cp932 (Shift-JIS, Windows code page 932).\n"
    "                 A file that maps no code, or whose lines are mostly not\n"
    "                 \"code unit\" lines, is refused as not a table.\n"
    "  --yes          answer Yes to every question.\n"
    "\n"
    "Before writing, vkcv asks on the terminal whether to initialise an existing\n"
    "TARGET (default No) or to create a missing one (default Yes); what can be\n"
    "refused without asking (a bad option, a missing table or engine, a source\n"
    "that cannot be read, TARGET being SOURCE) is refused first. Problems with\n"
    "single records are reported on standard error as the dump log, one line\n"
    "each, and the conversion goes on:\n"
    "  N : <field> : UndefChar [0xXX] : [headword]   a character without a mapping\n"
    "  N : <field> : MultiByte Error [0xXX] : ...     a broken two-byte character\n"
    "  N : 見出語 : empty : headword                  the headword converts to nothing\n"
    "  N : <field> : too long : headword             the target cannot hold the\n"
    "                                                entry (結合: once merged)\n"
    "A source that cannot be read to the end, and any other write failure (disk\n"
    "full, dictionary full), stop the conversion with a message that names the\n"
    "record and the reason; the records converted before it stay in the target.\n"
    "\n"
    "A progress line (records done of the total, rate, time left) is drawn on\n"
    "standard error when it is a terminal. Ctrl-C asks whether to stop; a second\n"
    "Ctrl-C, SIGTERM or SIGHUP stop at the next record. Either way both\n"
    "dictionaries are closed cleanly and the records written so far stay. At the\n"
    "end the five counters are printed on standard output:\n"
    "  変換元単語数 (records read), 登録単語数 (registered), 未変換文字数\n"
    "  (characters without a mapping), 不正マルチバイト文字数 (broken multibyte\n"
    "  characters), 欠落単語数 (entries too long for the target).\n"
    "\n"
    "Exit status:\n"
    "  0  the conversion ran to the end (record problems are in the dump log)\n"
    "  1  refused or cancelled: a question was answered No (nothing written),\n"
    "     or the conversion was stopped (Ctrl-C, SIGTERM, SIGHUP)\n"
    "  2  failure: a bad command line, a missing or unreadable source, a missing\n"
    "     engine library, a target that cannot be made, a table that cannot be\n"
    "     read, a read error in the source or a write error\n";

namespace {

bool IsFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool ParseConvertArgs(const std::vector<std::string>& args, TConvertArgs* out,
                      std::string* error) {
  *out = TConvertArgs();
  if (args.empty()) {
    *error = "no command given";
    return false;
  }
  const std::string& cmd = args[0];
  if (cmd == "--help" || cmd == "-h" || cmd == "help") {
    if (cmd == "help" && args.size() > 1) out->helpFor = args[1];
    return true;
  }
  if (cmd == "--version" || cmd == "-V") {
    out->command = TConvertArgs::kVersion;
    return true;
  }
  if (cmd == "tables") {
    out->command = TConvertArgs::kTables;
    if (args.size() > 1 && (args[1] == "--help" || args[1] == "-h")) {
      out->command = TConvertArgs::kHelp;
      out->helpFor = "tables";
      return true;
    }
    if (args.size() > 1) {
      *error = "tables takes no arguments";
      return false;
    }
    return true;
  }
  if (cmd != "convert") {
    *error = "unknown command " + cmd;
    return false;
  }
  out->command = TConvertArgs::kConvert;
  std::vector<std::string> positional;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* dst) {
      if (i + 1 >= args.size()) {
        *error = a + " needs a value";
        return false;
      }
      *dst = args[++i];
      return true;
    };
    if (a == "--help" || a == "-h") {
      out->command = TConvertArgs::kHelp;
      out->helpFor = "convert";
      return true;
    } else if (a == "--mode") {
      std::string m;
      if (!value(&m)) return false;
      if (m.size() != 1 || m[0] < '1' || m[0] > '6') {
        *error = "--mode takes 1 to 6, not " + m;
        return false;
      }
      out->mode = m[0] - '0';
    } else if (a == "--big-endian") {
      out->bigEndian = true;
    } else if (a == "--yes" || a == "-y") {
      out->yes = true;
    } else if (a == "--table") {
      if (!value(&out->table)) return false;
    } else if (a == "--word") {
      if (!value(&out->word)) return false;
    } else if (a == "--pron") {
      if (!value(&out->pron)) return false;
    } else if (a == "--japa") {
      if (!value(&out->japa)) return false;
    } else if (a == "--exp") {
      if (!value(&out->exp)) return false;
    } else if (a == "--engines") {
      if (!value(&out->engines)) return false;
    } else if (a.size() > 1 && a[0] == '-' && a != "--") {
      *error = "unknown option " + a;
      return false;
    } else {
      positional.push_back(a);
    }
  }
  if (out->mode == 0) {
    *error = "convert needs --mode 1..6";
    return false;
  }
  if (positional.size() != 2) {
    *error = "convert needs SOURCE and TARGET";
    return false;
  }
  out->source = positional[0];
  out->target = positional[1];
  if (out->bigEndian && out->mode <= 4) {
    *error = "--big-endian works in modes 5 and 6 only: mode " + std::to_string(out->mode) +
             " has a UTF-8 side, and there is no big-endian UTF-8 engine";
    return false;
  }
  return true;
}

namespace {

bool IsHex(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

// "code unit" with optional 0x prefixes, then the end, blanks or a comment.
bool IsMappingLine(const std::string& line) {
  size_t i = 0;
  auto blanks = [&] {
    size_t from = i;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == ',')) ++i;
    return i > from;
  };
  auto number = [&] {
    if (i + 1 < line.size() && line[i] == '0' && (line[i + 1] == 'x' || line[i + 1] == 'X')) i += 2;
    size_t from = i;
    while (i < line.size() && IsHex(line[i])) ++i;
    return i > from;
  };
  blanks();
  if (!number() || !blanks() || !number()) return false;
  return i == line.size() || line[i] == ' ' || line[i] == '\t' || line[i] == '#' ||
         line[i] == ';' || line[i] == '\r';
}

}  // namespace

std::string CheckConvTable(const std::string& path) {
  TConvTable table(path);
  if (!table.Load()) return "cannot read " + path + ": " + SystemReason(errno);
  if (table.mappingCount() == 0) return path + " is not a conversion table: it maps no code";
  std::ifstream in(path, std::ios::binary);
  std::string line;
  long content = 0, mappings = 0;
  while (std::getline(in, line)) {
    size_t start = line.find_first_not_of(" \t\r\x1a");
    if (start == std::string::npos || line[start] == '#' || line[start] == ';') continue;
    ++content;
    if (IsMappingLine(line)) ++mappings;
  }
  if (mappings * 2 < content)
    return path + " is not a conversion table: only " + std::to_string(mappings) + " of its " +
           std::to_string(content) + " lines are \"code unit\" lines";
  return std::string();
}

TTableList ListTables(const std::string& folder) {
  TTableList found;
  FindConvTables(folder, &found.names, &found.paths);
  std::vector<size_t> order(found.paths.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return found.paths[a] < found.paths[b]; });
  TTableList sorted;
  for (size_t i : order) {
    sorted.names.push_back(found.names[i]);
    sorted.paths.push_back(found.paths[i]);
  }
  return sorted;
}

std::string ResolveTable(const std::string& spec, const TTableList& tables,
                         const std::string& folder) {
  if (spec.empty()) return std::string();
  for (size_t i = 0; i < tables.names.size(); ++i)
    if (EqualNoCase(tables.names[i], spec)) return tables.paths[i];
  if (IsFile(spec)) return spec;
  if (spec.find('/') == std::string::npos) {
    for (const char* ext : {"", ".tbl", ".txt"}) {
      std::string p = JoinPath(folder, spec + ext);
      if (IsFile(p)) return p;
    }
  }
  return std::string();
}

}  // namespace vk
