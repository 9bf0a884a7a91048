#include "DictdReader.h"

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unordered_set>

namespace vkbench {
namespace {

bool EndsWith(const std::string& s, const char* tail) {
  std::string t(tail);
  return s.size() >= t.size() && s.compare(s.size() - t.size(), t.size(), t) == 0;
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

bool ReadAll(const std::string& path, std::string* text, std::string* error) {
  if (EndsWith(path, ".dz") || EndsWith(path, ".gz")) {
    std::string cmd = "gzip -dc -- " + ShellQuote(path);
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) {
      *error = "cannot run: " + cmd;
      return false;
    }
    char buf[1 << 16];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) text->append(buf, n);
    if (pclose(p) != 0) {
      *error = "decompression failed: " + cmd;
      return false;
    }
    return true;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  *text = ss.str();
  return true;
}

void TrimRight(std::string* s) {
  while (!s->empty() && (s->back() == ' ' || s->back() == '\t' || s->back() == '\r')) s->pop_back();
}

std::string TrimmedLeft(const std::string& s, size_t from) {
  while (from < s.size() && (s[from] == ' ' || s[from] == '\t')) ++from;
  return s.substr(from);
}

}  // namespace

bool DecodeDictdNumber(const std::string& digits, uint64_t* value) {
  uint64_t v = 0;
  if (digits.empty()) return false;
  for (char c : digits) {
    int d;
    if (c >= 'A' && c <= 'Z') d = c - 'A';
    else if (c >= 'a' && c <= 'z') d = c - 'a' + 26;
    else if (c >= '0' && c <= '9') d = c - '0' + 52;
    else if (c == '+') d = 62;
    else if (c == '/') d = 63;
    else return false;
    v = v * 64 + static_cast<uint64_t>(d);
  }
  *value = v;
  return true;
}

namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    std::string line = text.substr(start, nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = nl + 1;
  }
  while (!lines.empty() && lines.back().find_first_not_of(" \t") == std::string::npos) lines.pop_back();
  for (auto& l : lines) TrimRight(&l);
  return lines;
}

}  // namespace

bool ParseIndexedArticle(const std::string& head, const std::string& text, DictEntry* out) {
  std::vector<std::string> lines = Lines(text);
  if (lines.empty() || head.empty()) return false;
  // The form as the first line writes it: after the line's start, a space
  // or a comma, and followed by " /pronunciation/".
  const std::string& first = lines[0];
  std::string pron;
  for (size_t at = first.find(head + " /"); at != std::string::npos; at = first.find(head + " /", at + 1)) {
    if (at > 0 && first[at - 1] != ' ' && first[at - 1] != ',') continue;
    size_t open = at + head.size() + 1, close = first.find('/', open + 1);
    if (close != std::string::npos) pron = first.substr(open + 1, close - open - 1);
    break;
  }
  // The translation starts with the forms of the first line, their
  // pronunciations taken out (the one of this form is the entry's own).
  std::string forms;
  for (size_t i = 0; i < first.size(); ++i) {
    if (first.compare(i, 2, " /") == 0) {
      size_t close = first.find('/', i + 2);
      if (close != std::string::npos) {
        i = close;
        continue;
      }
    }
    if (first[i] == ' ' && (forms.empty() || forms.back() == ' ')) continue;
    forms += first[i];
  }
  TrimRight(&forms);
  std::string japa = forms;
  for (size_t i = 1; i < lines.size(); ++i) {
    japa += "\r\n";
    japa += lines[i];
  }
  out->word = head;
  out->pron = std::move(pron);
  out->japa = std::move(japa);
  return true;
}

bool ParseDictdEntry(const std::string& text, DictEntry* out) {
  std::vector<std::string> lines = Lines(text);
  if (lines.empty()) return false;

  const std::string& first = lines[0];
  std::string word, pron, rest;
  size_t slash = first.find(" /");
  if (slash != std::string::npos) {
    size_t last = first.rfind('/');
    word = first.substr(0, slash);
    pron = first.substr(slash + 1, last - slash);
    rest = TrimmedLeft(first, last + 1);
  } else {
    size_t tag = first.rfind(" <");
    if (tag != std::string::npos && first.back() == '>') {
      word = first.substr(0, tag);
      rest = TrimmedLeft(first, tag + 1);
    } else {
      word = first;
    }
  }
  TrimRight(&word);
  TrimRight(&rest);
  if (word.empty()) return false;

  std::string japa = rest;
  for (size_t i = 1; i < lines.size(); ++i) {
    if (!japa.empty() || i > 1) japa += "\r\n";
    japa += lines[i];
  }
  out->word = std::move(word);
  out->pron = std::move(pron);
  out->japa = std::move(japa);
  return true;
}

bool ReadDictd(const std::string& indexPath, const std::string& dictPath, DictdStyle style,
               std::vector<DictEntry>* entries, DictdCounts* counts, std::string* error) {
  std::string text;
  if (!ReadAll(dictPath, &text, error)) return false;
  std::ifstream index(indexPath);
  if (!index) {
    *error = "cannot open " + indexPath;
    return false;
  }
  std::string line;
  std::unordered_set<std::string> seen;
  while (std::getline(index, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    ++counts->indexLines;
    if (style == DictdStyle::kIndexHeadword && !seen.insert(line).second) {
      ++counts->repeated;
      continue;
    }
    size_t t1 = line.find('\t');
    size_t t2 = t1 == std::string::npos ? t1 : line.find('\t', t1 + 1);
    uint64_t offset = 0, length = 0;
    if (t2 == std::string::npos || !DecodeDictdNumber(line.substr(t1 + 1, t2 - t1 - 1), &offset) ||
        !DecodeDictdNumber(line.substr(t2 + 1), &length) || offset > text.size() ||
        length > text.size() - offset) {
      ++counts->malformed;
      continue;
    }
    std::string head = line.substr(0, t1);
    if (head.rfind("00database", 0) == 0 || head.rfind("00-database", 0) == 0) {
      ++counts->metaSkipped;
      continue;
    }
    DictEntry e;
    std::string article = text.substr(offset, length);
    bool parsed = style == DictdStyle::kHeadwordLine ? ParseDictdEntry(article, &e)
                                                     : ParseIndexedArticle(head, article, &e);
    if (!parsed) {
      ++counts->malformed;
      continue;
    }
    if (e.word.rfind("00-database-", 0) == 0) {
      ++counts->metaSkipped;
      continue;
    }
    entries->push_back(std::move(e));
  }
  return true;
}

bool ReadWordList(const std::string& path, std::vector<std::string>* words, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = "cannot open " + path;
    return false;
  }
  std::string line;
  while (std::getline(in, line)) {
    TrimRight(&line);
    if (!line.empty()) words->push_back(line);
  }
  return true;
}

}  // namespace vkbench
