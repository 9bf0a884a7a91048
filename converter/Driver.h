// TConvertDriver: one whole conversion of a dictionary, from the checks on
// the source to the result counters, free of any window system. Its user (the
// desktop program's main window, or the command line) answers questions,
// shows message boxes, keeps the dump log, shows progress, lets the user
// cancel and shows the result, through TConvertUser.
//
// The road of Convert():
//   1. clear the dump log; take the mode's side kinds;
//   2. source: a file must open at the path without sharing ("変換元ファイルが
//      存在しません"), then open read-only through its engine ("変換元の辞書を開く
//      ことができません");
//   3. target: ask to initialise an existing file (default No) or to create a
//      missing one (default Yes); create it through a short-lived wrapper
//      (library missing: "必要なDLLが見つかりません"; failure: the legacy engine's
//      message for the code, or "Unknown Error[%d]", caption "エラー"); open it
//      read-write ("変換先の辞書を開くことができません");
//   4. zero the five counters; load the four tables when a side is Win32
//      ("変換テーブルファイル %s が開けません"), inverted for a Win32 target;
//   5. the record loop: read, convert, register; a headword refused as too
//      long (VK_ERR_WORD_TOO_LONG) is logged and counted when converting
//      from Win32 to Unicode only, any other write failure ends the loop
//      ("辞書の書き込みでエラーが発生しました");
//      after every registered record a closed progress display ends the loop,
//      and every 256th refreshes progress and lets the user act;
//   6. close the source, then the target; show the five counters. Steps 6
//      run whenever step 4 was reached.
// The target is saved (committed) every kCommitEvery registered records and
// after the last one, before anything is closed; a write failure takes it
// back to its last save, and the message says how many entries it keeps.
// Nothing is lost without a word:
//   - a source that fails to read (VKGetNextSearch answering -1) ends the
//     conversion as a failure, with a dump-log line naming the record and the
//     engine's message, and the box "変換元の辞書の読み込みでエラーが発生しました";
//   - an entry the target leaves unstored while answering success (its
//     too-long counter grows) is logged as too long and counted as too long,
//     not as registered, in every loop;
//   - a headword that converts to nothing is logged before the record is
//     skipped.
// Every box and question also carries an English detail that names the file
// and gives the reason (the engine's code in words, the system's text).
// Message boxes are captioned "辞書の変換" unless said otherwise.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "Dlldic.h"
#include "FieldConv.h"
#include "Tablerw.h"
#include "util/DumpLog.h"

namespace vk {

// How the records of one kind of conversion are converted (Driver.cpp).
struct TRecordSteps;

// The six modes, by the settings dialog's item index.
constexpr int kModeCount = 6;
struct TModeSides {
  int source;  // TDicKind
  int target;
};
// The side kinds of mode `index` (0-5); {0, 0} for any other index.
TModeSides ModeSides(int index);

// What the settings dialog hands the driver.
struct TConvertSettings {
  int mode = 0;  // item index 0-5
  std::string source;
  std::string target;
  bool bigEndian = false;
  // Table file paths per field; an empty path is a field whose list offered
  // no table.
  std::string wordTable, pronTable, japaTable, expTable;
  // Where the engine libraries are looked for first; empty: the program's folder.
  std::string engineFolder;
};

// The five counters of the result dialog.
struct TConvertCounters {
  int sourceCount = 0;          // records read from the source (record number)
  int recCount = 0;             // records the target accepted
  int undefCount = 0;           // characters without a mapping
  int multiByteErrorCount = 0;  // lead bytes without a trail byte
  int overCount = 0;            // headwords refused as too long
};

enum class TConvertOutcome {
  kDone,       // every record was read; the counters were shown
  kRefused,    // a target question was answered No: nothing was written
  kCancelled,  // the user stopped the record loop; the counters were shown
  kFailed,     // an error box was shown; the counters too when the loop was reached
};

struct TConvertResult {
  TConvertOutcome outcome = TConvertOutcome::kFailed;
  bool countersShown = false;
  TConvertCounters counters;
};

// Texts the driver and its users share.
extern const char kConvertCaption[];        // "辞書の変換"
extern const char kErrorCaption[];          // "エラー"
extern const char kCancelCaption[];         // "変換処理の中止"
extern const char kCancelQuestion[];        // "変換を中止しても良いですか？"
extern const char kResultLabels[5][64];     // the result dialog's five captions

class TConvertUser {
 public:
  virtual ~TConvertUser() = default;

  // A Yes/No question; `defaultYes` is the answer of a bare Enter. `detail`
  // says the same in English with the file's name.
  virtual bool Ask(const std::string& caption, const std::string& text, bool defaultYes,
                   const std::string& detail) = 0;
  // A message box with an OK button; `detail` is the English explanation:
  // what failed, on which file, and why.
  virtual void Message(const std::string& caption, const std::string& text,
                       const std::string& detail) = 0;

