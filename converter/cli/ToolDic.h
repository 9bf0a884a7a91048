// TToolDic: a dictionary reached through any of the four engine libraries,
// with texts as bytes whatever the engine's string type: UTF-8 for the
// Unicode engines (VKCU8L, VKCUB, VKCUL), which take UTF-16, and the bytes as
// stored for the legacy VKC620. vkdic and the tests that make dictionaries
// for conversions work through it.
//
// The engine of an existing file is the one whose VKIsVoka accepts it; every
// build refuses the files of the others. Reading needs the exports listed in
// kToolExports; the writing ones (VKRecord, VKUpdate, VKErase, VKRename) are
// looked up by name too but only the operation that uses one fails without it,
// so that reading works with any engine build.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "Dictionary.h"
#include "api/VokaApi.h"

namespace vk {

struct TToolEntry {
  std::string word;
  std::string japa;
  std::string exp;
  std::string pron;
  uint8_t attr = 0x80;
};

// One callback of the engine's dictionary check (VK_CHECK_* kinds), texts in
// UTF-8 (the engine's message and detail, empty with has* false when the
// engine gave none).
struct TToolCheckEvent {
  int32_t kind = 0;
  int32_t position = 0;
  int32_t words = 0;
  int32_t percent = 0;
  bool hasMessage = false, hasDetail = false;
  std::string message, detail;
};

// Header facts of a dictionary file.
struct TToolInfo {
  int version = 0;  // two BCD-like bytes: 0x0500 is version 5.00
  int maxWordLen = 0;
  int maxJapaLen = 0;
  int blockSize = 0;
  int blockCount = 0;
  int freeBlock = -1;
  int indexCount = 0;
  int indexBlocks = 0;
  int wordCount = 0;
  int dicType = 0;
  int charTag = 0;
  int indexWide = 0;
  long long fileSize = 0;
};

// One report of an optimisation (VKOptimize's callback record): the kind
// (VK_CHECK_* / VK_OPTIMIZE_*), the percent of blocks done, the reason of a
// failure and the engine's message (UTF-8), when the kind carries one.
struct TOptimizeReport {
  int32_t kind = 0;
  int32_t percent = 0;
  int32_t reason = 0;
  bool hasMessage = false;
  std::string message;
};

class TToolDic {
 public:
  static constexpr int kEngineCount = 4;
  static const char* const kEngines[kEngineCount];  // "VKCU8L", "VKCUB", "VKCUL", "VKC620"
  static bool IsEngineName(const std::string& name);

  // `folder`: where the libraries are looked for first (empty: the program's).
  explicit TToolDic(std::string folder = std::string());
  ~TToolDic();
  TToolDic(const TToolDic&) = delete;
  TToolDic& operator=(const TToolDic&) = delete;

  // The engine that accepts the file at `path`, or empty.
  std::string DetectEngine(const std::string& path);

  // Shared mode for the next Open (TSharedToolDic, SharedToolDic.h): the
  // dictionary is worked on through a private copy, every change written
  // back under the write lock before it returns.
  void SetShared(bool on) { shared_ = on; }

  // Loads `engine`, makes a handle and opens or creates the file.
  bool Open(const std::string& engine, const std::string& path, bool readOnly);
  bool Create(const std::string& engine, const std::string& path);
  // The engine tells nothing of a failure to write what fast mode held back:
  // read the header again (ReadInfo) to learn what the file holds.
  void Close();
  bool IsOpen() const;
  const std::string& engine() const { return engine_; }
  const std::string& path() const { return path_; }
  // Does the loaded engine library export `name`? Says so in errorText when not.
  bool Has(const char* name);

  void SetFastMode(bool on);
  // Writes what fast mode holds back and keeps fast mode as it was; false
  // when the engine reports a new failure doing so.
  bool Commit();
  // VKRecord: adds the entry or replaces the fields of its headword.
  bool Record(const TToolEntry& entry);
  // VKUpdate: replaces the fields of an existing headword; false without an
  // error code when there is none.
  bool Update(const TToolEntry& entry);
  // VKErase; the engine answers true for a missing headword too.
  bool Erase(const std::string& word);
  bool Rename(const std::string& oldWord, const std::string& newWord);
  // False without an error code when the word is not there.
  bool Find(const std::string& word, TToolEntry* entry);
  // Calls `each` for every entry that matches `flags` (VK_SEARCH_*), in
  // dictionary order; `each` answers false to stop. False on an engine
  // failure.
  bool Search(const std::string& pattern, int32_t flags,
              const std::function<bool(const TToolEntry&)>& each);
  // VKOptimize on the closed file at `path` with `engine`: every report goes
  // to `report`, whose answer to a poll (VK_CHECK_POLL) stops the run when
  // not 0. False when the file could not be opened or the library has no
  // VKOptimize (errorText tells); the outcome itself comes as a report.
  bool Optimize(const std::string& engine, const std::string& path,
                const std::function<int32_t(const TOptimizeReport&)>& report);
  // The header of the open dictionary, or with ReadInfo of any file that
  // `engine` accepts (the dictionary need not be open).
  bool Info(TToolInfo* info);
  // VKDicCheck of `engine` on the file at `path` (not opened here; the check
  // opens it for itself): `each` sees every callback and gives its answer
  // (VK_ANSWER_* to problems, non-zero to a poll to stop). False when the
  // check could not open the file or the engine has no VKDicCheck.
  bool Check(const std::string& engine, const std::string& path,
             const std::function<int32_t(const TToolCheckEvent&)>& each);
  // The engine's own text of message `id` (UTF-8), or empty.
  std::string EngineText(int id);
  bool ReadInfo(const std::string& engine, const std::string& path, TToolInfo* info);

  // What went wrong last: the engine's code (0: none, the failure was the
  // tool's own), its message with the file name put in, the system's reason
  // when a system call failed, and the whole readable text:
  //   "cannot open d.dic for writing: the file is locked by another process
  //    (<d.dic>は他で使用しているので利用できません, engine error 17)"
  int errorCode() const { return errorCode_; }
  const std::string& errorText() const { return errorText_; }

  class Impl;

 private:
  bool Start(const std::string& engine);
  void Fail(const std::string& what);
  void FailTool(const std::string& text);

  std::string folder_;
  std::string engine_;
  std::string path_;
  std::unique_ptr<Impl> impl_;
  int errorCode_ = 0;
  std::string errorText_;
  bool fast_ = false;
  bool shared_ = false;
};

// "the disk is full (ディスクの容量が不足しました., engine error 4)": the
// English reason, the system's reason when `sysErr` is set, and the engine's
// own text (with `path` put in for its placeholder) and code.
std::string DescribeEngineError(int code, const std::string& engineText, int sysErr,
                                const std::string& path);

}  // namespace vk
