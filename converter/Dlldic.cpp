#include "Dlldic.h"

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
  if (!module_.Load(dllName, EngineFolder(folder_, dllName), kEngineExports)) {
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
  } while (r == VK_STEP_AGAIN);
  readFailed_ = r == VK_STEP_FAILED;
  return r != VK_STEP_FAILED && r != VK_STEP_END;
}

namespace {

// The texts of a record in the string type C.
std::string* TextsOf(TDicRecord* rec, char) { return rec->bytes; }
std::u16string* TextsOf(TDicRecord* rec, char16_t) { return rec->units; }
const std::string* TextsOf(const TDicRecord& rec, char) { return rec.bytes; }
const std::u16string* TextsOf(const TDicRecord& rec, char16_t) { return rec.units; }

template <class C>
const C* OrEmpty(const C* s) {
  static const C kEmpty[1] = {};
  return s ? s : kEmpty;
}

}  // namespace

template <class C>
int TDllDicOf<C>::ReadNext(TDicRecord* rec) {
  if (!NextEntry()) return -1;
  std::basic_string<C>* texts = TextsOf(rec, C());
  texts[kRecordWord].assign(OrEmpty(rec_.word));
  texts[kRecordPron].assign(OrEmpty(rec_.pron));
  texts[kRecordJapa].assign(OrEmpty(rec_.japa));
  texts[kRecordExp].assign(OrEmpty(rec_.exp));
  rec->attr = rec_.attr;
  return 0;
}

template <class C>
int TDllDicOf<C>::WriteRecord(const TDicRecord& rec) {
  if (!handle_) return -1;
  const std::basic_string<C>* texts = TextsOf(rec, C());
  rec_.word = texts[kRecordWord].c_str();
  rec_.japa = texts[kRecordJapa].c_str();
  rec_.exp = texts[kRecordExp].c_str();
  rec_.pron = texts[kRecordPron].c_str();
  rec_.attr = rec.attr;
  return entries_.QueryRecord(handle_, &rec_, &query_);
}

template <class C>
size_t TDllDicOf<C>::Units(const TDicRecord& rec, TRecordField field) const {
  return TextsOf(rec, C())[field].size();
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

}  // namespace vk
