// Helpers of the conversion tests: a TConvertUser that records everything
// the driver tells it and answers from a script, dictionaries made through
// TToolDic, and the folders of the real and the stand-in engines.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "Driver.h"
#include "cli/ToolDic.h"
#include "cli/Tsv.h"
#include "support/TempDir.h"
#include "util/ProgramFolder.h"

// Runs `body` in a fresh process: the test program started again for this
// test alone, in which no engine library has been loaded yet. Engine
// libraries stay resident after dlclose, and a library of the same name
// would otherwise be found by the system's search.
#define IN_FRESH_PROCESS(body)                                         \
  do {                                                                 \
    GTEST_FLAG_SET(death_test_style, "threadsafe");                    \
    EXPECT_EXIT(                                                       \
        {                                                              \
          body;                                                        \
          std::exit(::testing::Test::HasFailure() ? 1 : 0);            \
        },                                                             \
        ::testing::ExitedWithCode(0), "");                             \
  } while (0)

namespace vk {
namespace cvtest {

// Stand-in engines (fake/FakeEngine.cpp): "fake" has all twelve exports,
// "lacking" a libVKCUL.so without VKQueryRecord.
inline std::string FakeFolder() { return std::string(VK_TEST_LIBS) + "/fake"; }
inline std::string LackingFolder() { return std::string(VK_TEST_LIBS) + "/lacking"; }
inline std::string TablePath(const char* file) { return JoinPath(ProgramFolder(), file); }

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) out.push_back(line);
  return out;
}

class RecordingUser : public TConvertUser {
 public:
  struct Question {
    std::string caption, text;
    bool defaultYes;
    std::string detail;
  };
  struct Box {
    std::string caption, text;
    std::string detail;  // the English explanation
  };

  // Answers to the next questions; when none is left the default is taken.
  std::vector<bool> answers;
  // ProgressClosed answers true from this poll on (counting from 1); 0: never.
  int closeAtPoll = 0;
  // Called from ProcessEvents (a user acting at a cancel point).
  std::function<void(RecordingUser&)> onEvents;
  // TickCount gives `clock` and then advances it by `clockStep`.
  uint32_t clock = 5000;
  uint32_t clockStep = 0;

  std::vector<Question> questions;
  std::vector<Box> boxes;
  std::vector<std::string> log;
  int clears = 0;
  int starts = 0, ends = 0, events = 0, polls = 0;
  std::vector<std::pair<int, int>> progress;  // percent, record number
  bool closed = false;
  bool resultShown = false;
  TConvertCounters result;

  // StopRequested answers true from this poll on (counting from 1); 0: never.
  int stopAtPoll = 0;
  int stopPolls = 0;
  int total = -2;  // what ProgressStart was told

  bool Ask(const std::string& caption, const std::string& text, bool defaultYes,
           const std::string& detail) override {
    questions.push_back({caption, text, defaultYes, detail});
    if (answers.empty()) return defaultYes;
    bool a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  void Message(const std::string& caption, const std::string& text,
               const std::string& detail) override {
    boxes.push_back({caption, text, detail});
  }
  void ClearLog() override {
    ++clears;
    log.clear();
  }
  void AddLogLine(const std::string& line) override { log.push_back(line); }
  void ProgressStart(int totalRecords) override {
    ++starts;
    total = totalRecords;
  }
  bool StopRequested() override { return stopAtPoll > 0 && ++stopPolls >= stopAtPoll; }
  void ProgressEnd() override { ++ends; }
  void ShowProgress(int percent, int record) override { progress.emplace_back(percent, record); }
  void ProcessEvents() override {
    ++events;
    if (onEvents) onEvents(*this);
  }
  bool ProgressClosed() override {
    ++polls;
    if (closeAtPoll > 0 && polls >= closeAtPoll) closed = true;
    return closed;
  }
  void ShowResult(const TConvertCounters& c) override {
    resultShown = true;
    result = c;
  }
  uint32_t TickCount() override {
    uint32_t now = clock;
    clock += clockStep;
    return now;
  }
};

// A dictionary of `engine` at `path` holding `entries`, made through the
// real libraries.
inline void MakeDic(const std::string& engine, const std::string& path,
                    const std::vector<TToolEntry>& entries) {
  TToolDic dic;
  ASSERT_TRUE(dic.Create(engine, path)) << dic.errorText();
  dic.SetFastMode(true);
  for (const TToolEntry& e : entries) ASSERT_TRUE(dic.Record(e)) << e.word << ": " << dic.errorText();
  dic.Close();
}

// Every entry of the dictionary at `path`, in dictionary order.
inline std::vector<TToolEntry> ReadDic(const std::string& path) {
  std::vector<TToolEntry> out;
  TToolDic dic;
  std::string engine = dic.DetectEngine(path);
  EXPECT_FALSE(engine.empty()) << path;
  if (engine.empty()) return out;
  EXPECT_TRUE(dic.Open(engine, path, true)) << dic.errorText();
  EXPECT_TRUE(dic.Search("", VK_SEARCH_ALL, [&](const TToolEntry& e) {
    out.push_back(e);
    return true;
  })) << dic.errorText();
  return out;
}

inline TToolEntry Entry(std::string word, std::string japa, std::string exp = "",
                        std::string pron = "", uint8_t attr = 0x80) {
  TToolEntry e;
  e.word = std::move(word);
  e.japa = std::move(japa);
  e.exp = std::move(exp);
  e.pron = std::move(pron);
  e.attr = attr;
  return e;
}

inline std::string Show(const TToolEntry& e) {
  char attr[8];
  std::snprintf(attr, sizeof attr, "%02X", e.attr);
  return TsvEscape(e.word) + "|" + TsvEscape(e.japa) + "|" + TsvEscape(e.exp) + "|" +
         TsvEscape(e.pron) + "|" + attr;
}

inline uint32_t Seed(uint32_t fallback) {
  const char* e = std::getenv("VK_TEST_SEED");
  return e ? static_cast<uint32_t>(std::strtoul(e, nullptr, 10)) : fallback;
}

}  // namespace cvtest
}  // namespace vk
