#include "Dlldic.h"

#include <cstring>

#include "util/Utf8.h"

namespace vk {

const char* EngineLibraryFor(int kind, int bigEndian) {
  if (kind == kDicWin32) return "VKC620.DLL";
  if (kind == kDicUtf16) return bigEndian ? "VKCUB.DLL" : "VKCUL.DLL";
  if (kind == kDicUtf8) return bigEndian ? nullptr : "VKCU8L.DLL";
  return nullptr;
}

template <class C>
TDllDicOf<C>::~TDllDicOf() {
  if (module_.IsLoaded()) {
    Close();
    module_.Unload();
  }
}

template <class C>
bool TDllDicOf<C>::LoadNamed(const char* dllName) {
  if (module_.IsLoaded()) return true;
  if (!module_.Load(dllName, EngineFolder(folder_), kEngineExports)) {
    errorCode_ = kErrorNoLibrary;
    return false;
  }
  entries_ = module_.Exports<C>();
  return true;
}

template <class C>
int TDllDicOf<C>::GetErrorCode() {
  if (handle_) return entries_.GetErrorCode(handle_);
  return errorCode_;
}

template <class C>
int TDllDicOf<C>::Open(const std::string& path, int mode) {
  Close();
  if (!LoadDll()) return -1;
  std::basic_string<C> enginePath;
  if (!EnginePath(path, &enginePath)) {
    errorCode_ = VK_ERR_BAD_FILE_NAME;
    return -1;
  }
  if (!handle_) handle_ = entries_.CreateHandle();
  fileName_ = path;
  errorCode_ = 0;
  if (!handle_) {
    errorCode_ = VK_ERR_NO_MEMORY;  // the engine could not allocate a handle
    return -1;
  }
  bool ok = true;
  switch (mode & 3) {
    case kOpenRead:
      ok = CallOpen(path, 1);
      break;
    case kOpenCreate: {
      const int32_t option = 0;
      ok = CallCreate(path, &option);
      break;
    }
    case kOpenReadWrite:
      ok = CallOpen(path, 0);
      break;
    default:
      break;
  }
  if (!ok) return -1;
  InitSearch(kClashRule, kMergeFlags);
  return 0;
}

template <class C>
bool TDllDicOf<C>::CallOpen(const std::string& path, int32_t readOnly) {
  std::basic_string<C> p;
  EnginePath(path, &p);
  return entries_.Open(handle_, p.c_str(), readOnly) != 0;
}

template <class C>
bool TDllDicOf<C>::CallCreate(const std::string& path, const int32_t* option) {
  std::basic_string<C> p;
  EnginePath(path, &p);
  return entries_.Create(handle_, p.c_str(), option) != 0;
}

template <class C>
void TDllDicOf<C>::Close() {
  if (!handle_) return;
  entries_.Close(handle_);
  entries_.DeleteHandle(handle_);
  handle_ = nullptr;
}

template <class C>
void TDllDicOf<C>::SetFastMode() {
  if (handle_) entries_.SetFastMode(handle_, 1);
}

template <class C>
int TDllDicOf<C>::Commit() {
  if (!handle_) return -1;
  int32_t saved = entries_.SetFastMode(handle_, 0);
  entries_.SetFastMode(handle_, 1);
  return saved < 0 ? -1 : 0;
}

template <class C>
void TDllDicOf<C>::InitSearch(int32_t clashRule, int32_t mergeFlags) {
  entries_.InitSearch(handle_, nullptr, VK_SEARCH_ALL);
  query_ = VKQueryParam();
  query_.clashRule = clashRule;
  query_.mergeFlags = mergeFlags;
  rec_ = typename VKRecordOf<C>::type();
  readFailed_ = false;
}

template <class C>
int TDllDicOf<C>::GetPercent() {
  return handle_ ? entries_.GetPercent(handle_) : 0;
}

template <class C>
int TDllDicOf<C>::GetWordCount() {
  if (!handle_ || !entries_.GetWordNum) return -1;
  return entries_.GetWordNum(handle_);
}

template <class C>
bool TDllDicOf<C>::NextEntry() {
  readFailed_ = false;
  if (!handle_) return false;
  int32_t r;
  do {
    r = entries_.GetNextSearch(handle_, &rec_);
  } while (r == 0);
  readFailed_ = r == -1;
  return r != -1 && r != -2;
}

template <class C>
int32_t TDllDicOf<C>::Register(const C* word, const C* japa, const C* exp, const C* pron,
                               uint8_t attr) {
  if (!handle_) return -1;
  rec_.word = word;
  rec_.japa = japa;
  rec_.exp = exp;
  rec_.pron = pron;
  rec_.attr = attr;
  return entries_.QueryRecord(handle_, &rec_, &query_);
}

template class TDllDicOf<char>;
template class TDllDicOf<char16_t>;

// TWin32DllDic

bool TWin32DllDic::LoadDll() { return LoadNamed(EngineLibraryFor(kDicWin32, 0)); }

bool TWin32DllDic::EnginePath(const std::string& path, std::string* out) {
  *out = path;
  return true;
}

const char* TWin32DllDic::GetErrorMessage(int code) {
  if (!LoadDll()) return nullptr;
  return entries_.GetErrorMessage(code);
}

int TWin32DllDic::ReadNext(std::string* word, TAnsiFields* fields) {
  if (!NextEntry()) return -1;
  word->assign(rec_.word ? rec_.word : "");
  fields->japa = rec_.japa ? rec_.japa : "";
  fields->exp = rec_.exp ? rec_.exp : "";
  fields->pron = rec_.pron ? rec_.pron : "";
  fields->attr = rec_.attr;
  return 0;
}

int TWin32DllDic::WriteRecord(const char* word, const TAnsiFields& fields) {
  return Register(word, fields.japa, fields.exp, fields.pron, fields.attr);
}

// TUnicodeDllDic

bool TUnicodeDllDic::LoadDll() {
  const char* name = EngineLibraryFor(utf8_ ? kDicUtf8 : kDicUtf16, bigEndian_);
  if (!name) return false;  // no big-endian UTF-8 engine: nothing is tried
  return LoadNamed(name);
}

bool TUnicodeDllDic::EnginePath(const std::string& path, std::u16string* out) {
  *out = FromUtf8Text(path);
  // Bytes that are not UTF-8 would not survive the engine's way back to a
  // file name: refuse them rather than open another file.
  if (ToUtf8Text(out->c_str()) != path) return false;
  return out->size() < kPathUnits;
}

const char* TUnicodeDllDic::GetErrorMessage(int code) {
  if (!LoadDll()) return nullptr;
  const char16_t* text = entries_.GetErrorMessage(code);
  if (!text) return nullptr;
  message_ = ToUtf8Text(text);
  return message_.c_str();
}

int TUnicodeDllDic::ReadNext(std::u16string* word, TUnicodeFields* fields) {
  if (!NextEntry()) return -1;
  word->assign(rec_.word ? rec_.word : u"");
  fields->japa.assign(rec_.japa ? rec_.japa : u"");
  fields->pron.assign(rec_.pron ? rec_.pron : u"");
  fields->exp.assign(rec_.exp ? rec_.exp : u"");
  fields->attr = rec_.attr;
  return 0;
}

int TUnicodeDllDic::WriteRecord(const char16_t* word, const TUnicodeFields& fields) {
  return Register(word, fields.japa.c_str(), fields.exp.c_str(), fields.pron.c_str(), fields.attr);
}

}  // namespace vk
