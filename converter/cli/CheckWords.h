// TCheckTexts: the texts of the engine's dictionary check told in words.
//
// The engine tells a problem of its check only by a text, so each text is
// matched against the engine's own message table (VKGetErrorMessage of the
// check's ids, some inside the forms "%s [pbn=%d]" and "%s [%d,%d]", and two
// texts the engine carries itself): the match names the problem and gives
// the numbers and headwords it holds, which an English sentence then takes.
#pragma once
#include <functional>
#include <string>
#include <vector>

namespace vk {

// A problem or status of the check: where its text comes from and what it
// means. `words` takes the message's placeholders in order as {0}, {1}, ...
// (a form's own %s, the table text, counts as one).
struct TCheckText {
  int id;             // message-table id, 0 for a text the engine carries itself
  const char* fixed;  // that text
  const char* form;   // "%s [pbn=%d]": the table text inside a form, or null
  const char* words;
};

constexpr int kCheckIdBadIndexValue = 429;  // the one problem a repair mends

class TCheckTexts {
 public:
  // `engineText`: the engine's text of a message id (UTF-8), empty for none.
  explicit TCheckTexts(const std::function<std::string(int)>& engineText);

  // The problem `message` names, or null; *args its numbers and words.
  const TCheckText* Problem(const std::string& message, std::vector<std::string>* args) const;
  const TCheckText* Status(const std::string& message) const;

  // "at unit 16 (index entry 2, the block of "b2w0"), byte 0x0002 of the
  // block, file offset 0x00001A02" from a detail text, or empty when it is
  // not in the engine's form. `words`: the index's headwords by index
  // entry, when known.
  std::string Where(const std::string& detail, const std::vector<std::string>* words) const;

 private:
  std::vector<std::string> problems_, statuses_;
  std::string detail_;
};

// Matches `text` against a format with %d, %0nX and %s placeholders; the
// placeholders' texts go to *args. A %s takes the text up to the next piece
// of the format (up to the last one when nothing follows that piece).
bool MatchFormat(const std::string& format, const std::string& text, std::vector<std::string>* args);

// `words` with {n} replaced by args[n].
std::string FillWords(const char* words, const std::vector<std::string>& args);

// The engine's texts on one line: the table's line breaks become " / ".
std::string OneLine(const std::string& s);

}  // namespace vk
