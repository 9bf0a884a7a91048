#include "DataSet.h"

#include <unordered_map>

namespace vkbench {
namespace {

constexpr size_t kMaxWordBytes = 248;
constexpr size_t kMaxTranslation = 3000;
constexpr size_t kMaxPronunciation = 1000;
constexpr size_t kSeparator = 2;  // CR LF between merged texts

DataSource Source(const char* package, const char* name, DictdStyle style) {
  std::string base = std::string("/usr/share/dictd/") + name;
  return {package, base + ".index", base + ".dict.dz", style};
}

}  // namespace

std::vector<DataSource> DefaultSources() {
  return {Source("dict-freedict-eng-jpn", "freedict-eng-jpn", DictdStyle::kHeadwordLine),
          Source("dict-freedict-jpn-deu", "freedict-jpn-deu", DictdStyle::kIndexHeadword)};
}

size_t Utf16Length(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s) {
    if ((c & 0xC0) != 0x80) ++n;  // a character's first byte
    if (c >= 0xF0) ++n;           // beyond the BMP: a surrogate pair
  }
  return n;
}

bool BuildDataSet(const std::vector<DataSource>& sources, size_t every, std::vector<DictEntry>* entries,
                  DataSetCounts* counts, std::string* error) {
  size_t seen = 0;
  struct Merged {
    size_t japa = 0, pron = 0;
    bool any = false;
  };
  std::unordered_map<std::string, Merged> merged;
  for (const DataSource& src : sources) {
    SourceCounts sc;
    sc.package = src.package;
    std::vector<DictEntry> read;
    if (!ReadDictd(src.index, src.dict, src.style, &read, &sc.dictd, error)) return false;
    sc.entries = read.size();
    for (DictEntry& e : read) {
      if (every > 1 && seen++ % every != 0) {
        ++counts->sampledOut;
        continue;
      }
      if (e.word.size() > kMaxWordBytes) {
        ++counts->longWord;
        continue;
      }
      if (e.japa.empty()) {
        ++counts->emptyTranslation;
        continue;
      }
      size_t japa = Utf16Length(e.japa), pron = Utf16Length(e.pron);
      if (japa > kMaxTranslation || pron > kMaxPronunciation) {
        ++counts->longText;
        continue;
      }
      Merged& m = merged[e.word];
      size_t mj = m.any ? m.japa + kSeparator + japa : japa;
      size_t mp = m.pron > 0 && pron > 0 ? m.pron + kSeparator + pron : m.pron + pron;
      if (mj > kMaxTranslation || mp > kMaxPronunciation) {
        ++counts->mergeBound;
        continue;
      }
      m = {mj, mp, true};
      ++sc.kept;
      entries->push_back(std::move(e));
    }
    counts->sources.push_back(std::move(sc));
  }
  return true;
}

}  // namespace vkbench
