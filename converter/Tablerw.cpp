#include "Tablerw.h"

#include <dirent.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "Strlib.h"
#include "util/File.h"
#include "util/LineReader.h"
#include "util/NoCase.h"
#include "util/Places.h"
#include "util/ProgramFolder.h"

namespace vk {

TConvTable::TConvTable(std::string path)
    : path_(std::move(path)), map_(new uint16_t[kMapSize]()) {}

void TConvTable::Reset() {
  std::fill(map_.get(), map_.get() + kMapSize, uint16_t{0});
  std::memset(leadBytes_, 0, sizeof(leadBytes_));
  undefAnsi_ = 0;
  undefUnicode_ = 0;
  mappingCount_ = 0;
}

bool TConvTable::ParseLine(const std::string& line, bool probe) {
  const char* p = SkipSpaces(line.c_str());
  uint32_t values[2] = {0, 0};
  bool ansiTooWide = false;
  int count = 0;
  while (*p && count < 2) {
    if (*p == '#' || *p == ';') {
      const char* rest = p + 1;
      const char* key;
      if ((key = std::strstr(rest, "Name:")) != nullptr) {
        const char* v = SkipSpaces(key + 5);
        if (*v) name_ = v;
      } else if ((key = std::strstr(rest, "UndefAnsi:")) != nullptr) {
        const char* v = SkipSpaces(key + 10);
        if (*v) undefAnsi_ = static_cast<uint16_t>(ReadNumber(v, 0, nullptr));
      } else if ((key = std::strstr(rest, "UndefUnicode:")) != nullptr) {
        const char* v = SkipSpaces(key + 13);
        if (*v) undefUnicode_ = static_cast<uint16_t>(ReadNumber(v, 0, nullptr));
      }
      break;
    }
    if (IsHexDigitChar(*p)) {
      bool wide = false;
      values[count] = ReadNumber(p, 0, &p, &wide);
      if (count == 0) ansiTooWide = wide || values[0] >= kMapSize;
      ++count;
      continue;  // a number that consumed nothing leaves p where the next one starts
    }
    ++p;
  }
  if (count < 2 || ansiTooWide) return false;
  if (probe) return true;
  if (mappingCount_ == 0) {
    std::fill(map_.get(), map_.get() + kMapSize, undefUnicode_);
    std::memset(leadBytes_, 0, sizeof(leadBytes_));
  }
  uint32_t code = values[0];
  map_[code] = static_cast<uint16_t>(values[1]);
  if (code >= 256) leadBytes_[code >> 8] = 1;
  ++mappingCount_;
  return true;
}

bool TConvTable::Load(bool probe) {
  TFile file;
  if (!file.Open(path_, TFile::kRead)) return false;
  Reset();
  TLineReader reader(&file);
  std::string line;
  int lines = 0;
  while (!(probe && lines >= kProbeLines) && reader.ReadLine(&line)) {
    ++lines;
    if (ParseLine(line, probe) && probe) break;
  }
  return true;
}

void TConvTable::Invert() {
  std::unique_ptr<uint16_t[]> inverse(new uint16_t[kMapSize]);
  std::fill(inverse.get(), inverse.get() + kMapSize, undefAnsi_);
  for (uint32_t c = 0; c < kMapSize; ++c) {
    uint16_t u = map_[c];
    if (u != undefUnicode_) inverse[u] = static_cast<uint16_t>(c);
  }
  map_ = std::move(inverse);
}

void FindConvTables(const std::string& folder, std::vector<std::string>* names,
                    std::vector<std::string>* paths) {
  names->clear();
  paths->clear();
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (struct dirent* entry = ::readdir(dir)) {
    const char* ext = FindExtension(entry->d_name);
    if (!ext || !(EqualNoCase(ext, "tbl") || EqualNoCase(ext, "txt"))) continue;
    std::string path = JoinPath(folder, entry->d_name);
    TConvTable table(path);
    if (!table.Load(true) || table.name().empty()) continue;
    names->push_back(table.name());
    paths->push_back(std::move(path));
  }
  ::closedir(dir);
}

std::string TableFolder(const std::string& programFolder) {
  std::vector<std::string> names, paths;
  for (const std::string& folder : DataFolders(programFolder)) {
    FindConvTables(folder, &names, &paths);
    if (!names.empty()) return folder;
  }
  return programFolder;
}

}  // namespace vk
