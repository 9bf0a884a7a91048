#include "cli/ToolDic.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <type_traits>

#include "Dictionary.h"
#include "EngineErrors.h"
#include "api/EngineLibrary.h"
#include "cli/SharedToolDic.h"
#include "util/Utf8.h"

namespace vk {

const char* const TToolDic::kEngines[kEngineCount] = {"VKCU8L", "VKCUB", "VKCUL", "VKC620"};

bool TToolDic::IsEngineName(const std::string& name) {
  for (const char* e : kEngines)
    if (name == e) return true;
  return false;
}

namespace {

// What reading needs; the writing exports are looked up when they are used.
const char* const kToolExports[] = {"VKIsVoka",      "VKCreateHandle", "VKDeleteHandle",
                                    "VKOpen",        "VKCreate",       "VKClose",
                                    "VKSetFastMode", "VKFind",         "VKInitSearch",
                                    "VKGetNextSearch", "VKGetErrorCode", "VKGetErrorMessage",
                                    "VKGetHeaderInfo"};

std::basic_string<char> ToEngine(const std::string& s, char) { return s; }
std::u16string ToEngine(const std::string& s, char16_t) { return FromUtf8Text(s); }
std::string FromEngine(const char* s) { return s ? s : ""; }
std::string FromEngine(const char16_t* s) { return ToUtf8Text(s); }

}  // namespace

class TToolDic::Impl {
 public:
  virtual ~Impl() = default;
  virtual bool IsVoka(const std::string& path) = 0;
  virtual bool Open(const std::string& path, bool readOnly) = 0;
  virtual bool Create(const std::string& path) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual void SetFastMode(bool on) = 0;
  // 1 ok, 0 failed, -1 the library lacks the export.
  virtual int Record(const TToolEntry& e) = 0;
  virtual int Update(const TToolEntry& e) = 0;
  virtual int Erase(const std::string& word) = 0;
  virtual int Rename(const std::string& oldWord, const std::string& newWord) = 0;
  virtual int Find(const std::string& word, TToolEntry* e) = 0;
  virtual bool Search(const std::string& pattern, int32_t flags,
                      const std::function<bool(const TToolEntry&)>& each) = 0;
  virtual bool Info(const std::string& path, TToolInfo* info) = 0;
  // 1 ran, 0 the file could not be opened, -1 the library lacks the export.
  virtual int Check(const std::string& path,
                    const std::function<int32_t(const TToolCheckEvent&)>& each) = 0;
  // 1 it ran, 0 the file could not be opened, -1 the library lacks it.
  virtual int Optimize(const std::string& path, const std::function<int32_t(const TOptimizeReport&)>& report) = 0;
  virtual int ErrorCode() = 0;
  virtual std::string Message(int code) = 0;

  EngineLibrary module;
  // Set when the dictionary is opened in shared mode: the handle operations
  // go to it, the library serves the rest (detection, header, messages).
  std::unique_ptr<TSharedToolDic> shared;
};

namespace {

template <class C>
class ImplOf : public TToolDic::Impl {
  using Rec = typename VKRecordOf<C>::type;
  using CheckParam = typename VKCheckParamOf<C>::type;
  using Str = std::basic_string<C>;

 public:
  ~ImplOf() override { Close(); }

  void Bind() { api_ = module.Exports<C>(); }

  bool IsVoka(const std::string& path) override { return api_.IsVoka(In(path).c_str()) != 0; }

  bool Open(const std::string& path, bool readOnly) override {
    if (this->shared) return this->shared->Open(path, readOnly);
    if (!MakeHandle()) return false;
    return api_.Open(h_, In(path).c_str(), readOnly ? 1 : 0) != 0;
  }

  bool Create(const std::string& path) override {
    if (!MakeHandle()) return false;
    const int32_t option = 0;
    return api_.Create(h_, In(path).c_str(), &option) != 0;
  }

  void Close() override {
    if (this->shared) this->shared->Close();
    CloseHandle();
  }

