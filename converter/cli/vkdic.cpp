// vkdic: a small dictionary tool over any of the four engine libraries; it
// makes dictionaries from tab-separated entry lines (cli/Tsv.h) and shows
// what a dictionary holds.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/ToolDic.h"
#include "cli/Tsv.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitNotFound = 1;
constexpr int kExitFailed = 2;

const char kHelp[] =
    "usage: vkdic [--engine E] create DICT\n"
    "       vkdic [--engine E] import DICT FILE.tsv\n"
    "       vkdic [--engine E] export DICT [FILE.tsv]\n"
    "       vkdic [--engine E] find DICT WORD\n"
    "       vkdic [--engine E] search DICT PATTERN [--prefix] [--translations] [--ignore-case]\n"
    "       vkdic [--engine E] info DICT\n"
    "\n"
    "  --engine E     VKCU8L (UTF-8), VKCUB (UTF-16 big-endian), VKCUL (UTF-16\n"
    "                 little-endian) or VKC620 (Win32: text kept as the bytes\n"
    "                 given, Shift-JIS in practice). A new dictionary is VKCU8L\n"
    "                 unless told; an existing one is opened with the engine that\n"
    "                 accepts it.\n"
    "\n"
    "  create         makes an empty dictionary (replacing any file there).\n"
    "  import         stores every entry of FILE.tsv (\"-\": standard input),\n"
    "                 creating DICT when absent; an existing headword is replaced.\n"
    "  export         writes every entry in dictionary order (to standard output\n"
    "                 when no file is named).\n"
    "  find           writes the entry of exactly WORD; status 1 when there is none.\n"
    "  search         writes the entries whose headword contains PATTERN (--prefix:\n"
    "                 begins with it; --translations: the translation may match\n"
    "                 too; --ignore-case); status 1 when none matches.\n"
    "  info           header facts and the number of entries.\n"
    "\n"
    "Entry lines: headword, translation, example, pronunciation, level (0-15),\n"
    "separated by tabs; inside a field \\\\, \\t, \\n and \\r stand for a backslash,\n"
    "a tab, a line feed and a carriage return. Texts are UTF-8, or for a VKC620\n"
    "dictionary the bytes as stored. Exit status: 0 done, 1 nothing found,\n"
    "2 failure.\n";

int Usage(const std::string& why) {
  std::fprintf(stderr, "vkdic: %s\n\n%s", why.c_str(), kHelp);
  return kExitFailed;
}

