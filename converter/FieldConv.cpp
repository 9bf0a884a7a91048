#include "FieldConv.h"

#include <cstdio>

#include "util/Utf8.h"

namespace vk {

const char kFieldWord[] = "見出語";
const char kFieldPron[] = "発音記号";
const char kFieldJapa[] = "訳語";
const char kFieldExp[] = "用例";

namespace {

// Formats one report line and cuts it to fit a buffer of `size` bytes.
void AddLine(TFieldConvState& state, size_t size, int record, const char* field, const char* what,
             unsigned code, const std::string& word) {
  if (!state.log) return;
  char head[128];
  std::snprintf(head, sizeof(head), "%d : %s : %s [0x%02X] : [", record, field, what, code);
  std::string line = head;
  line += word;
  line += "]";
  CutUtf8(&line, size - 1);
  state.log->AddLine(line);
}

void AppendHexByte(std::string* out, unsigned b) {
  char hex[8];
  std::snprintf(hex, sizeof(hex), "\\x%02X", b & 0xFF);
  *out += hex;
}

}  // namespace

std::string AnsiForLog(const TConvTable& table, const char* text) {
  std::string out;
  if (!text) return out;
  std::u16string units;  // decoded run, flushed so that surrogate pairs join
  auto flush = [&]() {
    units.push_back(0);
    out += ToUtf8Text(units.c_str());
    units.clear();
  };
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p) {
    unsigned b = *p++;
    unsigned code = b;
    bool twoBytes = false;
    if (table.IsLeadByte(static_cast<uint8_t>(b))) {
      if (*p == 0) {
        flush();
        AppendHexByte(&out, b);
        break;
      }
      code = b * 256 + *p++;
      twoBytes = true;
    }
    uint16_t u = table.Map(code);
    if (u != 0) {
      units.push_back(u);
      continue;
    }
    flush();
    if (twoBytes) AppendHexByte(&out, code >> 8);
    AppendHexByte(&out, code);
  }
  flush();
  return out;
}

void ConvertFieldToUnicode(TFieldConvState& state, const TConvTable& table, const char* src,
                           std::u16string* dst, const char* srcWord, const char* fieldName) {
  std::u16string out;
  if (!src) src = "";
  size_t n = std::char_traits<char>::length(src);
  out.reserve(2 * n + 1);
  const TConvTable& wordTable = state.wordTable ? *state.wordTable : table;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(src);
  while (*p) {
    unsigned b = *p++;
    unsigned code = b;
    if (table.IsLeadByte(static_cast<uint8_t>(b))) {
      if (*p == 0) {
        AddLine(state, kAnsiLogLineSize, state.recordNumber, fieldName, "MultiByte Error", b,
                AnsiForLog(wordTable, srcWord));
        ++state.multiByteErrorCount;
        break;
      }
      code = b * 256 + *p++;
    }
    uint16_t u = table.Map(code);
    if (u != 0) {
      out.push_back(u);
    } else {
      AddLine(state, kAnsiLogLineSize, state.recordNumber, fieldName, "UndefChar", code,
              AnsiForLog(wordTable, srcWord));
      ++state.undefCount;
    }
  }
  *dst = std::move(out);
}

void ConvertFieldToAnsi(TFieldConvState& state, const TConvTable& inverted, const char16_t* src,
                        std::string* dst, const char16_t* srcWord, const char* fieldName) {
  std::string out;
  if (!src) src = u"";
  size_t n = std::char_traits<char16_t>::length(src);
  out.reserve(2 * n + 1);
  for (const char16_t* p = src; *p; ++p) {
    uint16_t a = inverted.Map(*p);
    if (a > 255) {
      out.push_back(static_cast<char>(a >> 8));
      out.push_back(static_cast<char>(a & 0xFF));
    } else if (a != 0) {
      out.push_back(static_cast<char>(a));
    } else {
      std::string word = ToUtf8Text(srcWord);
      CutUtf8(&word, kUnicodeLogWordSize - 1);
      AddLine(state, kUnicodeLogLineSize, state.recordNumber, fieldName, "UndefChar", *p, word);
      ++state.undefCount;
    }
  }
  *dst = std::move(out);
}

}  // namespace vk
