#include "Driver.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

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

// Room for a formatted error box text and a too-long line, terminator included.
constexpr size_t kReportSize = 1000;
constexpr size_t kTooLongLineSize = 300;

// `format` with its first "%s" replaced by `arg`; any other "%" stays as it
// is, since engine texts are not trusted as format strings.
std::string FillPath(const std::string& format, const std::string& arg) {
  std::string out = format;
  size_t at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, arg);
  return out;
}

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

bool SourceFileExists(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    // Opening for no access needs no read right: a regular file we may not
    // read still exists (and then fails to open as a dictionary).
    struct stat st;
    return errno == EACCES && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
  }
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  // No sharing: a file that another program holds locked counts as absent.
  if (ok && ::flock(fd, LOCK_EX | LOCK_NB) != 0) ok = false;
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

void TConvertDriver::Say(const std::string& text) { user_->Message(kConvertCaption, text); }

void TConvertDriver::ReportEngineError(int kind, const std::string& path) {
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
  user_->Message(kErrorCaption, text);
}

bool TConvertDriver::OpenSource(const std::string& path) {
  if (!SourceFileExists(path)) {
    Say(kNoSource);
    return false;
  }
  source_ = MakeSide(sides_.source);
  if (source_->Open(path, TDllDic::kOpenRead) != 0) {
    Say(kSourceOpenFailed);
    source_.reset();
    return false;
  }
  return true;
}

bool TConvertDriver::PrepareTarget(const std::string& path) {
  bool yes = PathExists(path) ? user_->Ask(kConvertCaption, kTargetExists, false)
                              : user_->Ask(kConvertCaption, kTargetMissing, true);
  if (!yes) return false;
  bool created = false;
  {
    std::unique_ptr<TDllDic> maker = MakeSide(sides_.target);
    if (!maker->LoadDll()) {
      ReportEngineError(2, path);
    } else if (maker->Open(path, TDllDic::kOpenCreate) != 0) {
      ReportEngineError(maker->GetErrorCode() + 256, path);
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
    Say(kTargetOpenFailed);
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
  for (int i = 0; i < 4; ++i) {
    auto table = std::make_unique<TConvTable>(*paths[i]);
    // An empty path is a field that was offered no table: reported like a
    // table that cannot be opened, with an empty name.
    if (paths[i]->empty() || !table->Load()) {
      Say(FillPath(kTableFailed, *paths[i]));
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
    UnicodeToUnicode();
  } else if (LoadTables()) {
    if (IsUnicodeKind(sides_.target)) {
      state_.wordTable = tables_[0].get();
      Win32ToUnicode();
    } else {
      for (auto& t : tables_) t->Invert();
      UnicodeToWin32();
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

void TConvertDriver::WriteError() {
  Say(kWriteFailed);
  failed_ = true;
}

bool TConvertDriver::AfterRegistered() {
  ++recCount_;
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
  user_->ProgressStart();
  progressTimer_ = user_->TickCount();
}

void TConvertDriver::Win32ToUnicode() {
  auto* src = static_cast<TWin32DllDic*>(source_.get());
  auto* dst = static_cast<TUnicodeDllDic*>(target_.get());
  StartLoop();
  std::string word;
  TAnsiFields in;
  std::u16string uword;
  TUnicodeFields out;
  while (src->ReadNext(&word, &in) == 0) {
    ++state_.recordNumber;
    ConvertFieldToUnicode(state_, *tables_[0], word.c_str(), &uword, word.c_str(), kFieldWord);
    if (uword.empty()) continue;
    ConvertFieldToUnicode(state_, *tables_[1], in.pron, &out.pron, word.c_str(), kFieldPron);
    ConvertFieldToUnicode(state_, *tables_[2], in.japa, &out.japa, word.c_str(), kFieldJapa);
    ConvertFieldToUnicode(state_, *tables_[3], in.exp, &out.exp, word.c_str(), kFieldExp);
    out.attr = in.attr;
    if (dst->WriteRecord(uword.c_str(), out) != 0) {
      if (dst->GetErrorCode() == kErrorTooLong) {
        ++overCount_;
        char head[64];
        std::snprintf(head, sizeof head, "%d : 見出語 : too long : ", state_.recordNumber);
        std::string line = head + AnsiForLog(*tables_[0], word.c_str());
        CutUtf8(&line, kTooLongLineSize - 1);
        user_->AddLogLine(line);
        continue;
      }
      WriteError();
      break;
    }
    if (!AfterRegistered()) break;
  }
  user_->ProgressEnd();
}

void TConvertDriver::UnicodeToWin32() {
  auto* src = static_cast<TUnicodeDllDic*>(source_.get());
  auto* dst = static_cast<TWin32DllDic*>(target_.get());
  StartLoop();
  std::u16string word;
  TUnicodeFields in;
  std::string aword, pron, japa, exp;
  while (src->ReadNext(&word, &in) == 0) {
    ++state_.recordNumber;
    ConvertFieldToAnsi(state_, *tables_[0], word.c_str(), &aword, word.c_str(), kFieldWord);
    if (aword.empty()) continue;
    ConvertFieldToAnsi(state_, *tables_[1], in.pron.c_str(), &pron, word.c_str(), kFieldPron);
    ConvertFieldToAnsi(state_, *tables_[2], in.japa.c_str(), &japa, word.c_str(), kFieldJapa);
    ConvertFieldToAnsi(state_, *tables_[3], in.exp.c_str(), &exp, word.c_str(), kFieldExp);
    TAnsiFields out;
    out.japa = japa.c_str();
    out.pron = pron.c_str();
    out.exp = exp.c_str();
    out.attr = in.attr;
    if (dst->WriteRecord(aword.c_str(), out) != 0) {
      WriteError();
      break;
    }
    if (!AfterRegistered()) break;
  }
  user_->ProgressEnd();
}

void TConvertDriver::UnicodeToUnicode() {
  auto* src = static_cast<TUnicodeDllDic*>(source_.get());
  auto* dst = static_cast<TUnicodeDllDic*>(target_.get());
  StartLoop();
  std::u16string word;
  TUnicodeFields fields;
  while (src->ReadNext(&word, &fields) == 0) {
    ++state_.recordNumber;
    if (word.empty()) continue;
    if (dst->WriteRecord(word.c_str(), fields) != 0) {
      WriteError();
      break;
    }
    if (!AfterRegistered()) break;
  }
  user_->ProgressEnd();
}

}  // namespace vk