  virtual void ClearLog() = 0;
  virtual void AddLogLine(const std::string& line) = 0;

  // The progress display: shown when a record loop starts, hidden when it
  // ends. ShowProgress is called at most once a second (measured with
  // TickCount) with the source's scan percentage and the record number.
  // `totalRecords` is the source's entry count, or -1 when unknown.
  virtual void ProgressStart(int totalRecords) { (void)totalRecords; }
  virtual void ProgressEnd() {}
  virtual void ShowProgress(int percent, int recordNumber) = 0;
  // Lets the user act (the window system's pending messages); called every
  // 256 registered records.
  virtual void ProcessEvents() {}
  // True once the user has closed the progress display (cancelled); polled
  // after every registered record.
  virtual bool ProgressClosed() = 0;
  // True once the program is asked to stop at once (a signal); polled after
  // every record read, whatever became of it. The loop ends as cancelled.
  virtual bool StopRequested() { return false; }

  // The counters at the end of a conversion that reached its record loop.
  virtual void ShowResult(const TConvertCounters& counters) = 0;

  // Milliseconds of a steady clock.
  virtual uint32_t TickCount();
};

class TConvertDriver {
 public:
  // Registered records between two progress refreshes and cancel points.
  static constexpr int kRefreshEvery = 256;
  static constexpr uint32_t kRefreshMillis = 1000;
  // Registered records between two saves of the target. In fast mode a
  // failed write takes the target back to its last save; saving now and then
  // bounds what a full disk can take back, at the cost of one flush and sync.
  static constexpr int kCommitEvery = 16384;

  explicit TConvertDriver(TConvertUser* user) : user_(user), log_(user) {}
  TConvertDriver(const TConvertDriver&) = delete;
  TConvertDriver& operator=(const TConvertDriver&) = delete;

  TConvertResult Convert(const TConvertSettings& settings);

  // The error box for the target's creation: kind 2, a missing library;
  // 256 + code, the legacy engine's message for the code with the path.
  // `detail` is the English explanation shown beside it.
  void ReportEngineError(int kind, const std::string& path, const std::string& detail = "");

 private:
  class LogAdapter : public TDumpLog {
   public:
    explicit LogAdapter(TConvertUser* user) : user_(user) {}
    void AddLine(const std::string& line) override { user_->AddLogLine(line); }

   private:
    TConvertUser* user_;
  };

  std::unique_ptr<TDllDic> MakeSide(int kind) const;
  bool OpenSource(const std::string& path);
  bool PrepareTarget(const std::string& path);
  void CloseBoth();
  // The frame every record loop starts with: fast mode on both sides, the
  // progress display shown and its timer started.
  void StartLoop();
  bool LoadTables();
  // Reads, converts and registers every record of the source, each field
  // the way `steps` converts it.
  void RecordLoop(const TRecordSteps& steps);
  // Before a record is converted; false ends the loop (a stop request).
  bool BeforeRecord();
  // After a headword converted to nothing; the record is skipped.
  void LogEmptyHeadword(const std::string& shownWord);
  // Settles a WriteRecord that answered `rc`: true goes on with the next
  // record. `tooLongBefore` is the target's too-long counter before the call;
  // `longField` names the field over its limit, if any, for the log line.
  bool AfterWrite(int rc, int32_t tooLongBefore, bool tooLongIsRecoverable,
                  const std::string& shownWord, const char* longField);
  // After a registered record; false ends the loop.
  bool AfterRegistered();
  // The save after the last record failed.
  void SaveError();
  void WriteError(const std::string& shownWord);
  void ReadError();
  void Say(const std::string& text, const std::string& detail);
  // "<English reason> (<engine text>, engine error N)" for the last error of
  // `dic`, with `path` filled into the engine's text.
  std::string EngineReason(TDllDic& dic, const std::string& path);
  // Why the engine library of `kind` cannot be had.
  std::string LibraryReason(TDllDic& dic, int kind) const;
  const char* SideName(int kind) const;

  TConvertUser* user_;
  LogAdapter log_;
  TConvertSettings settings_;
  TModeSides sides_ = {0, 0};
  std::unique_ptr<TDllDic> source_;
  std::unique_ptr<TDllDic> target_;
  std::unique_ptr<TConvTable> tables_[kRecordFields];  // by TRecordField
  TFieldConvState state_;
  int recCount_ = 0;
  int overCount_ = 0;
  uint32_t progressTimer_ = 0;
  bool cancelled_ = false;
  bool failed_ = false;
};

// True when a file opens at `path` without sharing: a missing file, a folder
// and a file that another program holds locked (as an engine holds an open
// dictionary) all count as absent; *why then tells which, in English.
bool SourceFileExists(const std::string& path, std::string* why = nullptr);
// True when anything exists at `path`.
bool PathExists(const std::string& path);

}  // namespace vk
