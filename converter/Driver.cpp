#include "Driver.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include "EngineErrors.h"
#include "util/Utf8.h"

namespace vk {

const char kConvertCaption[] = "辞書の変換";
const char kErrorCaption[] = "エラー";
const char kCancelCaption[] = "変換処理の中止";
const char kCancelQuestion[] = "変換を中止しても良いですか？";
const char kResultLabels[5][64] = {"変換元単語数", "登録単語数", "未変換文字数",
                                   "不正マルチバイト文字数", "欠落単語数"};

namespace {

const char kNoSource[] = "変換元ファイルが存在しません";
const char kSourceOpenFailed[] = "変換元の辞書を開くことができません";
const char kTargetExists[] = "すでに辞書ファイルが存在します。初期化しますか？";
const char kTargetMissing[] = "辞書ﾌｧｲﾙが存在しません.新規作成しますか？";
const char kNoLibrary[] = "必要なDLLが見つかりません";
const char kTargetOpenFailed[] = "変換先の辞書を開くことができません";
const char kTableFailed[] = "変換テーブルファイル %s が開けません";
const char kWriteFailed[] = "辞書の書き込みでエラーが発生しました";
const char kReadFailed[] = "変換元の辞書の読み込みでエラーが発生しました";
const char kSameFile[] = "変換元と変換先に同じファイルが指定されています";

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

// Room for a formatted error box text and a too-long line, terminator included.
constexpr size_t kReportSize = 1000;
constexpr size_t kTooLongLineSize = 300;

// The field of a record that is over its limit, for the log line of an entry
// the target left unstored; a record whose own fields all fit was too long
// once merged with the entry already stored.
// Sizes are in the target's units (UTF-16 units, or bytes for a Win32 target).
const char* LongField(const TDllDic& target, const TDicRecord& rec) {
  if (target.Units(rec, kRecordWord) > kMaxHeadwordUnits) return kFieldWord;
  if (target.Units(rec, kRecordJapa) > kMaxTranslationUnits) return kFieldJapa;
  if (target.Units(rec, kRecordExp) > kMaxExampleUnits) return kFieldExp;
  if (target.Units(rec, kRecordPron) > kMaxPronunciationUnits) return kFieldPron;
  return "結合";
}

// "path": the folder part, for the reasons of a file that cannot be made.
std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// The system's reason why `path` cannot be written or made, if it has one.
std::string WriteProbe(const std::string& path) {
  if (::access(path.c_str(), F_OK) == 0) {
    if (::access(path.c_str(), W_OK) != 0) return SystemReason(errno);
    return std::string();
  }
  std::string folder = FolderOf(path);
  if (::access(folder.c_str(), W_OK) != 0) return folder + ": " + SystemReason(errno);
  return std::string();
}

// `format` with its first "%s" replaced by `arg`; any other "%" stays as it
// is, since engine texts are not trusted as format strings.
std::string FillPath(const std::string& format, const std::string& arg) {
  std::string out = format;
  size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, arg);
  return out;
}

}  // namespace

// What differs between the kinds of conversion.
struct TRecordSteps {
  // Makes field `field` of `out` (in the target's string type) from that of
  // `in` (in the source's); `table` is the field's conversion table, null
  // between two Unicode sides.
  void (*convertField)(TFieldConvState& state, const TConvTable* table, const TDicRecord& in,
                       TRecordField field, TDicRecord* out);
  // The source headword as messages show it (UTF-8).
  std::string (*shownWord)(const TConvTable* wordTable, const TDicRecord& in);
  // Whether a headword the target refuses as too long is logged and skipped
  // rather than ending the conversion.
  bool tooLongIsRecoverable;
};

