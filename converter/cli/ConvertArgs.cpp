#include "cli/ConvertArgs.h"

#include <sys/stat.h>

#include <algorithm>
#include <numeric>

#include "Tablerw.h"
#include "util/NoCase.h"
#include "util/ProgramFolder.h"

namespace vk {

const char kVkcvHelp[] =
    "usage: vkcv convert --mode N SOURCE TARGET [--big-endian]\n"
    "                    [--table T] [--word T] [--pron T] [--japa T] [--exp T] [--yes]\n"
    "       vkcv tables\n"
    "       vkcv --help\n"
    "\n"
    "Converts a whole VOKA dictionary into a new one, record by record.\n"
    "\n"
    "  --mode N       1  Win32   -> UTF-8      4  UTF-8  -> UTF-16\n"
    "                 2  UTF-8   -> Win32      5  Win32  -> UTF-16\n"
    "                 3  UTF-16  -> UTF-8      6  UTF-16 -> Win32\n"
    "                 Win32 dictionaries (Shift-JIS text) go through libVKC620.so,\n"
    "                 UTF-8 ones through libVKCU8L.so, UTF-16 ones through\n"
    "                 libVKCUL.so (little-endian) or libVKCUB.so (--big-endian).\n"
    "                 The libraries are looked for in vkcv's own folder first.\n"
    "  --big-endian   UTF-16 dictionaries are big-endian (expert only); there is\n"
    "                 no big-endian UTF-8 engine.\n"
    "  --word T, --pron T, --japa T, --exp T\n"
    "                 the conversion table for the headword, pronunciation,\n"
    "                 translation and example, in modes with a Win32 side: the\n"
    "                 name the table file declares (see `vkcv tables`), or a path,\n"
    "                 or a file in vkcv's folder (\"cp932\" finds cp932.tbl).\n"
    "  --table T      the table for every field not chosen by its own option;\n"
    "                 without either, the first table `vkcv tables` lists.\n"
    "  --yes          answer Yes to every question.\n"
    "\n"
    "Before writing, vkcv asks on the terminal whether to initialise an existing\n"
    "TARGET (default No) or to create a missing one (default Yes). Problems with\n"
    "single records (characters without a mapping, broken multibyte characters,\n"
    "headwords too long for the target) are reported on standard error as the\n"
    "dump log, one line each, and the conversion goes on. A progress bar is drawn\n"
    "on standard error when it is a terminal; Ctrl-C asks whether to stop (the\n"
    "records written so far stay). At the end the five counters are printed on\n"
    "standard output:\n"
    "  変換元単語数 (records read), 登録単語数 (registered), 未変換文字数\n"
    "  (characters without a mapping), 不正マルチバイト文字数 (broken multibyte\n"
    "  characters), 欠落単語数 (headwords too long).\n"
    "\n"
    "Exit status:\n"
    "  0  the conversion ran to the end (record problems are in the dump log)\n"
    "  1  refused or cancelled: a question was answered No (nothing written),\n"
    "     or the conversion was stopped with Ctrl-C\n"
    "  2  failure: a bad command line, a missing or unreadable source, a missing\n"
    "     engine library, a target that cannot be made, a table that cannot be\n"
    "     read, or a write error\n";

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
  if (cmd == "--help" || cmd == "-h" || cmd == "help") return true;
  if (cmd == "tables") {
    out->command = TConvertArgs::kTables;
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
  return true;
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
