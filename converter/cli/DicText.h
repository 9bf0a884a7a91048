// TDicText: how the texts of entries travel between what a user reads and
// types (entry lines, words on the command line) and what a dictionary holds.
//
// Three forms:
//   - kUtf8: the Unicode engines. Lines are UTF-8 and TToolDic takes UTF-8
//     too, so texts pass as they are once they are known to be well-formed.
//   - kTable: a VKC620 dictionary read and written as UTF-8, each code
//     converted through a conversion table (cp932.tbl unless told). A code
//     with no mapping on the way out is written as \xNN escapes, one per
//     byte, so that importing the line stores the same bytes again; a
//     character with no code on the way in refuses the text.
//   - kBytes: a VKC620 dictionary's bytes as stored. Escapes respect lead
//     bytes: the second byte of a two-byte code is never an escape character,
//     though Shift-JIS puts 0x5C ("\") there in characters such as "ソ"
//     (0x83 0x5C).
//
// Escapes inside a field of an entry line: "\\", "\t", "\n" and "\r" stand for
// a backslash, a tab, a line feed and a carriage return, "\xNN" (two hex
// digits) for the byte NN as the dictionary stores it; a backslash before
// anything else stands for itself. A lead byte followed by a byte that cannot
// end a two-byte code is written as "\xNN", so that the byte after it is
// read on its own again.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "Tablerw.h"

namespace vk {

class TDicText {
 public:
  enum Form { kUtf8, kTable, kBytes };

  TDicText();  // kUtf8
  ~TDicText();

  // kTable through the table file at `path`; false with *error when it
  // cannot be read or maps nothing.
  bool UseTable(const std::string& path, std::string* error);
  // kBytes; lead bytes from `table` when one is given (already loaded),
  // else Shift-JIS's 0x81-0x9F and 0xE0-0xFC.
  void UseBytes(const TConvTable* table = nullptr);

  Form form() const { return form_; }
  // The table's declared name ("Shift-JIS (Windows CP932)"), or empty.
  const std::string& tableName() const { return tableName_; }

  // One field of an entry line, escapes as written, to the text the engine
  // takes. False with *why ("is not valid UTF-8 (byte 0xFF)", "holds a NUL
  // byte", "has U+20AC, which Shift-JIS (Windows CP932) has no code for").
  bool Decode(const std::string& field, std::string* text, std::string* why) const;
  // A word typed on the command line (no escapes) to the engine's text.
  bool FromTyped(const std::string& typed, std::string* text, std::string* why) const;
  // The engine's text as a field of an entry line, escaped. Sets *unmapped
  // (when given) when a code without a mapping was written as \xNN.
  std::string Encode(const std::string& text, bool* unmapped = nullptr) const;
  // The engine's text for a message: as Encode, without escaping tabs and
  // line ends.
  std::string Readable(const std::string& text) const;

  // Lengths as the engines count them: UTF-16 units of UTF-8 text, bytes of
  // stored ones.
  size_t Units(const std::string& text) const;
  // How Units are called in a message ("characters", "bytes").
  const char* unitName() const;

  bool IsLeadByte(uint8_t b) const { return lead_[b]; }

 private:
  bool Append(char32_t c, std::string* out, std::string* why) const;
  std::string Escape(const std::string& text, bool* unmapped, bool escapeControls) const;

  Form form_ = kUtf8;
  std::string tableName_;
  std::unique_ptr<TConvTable> table_;
  // kTable: the code that a UTF-16 unit is stored as, 0 for none.
  std::unique_ptr<uint16_t[]> codeOf_;
  bool lead_[256] = {};
};

// Can `b` follow a lead byte as the second byte of a two-byte code?
inline bool IsTrailByte(uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }

// "U+20AC".
std::string CodePointName(char32_t c);

}  // namespace vk