int Fail(const vk::TToolDic& dic) {
  std::fprintf(stderr, "vkdic: %s\n", dic.errorText().c_str());
  return kExitFailed;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

// Opens an existing dictionary with the engine asked for or the one that
// accepts it.
bool OpenExisting(vk::TToolDic* dic, std::string engine, const std::string& path, bool readOnly) {
  if (engine.empty()) {
    if (!Exists(path)) {
      std::fprintf(stderr, "vkdic: %s does not exist\n", path.c_str());
      return false;
    }
    engine = dic->DetectEngine(path);
    if (engine.empty()) {
      std::fprintf(stderr, "vkdic: no engine accepts %s as a dictionary\n", path.c_str());
      return false;
    }
  }
  if (!dic->Open(engine, path, readOnly)) {
    Fail(*dic);
    return false;
  }
  return true;
}

bool ReadLine(FILE* f, std::string* line) {
  line->clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    line->push_back(static_cast<char>(c));
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();  // CR LF files
  return any;
}

int Import(vk::TToolDic* dic, const std::string& engine, const std::string& path,
           const std::string& file) {
  FILE* in = file == "-" ? stdin : std::fopen(file.c_str(), "rb");
  if (!in) {
    std::fprintf(stderr, "vkdic: cannot read %s: %s\n", file.c_str(), std::strerror(errno));
    return kExitFailed;
  }
  bool ok = Exists(path) ? OpenExisting(dic, engine, path, false)
                         : dic->Create(engine.empty() ? "VKCU8L" : engine, path);
  if (!ok) {
    if (in != stdin) std::fclose(in);
    if (!dic->errorText().empty()) Fail(*dic);
    return kExitFailed;
  }
  dic->SetFastMode(true);
  std::string line, why;
  long number = 0, stored = 0, bad = 0;
  vk::TToolEntry e;
  while (ReadLine(in, &line)) {
    ++number;
    if (line.empty()) continue;
    if (!vk::ParseTsvLine(line, &e, &why)) {
      std::fprintf(stderr, "vkdic: %s:%ld: %s\n", file.c_str(), number, why.c_str());
      ++bad;
      continue;
    }
    if (!dic->Record(e)) {
      std::fprintf(stderr, "vkdic: %s:%ld: %s\n", file.c_str(), number, dic->errorText().c_str());
      ++bad;
      if (dic->errorCode() == 0 && dic->errorText().find("VKRecord") != std::string::npos) break;
      continue;
    }
    ++stored;
  }
  if (in != stdin) std::fclose(in);
  dic->Close();
  std::fprintf(stderr, "vkdic: %s: %ld entries stored, %ld lines refused\n", path.c_str(), stored,
               bad);
  return bad ? kExitFailed : kExitOk;
}

int Export(vk::TToolDic* dic, const std::string& file) {
  FILE* out = file.empty() ? stdout : std::fopen(file.c_str(), "wb");
  if (!out) {
    std::fprintf(stderr, "vkdic: cannot write %s: %s\n", file.c_str(), std::strerror(errno));
    return kExitFailed;
  }
  bool ok = dic->Search("", vk::kSearchAll, [&](const vk::TToolEntry& e) {
    std::string line = vk::FormatTsvLine(e);
    line += '\n';
    return std::fwrite(line.data(), 1, line.size(), out) == line.size();
  });
  bool closed = out == stdout ? std::fflush(out) == 0 : std::fclose(out) == 0;
  if (!ok) return Fail(*dic);
  if (!closed) {
    std::fprintf(stderr, "vkdic: cannot write %s\n", file.empty() ? "the output" : file.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

int Info(vk::TToolDic* dic, const std::string& path) {
  vk::TToolInfo info;
  if (!dic->Info(&info)) return Fail(*dic);
  std::printf("file\t%s\n", path.c_str());
  std::printf("engine\t%s\n", dic->engine().c_str());
  std::printf("entries\t%d\n", info.wordCount);
  std::printf("version\t%d.%02d\n", info.version / 100, info.version % 100);
  std::printf("dictionary type\t0x%02X\n", info.dicType);
  std::printf("longest headword\t%d\n", info.maxWordLen);
  std::printf("block size\t%d\n", info.blockSize);
  std::printf("units\t%d\n", info.blockCount);
  std::printf("index entries\t%d\n", info.indexCount);
  std::printf("index units\t%d\n", info.indexBlocks);
  std::printf("file size\t%lld\n", info.fileSize);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::string engine;
  bool prefix = false, translations = false, ignoreCase = false, onlyPositional = false;
  std::vector<std::string> pos;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (onlyPositional || a.empty() || a[0] != '-' || a == "-") {
      pos.push_back(a);
    } else if (a == "--") {
      onlyPositional = true;
    } else if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    } else if (a == "--engine") {
      if (i + 1 >= argc) return Usage("--engine needs a value");
      engine = argv[++i];
      if (!vk::TToolDic::IsEngineName(engine))
        return Usage("unknown engine " + engine + " (VKCU8L, VKCUB, VKCUL or VKC620)");
    } else if (a == "--bytes") {
      // Texts of a VKC620 dictionary as the bytes stored (what it does today).
    } else if (a == "--prefix") {
      prefix = true;
    } else if (a == "--translations") {
      translations = true;
    } else if (a == "--ignore-case") {
      ignoreCase = true;
    } else {
      return Usage("unknown option " + a);
    }
  }
  if (pos.empty()) return Usage("no command given");
  const std::string cmd = pos[0];
  auto want = [&](size_t lo, size_t hi) { return pos.size() >= lo + 1 && pos.size() <= hi + 1; };
  if ((prefix || translations || ignoreCase) && cmd != "search")
    return Usage("--prefix, --translations and --ignore-case belong to search");

  vk::TToolDic dic;
  if (cmd == "create") {
    if (!want(1, 1)) return Usage("create takes DICT");
    if (!dic.Create(engine.empty() ? "VKCU8L" : engine, pos[1])) return Fail(dic);
    dic.Close();
    return kExitOk;
  }
  if (cmd == "import") {
    if (!want(2, 2)) return Usage("import takes DICT FILE.tsv");
    return Import(&dic, engine, pos[1], pos[2]);
  }
  if (cmd == "export") {
    if (!want(1, 2)) return Usage("export takes DICT [FILE.tsv]");
    if (!OpenExisting(&dic, engine, pos[1], true)) return kExitFailed;
    return Export(&dic, pos.size() > 2 ? pos[2] : std::string());
  }
  if (cmd == "find") {
    if (!want(2, 2)) return Usage("find takes DICT WORD");
    if (!OpenExisting(&dic, engine, pos[1], true)) return kExitFailed;
    vk::TToolEntry e;
    if (!dic.Find(pos[2], &e)) {
      if (dic.errorCode() != 0) return Fail(dic);
      std::fprintf(stderr, "vkdic: %s: not found\n", pos[2].c_str());
      return kExitNotFound;
    }
    std::printf("%s\n", vk::FormatTsvLine(e).c_str());
    return kExitOk;
  }
  if (cmd == "search") {
    if (!want(2, 2)) return Usage("search takes DICT PATTERN");
    if (pos[2].empty()) return Usage("search needs a pattern");
    if (!OpenExisting(&dic, engine, pos[1], true)) return kExitFailed;
    int32_t flags = vk::kSearchWord | (translations ? vk::kSearchJapa : 0) |
                    (prefix ? vk::kSearchPrefix : 0) | (ignoreCase ? vk::kSearchIgnoreCase : 0);
    long found = 0;
    bool ok = dic.Search(pos[2], flags, [&](const vk::TToolEntry& e) {
      std::printf("%s\n", vk::FormatTsvLine(e).c_str());
      ++found;
      return true;
    });
    if (!ok) return Fail(dic);
    return found ? kExitOk : kExitNotFound;
  }
  if (cmd == "info") {
    if (!want(1, 1)) return Usage("info takes DICT");
    if (!OpenExisting(&dic, engine, pos[1], true)) return kExitFailed;
    return Info(&dic, pos[1]);
  }
  return Usage("unknown command " + cmd);
}
