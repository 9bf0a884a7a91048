// Helpers of the check tests: a real dictionary of known layout, damaged by
// editing its file byte by byte, and the callback sequence a check reports.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/TestDic.h"
#include "dic/DicCheck.h"
#include "support/DamagedFile.h"
#include "support/TempDir.h"
#include "text/Utf.h"

namespace vktest {

// Four blocks of five entries, 8 units each at units 0, 8, 16, 24; words
// "b<k>w<j>".
inline std::vector<TestEntry> FixtureEntries() {
  std::vector<TestEntry> out;
  for (int k = 0; k < 4; ++k)
    for (int j = 0; j < 5; ++j) {
      TestEntry e;
      e.word = vk::Utf8ToUtf16("b" + std::to_string(k) + "w" + std::to_string(j));
      e.japa = u"t" + e.word;
      if (j == 2) e.exp = u"ex";
      out.push_back(e);
    }
  return out;
}

// A text of the callback in UTF-8, "(null)" for none.
template <class C>
std::string Utf8Of(const C* s) {
  if (!s) return "(null)";
  if constexpr (sizeof(C) == 2) return vk::Utf16ToUtf8(s);
  else return std::string(s);
}

// Records kinds 1, 3 and 8 as "kind:message|detail" and answers problems
// from a list (then 0); polls answer from another list (then 0).
template <class B>
struct Recorder {
  std::vector<std::string> lines;
  std::vector<int32_t> answers;
  std::vector<int32_t> polls;
  size_t nextAnswer = 0, nextPoll = 0;
  int32_t lastWords = -1;
  std::vector<int> kinds;

  vk::CheckCallback<B> Callback() {
    return [this](int32_t kind, vk::CheckReport<B>& r) -> int32_t {
      kinds.push_back(kind);
      if (kind == vk::kCheckProblem) {
        lines.push_back("1:" + Utf8Of(r.message) + "|" + Utf8Of(r.detail));
        return nextAnswer < answers.size() ? answers[nextAnswer++] : 0;
      }
      if (kind == vk::kCheckStatus) lines.push_back("3:" + Utf8Of(r.message));
      if (kind == vk::kCheckUnreadable) lines.push_back("8");
      if (kind == vk::kCheckProgress) lastWords = r.words;
      if (kind == vk::kCheckPoll) return nextPoll < polls.size() ? polls[nextPoll++] : 0;
      return 0;
    };
  }
};

}  // namespace vktest
