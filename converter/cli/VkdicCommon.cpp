#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Tablerw.h"
#include "cli/ConvertArgs.h"
#include "cli/Tsv.h"
#include "cli/Vkdic.h"
#include "util/ProgramFolder.h"
#include "util/Utf8.h"

namespace vk {

namespace {

size_t CountUtf8Chars(const std::string& s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size();) {
    NextUtf8(s, &i);
    ++n;
  }
  return n;
}

}  // namespace

void TVkdicOut::Say(const std::string& text) {
  if (meter_) meter_->Clear();
  std::fprintf(stderr, "vkdic: %s\n", text.c_str());
  std::fflush(stderr);
}

bool ProgressWanted() { return ::isatty(STDERR_FILENO) == 1; }

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool ChooseText(const TVkdicArgs& a, const std::string& engine, TDicText* text, TVkdicOut& out) {
  if (engine != "VKC620") return true;  // UTF-8 both sides
  std::string folder = TableFolder(ProgramFolder());
  std::string path;
  if (a.table.empty()) {
    path = JoinPath(folder, "cp932.tbl");
  } else {
    path = ResolveTable(a.table, ListTables(folder), folder);
    if (path.empty()) {
      out.Say("no conversion table " + a.table + " (a name a table file declares, or a path)");
      return false;
    }
  }
  std::string why;
  if (a.bytes) {
    // Without a table the bytes are Shift-JIS; a table given names another
    // code page, whose lead bytes it knows.
    if (a.table.empty()) {
      text->UseBytes();
      return true;
    }
    TConvTable table(path);
    if (!table.Load()) {
      out.Say("cannot read the conversion table " + path);
      return false;
    }
    text->UseBytes(&table);
    return true;
  }
  if (!text->UseTable(path, &why)) {
    out.Say(why + (a.table.empty() ? " (--table T chooses another, --bytes uses none)" : ""));
    return false;
  }
  return true;
}

bool ChooseEngine(TToolDic* dic, const TVkdicArgs& a, const std::string& path, bool write,
                  std::string* engine, TVkdicOut& out) {
  dic->SetShared(a.shared);
  // The system's reason first: the engines say only that they cannot open.
  int fd = ::open(path.c_str(), write ? O_RDWR : O_RDONLY);
  if (fd < 0) {
    if (errno == EACCES && write)
      out.Say("cannot open " + path + " for writing: " + std::strerror(errno));
    else
      out.Say(path + ": " + std::strerror(errno));
    return false;
  }
  ::close(fd);
  *engine = a.engine;
  if (!engine->empty()) return true;
  *engine = dic->DetectEngine(path);
  if (!engine->empty()) return true;
  // No engine took it: either none knows the file, or something keeps every
  // engine out (a lock, say), which the engine that meets it tells.
  for (const char* e : TToolDic::kEngines) {
    if (dic->Open(e, path, !write)) {
      dic->Close();
      *engine = e;
      return true;
    }
    switch (dic->errorCode()) {
      case VK_ERR_NONE:
      case VK_ERR_VERSION:
      case VK_ERR_NOT_DICTIONARY:
      case VK_ERR_UNSUPPORTED_TYPE:
        continue;  // not a dictionary of this engine
      default:
        out.Say(dic->errorText());
        return false;
    }
  }
  out.Say("no engine accepts " + path + " as a dictionary");
  return false;
}

bool OpenExisting(TToolDic* dic, const TVkdicArgs& a, const std::string& path, bool write,
                  TDicText* text, TVkdicOut& out) {
  std::string engine;
  if (!ChooseEngine(dic, a, path, write, &engine, out)) return false;
  if (!ChooseText(a, engine, text, out)) return false;
  if (!dic->Open(engine, path, !write)) {
    out.Say(dic->errorText());
    return false;
  }
  return true;
}

std::string EntryLine(const TDicText& text, const TToolEntry& e, bool* unmapped) {
  std::string line = text.Encode(e.word, unmapped);
  line += '\t';
  line += text.Encode(e.japa, unmapped);
  line += '\t';
  line += text.Encode(e.exp, unmapped);
  line += '\t';
  line += text.Encode(e.pron, unmapped);
  line += '\t';
  line += std::to_string(e.attr & 0x0F);
  return line;
}

std::string CheckLimits(const TDicText& text, const std::string& engine, int maxWordLen,
                        const TToolEntry& e) {
  // VKCU8L measures a headword in its UTF-8 bytes, the others in their units.
  size_t wordUnits = engine == "VKCU8L" ? e.word.size() : text.Units(e.word);
  const char* wordUnitName = engine == "VKCU8L" ? "bytes in UTF-8" : text.unitName();
  if (maxWordLen > 0 && wordUnits > static_cast<size_t>(maxWordLen)) {
    return "the headword has " + std::to_string(wordUnits) + " " + wordUnitName +
           "; a dictionary holds at most " + std::to_string(maxWordLen);
  }
  struct Field {
    const char* name;
    const std::string* value;
    size_t limit;
  } fields[] = {{"translation", &e.japa, kMaxTranslationUnits},
                {"example", &e.exp, kMaxExampleUnits},
                {"pronunciation", &e.pron, kMaxPronunciationUnits}};
  for (const Field& f : fields) {
    size_t units = text.Units(*f.value);
    if (units > f.limit) {
      // Characters beyond U+FFFF take two units each.
      bool pairs = text.form() == TDicText::kUtf8 && units != CountUtf8Chars(*f.value);
      return std::string("the ") + f.name + " has " + std::to_string(units) + " " +
             (pairs ? "UTF-16 units" : text.unitName()) + "; a dictionary holds at most " +
             std::to_string(f.limit);
    }
  }
  return std::string();
}

}  // namespace vk
