#include "cli/ToolDic.h"

#include <sys/stat.h>

#include <cstring>

#include "Dictionary.h"
#include "util/Utf8.h"

namespace vk {

const char* const TToolDic::kEngines[kEngineCount] = {"VKCU8L", "VKCUB", "VKCUL", "VKC620"};

bool TToolDic::IsEngineName(const std::string& name) {
  for (const char* e : kEngines)
    if (name == e) return true;
  return false;
}

namespace {

// What reading needs; VKRecord is looked up when writing, so that reading
// works with any engine build.
const char* const kToolExports[] = {"VKIsVoka",      "VKCreateHandle", "VKDeleteHandle",
                                    "VKOpen",        "VKCreate",       "VKClose",
                                    "VKSetFastMode", "VKFind",         "VKInitSearch",
                                    "VKGetNextSearch", "VKGetErrorCode", "VKGetErrorMessage",
                                    "VKGetHeaderInfo"};

// The record VKGetHeaderInfo fills.
struct EngineHeaderInfo {
  unsigned char text[280];
  int16_t headerSize, version, maxWordLen, maxJapaLen;
  int32_t indexAreaBytes, indexCount, indexBlocks, blockSize, blockCount, freeBlock, wordCount;
  uint8_t typeAux, dicType, attrLen, indexWide;
  int32_t extraValue;
  uint8_t zero1[4];
  uint8_t charTag;
  uint8_t zero2[3];
};
static_assert(sizeof(EngineHeaderInfo) == 332, "the header information record is 332 bytes");

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
  virtual int Record(const TToolEntry& e) = 0;  // 1 ok, 0 failed, -1 no VKRecord
  virtual int Find(const std::string& word, TToolEntry* e) = 0;
  virtual bool Search(const std::string& pattern, int32_t flags,
                      const std::function<bool(const TToolEntry&)>& each) = 0;
  virtual bool Info(const std::string& path, TToolInfo* info) = 0;
  virtual int ErrorCode() = 0;
  virtual std::string Message(int code) = 0;

  TEngineModule module;
};

namespace {

template <class C>
class ImplOf : public TToolDic::Impl {
  using Rec = TEntryRecord<C>;
  using Str = std::basic_string<C>;

 public:
  ~ImplOf() override { Close(); }

  void Bind() {
    Get(isVoka_, "VKIsVoka");
    Get(createHandle_, "VKCreateHandle");
    Get(deleteHandle_, "VKDeleteHandle");
    Get(open_, "VKOpen");
    Get(create_, "VKCreate");
    Get(close_, "VKClose");
    Get(fast_, "VKSetFastMode");
    Get(find_, "VKFind");
    Get(initSearch_, "VKInitSearch");
    Get(next_, "VKGetNextSearch");
    Get(errorCode_, "VKGetErrorCode");
    Get(message_, "VKGetErrorMessage");
    Get(headerInfo_, "VKGetHeaderInfo");
    Get(record_, "VKRecord");
  }

  bool IsVoka(const std::string& path) override { return isVoka_(In(path).c_str()) != 0; }

  bool Open(const std::string& path, bool readOnly) override {
    if (!MakeHandle()) return false;
    return open_(h_, In(path).c_str(), readOnly ? 1 : 0) != 0;
  }

  bool Create(const std::string& path) override {
    if (!MakeHandle()) return false;
    const int32_t option = 0;
    return create_(h_, In(path).c_str(), &option) != 0;
  }

  void Close() override {
    if (!h_) return;
    close_(h_);
    deleteHandle_(h_);
    h_ = nullptr;
  }

  bool IsOpen() const override { return h_ != nullptr; }

  void SetFastMode(bool on) override { fast_(h_, on ? 1 : 0); }

  int Record(const TToolEntry& e) override {
    if (!record_) return -1;
    Str word = In(e.word), japa = In(e.japa), exp = In(e.exp), pron = In(e.pron);
    Rec r = {};
    r.word = word.c_str();
    r.japa = japa.c_str();
    r.exp = exp.c_str();
    r.pron = pron.c_str();
    r.attr = e.attr;
    return record_(h_, &r) != 0 ? 1 : 0;
  }

  int Find(const std::string& word, TToolEntry* e) override {
    Rec r = {};
    if (find_(h_, In(word).c_str(), &r) == 0) return 0;
    Out(r, e);
    return 1;
  }

  bool Search(const std::string& pattern, int32_t flags,
              const std::function<bool(const TToolEntry&)>& each) override {
    Str p = In(pattern);
    if (initSearch_(h_, pattern.empty() ? nullptr : p.c_str(), flags) == 0) return false;
    Rec r = {};
    TToolEntry e;
    for (;;) {
      int32_t got = next_(h_, &r);
      if (got == 0) continue;
      if (got == -2) return true;
      if (got == -1) return false;
      Out(r, &e);
      if (!each(e)) return true;
    }
  }

