#include "cli/Tsv.h"

#include <vector>

namespace vk {

std::string TsvEscape(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (char c : field) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string TsvUnescape(const std::string& field) {
  std::string out;
  out.reserve(field.size());
  for (size_t i = 0; i < field.size(); ++i) {
    char c = field[i];
    if (c != '\\' || i + 1 == field.size()) {
      out += c;
      continue;
    }
    char n = field[i + 1];
    switch (n) {
      case '\\': out += '\\'; ++i; break;
      case 't': out += '\t'; ++i; break;
      case 'n': out += '\n'; ++i; break;
      case 'r': out += '\r'; ++i; break;
      default: out += c;  // a lone backslash stays
    }
  }
  return out;
}

std::string FormatTsvLine(const TToolEntry& e) {
  std::string line = TsvEscape(e.word);
  line += '\t';
  line += TsvEscape(e.japa);
  line += '\t';
  line += TsvEscape(e.exp);
  line += '\t';
  line += TsvEscape(e.pron);
  line += '\t';
  line += std::to_string(e.attr & 0x0F);
  return line;
}

bool SplitTsvLine(const std::string& line, std::string texts[4], int* level,
                  std::string* error) {
  std::vector<std::string> f;
  size_t start = 0;
  for (;;) {
    size_t tab = line.find('\t', start);
    f.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) break;
    start = tab + 1;
  }
  if (f.size() > 5) {
    *error = "more than five fields";
    return false;
  }
  f.resize(5);
  for (int i = 0; i < 4; ++i) texts[i] = f[static_cast<size_t>(i)];
  *level = 0;
  if (!f[4].empty()) {
    // One or two decimal digits, 0 to 15.
    bool digits = f[4].size() <= 2;
    for (char c : f[4]) digits = digits && c >= '0' && c <= '9';
    *level = digits ? std::stoi(f[4]) : 99;
    if (*level > 15) {
      *error = "level is not a number from 0 to 15: " + f[4];
      return false;
    }
  }
  return true;
}

bool ParseTsvLine(const std::string& line, TToolEntry* e, std::string* error) {
  std::string texts[4];
  int level = 0;
  if (!SplitTsvLine(line, texts, &level, error)) return false;
  *e = TToolEntry();
  e->word = TsvUnescape(texts[0]);
  e->japa = TsvUnescape(texts[1]);
  e->exp = TsvUnescape(texts[2]);
  e->pron = TsvUnescape(texts[3]);
  if (e->word.empty()) {
    *error = "empty headword";
    return false;
  }
  e->attr = static_cast<uint8_t>(0x80 | level);
  return true;
}

}  // namespace vk