namespace {

const char* const kRecordFieldNames[kRecordFields] = {kFieldWord, kFieldPron, kFieldJapa,
                                                      kFieldExp};

void FieldToUnicode(TFieldConvState& state, const TConvTable* table, const TDicRecord& in,
                    TRecordField field, TDicRecord* out) {
  ConvertFieldToUnicode(state, *table, in.bytes[field].c_str(), &out->units[field],
                        in.bytes[kRecordWord].c_str(), kRecordFieldNames[field]);
}

void FieldToAnsi(TFieldConvState& state, const TConvTable* table, const TDicRecord& in,
                 TRecordField field, TDicRecord* out) {
  ConvertFieldToAnsi(state, *table, in.units[field].c_str(), &out->bytes[field],
                     in.units[kRecordWord].c_str(), kRecordFieldNames[field]);
}

void FieldAsItIs(TFieldConvState&, const TConvTable*, const TDicRecord& in, TRecordField field,
                 TDicRecord* out) {
  out->units[field] = in.units[field];
}

std::string AnsiWord(const TConvTable* wordTable, const TDicRecord& in) {
  return AnsiForLog(*wordTable, in.bytes[kRecordWord].c_str());
}

std::string UnicodeWord(const TConvTable*, const TDicRecord& in) {
  return ToUtf8Text(in.units[kRecordWord].c_str());
}

const TRecordSteps kWin32ToUnicode = {FieldToUnicode, AnsiWord, true};
const TRecordSteps kUnicodeToWin32 = {FieldToAnsi, UnicodeWord, false};
const TRecordSteps kUnicodeToUnicode = {FieldAsItIs, UnicodeWord, false};

}  // namespace

TModeSides ModeSides(int index) {
  static const TModeSides kModes[kModeCount] = {
      {kDicWin32, kDicUtf8},  {kDicUtf8, kDicWin32},  {kDicUtf16, kDicUtf8},
      {kDicUtf8, kDicUtf16},  {kDicWin32, kDicUtf16}, {kDicUtf16, kDicWin32}};
  if (index < 0 || index >= kModeCount) return {0, 0};
  return kModes[index];
}

uint32_t TConvertUser::TickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

bool SourceFileExists(const std::string& path, std::string* why) {
  std::string unused;
  if (!why) why = &unused;
  why->clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    // Opening for no access needs no read right: a regular file we may not
    // read still exists (and then fails to open as a dictionary).
    int err = errno;
    struct stat st;
    if (err == EACCES && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return true;
    *why = SystemReason(err);
    return false;
  }
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  if (!ok) *why = "it is a folder, not a file";
  // No sharing: a file that another program holds locked counts as absent.
  if (ok && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ok = false;
    *why = errno == EWOULDBLOCK ? "it is locked by another process (another program has it open)"
                                : SystemReason(errno);
  }
  ::close(fd);  // also drops our lock
  return ok;
}

bool PathExists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

std::unique_ptr<TDllDic> TConvertDriver::MakeSide(int kind) const {
  std::unique_ptr<TDllDic> dic;
  if (kind == kDicWin32)
    dic = std::make_unique<TWin32DllDic>();
  else
    dic = std::make_unique<TUnicodeDllDic>(settings_.bigEndian ? 1 : 0, kind == kDicUtf8 ? 1 : 0);
  dic->SetLibraryFolder(settings_.engineFolder);
  return dic;
}

void TConvertDriver::Say(const std::string& text, const std::string& detail) {
  user_->Message(kConvertCaption, text, detail);
}

const char* TConvertDriver::SideName(int kind) const {
  switch (kind) {
    case kDicWin32: return "Win32 (Shift-JIS)";
    case kDicUtf16: return settings_.bigEndian ? "UTF-16 big-endian" : "UTF-16";
    case kDicUtf8: return "UTF-8";
    default: return "unknown";
  }
}

std::string TConvertDriver::EngineReason(TDllDic& dic, const std::string& path) {
  int code = dic.GetErrorCode();
  std::string reason = EngineErrorEnglish(code);
  const char* message = dic.GetErrorMessage(code);
  std::string text = message ? FillPath(message, path) : std::string();
  // The engine's texts may hold line breaks; one line reads better here.
  for (char& c : text)
    if (c == '\n' || c == '\r') c = ' ';
  reason += " (";
  if (!text.empty()) reason += text + ", ";
  reason += "engine error " + std::to_string(code) + ")";
  return reason;
}

