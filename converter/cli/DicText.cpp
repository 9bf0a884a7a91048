#include "cli/DicText.h"

#include <cstdio>

#include "util/Utf8.h"

namespace vk {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void AppendHexByte(std::string* out, uint8_t b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02X", b);
  *out += buf;
}

// The character an escape stands for, or 0 when the backslash at field[i]
// starts none; *length is what the escape takes, *raw tells a byte (\xNN).
char32_t ReadEscape(const std::string& field, size_t i, size_t* length, bool* raw) {
  *raw = false;
  *length = 2;
  if (i + 1 >= field.size()) return 0;
  switch (field[i + 1]) {
    case '\\': return '\\';
    case 't': return '\t';
    case 'n': return '\n';
    case 'r': return '\r';
    case 'x': {
      if (i + 3 >= field.size()) return 0;
      int hi = HexValue(field[i + 2]), lo = HexValue(field[i + 3]);
      if (hi < 0 || lo < 0) return 0;
      *raw = true;
      *length = 4;
      return static_cast<char32_t>(hi * 16 + lo);
    }
    default: return 0;
  }
}

const char* EscapeOf(char32_t c) {
  switch (c) {
    case '\\': return "\\\\";
    case '\t': return "\\t";
    case '\n': return "\\n";
    case '\r': return "\\r";
    default: return nullptr;
  }
}

// Among codes that map to the same character, a reader of the text expects
// the one Windows writes: the lowest, except that the NEC-selected IBM
// extensions (lead bytes 0xED and 0xEE in Shift-JIS) yield to the IBM ones.
bool Preferred(uint32_t code, uint32_t over) {
  auto rank = [](uint32_t c) { return (c >> 8) == 0xED || (c >> 8) == 0xEE ? 1 : 0; };
  if (rank(code) != rank(over)) return rank(code) < rank(over);
  return code < over;
}

}  // namespace

std::string CodePointName(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

TDicText::TDicText() = default;
TDicText::~TDicText() = default;

bool TDicText::UseTable(const std::string& path, std::string* error) {
  auto table = std::make_unique<TConvTable>(path);
  if (!table->Load()) {
    *error = "cannot read the conversion table " + path;
    return false;
  }
  if (table->mappingCount() == 0) {
    *error = path + " maps no character";
    return false;
  }
  codeOf_.reset(new uint16_t[TConvTable::kMapSize]());
  for (uint32_t c = 1; c < TConvTable::kMapSize; ++c) {
    uint16_t u = table->Map(c);
    if (u == 0 || u == table->undefUnicode()) continue;
    // A lone byte that is also a lead byte would be read with the next one.
    if (c < 256 && table->IsLeadByte(static_cast<uint8_t>(c))) continue;
    if (c >= 256 && !table->IsLeadByte(static_cast<uint8_t>(c >> 8))) continue;
    if (codeOf_[u] == 0 || Preferred(c, codeOf_[u])) codeOf_[u] = static_cast<uint16_t>(c);
  }
  for (int b = 0; b < 256; ++b) lead_[b] = table->IsLeadByte(static_cast<uint8_t>(b));
  tableName_ = table->name().empty() ? path : table->name();
  table_ = std::move(table);
  form_ = kTable;
  return true;
}

void TDicText::UseBytes(const TConvTable* table) {
  form_ = kBytes;
  for (int b = 0; b < 256; ++b)
    lead_[b] = table ? table->IsLeadByte(static_cast<uint8_t>(b))
                     : (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool TDicText::Append(char32_t c, std::string* out, std::string* why) const {
  if (c == 0) {
    *why = "holds a NUL byte";
    return false;
  }
  if (form_ != kTable) {
    AppendUtf8(out, c);
    return true;
  }
  uint16_t code = c < 0x10000 ? codeOf_[c] : 0;
  if (code == 0) {
    *why = "has " + CodePointName(c) + ", which " + tableName_ + " has no code for";
    return false;
  }
  if (code > 0xFF) out->push_back(static_cast<char>(code >> 8));
  out->push_back(static_cast<char>(code & 0xFF));
  return true;
}

bool TDicText::Decode(const std::string& field, std::string* text, std::string* why) const {
  text->clear();
  for (size_t i = 0; i < field.size();) {
    uint8_t b = static_cast<uint8_t>(field[i]);
    if (b == 0) {
      *why = "holds a NUL byte";
      return false;
    }
    if (form_ == kBytes && lead_[b] && i + 1 < field.size() &&
        IsTrailByte(static_cast<uint8_t>(field[i + 1]))) {
      text->append(field, i, 2);
      i += 2;
      continue;
    }
    if (b == '\\') {
      size_t length;
      bool raw;
      char32_t c = ReadEscape(field, i, &length, &raw);
      if (c != 0 || raw) {
        if (raw && c == 0) {
          *why = "holds a NUL byte (\\x00)";
          return false;
        }
        if (raw || form_ == kBytes) {
          text->push_back(static_cast<char>(c));
        } else if (!Append(c, text, why)) {
          return false;
        }
        i += length;
        continue;
      }
    }
    if (form_ != kTable) {
      // UTF-8 may come from \xNN escapes too, so it is checked whole below.
      text->push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    size_t at = i;
    char32_t c = NextUtf8(field, &i);
    if (c >= kStrayByte) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "is not valid UTF-8 (byte 0x%02X at offset %zu)", b, at);
      *why = buf;
      return false;
    }
    if (!Append(c, text, why)) return false;
  }
  if (form_ == kUtf8) {
    for (size_t i = 0; i < text->size();) {
      size_t at = i;
      if (NextUtf8(*text, &i) >= kStrayByte) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "is not valid UTF-8 (byte 0x%02X at offset %zu)",
                      static_cast<uint8_t>((*text)[at]), at);
        *why = buf;
        return false;
      }
    }
  }
  return true;
}