  bool Info(const std::string& path, TToolInfo* info) override {
    EngineHeaderInfo h;
    if (headerInfo_(In(path).c_str(), &h) == 0) return false;
    info->version = h.version;
    info->maxWordLen = h.maxWordLen;
    info->blockSize = h.blockSize;
    info->blockCount = h.blockCount;
    info->indexCount = h.indexCount;
    info->indexBlocks = h.indexBlocks;
    info->wordCount = h.wordCount;
    info->dicType = h.dicType;
    return true;
  }

  int ErrorCode() override { return h_ ? errorCode_(h_) : 0; }

  std::string Message(int code) override { return FromEngine(message_(code)); }

 private:
  template <class F>
  void Get(F& f, const char* name) {
    f = reinterpret_cast<F>(module.Symbol(name));
  }
  static Str In(const std::string& s) { return ToEngine(s, C()); }
  static void Out(const Rec& r, TToolEntry* e) {
    e->word = FromEngine(r.word);
    e->japa = FromEngine(r.japa);
    e->exp = FromEngine(r.exp);
    e->pron = FromEngine(r.pron);
    e->attr = r.attr;
  }
  bool MakeHandle() {
    Close();
    h_ = createHandle_();
    return h_ != nullptr;
  }

  void* h_ = nullptr;
  int32_t (*isVoka_)(const C*) = nullptr;
  void* (*createHandle_)() = nullptr;
  void (*deleteHandle_)(void*) = nullptr;
  int32_t (*open_)(void*, const C*, int32_t) = nullptr;
  int32_t (*create_)(void*, const C*, const int32_t*) = nullptr;
  int32_t (*close_)(void*) = nullptr;
  int32_t (*fast_)(void*, int32_t) = nullptr;
  int32_t (*find_)(void*, const C*, Rec*) = nullptr;
  int32_t (*initSearch_)(void*, const C*, int32_t) = nullptr;
  int32_t (*next_)(void*, Rec*) = nullptr;
  int32_t (*errorCode_)(void*) = nullptr;
  const C* (*message_)(int32_t) = nullptr;
  int32_t (*headerInfo_)(const C*, EngineHeaderInfo*) = nullptr;
  int32_t (*record_)(void*, const Rec*) = nullptr;
};

}  // namespace

TToolDic::TToolDic(std::string folder) : folder_(std::move(folder)) {}

TToolDic::~TToolDic() { Close(); }

void TToolDic::Fail(const std::string& what) {
  errorCode_ = impl_ ? impl_->ErrorCode() : 0;
  errorText_ = what;
  if (errorCode_ != 0 && impl_) {
    std::string message = impl_->Message(errorCode_);
    size_t at = message.find("%s");
    if (at != std::string::npos) message.replace(at, 2, path_);
    errorText_ += ": ";
    errorText_ += message.empty() ? "engine error " + std::to_string(errorCode_) : message;
    if (!message.empty()) errorText_ += " (" + std::to_string(errorCode_) + ")";
  }
}

bool TToolDic::Start(const std::string& engine) {
  if (impl_ && engine_ == engine) return true;
  Close();
  impl_.reset();
  engine_.clear();
  if (!IsEngineName(engine)) {
    Fail("unknown engine " + engine);
    return false;
  }
  std::unique_ptr<Impl> impl;
  if (engine == "VKC620")
    impl = std::make_unique<ImplOf<char>>();
  else
    impl = std::make_unique<ImplOf<char16_t>>();
  if (!impl->module.Load(engine + ".DLL", folder_, kToolExports,
                         static_cast<int>(sizeof kToolExports / sizeof kToolExports[0]))) {
    Fail("cannot load the engine library: " + impl->module.loadError());
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
  path_ = path;
  if (!impl_->Open(path, readOnly)) {
    Fail("cannot open " + path);
    impl_->Close();
    return false;
  }
  return true;
}

bool TToolDic::Create(const std::string& engine, const std::string& path) {
  if (!Start(engine)) return false;
  path_ = path;
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
  if (IsOpen()) impl_->SetFastMode(on);
}

bool TToolDic::Record(const TToolEntry& entry) {
  if (!IsOpen()) return false;
  int r = impl_->Record(entry);
  if (r < 0) {
    errorCode_ = 0;
    errorText_ = "the " + engine_ + " library cannot write (it has no VKRecord)";
    return false;
  }
  if (r == 0) Fail("cannot store " + entry.word);
  return r == 1;
}

bool TToolDic::Find(const std::string& word, TToolEntry* entry) {
  if (!IsOpen()) return false;
  if (impl_->Find(word, entry)) return true;
  if (impl_->ErrorCode() != 0) Fail("cannot look up " + word);
  return false;
}

bool TToolDic::Search(const std::string& pattern, int32_t flags,
                      const std::function<bool(const TToolEntry&)>& each) {
  if (!IsOpen()) return false;
  if (impl_->Search(pattern, flags, each)) return true;
  Fail("cannot read " + path_);
  return false;
}

bool TToolDic::Info(TToolInfo* info) {
  if (!IsOpen()) return false;
  if (!impl_->Info(path_, info)) {
    Fail("cannot read the header of " + path_);
    return false;
  }
  struct stat st;
  if (::stat(path_.c_str(), &st) == 0) info->fileSize = st.st_size;
  return true;
}

}  // namespace vk