std::string TConvertDriver::LibraryReason(TDllDic& dic, int kind) const {
  const char* name = EngineLibraryFor(kind, settings_.bigEndian ? 1 : 0);
  if (!name) return "there is no big-endian engine for UTF-8 dictionaries";
  std::string so = EngineLibrary::SharedObjectName(name);
  std::string why = dic.loadError();
  return "the engine library " + so + " cannot be loaded" + (why.empty() ? "" : ": " + why);
}

void TConvertDriver::ReportEngineError(int kind, const std::string& path,
                                       const std::string& detail) {
  std::string text;
  if (kind == 2) {
    text = kNoLibrary;
  } else if (kind >= 256) {
    TWin32DllDic legacy;
    legacy.SetLibraryFolder(settings_.engineFolder);
    const char* message = legacy.GetErrorMessage(kind - 256);
    if (message) {
      // Formatted while the library that owns the text is still loaded.
      text = FillPath(message, path);
    } else {
      char buf[64];
      std::snprintf(buf, sizeof buf, "Unknown Error[%d]", kind);
      text = buf;
    }
  } else {
    return;
  }
  CutUtf8(&text, kReportSize - 1);
  user_->Message(kErrorCaption, text, detail);
}

bool TConvertDriver::OpenSource(const std::string& path) {
  std::string why;
  if (!SourceFileExists(path, &why)) {
    Say(kNoSource, "cannot read the source " + path + ": " + why);
    return false;
  }
  source_ = MakeSide(sides_.source);
  if (source_->Open(path, TDllDic::kOpenRead) != 0) {
    std::string detail = "cannot open the source " + path + " as a " + SideName(sides_.source) +
                         " dictionary: ";
    if (!source_->isLoaded())
      detail += LibraryReason(*source_, sides_.source);
    else
      detail += EngineReason(*source_, path);
    Say(kSourceOpenFailed, detail);
    source_.reset();
    return false;
  }
  return true;
}

bool TConvertDriver::PrepareTarget(const std::string& path) {
  const std::string kind = SideName(sides_.target);
  bool yes = PathExists(path)
                 ? user_->Ask(kConvertCaption, kTargetExists, false,
                              path + " exists already: replace it by a new, empty " + kind +
                                  " dictionary?")
                 : user_->Ask(kConvertCaption, kTargetMissing, true,
                              path + " does not exist: create it as a " + kind + " dictionary?");
  if (!yes) return false;
  bool created = false;
  {
    std::unique_ptr<TDllDic> maker = MakeSide(sides_.target);
    if (!maker->LoadDll()) {
      ReportEngineError(2, path,
                        "cannot create the target " + path + ": " +
                            LibraryReason(*maker, sides_.target));
    } else if (maker->Open(path, TDllDic::kOpenCreate) != 0) {
      std::string detail = "cannot create the target " + path + ": " + EngineReason(*maker, path);
      std::string system = WriteProbe(path);
      if (!system.empty()) detail += ": " + system;
      ReportEngineError(maker->GetErrorCode() + 256, path, detail);
    } else {
      maker->Close();
      created = true;
    }
  }
  if (!created) {
    failed_ = true;
    return false;
  }
  target_ = MakeSide(sides_.target);
  if (target_->Open(path, TDllDic::kOpenReadWrite) != 0) {
    Say(kTargetOpenFailed,
        "cannot open the new target " + path + " for writing: " + EngineReason(*target_, path));
    target_.reset();
    failed_ = true;
    return false;
  }
  return true;
}

void TConvertDriver::CloseBoth() {
  source_.reset();
  target_.reset();
}

