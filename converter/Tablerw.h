// TConvTable: one conversion table file, mapping the codes of a Win32
// (ANSI, multi-byte) code page to UTF-16 units, and back after Invert().
//
// Table file format (text in any encoding that keeps ASCII as it is; read
// as bytes through TLineReader, so lines end at LF, CR LF or a lone CR and
// the bytes 0x00 and 0x1A are ignored):
//   - Leading spaces and tabs are skipped; the line is then scanned from
//     left to right.
//   - "#" or ";" starts a directive or comment that runs to the end of the
//     line. The rest of the line is searched for "Name:", else for
//     "UndefAnsi:", else for "UndefUnicode:" (case counts, anywhere in the
//     rest). After the keyword spaces and tabs are skipped; if anything is
//     left, "Name:" takes the rest of the line as the table's name and the
//     two others read a number (Strlib.h) as the undefined ANSI or Unicode
//     substitute.
//   - A hexadecimal digit character starts a number (Strlib.h). The first
//     number is the ANSI code, the second the UTF-16 value (low 16 bits);
//     the rest of the line after the second number is ignored. A number
//     that starts with a letter consumes nothing, so that letter starts the
//     second number too: both read as 0.
//   - Every other character is skipped.
//   A line with two numbers maps the ANSI code to the UTF-16 value; an ANSI
//   code of 0x10000 or more cannot be held and the line is ignored.
//
// An ANSI code is one byte, or lead byte * 256 + trail byte. The map has
// 65536 entries and 0 means "no mapping". When the first mapping line is
// met, every entry takes the undefined Unicode substitute as it stands at
// that moment; later directives change the substitutes but not the filled
// entries. A byte is a lead byte when some mapped code of 256 or more has
// it as its high byte.
//
// Invert() turns the map around in place: every UTF-16 unit starts at the
// undefined ANSI substitute, then each code c in ascending order whose
// entry is not the undefined Unicode substitute becomes the entry of its
// UTF-16 value, so the highest code wins and the Unicode substitute never
// maps back. The lead-byte flags stay as they were.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vk {

class TConvTable {
 public:
  static constexpr uint32_t kMapSize = 65536;
  // Probing reads at most this many lines.
  static constexpr int kProbeLines = 99;

  explicit TConvTable(std::string path);
  TConvTable(const TConvTable&) = delete;
  TConvTable& operator=(const TConvTable&) = delete;

  // Reads the file named at construction; false only when it cannot be
  // opened. Every load starts from an empty map, no lead bytes, both
  // substitutes 0 and no mappings; the name is kept until a "Name:" line
  // replaces it (a table object is meant to be loaded once). A probe stops at the first mapping line or after kProbeLines
  // lines, whichever comes first, and leaves the map as it was reset (all
  // 0): what it finds is the name (and the substitutes set by then).
  bool Load(bool probe = false);
  void Invert();

  const std::string& path() const { return path_; }
  const std::string& name() const { return name_; }
  uint16_t undefAnsi() const { return undefAnsi_; }
  uint16_t undefUnicode() const { return undefUnicode_; }
  int mappingCount() const { return mappingCount_; }

  uint16_t Map(uint32_t code) const { return map_[code & 0xFFFF]; }
  bool IsLeadByte(uint8_t b) const { return leadBytes_[b] != 0; }

 private:
  void Reset();
  // Applies one line; answers true when it was a mapping line.
  bool ParseLine(const std::string& line, bool probe);

  std::string path_;
  std::string name_;
  uint16_t undefAnsi_ = 0;
  uint16_t undefUnicode_ = 0;
  std::unique_ptr<uint16_t[]> map_;
  uint8_t leadBytes_[256] = {};
  int mappingCount_ = 0;
};

// Finds the table files in `folder`: every entry whose extension is "tbl"
// or "txt" (any case) and whose probe yields a name, in the order the file
// system lists them. names and paths come back parallel, paths as
// folder + "/" + entry name.
void FindConvTables(const std::string& folder, std::vector<std::string>* names,
                    std::vector<std::string>* paths);

// The folder whose tables are on offer: the first of the data folders of
// `programFolder` (util/Places.h: beside the program, then the installed
// share/voka/) in which FindConvTables finds a table; the program's folder
// when none has one.
std::string TableFolder(const std::string& programFolder);

}  // namespace vk
