// The converter's settings file "VKcv.ini": an INI file (sections in
// brackets, one key=value line each, UTF-8) that is read and written anew on
// every access, so that nothing is cached between two showings of the
// settings dialog.
//
//   [Convert]     ConvertMode (0-5), Word, Pron, Japa, Exp (table names)
//   [Win32Files]  0, 1, 2, ...  recent paths, key "0" the oldest
//   [UTF16Files]  the same for UTF-16 dictionaries
//   [UTF8Files]   the same for UTF-8 dictionaries
//
// Source and target lists of one kind share a section, so that a path used
// as a UTF-8 target is offered later as a UTF-8 source. Section and key
// names match without regard to ASCII case, as profile files do. A missing
// or unreadable file reads as empty; a failed write is ignored by the
// callers (the settings are a convenience, never a reason to refuse work).
#pragma once
#include <string>
#include <vector>

#include "util/RecentList.h"

namespace vk {

extern const char kSettingsFileName[];  // "VKcv.ini"

class TIniFile {
 public:
  explicit TIniFile(std::string path) : path_(std::move(path)) {}

  const std::string& path() const { return path_; }

  // The value of `key` in `section`, or `def` when either is absent.
  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  // A decimal integer; `def` when absent or when the value does not start
  // with one.
  int ReadInteger(const std::string& section, const std::string& key, int def) const;
  // Sets `key` in `section`, adding either when missing; the other lines of
  // the file stay as they were. False when the file cannot be written, or
  // when `value` holds a line end (it would break the file's lines).
  bool WriteString(const std::string& section, const std::string& key, const std::string& value);
  // Removes the section and every key in it.
  bool EraseSection(const std::string& section);

 private:
  bool Load(std::vector<std::string>* lines) const;
  bool Save(const std::vector<std::string>& lines) const;

  std::string path_;
};

// Where the settings file lives: in the program's folder when that folder
// can be written, else $XDG_CONFIG_HOME/vkcv/VKcv.ini (~/.config/vkcv/ when
// XDG_CONFIG_HOME is unset or not absolute). The folder there is made on
// the first write.
std::string SettingsFilePath(const std::string& programFolder);

// The settings of the conversion dialog in the settings file.
class TCvtIni {
 public:
  static constexpr int kRecentCapacity = 10;
  // The four field keys of section "Convert", in the dialog's order.
  static const char* const kFieldKeys[4];  // "Word", "Pron", "Japa", "Exp"

  explicit TCvtIni(std::string path) : file_(std::move(path)) {}

  const TIniFile& file() const { return file_; }

  // The recent-path section of a dictionary kind (TDicKind): "Win32Files",
  // "UTF16Files" or "UTF8Files"; empty for any other value.
  static const char* RecentSection(int kind);

  // Empties *list, then adds the values of the keys "0", "1", ... of the
  // kind's section in turn until one is absent or empty (a gap ends the
  // list), by the list's add rule.
  void LoadRecent(int kind, TRecentList* list) const;
  // Replaces the kind's section by the list, oldest first under key "0".
  void SaveRecent(int kind, const TRecentList& list);

  // The stored mode, 0-5; 0 when absent or out of range.
  int Mode() const;
  void SetMode(int mode);

  // The table name stored for a field key; empty when none.
  std::string TableChoice(const char* fieldKey) const;
  void SetTableChoice(const char* fieldKey, const std::string& name);

 private:
  TIniFile file_;
};

// A new recent list as the settings dialog keeps them: capacity 10, paths
// compared without regard to case.
inline TRecentList MakeRecentList() { return TRecentList(TCvtIni::kRecentCapacity, true); }

// Adds a path typed or chosen in the dialog. An empty text is not a path:
// stored, it would end the list when read back (a gap) and hide every older
// path behind it, so it is not added.
void AddRecentPath(TRecentList* list, const std::string& path);

// The index of the first name equal to `name` ignoring case; 0 when there is
// none (also for an empty name), -1 when `names` is empty.
int TableIndexOf(const std::vector<std::string>& names, const std::string& name);

}  // namespace vk
