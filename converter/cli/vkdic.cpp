// vkdic: a small dictionary tool over any of the four engine libraries; it
// makes dictionaries from tab-separated entry lines (cli/Tsv.h), changes
// single entries and shows what a dictionary holds. The commands are in
// cli/Vkdic*.cpp; this is the command line and the help.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Vkdic.h"

#ifndef VK_TOOLS_VERSION
#define VK_TOOLS_VERSION ""
#endif

namespace {

using vk::TVkdicArgs;

const char kOverview[] =
    "usage: vkdic [--engine E] [--table T | --bytes] [--shared] COMMAND ...\n"
    "\n"
    "Commands (vkdic COMMAND --help tells more):\n"
    "  create DICT                 make an empty dictionary\n"
    "  import DICT FILE.tsv        store the entries of a file of entry lines\n"
    "  export DICT [FILE.tsv]      write every entry as an entry line\n"
    "  find DICT WORD              the entry of a headword\n"
    "  search DICT PATTERN         the entries whose headword contains PATTERN\n"
    "  set DICT WORD --japa T ...  change one entry's texts, level or attribute\n"
    "  erase DICT WORD...          remove entries\n"
    "  rename DICT OLD NEW         give an entry another headword\n"
    "  info DICT                   what kind of dictionary it is, in words\n"
    "  stats DICT                  how its entries and blocks are kept\n"
    "  check DICT [--repair]       look for damage; --repair mends what it can\n"
    "  optimize DICT               pack its blocks in index order, free units gone\n"
    "\n"
    "  --engine E     VKCU8L (UTF-8), VKCUB (UTF-16 big-endian), VKCUL (UTF-16\n"
    "                 little-endian) or VKC620 (Win32 code page, Shift-JIS in\n"
    "                 practice). A new dictionary is VKCU8L unless told; an\n"
    "                 existing one is opened with the engine that accepts it.\n"
    "  --table T      for VKC620 dictionaries: the conversion table between its\n"
    "                 bytes and the UTF-8 text vkdic reads and writes, by the name\n"
    "                 the table file declares or by path (cp932.tbl beside the\n"
    "                 program, or in its installation's share/voka/, unless\n"
    "                 told; 'vkcv tables' lists them).\n"
    "  --bytes        for VKC620 dictionaries: read and write the texts as the\n"
    "                 bytes stored, without conversion.\n"
    "  --shared       open an existing DICT in shared mode, as a dictionary that\n"
    "                 other processes work on at the same time: vkdic works on a\n"
    "                 private copy, kept up to date from DICT's history file\n"
    "                 (DICT.HST), and each change takes DICT's lock and is\n"
    "                 written back before the next one (import, export, find,\n"
    "                 search, set, erase, rename).\n"
    "  --help, -h     this text; --version the version.\n"
    "\n"
    "Entry lines: headword, translation, example, pronunciation, level (0-15),\n"
    "separated by tabs; trailing fields may be left out. Inside a field \\\\, \\t,\n"
    "\\n and \\r stand for a backslash, a tab, a line feed and a carriage return,\n"
    "and \\xNN for the byte NN as the dictionary stores it; a backslash before\n"
    "anything else stands for itself. Texts are UTF-8. With --bytes they are\n"
    "the stored bytes, and the second byte of a two-byte Shift-JIS character\n"
    "is never an escape, though it may be 0x5C (\"\\\").\n"
    "\n"
    "Exit status: 0 done; 1 done in part (a line refused, a word not there,\n"
    "nothing found, a character without a mapping, an answer of no);\n"
    "2 failure (a usage error, a file that cannot be opened, read or written).\n";

struct TCommand {
  const char* name;
  const char* usage;  // after "vkdic "
  const char* help;
  size_t minOperands, maxOperands;
  // The options it takes besides --engine, --table and --bytes.
  std::vector<std::string> options;
  int (*run)(const TVkdicArgs&);
};

const TCommand kCommands[] = {
    {"create", "create DICT [--yes]",
     "Makes an empty dictionary DICT (of the engine --engine names, VKCU8L unless\n"
     "told). When DICT exists it asks on standard error whether to replace it and\n"
     "reads the answer from standard input; anything but y or yes, and the end of\n"
     "the input, keep the file (exit status 1).\n"
     "  --yes, -y      replace an existing file without asking.\n",
     1, 1, {"--yes"}, vk::RunCreate},
    {"import", "import DICT FILE.tsv",
     "Stores every entry line of FILE.tsv (\"-\": standard input) in DICT, making\n"
     "DICT when it does not exist; an existing headword has its texts replaced.\n"
     "A line is refused, with its number and the field named, when it cannot be\n"
     "read (a bad level, more than five fields, invalid UTF-8, a NUL byte, a\n"
     "character without a code in the table) or is larger than a dictionary\n"
     "gives back: a headword over the header's limit (248), a translation over\n"
     "3000 characters, an example over 20000, a pronunciation over 1000 (UTF-16\n"
     "units; bytes for VKC620). The rest is stored.\n"
     "The import stops at the first failure of the file itself (disk full,\n"
     "dictionary full, a read or write error) and at SIGINT, SIGTERM or SIGHUP;\n"
     "what was stored before is kept and the dictionary is closed properly.\n"
     "On a terminal a progress line shows how far it has come.\n"
     "Exit status: 0 every line stored, 1 some lines refused, 2 stopped or failed.\n",
     2, 2, {}, vk::RunImport},
    {"export", "export DICT [FILE.tsv]",
     "Writes every entry of DICT in dictionary order as an entry line, to FILE.tsv\n"
     "or standard output. The file is written beside FILE.tsv under another name\n"
     "and takes its place when complete, so a failed export leaves an older file\n"
     "as it was; FILE.tsv may not be the dictionary itself. For a VKC620\n"
     "dictionary a code without a mapping in the table is written as \\xNN\n"
     "escapes, which import reads back as the same bytes, with a warning per\n"
     "entry (exit status 1).\n",
     1, 2, {}, vk::RunExport},
    {"find", "find DICT WORD [--ignore-case] [--prefix | --substring]",
     "Writes the entry whose headword is WORD; exit status 1 when there is none.\n"
     "  --ignore-case  letters match in either case.\n"
     "  --prefix       every entry whose headword begins with WORD.\n"
     "  --substring    every entry whose headword contains WORD.\n",
     2, 2, {"--ignore-case", "--prefix", "--substring"}, vk::RunFind},
    {"search", "search DICT PATTERN [--prefix] [--translations] [--ignore-case]",
     "Writes the entries whose headword contains PATTERN; exit status 1 when none\n"
     "matches.\n"
     "  --prefix        the headword begins with PATTERN.\n"
     "  --translations  the translation may match too.\n"
     "  --ignore-case   letters match in either case.\n",
     2, 2, {"--prefix", "--translations", "--ignore-case"}, vk::RunSearch},
    {"set", "set DICT WORD [--japa T] [--exp T] [--pron T] [--level N] [--attr N]",
     "Changes the entry of WORD: its translation, example or pronunciation (texts\n"
     "as typed, no escapes; the limits of import hold), its level (0-15) or its\n"
     "attribute byte (0-255, decimal or 0x hex; bits 0-3 are the level, bit 4 is\n"
     "kept by the engine). Exit status 1 when WORD is not there.\n",
     2, 2, {"--japa", "--exp", "--pron", "--level", "--attr"}, vk::RunSet},
    {"erase", "erase DICT WORD...",
     "Removes the entries of the WORDs; exit status 1 when one is not there (the\n"
     "others are removed).\n",
     2, static_cast<size_t>(-1), {}, vk::RunErase},
    {"rename", "rename DICT OLD NEW",
     "Gives the entry of OLD the headword NEW, its texts and attribute kept.\n"
     "Refused (exit status 1) when OLD is not there or NEW is there already.\n",
     3, 3, {}, vk::RunRename},
    {"info", "info DICT",
     "Tells what DICT is: its kind (engine and text encodings), the number of\n"
     "entries, the format version, the block size, how many units of blocks the\n"
     "data and index areas take, the longest headword it allows and the file\n"
     "size.\n",
     1, 1, {}, vk::RunInfo},
    {"stats", "stats DICT",
     "Reads every entry and block of DICT and tells:\n"
     "  entries           the entries a full reading finds (and the header's\n"
     "                    count when it differs);\n"
     "  data blocks       how many blocks hold entries, and how many of them a\n"
     "                    single long entry;\n"
     "  units             the size of the data area in units of the block size,\n"
     "                    and how many units belong to no block;\n"
     "  block fill        the share of a block's bytes in use, on average over\n"
     "                    all blocks, in the fullest and in the emptiest;\n"
     "  longest headword  the longest headword stored, in characters (bytes for\n"
     "                    VKC620), and the word;\n"
     "  text              the bytes of all headwords and texts (as UTF-8, or as\n"
     "                    stored for VKC620);\n"
     "  file size         the size of the file.\n",
     1, 1, {}, vk::RunStats},
    {"check", "check DICT [--repair]",
     "Runs the engine's check of DICT: the links of its blocks (the free chain,\n"
     "units no block uses, the blocks the index names), then every entry. Each\n"
     "problem is told in words, with where it is, and the engine's own text;\n"
     "then the verdict. Without --repair the file is never changed: the check\n"
     "runs on a copy in a scratch folder beside it (else in $TMPDIR).\n"
     "  --repair       check DICT itself and mend what the engine can: remove\n"
     "                 index entries that name units beyond the data area, and\n"
     "                 write the counted number of entries into the header when\n"
     "                 nothing else is wrong; after a removal it checks again.\n"
     "Other damage is only reported. On a terminal a progress line shows how\n"
     "far it has come; SIGINT, SIGTERM and SIGHUP stop it.\n"
     "Exit status: 0 no problem (left, with --repair), 1 problems found,\n"
     "2 the check could not run (a file that cannot be opened or read).\n",
     1, 1, {"--repair"}, vk::RunCheck},
    {"optimize", "optimize DICT",
     "Rewrites DICT in place so that its data blocks stand in index order one\n"
     "after another, with no free unit between them, and the file ends after\n"
     "the last block. The whole run is one change of the file: when it fails or\n"
     "the process is killed, DICT stays as it was before. SIGINT, SIGTERM or\n"
     "SIGHUP stop it at the next block; what was moved keeps its place and every\n"
     "entry is kept. On a terminal a progress line shows how far it has come.\n"
     "Exit status: 0 done, 1 stopped (or a problem the engine reported, with\n"
     "the file as before), 2 the file cannot be opened, read or written.\n",
     1, 1, {}, vk::RunOptimize},
};

const TCommand* FindCommand(const std::string& name) {
  for (const TCommand& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

int Usage(const TCommand* c, const std::string& why) {
  std::fprintf(stderr, "vkdic: %s\n", why.c_str());
  if (c) {
    std::fprintf(stderr, "usage: vkdic %s\ntry 'vkdic %s --help'\n", c->usage, c->name);
  } else {
    std::fprintf(stderr, "usage: vkdic [--engine E] [--table T | --bytes] COMMAND ...\n"
                         "try 'vkdic --help'\n");
  }
  return vk::kExitFailed;
}

bool TakesOption(const TCommand* c, const std::string& option) {
  if (!c) return false;
  for (const std::string& o : c->options)
    if (o == option) return true;
  return false;
}

// A number 0-max, decimal or 0x hexadecimal; -1 when it is none.
int SmallNumber(const std::string& s, int max) {
  if (s.empty() || s.size() > 6) return -1;
  char* end = nullptr;
  bool hex = s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X');
  long v = std::strtol(s.c_str(), &end, hex ? 16 : 10);
  if (*end != '\0' || s[0] == '-' || s[0] == '+' || v < 0 || v > max) return -1;
  return static_cast<int>(v);
}

}  // namespace

int main(int argc, char** argv) {
  // A write past the file size limit then fails with EFBIG and is reported,
  // instead of ending the program halfway through.
  std::signal(SIGXFSZ, SIG_IGN);

  std::vector<std::string> args(argv + 1, argv + argc);
  TVkdicArgs a;
  std::vector<std::string> positional;
  bool help = false, onlyPositional = false;
  // The command, once known, decides which options are allowed; it is the
  // first word that is not an option or its value.
  const TCommand* command = nullptr;
  std::vector<std::string> options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& s = args[i];
    if (onlyPositional || s.empty() || s[0] != '-' || s == "-") {
      positional.push_back(s);
      if (!command && positional.size() == 1) command = FindCommand(s);
      continue;
    }
    if (s == "--") {
      onlyPositional = true;
      continue;
    }
    if (s == "--help" || s == "-h") {
      help = true;
      continue;
    }
    if (s == "--version") {
      std::printf("vkdic %s\n", *VK_TOOLS_VERSION ? VK_TOOLS_VERSION : "(no release version)");
      return vk::kExitOk;
    }
    bool needsValue = s == "--engine" || s == "--table" || s == "--japa" || s == "--exp" ||
                      s == "--pron" || s == "--level" || s == "--attr";
    std::string value;
    if (needsValue) {
      if (i + 1 >= args.size()) return Usage(command, s + " needs a value");
      value = args[++i];
    }
    options.push_back(s);
    if (s == "--engine") {
      if (!vk::TToolDic::IsEngineName(value))
        return Usage(command, "unknown engine " + value + " (VKCU8L, VKCUB, VKCUL or VKC620)");
      a.engine = value;
    } else if (s == "--table") {
      a.table = value;
    } else if (s == "--bytes") {
      a.bytes = true;
    } else if (s == "--shared") {
      a.shared = true;
    } else if (s == "--yes" || s == "-y") {
      a.yes = true;
      options.back() = "--yes";
    } else if (s == "--repair") {
      a.repair = true;
    } else if (s == "--prefix") {
      a.prefix = true;
    } else if (s == "--substring") {
      a.substring = true;
    } else if (s == "--ignore-case") {
      a.ignoreCase = true;
    } else if (s == "--translations") {
      a.translations = true;
    } else if (s == "--japa") {
      a.hasJapa = true, a.japa = value;
    } else if (s == "--exp") {
      a.hasExp = true, a.exp = value;
    } else if (s == "--pron") {
      a.hasPron = true, a.pron = value;
    } else if (s == "--level") {
      a.hasLevel = true;
      a.level = SmallNumber(value, 15);
      if (a.level < 0) return Usage(command, "--level takes a number from 0 to 15, not " + value);
    } else if (s == "--attr") {
      a.hasAttr = true;
      a.attr = SmallNumber(value, 255);
      if (a.attr < 0) return Usage(command, "--attr takes a number from 0 to 255, not " + value);
    } else {
      return Usage(command, "unknown option " + s);
    }
  }
  if (positional.empty()) {
    if (help) {
      std::fputs(kOverview, stdout);
      return vk::kExitOk;
    }
    return Usage(nullptr, "no command given");
  }
  if (positional[0] == "help") {
    const TCommand* about = positional.size() > 1 ? FindCommand(positional[1]) : nullptr;
    if (positional.size() > 1 && !about) return Usage(nullptr, "unknown command " + positional[1]);
    if (about)
      std::printf("usage: vkdic %s\n\n%s", about->usage, about->help);
    else
      std::fputs(kOverview, stdout);
    return vk::kExitOk;
  }
  if (!command) return Usage(nullptr, "unknown command " + positional[0]);
  if (help) {
    std::printf("usage: vkdic %s\n\n%s", command->usage, command->help);
    return vk::kExitOk;
  }
  for (const std::string& o : options) {
    if (o == "--engine" || o == "--table" || o == "--bytes") continue;
    if (o == "--shared") {
      static const char* const kShareable[] = {"import", "export", "find", "search", "set", "erase", "rename"};
      bool shareable = false;
      for (const char* c : kShareable) shareable = shareable || std::string(c) == command->name;
      if (!shareable) return Usage(command, "--shared does not belong to " + std::string(command->name));
      continue;
    }
    if (!TakesOption(command, o))
      return Usage(command, o + " does not belong to " + std::string(command->name));
  }
  a.command = command->name;
  a.operands.assign(positional.begin() + 1, positional.end());
  if (a.operands.size() < command->minOperands || a.operands.size() > command->maxOperands)
    return Usage(command, std::string(command->name) + ": wrong number of operands");
  if (a.prefix && a.substring) return Usage(command, "--prefix and --substring exclude each other");
  if (a.command == "search" && a.operands[1].empty()) return Usage(command, "an empty pattern");
  if (a.command == "set" && !a.hasJapa && !a.hasExp && !a.hasPron && !a.hasLevel && !a.hasAttr)
    return Usage(command, "set needs something to change");
  return command->run(a);
}
