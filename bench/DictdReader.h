// Reading a dictd dictionary: the .index file (one line per entry:
// headword TAB offset TAB length, the numbers in dictd's base-64 digits
// A-Z a-z 0-9 + /, most significant first) and the .dict text they point
// into, plain or dictzip-compressed (.dz is gzip-compatible and is read
// through `gzip -dc`).
//
// An entry's text starts with a line "headword /pronunciation/ <class>",
// where the pronunciation may be several slash-delimited groups or missing.
// The headword is the text before the first " /" (or, without a
// pronunciation, before a trailing " <...>" tag); the pronunciation runs to
// the last '/' of that line; the translation is everything after it — the
// rest of the first line and the following lines — joined with CR LF, the
// line break the dictionary files use. dictd's own entries (headwords
// starting "00-database-" or indexed as "00database...") are skipped.
//
// The Japanese-to-X dictionaries index one article under each of its
// written forms (kanji spellings, kana readings), and the article's first
// line lists every form with its pronunciation. There the index line gives
// the headword, the pronunciation is the one written after that form in the
// first line (empty when the form is not there), and the translation is the
// whole article, lines joined with CR LF, with the pronunciations of the
// first line taken out (they are IPA, the entry keeps its own). An index
// line that repeats an earlier one exactly (same headword, same article) is
// counted and skipped.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vkbench {

struct DictEntry {
  std::string word;  // UTF-8
  std::string pron;  // UTF-8, empty when the entry has none
  std::string japa;  // UTF-8, lines joined with CR LF
};

enum class DictdStyle {
  kHeadwordLine,   // the article's first line names the headword
  kIndexHeadword,  // the index line names it; one article under many forms
};

struct DictdCounts {
  size_t indexLines = 0;
  size_t metaSkipped = 0;
  size_t repeated = 0;   // index lines that repeat an earlier one exactly
  size_t malformed = 0;  // bad index lines, ranges outside the text, empty headwords
};

// Splits one entry's text as described above. False when no headword is found.
bool ParseDictdEntry(const std::string& text, DictEntry* out);

// The same for an article indexed under `head` (DictdStyle::kIndexHeadword).
bool ParseIndexedArticle(const std::string& head, const std::string& text, DictEntry* out);

// Decodes dictd's base-64 number; false on a character outside the alphabet.
bool DecodeDictdNumber(const std::string& digits, uint64_t* value);

// Reads the whole dictionary in index order. False with a message on I/O
// failure; malformed lines are counted and skipped.
bool ReadDictd(const std::string& indexPath, const std::string& dictPath, DictdStyle style,
               std::vector<DictEntry>* entries, DictdCounts* counts, std::string* error);

// Reads a word list (one word a line, empty lines skipped).
bool ReadWordList(const std::string& path, std::vector<std::string>* words, std::string* error);

}  // namespace vkbench