  bool IsOpen() const override { return this->shared ? this->shared->IsOpen() : h_ != nullptr; }

  void SetFastMode(bool on) override {
    if (this->shared) {
      this->shared->SetFastMode(on);
    } else {
      api_.SetFastMode(h_, on ? 1 : 0);
    }
  }

  int Record(const TToolEntry& e) override { return this->shared ? this->shared->Record(e) : Store(api_.Record, e); }
  int Update(const TToolEntry& e) override { return this->shared ? this->shared->Update(e) : Store(api_.Update, e); }

  int Erase(const std::string& word) override {
    if (this->shared) return this->shared->Erase(word);
    if (!api_.Erase) return -1;
    return api_.Erase(h_, In(word).c_str()) != 0 ? 1 : 0;
  }

  int Rename(const std::string& oldWord, const std::string& newWord) override {
    if (this->shared) return this->shared->Rename(oldWord, newWord);
    if (!api_.Rename) return -1;
    return api_.Rename(h_, In(oldWord).c_str(), In(newWord).c_str()) != 0 ? 1 : 0;
  }

  int Find(const std::string& word, TToolEntry* e) override {
    if (this->shared) return this->shared->Find(word, e);
    Rec r = {};
    if (api_.Find(h_, In(word).c_str(), &r) == 0) return 0;
    Out(r, e);
    return 1;
  }

  bool Search(const std::string& pattern, int32_t flags,
              const std::function<bool(const TToolEntry&)>& each) override {
    if (this->shared) return this->shared->Search(pattern, flags, each);
    Str p = In(pattern);
    if (api_.InitSearch(h_, pattern.empty() ? nullptr : p.c_str(), flags) == 0) return false;
    Rec r = {};
    TToolEntry e;
    for (;;) {
      int32_t got = api_.GetNextSearch(h_, &r);
      if (got == VK_STEP_AGAIN) continue;
      if (got == VK_STEP_END) return true;
      if (got == VK_STEP_FAILED) return false;
      Out(r, &e);
      if (!each(e)) return true;
    }
  }

  bool Info(const std::string& path, TToolInfo* info) override {
    VKHeaderInfo h;
    if (api_.GetHeaderInfo(In(path).c_str(), &h) == 0) return false;
    info->version = static_cast<uint16_t>(h.version);
    info->maxWordLen = h.maxWordLen;
    info->maxJapaLen = h.maxJapaLen;
    info->blockSize = h.blockSize;
    info->blockCount = h.blockCount;
    info->freeBlock = h.freeBlock;
    info->indexCount = h.indexCount;
    info->indexBlocks = h.indexBlocks;
    info->wordCount = h.wordCount;
    info->dicType = h.dicType;
    info->charTag = h.charTag;
    info->indexWide = h.indexWide;
    return true;
  }

  int Check(const std::string& path,
            const std::function<int32_t(const TToolCheckEvent&)>& each) override {
    if (!api_.DicCheck) return -1;
    if (!MakeHandle()) return 0;
    // The engine hands the record back to the callback, so the record
    // leads a block that also carries the caller's function.
    struct Call {
      CheckParam param;
      const std::function<int32_t(const TToolCheckEvent&)>* each;
    };
    static_assert(std::is_standard_layout<Call>::value, "the record must lead the block");
    Call call = {};
    call.each = &each;
    call.param.callback = [](int32_t kind, CheckParam* p) -> int32_t {
      const Call* c = reinterpret_cast<const Call*>(p);
      TToolCheckEvent e;
      e.kind = kind;
      e.position = p->position;
      e.words = p->words;
      e.percent = p->percent;
      e.hasMessage = p->message != nullptr;
      e.message = FromEngine(p->message);
      e.hasDetail = p->detail != nullptr;
      e.detail = FromEngine(p->detail);
      return (*c->each)(e);
    };
    // The handle keeps the code of a failed open for ErrorCode; Close
    // drops it.
    return api_.DicCheck(h_, In(path).c_str(), &call.param) != 0 ? 1 : 0;
  }

