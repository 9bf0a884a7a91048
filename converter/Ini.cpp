#include "Ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>

#include "Dictionary.h"
#include "util/NoCase.h"
#include "util/ProgramFolder.h"

namespace vk {

const char kSettingsFileName[] = "VKcv.ini";
const char* const TCvtIni::kFieldKeys[4] = {"Word", "Pron", "Japa", "Exp"};

namespace {

const char kConvertSection[] = "Convert";
const char kModeKey[] = "ConvertMode";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && IsBlank(s[a])) ++a;
  while (b > a && IsBlank(s[b - 1])) --b;
  return s.substr(a, b - a);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The name of a "[name]" line, or false for any other line.
bool SectionName(const std::string& line, std::string* name) {
  std::string t = Trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string::npos) return false;
  *name = Trim(t.substr(1, close - 1));
  return true;
}

// The key and value of a "key=value" line. Leading blanks of the value go
// (as "key = value" reads); trailing ones stay, since a path may end in one.
bool KeyValue(const std::string& line, std::string* key, std::string* value) {
  std::string t = Trim(line);
  if (t.empty() || t[0] == ';' || t[0] == '#' || t[0] == '[') return false;
  size_t eq = line.find('=');
  if (eq == std::string::npos) return false;
  *key = Trim(line.substr(0, eq));
  size_t v = eq + 1;
  while (v < line.size() && IsBlank(line[v])) ++v;
  *value = line.substr(v);
  return !key->empty();
}

// The lines [begin, end) of the first section named `section`; false when
// there is none. `begin` is the header line.
bool FindSection(const std::vector<std::string>& lines, const std::string& section, size_t* begin,
                 size_t* end) {
  std::string name;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (!SectionName(lines[i], &name) || !SameName(name, section)) continue;
    size_t j = i + 1;
    while (j < lines.size() && !SectionName(lines[j], &name)) ++j;
    *begin = i;
    *end = j;
    return true;
  }
  return false;
}

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return true;
  struct stat st;
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  size_t slash = folder.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash)))
    return false;
  return ::mkdir(folder.c_str(), 0777) == 0 || errno == EEXIST;
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

bool TIniFile::Load(std::vector<std::string>* lines) const {
  lines->clear();
  std::ifstream in(path_, std::ios::binary);
  if (!in) return false;
  std::string line;
  bool first = true;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
    first = false;
    lines->push_back(line);
  }
  return true;
}

bool TIniFile::Save(const std::vector<std::string>& lines) const {
  // The whole file goes to a new file beside it, which then takes its name:
  // a write cut short (a full disk, a crash) leaves the old settings whole.
  std::string target = path_;
  char resolved[PATH_MAX];
  if (::realpath(path_.c_str(), resolved)) target = resolved;  // write through a link
  // A file made read-only keeps its settings: the new file would replace it
  // all the same, as the folder allows.
  if (::access(target.c_str(), F_OK) == 0 && ::access(target.c_str(), W_OK) != 0) return false;
  std::string folder = FolderOf(target);
  if (!MakeFolders(folder)) return false;
  std::string temp = target + ".XXXXXX";
  int fd = ::mkstemp(&temp[0]);
  if (fd < 0) return false;
  mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat st;
  ::fchmod(fd, ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~mask));
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  bool ok = true;
  for (size_t done = 0; ok && done < text.size();) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += static_cast<size_t>(n);
  }
  ok = ::close(fd) == 0 && ok;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& def) const {
  std::vector<std::string> lines;
  size_t begin, end;
  if (!Load(&lines) || !FindSection(lines, section, &begin, &end)) return def;
  std::string k, v;
  for (size_t i = begin + 1; i < end; ++i)
    if (KeyValue(lines[i], &k, &v) && SameName(k, key)) return v;
  return def;
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
  std::string v = Trim(ReadString(section, key, ""));
  if (v.empty()) return def;
  errno = 0;
  char* end = nullptr;
  long n = std::strtol(v.c_str(), &end, 10);
  if (end == v.c_str() || errno == ERANGE || n < INT_MIN || n > INT_MAX) return def;
  return static_cast<int>(n);
}

bool TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  if (value.find_first_of("\r\n") != std::string::npos) return false;
  std::vector<std::string> lines;
  Load(&lines);
  std::string line = key + "=" + value;
  size_t begin, end;
  if (!FindSection(lines, section, &begin, &end)) {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.push_back("");
    lines.push_back("[" + section + "]");
    lines.push_back(line);
    return Save(lines);
  }
  std::string k, v;
  for (size_t i = begin + 1; i < end; ++i) {
    if (KeyValue(lines[i], &k, &v) && SameName(k, key)) {
      lines[i] = line;
      return Save(lines);
    }
  }
  // After the section's last line that is not blank, so that the blank
  // line before the next section stays where it is.
  size_t at = end;
  while (at > begin + 1 && Trim(lines[at - 1]).empty()) --at;
  lines.insert(lines.begin() + static_cast<long>(at), line);
  return Save(lines);
}

bool TIniFile::EraseSection(const std::string& section) {
  std::vector<std::string> lines;
  if (!Load(&lines)) return true;
  bool found = false;
  size_t begin, end;
  while (FindSection(lines, section, &begin, &end)) {
    lines.erase(lines.begin() + static_cast<long>(begin), lines.begin() + static_cast<long>(end));
    found = true;
  }
  return !found || Save(lines);
}

std::string SettingsFilePath(const std::string& programFolder) {
  if (!programFolder.empty() && ::access(programFolder.c_str(), W_OK) == 0)
    return JoinPath(programFolder, kSettingsFileName);
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    base = JoinPath(home && home[0] ? home : "/tmp", ".config");
  }
  return JoinPath(JoinPath(base, "vkcv"), kSettingsFileName);
}

const char* TCvtIni::RecentSection(int kind) {
  switch (kind) {
    case kDicWin32:
      return "Win32Files";
    case kDicUtf16:
      return "UTF16Files";
    case kDicUtf8:
      return "UTF8Files";
    default:
      return "";
  }
}

void TCvtIni::LoadRecent(int kind, TRecentList* list) const {
  list->Clear();
  const char* section = RecentSection(kind);
  if (!section[0]) return;
  for (int i = 0;; ++i) {
    std::string path = file_.ReadString(section, std::to_string(i), "");
    if (path.empty()) break;
    list->Add(path);
  }
}

void TCvtIni::SaveRecent(int kind, const TRecentList& list) {
  const char* section = RecentSection(kind);
  if (!section[0]) return;
  file_.EraseSection(section);
  for (int i = 0; i < list.Count(); ++i) file_.WriteString(section, std::to_string(i), list.Item(i));
}

int TCvtIni::Mode() const {
  int mode = file_.ReadInteger(kConvertSection, kModeKey, 0);
  return mode >= 0 && mode < 6 ? mode : 0;
}

void TCvtIni::SetMode(int mode) { file_.WriteString(kConvertSection, kModeKey, std::to_string(mode)); }

std::string TCvtIni::TableChoice(const char* fieldKey) const {
  return file_.ReadString(kConvertSection, fieldKey, "");
}

void TCvtIni::SetTableChoice(const char* fieldKey, const std::string& name) {
  file_.WriteString(kConvertSection, fieldKey, name);
}

void AddRecentPath(TRecentList* list, const std::string& path) {
  if (!path.empty()) list->Add(path);
}

int TableIndexOf(const std::vector<std::string>& names, const std::string& name) {
  if (names.empty()) return -1;
  for (size_t i = 0; i < names.size(); ++i)
    if (EqualNoCase(names[i], name)) return static_cast<int>(i);
  return 0;
}

}  // namespace vk
