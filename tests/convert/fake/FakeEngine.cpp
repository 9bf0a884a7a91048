// A stand-in engine library for the binding and driver tests: the twelve
// exports a conversion calls, with behaviour the tests can steer, and a log
// of every call.
//
// A dictionary is a text file of "word<TAB>japa<TAB>exp<TAB>pron<TAB>attr"
// lines in UTF-8 (the narrow build keeps the bytes). VKOpen reads it, VKClose
// writes it back when it was opened for writing. VKGetNextSearch answers 0
// twice before every entry. Every call appends "<library> <call>" to the file
// named by $VK_FAKE_ENGINE_LOG (when set).
//
// Steering by text:
//   a path containing "nocreate<N>"  VKCreate fails with code N
//   a path containing "noopen"       VKOpen for writing fails with code 17
//   a path containing "nosave"       VKSetFastMode(0) (the save) fails with code 4
//   a headword "long..."             VKQueryRecord fails with code 37
//   a headword "fail..."             VKQueryRecord fails with code 5
//   a headword "drop..."             VKQueryRecord stores nothing, counts the
//                                    entry as too long and answers success
//   a stored headword "unreadable..." VKGetNextSearch fails there with code 5
// VKGetErrorMessage gives "fake %s <N>" for codes below 90, null above.
// $VK_FAKE_DELAY_US (when set) is slept before every entry VKGetNextSearch
// hands out, so that a conversion lasts long enough to be watched and
// interrupted. VKGetWordNum tells the entry count and is not logged.
// Built as libVKCUL.so, libVKCU8L.so (UTF-16 strings) and libVKC620.so
// (narrow, FAKE_NARROW); with FAKE_LACKS_QUERY the library has no
// VKQueryRecord. The exports are defined against the declarations of
// api/VokaApi.h, so they take the records and handles the real ones take.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <unistd.h>
#include <sstream>
#include <string>
#include <vector>

#ifdef FAKE_NARROW
#define VK_NARROW_STRINGS
#endif
#include "api/VokaApi.h"

#define FAKE_EXPORT extern "C" VKAPI

typedef VKChar Ch;
typedef std::basic_string<Ch> Str;

namespace {

struct Entry {
  Str word, japa, exp, pron;
  unsigned attr;
};

}  // namespace

struct VKHandleRec {
  std::string path;
  bool open = false;
  bool writable = false;
  int error = 0;
  std::vector<Entry> entries;
  size_t cursor = 0;
  int zeros = 0;
  Entry current;
};

namespace {

void Log(const std::string& what) {
  const char* file = std::getenv("VK_FAKE_ENGINE_LOG");
  if (!file) return;
  FILE* f = std::fopen(file, "a");
  if (!f) return;
  std::fprintf(f, "%s %s\n", FAKE_NAME, what.c_str());
  std::fclose(f);
}

#ifdef FAKE_NARROW
std::string Narrow(const Str& s) { return s; }
Str Wide(const std::string& s) { return s; }
#else
// Enough UTF-8 for the tests' texts: the basic plane.
std::string Narrow(const Str& s) {
  std::string out;
  for (char16_t c : s) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}
Str Wide(const std::string& s) {
  Str out;
  for (size_t i = 0; i < s.size();) {
    unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      out += b;
      i += 1;
    } else if (b < 0xE0) {
      out += static_cast<char16_t>(((b & 0x1F) << 6) | (s[i + 1] & 0x3F));
      i += 2;
    } else {
      out += static_cast<char16_t>(((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) |
                                   (s[i + 2] & 0x3F));
      i += 3;
    }
  }
  return out;
}
#endif

Str Text(const Ch* s) { return s ? Str(s) : Str(); }

[[maybe_unused]] bool StartsWith(const Str& s, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i)
    if (i >= s.size() || s[i] != static_cast<Ch>(prefix[i])) return false;
  return true;
}

bool Load(VKHandle h) {
  std::ifstream in(h->path, std::ios::binary);
  if (!in) return false;
  h->entries.clear();
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream ss(line);
    std::string part;
    while (std::getline(ss, part, '\t')) f.push_back(part);
    f.resize(5);
    h->entries.push_back(
        {Wide(f[0]), Wide(f[1]), Wide(f[2]), Wide(f[3]), static_cast<unsigned>(std::atoi(f[4].c_str()))});
  }
  return true;
}

bool Save(VKHandle h) {
  std::ofstream out(h->path, std::ios::binary | std::ios::trunc);
  for (const Entry& e : h->entries)
    out << Narrow(e.word) << '\t' << Narrow(e.japa) << '\t' << Narrow(e.exp) << '\t'
        << Narrow(e.pron) << '\t' << e.attr << '\n';
  return out.good();
}

std::string ThePath(const Ch* name) { return Narrow(Text(name)); }

}  // namespace

FAKE_EXPORT VKHandle VKCreateHandle() {
  Log("VKCreateHandle");
  return new VKHandleRec;
}