bool TDicText::FromTyped(const std::string& typed, std::string* text, std::string* why) const {
  text->clear();
  for (size_t i = 0; i < typed.size();) {
    if (form_ == kBytes) {
      text->push_back(typed[i++]);
      continue;
    }
    size_t at = i;
    char32_t c = NextUtf8(typed, &i);
    if (c >= kStrayByte) {
      char buf[64];
      std::snprintf(buf, sizeof buf, "is not valid UTF-8 (byte 0x%02X at offset %zu)",
                    static_cast<uint8_t>(typed[at]), at);
      *why = buf;
      return false;
    }
    if (!Append(c, text, why)) return false;
  }
  return true;
}

std::string TDicText::Escape(const std::string& text, bool* unmapped, bool escapeControls) const {
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  // A character, or a byte standing for itself, with its escape if it has one.
  auto put = [&](char32_t c, bool asByte) {
    const char* e = escapeControls ? EscapeOf(c) : nullptr;
    if (e)
      out += e;
    else if (asByte)
      out.push_back(static_cast<char>(c));
    else
      AppendUtf8(&out, c);
  };
  for (size_t i = 0; i < text.size();) {
    uint8_t b = static_cast<uint8_t>(text[i]);
    if (form_ == kUtf8) {
      put(b, true);
      ++i;
      continue;
    }
    bool pair = lead_[b] && i + 1 < text.size();
    if (form_ == kBytes) {
      if (pair && IsTrailByte(static_cast<uint8_t>(text[i + 1]))) {
        out.append(text, i, 2);
        i += 2;
      } else if (lead_[b]) {
        AppendHexByte(&out, b);
        ++i;
      } else {
        put(b, true);
        ++i;
      }
      continue;
    }
    size_t n = pair ? 2 : 1;
    uint32_t code = pair ? (static_cast<uint32_t>(b) << 8) | static_cast<uint8_t>(text[i + 1]) : b;
    uint16_t u = lead_[b] && !pair ? 0 : table_->Map(code);
    bool none = u == 0 || u == table_->undefUnicode() || (u >= 0xD800 && u <= 0xDFFF);
    if (none) {
      if (unmapped) *unmapped = true;
      for (size_t k = 0; k < n; ++k) AppendHexByte(&out, static_cast<uint8_t>(text[i + k]));
    } else {
      put(u, false);
    }
    i += n;
  }
  return out;
}

std::string TDicText::Encode(const std::string& text, bool* unmapped) const {
  return Escape(text, unmapped, true);
}

std::string TDicText::Readable(const std::string& text) const {
  if (form_ == kUtf8) return text;
  return Escape(text, nullptr, form_ == kBytes);
}

size_t TDicText::Units(const std::string& text) const {
  if (form_ != kUtf8) return text.size();
  size_t units = 0;
  for (size_t i = 0; i < text.size();) units += NextUtf8(text, &i) >= 0x10000 ? 2 : 1;
  return units;
}

const char* TDicText::unitName() const { return form_ == kUtf8 ? "characters" : "bytes"; }

}  // namespace vk