  int Optimize(const std::string& path, const std::function<int32_t(const TOptimizeReport&)>& report) override {
    if (!api_.Optimize) return -1;
    if (!MakeHandle()) return 0;
    OptimizeCall call;
    call.param.check.callback = &OptimizeCall::Thunk;
    call.report = &report;
    return api_.Optimize(h_, In(path).c_str(), &call.param) != 0 ? 1 : 0;
  }

  int ErrorCode() override {
    if (this->shared) return this->shared->ErrorCode();
    return h_ ? api_.GetErrorCode(h_) : 0;
  }

  std::string Message(int code) override { return FromEngine(api_.GetErrorMessage(code)); }

 private:
  using StoreFn = int32_t (*)(VKHandle, const Rec*);
  int Store(StoreFn fn, const TToolEntry& e) {
    if (!fn) return -1;
    Str word = In(e.word), japa = In(e.japa), exp = In(e.exp), pron = In(e.pron);
    Rec r = {};
    r.word = word.c_str();
    r.japa = japa.c_str();
    r.exp = exp.c_str();
    r.pron = pron.c_str();
    r.attr = e.attr;
    return fn(h_, &r) != 0 ? 1 : 0;
  }
  static Str In(const std::string& s) { return ToEngine(s, C()); }
  static void Out(const Rec& r, TToolEntry* e) {
    e->word = FromEngine(r.word);
    e->japa = FromEngine(r.japa);
    e->exp = FromEngine(r.exp);
    e->pron = FromEngine(r.pron);
    e->attr = r.attr;
  }
  void CloseHandle() {
    if (!h_) return;
    api_.Close(h_);
    api_.DeleteHandle(h_);
    h_ = nullptr;
  }
  bool MakeHandle() {
    CloseHandle();
    h_ = api_.CreateHandle();
    return h_ != nullptr;
  }

  // The record the engine is given, with the caller's function behind it:
  // the engine hands the callback a pointer to the record's first member.
  struct OptimizeCall {
    typename EngineExports<C>::OptimizeParam param{};
    const std::function<int32_t(const TOptimizeReport&)>* report = nullptr;

    static int32_t Thunk(int32_t kind, decltype(param.check)* check) {
      auto* call = reinterpret_cast<OptimizeCall*>(check);
      TOptimizeReport r;
      r.kind = kind;
      r.percent = call->param.check.percent;
      r.reason = call->param.reason;
      r.hasMessage = call->param.check.message != nullptr;
      r.message = FromEngine(call->param.check.message);
      return (*call->report)(r);
    }
  };
  static_assert(std::is_standard_layout<OptimizeCall>::value, "the record comes first");

