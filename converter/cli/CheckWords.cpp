#include "cli/CheckWords.h"

#include <cstdlib>
#include <cstring>

namespace vk {

namespace {

// The two texts the engine does not take from its table.
const char kUnlinkedFree[] = "リンクされていない空きブロックです";
const char kMissingBlock[] = "存在しない物理ブロックを示しています.";

constexpr int kIdDetail = 436;
constexpr int kIdStopped = 441;
constexpr int kCheckIdClean = 440;

const TCheckText kProblems[] = {
    {402, nullptr, nullptr,
     "the first headword of the block at unit {0} (index entry {1}) is \"{3}\", its index entry says \"{2}\""},
    {404, nullptr, nullptr, "the entries of a block run past its end"},
    {405, nullptr, nullptr, "an entry's length, {0} bytes, is more than its block holds ({1})"},
    {406, nullptr, nullptr, "an entry claims to share {0} units with the headword before it, more than any headword has"},
    {407, nullptr, nullptr, "a headword of {0} units; at most {1} are allowed"},
    {412, nullptr, nullptr, "a headword takes {0} bytes, more than its whole entry ({1})"},
    {413, nullptr, nullptr, "an entry's translation and further fields do not end where the entry ends"},
    {421, nullptr, nullptr, "the free chain leads (after unit {0}) to unit {1}, which is outside the data area or cannot be read"},
    {423, nullptr, nullptr, "unit {0} is on the free chain but holds a block"},
    {427, nullptr, "%s [pbn=%d]", "unit {1} holds a data block that no index entry names"},
    {0, kUnlinkedFree, "%s [pbn=%d]", "unit {1} is free but not on the free chain"},
    {kCheckIdBadIndexValue, nullptr, nullptr, "index entry {0} names unit {1}, beyond the data area"},
    {0, kMissingBlock, nullptr, "the data block an index entry names cannot be read"},
    {431, nullptr, nullptr, "index entry {0} names unit {1}, which holds no block (its size word is 0)"},
    {442, nullptr, "%s [%d,%d]", "unit {1} lies inside another data block, yet index entry {2} names it"},
    {444, nullptr, "%s [pbn=%d]", "the free chain loops back to unit {1}"},
};

const TCheckText kStatuses[] = {
    {420, nullptr, nullptr, "the link check starts"},
    {437, nullptr, nullptr, "checking the free chain"},
    {438, nullptr, nullptr, "checking for units that no block uses"},
    {439, nullptr, nullptr, "checking the blocks the index names"},
    {433, nullptr, nullptr, "the links are sound; the entries are checked next"},
    {kCheckIdClean, nullptr, nullptr, "no problem found"},
    {kIdStopped, nullptr, nullptr, "stopped"},
};

std::string FormatOf(const std::function<std::string(int)>& engineText, const TCheckText& t) {
  std::string text = t.id ? engineText(t.id) : std::string(t.fixed);
  if (text.empty() || !t.form) return text;
  std::string form = t.form;
  // The table text stands for the %s as it is: its own % are literal.
  std::string escaped;
  for (char c : text) escaped += c == '%' ? std::string("%%") : std::string(1, c);
  form.replace(form.find("%s"), 2, escaped);
  return form;
}

template <size_t N>
const TCheckText* Find(const TCheckText (&table)[N], const std::vector<std::string>& formats,
                       const std::string& message, std::vector<std::string>* args) {
  for (size_t i = 0; i < N; ++i) {
    if (formats[i].empty() || !MatchFormat(formats[i], message, args)) continue;
    // The form's %s was the table text itself: it is no argument.
    if (table[i].form) args->insert(args->begin(), std::string());
    return &table[i];
  }
  return nullptr;
}

}  // namespace

bool MatchFormat(const std::string& format, const std::string& text, std::vector<std::string>* args) {
  args->clear();
  size_t f = 0, t = 0;
  while (f < format.size()) {
    if (format[f] != '%') {
      if (t >= text.size() || text[t] != format[f]) return false;
      ++f, ++t;
      continue;
    }
    size_t q = f + 1;
    while (q < format.size() && format[q] >= '0' && format[q] <= '9') ++q;
    if (q >= format.size()) return false;
    const char conv = format[q];
    f = q + 1;
    if (conv == '%') {
      if (t >= text.size() || text[t] != '%') return false;
      ++t;
      continue;
    }
    size_t end = t;
    if (conv == 'd') {
      if (end < text.size() && text[end] == '-') ++end;
      while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    } else if (conv == 'X') {
      while (end < text.size() && std::strchr("0123456789ABCDEF", text[end]) && text[end]) ++end;
    } else if (conv == 's') {
      size_t next = format.find('%', f);
      std::string piece = format.substr(f, next == std::string::npos ? std::string::npos : next - f);
      if (piece.empty()) {
        end = text.size();
      } else {
        size_t at = next == std::string::npos ? text.rfind(piece) : text.find(piece, t);
        if (at == std::string::npos || at < t) return false;
        end = at;
      }
    } else {
      return false;
    }
    if (conv != 's' && end == t) return false;
    args->push_back(text.substr(t, end - t));
    t = end;
  }
  return t == text.size();
}

std::string FillWords(const char* words, const std::vector<std::string>& args) {
  std::string out;
  for (const char* p = words; *p; ++p) {
    if (*p == '{' && p[1] >= '0' && p[1] <= '9' && p[2] == '}') {
      size_t n = size_t(p[1] - '0');
      if (n < args.size()) out += args[n];
      p += 2;
    } else {
      out += *p;
    }
  }
  return out;
}

std::string OneLine(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += " / ";
    else if (c != '\r') out += c;
  }
  return out;
}

TCheckTexts::TCheckTexts(const std::function<std::string(int)>& engineText) {
  for (const TCheckText& t : kProblems) problems_.push_back(FormatOf(engineText, t));
  for (const TCheckText& t : kStatuses) statuses_.push_back(FormatOf(engineText, t));
  detail_ = engineText(kIdDetail);
}

const TCheckText* TCheckTexts::Problem(const std::string& message, std::vector<std::string>* args) const {
  return Find(kProblems, problems_, message, args);
}

const TCheckText* TCheckTexts::Status(const std::string& message) const {
  std::vector<std::string> args;
  return Find(kStatuses, statuses_, message, &args);
}

std::string TCheckTexts::Where(const std::string& detail, const std::vector<std::string>* words) const {
  std::vector<std::string> a;
  if (detail_.empty() || !MatchFormat(detail_, detail, &a) || a.size() != 5) return std::string();
  // The unit is told as its low 12 bits and its high 4 bits plus one.
  const long unit = std::atol(a[0].c_str()) + (std::atol(a[1].c_str()) - 1) * 4096L;
  const long lbn = std::atol(a[2].c_str());
  std::string block = "index entry " + a[2];
  if (words && lbn >= 0 && size_t(lbn) < words->size()) block += ", the block of \"" + (*words)[size_t(lbn)] + "\"";
  return "at unit " + std::to_string(unit) + " (" + block + "), byte 0x" + a[3] + " of the block, file offset 0x" +
         a[4];
}

}  // namespace vk