FAKE_EXPORT void VKDeleteHandle(VKHandle h) {
  Log("VKDeleteHandle");
  delete h;
}

FAKE_EXPORT int32_t VKOpen(VKHandle h, const Ch* name, int32_t readOnly) {
  Log("VKOpen " + std::to_string(readOnly));
  h->path = ThePath(name);
  if (readOnly == 0 && h->path.find("noopen") != std::string::npos) {
    h->error = VK_ERR_SHARING;
    return 0;
  }
  if (!Load(h)) {
    h->error = VK_ERR_FILE_NOT_FOUND;
    return 0;
  }
  h->open = true;
  h->writable = readOnly == 0;
  return 1;
}

FAKE_EXPORT int32_t VKCreate(VKHandle h, const Ch* name, const int32_t* options) {
  Log("VKCreate " + std::to_string(options ? *options : -1));
  h->path = ThePath(name);
  size_t at = h->path.find("nocreate");
  if (at != std::string::npos) {
    h->error = std::atoi(h->path.c_str() + at + 8);
    return 0;
  }
  h->entries.clear();
  if (!Save(h)) {
    h->error = VK_ERR_CANNOT_OPEN;
    return 0;
  }
  h->open = true;
  h->writable = true;
  return 1;
}

FAKE_EXPORT int32_t VKClose(VKHandle h) {
  Log("VKClose");
  if (!h->open) return 0;
  if (h->writable) Save(h);
  h->open = false;
  return 1;
}

FAKE_EXPORT int32_t VKInitSearch(VKHandle h, const Ch* pattern, int32_t flags) {
  Log(std::string("VKInitSearch ") + (pattern ? "pattern" : "null") + " " + std::to_string(flags));
  h->cursor = 0;
  h->zeros = 0;
  return h->open ? 1 : 0;
}

FAKE_EXPORT int32_t VKGetNextSearch(VKHandle h, VKRecordData* rec) {
  if (h->cursor >= h->entries.size()) {
    Log("VKGetNextSearch -2");
    return -2;
  }
  if (h->zeros < 2) {
    ++h->zeros;
    Log("VKGetNextSearch 0");
    return 0;
  }
  h->zeros = 0;
  if (StartsWith(h->entries[h->cursor].word, "unreadable")) {
    h->error = VK_ERR_READ_WRITE;
    Log("VKGetNextSearch -1");
    return -1;
  }
  if (const char* delay = std::getenv("VK_FAKE_DELAY_US")) ::usleep(std::atoi(delay));
  h->current = h->entries[h->cursor++];
  rec->word = h->current.word.c_str();
  rec->japa = h->current.japa.c_str();
  rec->exp = h->current.exp.c_str();
  rec->pron = h->current.pron.c_str();
  rec->attr = static_cast<unsigned char>(h->current.attr);
  Log("VKGetNextSearch 1");
  return 1;
}

FAKE_EXPORT int32_t VKGetWordNum(VKHandle h) { return static_cast<int32_t>(h->entries.size()); }

FAKE_EXPORT int32_t VKGetPercent(VKHandle h) {
  Log("VKGetPercent");
  return h->entries.empty() ? 0 : static_cast<int32_t>(h->cursor * 100 / h->entries.size());
}

FAKE_EXPORT int32_t VKSetFastMode(VKHandle h, int32_t flag) {
  Log("VKSetFastMode " + std::to_string(flag));
  if (flag == 0 && h && h->path.find("nosave") != std::string::npos) {
    h->error = VK_ERR_DISK_FULL;
    return -1;
  }
  return flag;
}

#ifndef FAKE_LACKS_QUERY
FAKE_EXPORT int32_t VKQueryRecord(VKHandle h, const VKRecordData* rec, VKQueryParam* param) {
  Log("VKQueryRecord " + std::to_string(param->clashRule) + " " +
      std::to_string(param->mergeFlags));
  Str word = Text(rec->word);
  if (StartsWith(word, "long")) {
    h->error = VK_ERR_WORD_TOO_LONG;
    return -1;
  }
  if (StartsWith(word, "fail")) {
    h->error = VK_ERR_READ_WRITE;
    return -1;
  }
  if (StartsWith(word, "drop")) {
    ++param->tooLongCount;
    return 0;
  }
  h->entries.push_back({word, Text(rec->japa), Text(rec->exp), Text(rec->pron), rec->attr});
  return 0;
}
#endif

FAKE_EXPORT int32_t VKGetErrorCode(VKHandle h) {
  Log("VKGetErrorCode");
  return h->error;
}

FAKE_EXPORT const Ch* VKGetErrorMessage(int32_t code) {
  Log("VKGetErrorMessage " + std::to_string(code));
  static Str text;
  if (code >= 90) return nullptr;
  text = Wide("fake %s " + std::to_string(code));
  return text.c_str();
}