  VKHandle h_ = nullptr;
  EngineExports<C> api_;
};

}  // namespace

TToolDic::TToolDic(std::string folder) : folder_(std::move(folder)) {}

TToolDic::~TToolDic() { Close(); }

std::string DescribeEngineError(int code, const std::string& engineText, int sysErr,
                                const std::string& path) {
  std::string text = EngineErrorEnglish(code);
  if (sysErr != 0) text += ": " + SystemReason(sysErr);
  std::string own = engineText;
  size_t at = own.find("%s");
  if (at != std::string::npos) own.replace(at, 2, path);
  text += " (";
  if (!own.empty()) text += own + ", ";
  text += "engine error " + std::to_string(code) + ")";
  return text;
}

namespace {

// Codes that a failing system call gives; for the others errno tells
// nothing about the failure.
bool FromSystemCall(int code) {
  switch (code) {
    case VK_ERR_FILE_NOT_FOUND:
    case VK_ERR_DISK_FULL:
    case VK_ERR_READ_WRITE:
    case VK_ERR_VERSION:
    case VK_ERR_DRIVE_NOT_READY:
    case VK_ERR_TOO_MANY_FILES:
    case VK_ERR_CANNOT_OPEN:
    case VK_ERR_UNREADABLE_DISK:
    case VK_ERR_NETWORK:
    case VK_ERR_BAD_FILE_NAME:
    case VK_ERR_SYSTEM:
      return true;
    default:
      return false;
  }
}

}  // namespace

void TToolDic::Fail(const std::string& what) {
  int sysErr = errno;
  errorCode_ = impl_ ? impl_->ErrorCode() : 0;
  errorText_ = what;
  if (errorCode_ != 0) {
    errorText_ += ": " + DescribeEngineError(errorCode_, impl_->Message(errorCode_),
                                             FromSystemCall(errorCode_) ? sysErr : 0, path_);
  }
}

void TToolDic::FailTool(const std::string& text) {
  errorCode_ = 0;
  errorText_ = text;
}

bool TToolDic::Start(const std::string& engine) {
  if (impl_ && engine_ == engine) return true;
  Close();
  impl_.reset();
  engine_.clear();
  if (!IsEngineName(engine)) {
    FailTool("unknown engine " + engine);
    return false;
  }
  std::unique_ptr<Impl> impl;
  if (engine == "VKC620")
    impl = std::make_unique<ImplOf<char>>();
  else
    impl = std::make_unique<ImplOf<char16_t>>();
  if (!impl->module.Load(engine + ".DLL", EngineFolder(folder_, engine + ".DLL"), kToolExports)) {
    FailTool("cannot load the " + engine + " engine library: " + impl->module.loadError());
    return false;
  }
  if (engine == "VKC620")
    static_cast<ImplOf<char>*>(impl.get())->Bind();
  else
    static_cast<ImplOf<char16_t>*>(impl.get())->Bind();
  impl_ = std::move(impl);
  engine_ = engine;
  return true;
}

std::string TToolDic::DetectEngine(const std::string& path) {
  for (const char* e : kEngines) {
    if (Start(e) && impl_->IsVoka(path)) return e;
  }
  return std::string();
}

bool TToolDic::Open(const std::string& engine, const std::string& path, bool readOnly) {
  if (!Start(engine)) return false;
  impl_->Close();
  impl_->shared = shared_ ? TSharedToolDic::For(engine) : nullptr;
  fast_ = false;
  path_ = path;
  errno = 0;
  if (!impl_->Open(path, readOnly)) {
    // The handle keeps the code of a failed open until it is closed.
    Fail("cannot open " + path + (readOnly ? "" : " for writing"));
    impl_->Close();
    return false;
  }
  return true;
}

bool TToolDic::Create(const std::string& engine, const std::string& path) {
  if (!Start(engine)) return false;
  impl_->Close();
  impl_->shared.reset();
  fast_ = false;
  path_ = path;
  errno = 0;
  if (!impl_->Create(path)) {
    Fail("cannot create " + path);
    impl_->Close();
    return false;
  }
  return true;
}

void TToolDic::Close() {
  if (impl_) impl_->Close();
}


bool TToolDic::IsOpen() const { return impl_ && impl_->IsOpen(); }

void TToolDic::SetFastMode(bool on) {
  if (IsOpen()) {
    impl_->SetFastMode(on);
    fast_ = on;
  }
}

bool TToolDic::Commit() {
  if (!IsOpen()) return false;
  // The object keeps the code of its last failure, so only a change tells.
  int before = impl_->ErrorCode();
  errno = 0;
  impl_->SetFastMode(false);
  int after = impl_->ErrorCode();
  if (fast_) impl_->SetFastMode(true);
  if (after != 0 && after != before) {
    Fail("cannot write " + path_);
    return false;
  }
  return true;
}

namespace {

std::string Lacks(const std::string& engine, const char* name) {
  return "the " + engine + " engine library has no " + name + ", which this needs";
}

}  // namespace

bool TToolDic::Has(const char* name) {
  if (impl_ && impl_->module.Symbol(name)) return true;
  FailTool(Lacks(engine_, name));
  return false;
}

bool TToolDic::Record(const TToolEntry& entry) {
  if (!IsOpen()) return false;
  errno = 0;
  int r = impl_->Record(entry);
  if (r < 0) FailTool(Lacks(engine_, "VKRecord"));
  if (r == 0) Fail("cannot store " + entry.word);
  return r == 1;
}

bool TToolDic::Update(const TToolEntry& entry) {
  if (!IsOpen()) return false;
  errno = 0;
  int before = impl_->ErrorCode();
  int r = impl_->Update(entry);
  if (r < 0) FailTool(Lacks(engine_, "VKUpdate"));
  if (r == 0) {
    // A missing headword is a plain 0 that leaves the old code in place.
    TToolEntry there;
    if (impl_->Find(entry.word, &there) == 0 && impl_->ErrorCode() == before)
      FailTool(entry.word + ": not found");
    else
      Fail("cannot change " + entry.word);
  }
  return r == 1;
}

bool TToolDic::Erase(const std::string& word) {
  if (!IsOpen()) return false;
  errno = 0;
  int r = impl_->Erase(word);
  if (r < 0) FailTool(Lacks(engine_, "VKErase"));
  if (r == 0) Fail("cannot erase " + word);
  return r == 1;
}

bool TToolDic::Rename(const std::string& oldWord, const std::string& newWord) {
  if (!IsOpen()) return false;
  errno = 0;
  int r = impl_->Rename(oldWord, newWord);
  if (r < 0) FailTool(Lacks(engine_, "VKRename"));
  if (r == 0) Fail("cannot rename " + oldWord + " to " + newWord);
  return r == 1;
}

bool TToolDic::Find(const std::string& word, TToolEntry* entry) {
  if (!IsOpen()) return false;
  errorCode_ = 0;
  errorText_.clear();
  int before = impl_->ErrorCode();
  errno = 0;
  if (impl_->Find(word, entry)) return true;
  // The object keeps its last code, so only a new one is a failure.
  if (impl_->ErrorCode() != 0 && impl_->ErrorCode() != before) Fail("cannot look up " + word);
  return false;
}

bool TToolDic::Search(const std::string& pattern, int32_t flags,
                      const std::function<bool(const TToolEntry&)>& each) {
  if (!IsOpen()) return false;
  errno = 0;
  if (impl_->Search(pattern, flags, each)) return true;
  Fail("cannot read " + path_);
  return false;
}

bool TToolDic::Optimize(const std::string& engine, const std::string& path,
                        const std::function<int32_t(const TOptimizeReport&)>& report) {
  if (!Start(engine)) return false;
  Close();
  path_ = path;
  errno = 0;
  const int r = impl_->Optimize(path, report);
  if (r < 0) FailTool(Lacks(engine_, "VKOptimize"));
  if (r == 0) Fail("cannot open " + path + " for writing");
  impl_->Close();
  return r == 1;
}

bool TToolDic::Info(TToolInfo* info) {
  if (!IsOpen()) return false;
  return ReadInfo(engine_, path_, info);
}

bool TToolDic::Check(const std::string& engine, const std::string& path,
                     const std::function<int32_t(const TToolCheckEvent&)>& each) {
  if (!Start(engine)) return false;
  path_ = path;
  errno = 0;
  int r = impl_->Check(path, each);
  if (r < 0) FailTool(Lacks(engine_, "VKDicCheck"));
  if (r == 0) Fail("cannot open " + path + " for the check");
  impl_->Close();
  return r == 1;
}

std::string TToolDic::EngineText(int id) {
  return impl_ ? impl_->Message(id) : std::string();
}

bool TToolDic::ReadInfo(const std::string& engine, const std::string& path, TToolInfo* info) {
  if (!Start(engine)) return false;
  if (!impl_->Info(path, info)) {
    FailTool("cannot read the header of " + path);
    return false;
  }
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) info->fileSize = st.st_size;
  return true;
}

}  // namespace vk