bool TConvertDriver::LoadTables() {
  const std::string* paths[4] = {&settings_.wordTable, &settings_.pronTable, &settings_.japaTable,
                                 &settings_.expTable};
  static const char* const kFields[4] = {"headword", "pronunciation", "translation", "example"};
  for (int i = 0; i < 4; ++i) {
    auto table = std::make_unique<TConvTable>(*paths[i]);
    // An empty path is a field that was offered no table: reported like a
    // table that cannot be opened, with an empty name.
    std::string why;
    if (paths[i]->empty()) {
      why = std::string("no conversion table was chosen for the ") + kFields[i];
    } else if (!table->Load()) {
      why = "cannot read the conversion table " + *paths[i] + ": " + SystemReason(errno);
    } else if (table->mappingCount() == 0) {
      // Any file loads as a table; one without a single mapping would turn
      // every text into nothing.
      why = *paths[i] + " is not a conversion table: it maps no code";
    }
    if (!why.empty()) {
      Say(FillPath(kTableFailed, *paths[i]), why);
      return false;
    }
    tables_[i] = std::move(table);
  }
  return true;
}

TConvertResult TConvertDriver::Convert(const TConvertSettings& settings) {
  settings_ = settings;
  cancelled_ = false;
  failed_ = false;
  TConvertResult result;
  sides_ = ModeSides(settings.mode);
  if (sides_.source == 0) return result;
  user_->ClearLog();

  if (!OpenSource(settings.source)) return result;
  // Initialising the target would destroy the source while it is read.
  if (SameFile(settings.source, settings.target)) {
    Say(kSameFile, "the target " + settings.target + " is the source itself: choose another file");
    CloseBoth();
    return result;
  }
  if (!PrepareTarget(settings.target)) {
    CloseBoth();
    result.outcome = failed_ ? TConvertOutcome::kFailed : TConvertOutcome::kRefused;
    return result;
  }

  state_ = TFieldConvState();
  state_.log = &log_;
  recCount_ = 0;
  overCount_ = 0;

  if (IsUnicodeKind(sides_.source) && IsUnicodeKind(sides_.target)) {
    RecordLoop(kUnicodeToUnicode);
  } else if (LoadTables()) {
    if (IsUnicodeKind(sides_.target)) {
      state_.wordTable = tables_[kRecordWord].get();
      RecordLoop(kWin32ToUnicode);
    } else {
      for (auto& t : tables_) t->Invert();
      RecordLoop(kUnicodeToWin32);
    }
  } else {
    failed_ = true;
  }
  for (auto& t : tables_) t.reset();
  state_.wordTable = nullptr;

  CloseBoth();
  result.counters.sourceCount = state_.recordNumber;
  result.counters.recCount = recCount_;
  result.counters.undefCount = state_.undefCount;
  result.counters.multiByteErrorCount = state_.multiByteErrorCount;
  result.counters.overCount = overCount_;
  result.countersShown = true;
  result.outcome = failed_      ? TConvertOutcome::kFailed
                   : cancelled_ ? TConvertOutcome::kCancelled
                                : TConvertOutcome::kDone;
  user_->ShowResult(result.counters);
  return result;
}

void TConvertDriver::WriteError(const std::string& shownWord) {
  std::string reason = EngineReason(*target_, settings_.target);
  // The engine is back at the target's last save: tell what it holds.
  int kept = target_->GetWordCount();
  Say(kWriteFailed, "record " + std::to_string(state_.recordNumber) + " (" + shownWord +
                        ") could not be written to " + settings_.target + ": " + reason +
                        (kept >= 0 ? "; the target keeps the " + std::to_string(kept) +
                                         " entries saved before it"
                                   : "; the target keeps the entries saved before it"));
  failed_ = true;
}

void TConvertDriver::ReadError() {
  const int record = state_.recordNumber + 1;
  std::string reason = EngineReason(*source_, settings_.source);
  std::string line = std::to_string(record) + " : read error : " + reason;
  CutUtf8(&line, kTooLongLineSize - 1);
  user_->AddLogLine(line);
  Say(kReadFailed, "record " + std::to_string(record) + " of the source " + settings_.source +
                       " cannot be read: " + reason + "; the records before it are converted");
  failed_ = true;
}

bool TConvertDriver::BeforeRecord() {
  if (!user_->StopRequested()) return true;
  cancelled_ = true;
  return false;
}

void TConvertDriver::LogEmptyHeadword(const std::string& shownWord) {
  std::string line = std::to_string(state_.recordNumber) + " : " + kFieldWord + " : empty : " +
                     shownWord;
  CutUtf8(&line, kTooLongLineSize - 1);
  user_->AddLogLine(line);
}

bool TConvertDriver::AfterWrite(int rc, int32_t tooLongBefore, bool tooLongIsRecoverable,
                                const std::string& shownWord, const char* longField) {
  const char* field = nullptr;
  if (rc != 0) {
    if (!tooLongIsRecoverable || target_->GetErrorCode() != VK_ERR_WORD_TOO_LONG) {
      WriteError(shownWord);
      return false;
    }
    field = kFieldWord;
  } else if (target_->tooLongCount() != tooLongBefore) {
    // Answered success, but the target left the entry out.
    field = longField;
  }
  if (field) {
    ++overCount_;
    std::string line = std::to_string(state_.recordNumber) + " : " + field + " : too long : " +
                       shownWord;
    CutUtf8(&line, kTooLongLineSize - 1);
    user_->AddLogLine(line);
    return true;
  }
  return AfterRegistered();
}

bool TConvertDriver::AfterRegistered() {
  ++recCount_;
  if (recCount_ % kCommitEvery == 0 && target_->Commit() != 0) {
    WriteError("saving the target");
    return false;
  }
  if (user_->ProgressClosed()) {
    cancelled_ = true;
    return false;
  }
  if (recCount_ % kRefreshEvery == 0) {
    uint32_t now = user_->TickCount();
    if (now - progressTimer_ > kRefreshMillis) {
      user_->ShowProgress(source_->GetPercent(), state_.recordNumber);
      progressTimer_ = now;
    }
    user_->ProcessEvents();
  }
  return true;
}

void TConvertDriver::StartLoop() {
  source_->SetFastMode();
  target_->SetFastMode();
  user_->ProgressStart(source_->GetWordCount());
  progressTimer_ = user_->TickCount();
}

void TConvertDriver::RecordLoop(const TRecordSteps& steps) {
  StartLoop();
  TDicRecord in;
  TDicRecord out;
  const TConvTable* wordTable = tables_[kRecordWord].get();
  while (BeforeRecord()) {
    if (source_->ReadNext(&in) != 0) {
      if (source_->readFailed()) ReadError();
      break;
    }
    ++state_.recordNumber;
    steps.convertField(state_, wordTable, in, kRecordWord, &out);
    if (target_->Units(out, kRecordWord) == 0) {
      LogEmptyHeadword(steps.shownWord(wordTable, in));
      continue;
    }
    for (TRecordField field : {kRecordPron, kRecordJapa, kRecordExp})
      steps.convertField(state_, tables_[field].get(), in, field, &out);
    out.attr = in.attr;
    int32_t tooLong = target_->tooLongCount();
    int rc = target_->WriteRecord(out);
    if (!AfterWrite(rc, tooLong, steps.tooLongIsRecoverable, steps.shownWord(wordTable, in),
                    LongField(*target_, out)))
      break;
  }
  // What was registered since the last save is saved now, where a failure
  // to write it can still be told: the close tells nothing.
  if (!failed_ && target_->Commit() != 0) SaveError();
  user_->ProgressEnd();
}

void TConvertDriver::SaveError() {
  std::string reason = EngineReason(*target_, settings_.target);
  int kept = target_->GetWordCount();
  Say(kWriteFailed, "the records up to record " + std::to_string(state_.recordNumber) +
                        " could not be written to " + settings_.target + ": " + reason +
                        (kept >= 0 ? "; the target keeps the " + std::to_string(kept) +
                                         " entries saved before them"
                                   : "; the target keeps the entries saved before them"));
  failed_ = true;
}

}  // namespace vk
