// The exported interface of one engine library. CMake compiles this file once
// per library with VK_BUILD_TRAITS naming that build's traits; everything
// below is the same for every build.
#include "api/VokaApi.h"

#include <cstring>

#include "api/Handle.h"
#include "text/Messages.h"
#include "text/UnitScan.h"
#include "dic/MergePolicy.h"
#include "dic/SearchCursor.h"
#include "dic/Voka.h"

#ifndef VK_BUILD_TRAITS
#error "VK_BUILD_TRAITS names the build's traits (set by the build)"
#endif

using B = vk::VK_BUILD_TRAITS;
using IChar = B::IChar;
static_assert(sizeof(IChar) == sizeof(VKChar), "the interface's character type is the build's");

struct VKHandleRec : VKHandleOf<B> {};

// The engine's names for the interface's numbers are the header's.
static_assert(vk::kSearchIncremental == VK_SEARCH_INCREMENTAL && vk::kSearchPrefixFlag == VK_SEARCH_PREFIX &&
                  vk::kSearchCaseFolded == VK_SEARCH_CASE_FOLDED && vk::kSearchTypeMask == VK_SEARCH_TYPE_MASK &&
                  vk::kTypeAll == VK_SEARCH_ALL && vk::kTypeFlag5 == VK_SEARCH_FLAG5 &&
                  vk::kTypeFlag6 == VK_SEARCH_FLAG6 && vk::kTypeLevel == VK_SEARCH_LEVEL &&
                  vk::kTypeQuery == VK_SEARCH_QUERY && vk::kFieldHeadword == VK_SEARCH_HEADWORD &&
                  vk::kFieldTranslation == VK_SEARCH_TRANSLATION && vk::kFieldExampleText == VK_SEARCH_EXAMPLE &&
                  vk::kFieldPronunciationText == VK_SEARCH_PRONUNCIATION &&
                  vk::kFieldObjectText == VK_SEARCH_OBJECT && vk::kFieldExtensions == VK_SEARCH_EXTENSIONS,
              "search flags");
static_assert(vk::kStepEntry == VK_STEP_ENTRY && vk::kStepAgain == VK_STEP_AGAIN && vk::kStepFailed == VK_STEP_FAILED &&
                  vk::kStepEnd == VK_STEP_END,
              "search step results");
static_assert(vk::kClashReplaceIfLonger == VK_CLASH_REPLACE_IF_LONGER && vk::kClashKeep == VK_CLASH_KEEP &&
                  vk::kClashReplace == VK_CLASH_REPLACE && vk::kClashMergeComma == VK_CLASH_MERGE_COMMA &&
                  vk::kClashMergeLines == VK_CLASH_MERGE_LINES,
              "clash rules");
static_assert(vk::kMergeNormaliseMarks == VK_MERGE_NORMALISE_MARKS &&
                  vk::kMergeNormaliseBullets == VK_MERGE_NORMALISE_BULLETS &&
                  vk::kMergeLevelMarker == VK_MERGE_LEVEL_MARKER && vk::kMergeNoteSections == VK_MERGE_NOTE_SECTIONS &&
                  vk::kMergeTranslations == VK_MERGE_TRANSLATIONS && vk::kMergeExamples == VK_MERGE_EXAMPLES &&
                  vk::kMergeAttributes == VK_MERGE_ATTRIBUTES && vk::kMergePronunciations == VK_MERGE_PRONUNCIATIONS &&
                  vk::kMergeSearchFlags == VK_MERGE_SEARCH_FLAGS,
              "merge flags");
static_assert(int32_t(vk::kErrDictionaryFull) == VK_ERR_DICTIONARY_FULL && int32_t(vk::kErrDiskFull) == VK_ERR_DISK_FULL &&
                  int32_t(vk::kErrReadWrite) == VK_ERR_READ_WRITE && int32_t(vk::kErrVersion) == VK_ERR_VERSION &&
                  int32_t(vk::kErrNoMemory) == VK_ERR_NO_MEMORY && int32_t(vk::kErrCannotOpen) == VK_ERR_CANNOT_OPEN &&
                  int32_t(vk::kErrSharing) == VK_ERR_SHARING && int32_t(vk::kErrNotDictionary) == VK_ERR_NOT_DICTIONARY &&
                  int32_t(vk::kErrNetwork) == VK_ERR_NETWORK && int32_t(vk::kErrReadOnly) == VK_ERR_READ_ONLY &&
                  int32_t(vk::kErrUnsupportedType) == VK_ERR_UNSUPPORTED_TYPE && int32_t(vk::kErrTooLarge) == VK_ERR_TOO_LARGE &&
                  int32_t(vk::kErrDamaged) == VK_ERR_DAMAGED && int32_t(vk::kErrWordTooLong) == VK_ERR_WORD_TOO_LONG,
              "error codes");
static_assert(sizeof(VKQueryParam) == 36 && sizeof(VKHeaderInfo) == 332, "interface records");

namespace {

const IChar* In(const VKChar* s) { return reinterpret_cast<const IChar*>(s); }
const VKChar* Out(const IChar* s) { return reinterpret_cast<const VKChar*>(s); }

const IChar kEmpty[1] = {0};

int32_t FailWith(VKHandleRec* h) {
  if (h->dic) h->lastError = vk::ExportedCode(h->dic->ErrorCode());
  return 0;
}

}  // namespace

namespace {

// Opens or creates through a fresh dictionary object that the handle takes
// on success. The handle's earlier dictionary is closed first, not lost.
template <class Start>
int32_t Attach(VKHandle h, const VKChar* name, Start start) {
  if (!h) return 0;
  VKClose(h);
  if (!name) {
    h->lastError = vk::kErrCannotOpen;
    return 0;
  }
  std::unique_ptr<vk::Voka<B>> voka(new (std::nothrow) vk::Voka<B>);
  if (!voka) {
    h->lastError = vk::kErrNoMemory;
    return 0;
  }
  if (start(*voka, vk::PathFromInterface(In(name)), In(name)) != 0) {
    h->lastError = vk::ExportedCode(voka->Error());
    return 0;
  }
  h->Hold(std::move(voka));
  return 1;
}

}  // namespace

extern "C" {

VKAPI int32_t VKGetVersion(void) { return 4096; }

VKAPI VKHandle VKCreateHandle(void) { return new (std::nothrow) VKHandleRec; }

// A close that could not write what was pending (the file is then as it
// was at its last commit) still closes; it leaves its code in the handle,
// where VKGetErrorCode finds it, instead of passing for a clean close.
VKAPI int32_t VKClose(VKHandle h) {
  if (!h || !h->dic) return 0;
  int32_t code = 0;
  if (h->file) {
    if (h->file->CloseFile() != 0) code = vk::ExportedCode(h->file->Error());
  } else {
    h->dic->CloseDic();
  }
  h->Release();
  if (code != 0) h->lastError = code;
  return 1;
}

VKAPI void VKDeleteHandle(VKHandle h) {
  if (!h) return;
  VKClose(h);
  delete h;
}

VKAPI int32_t VKOpen(VKHandle h, const VKChar* name, int32_t readOnly) {
  return Attach(h, name, [&](vk::Voka<B>& v, const std::string& path, const IChar* n) {
    return v.OpenDic(path, n, readOnly != 0);
  });
}

VKAPI int32_t VKCreate(VKHandle h, const VKChar* name, const int32_t* options) {
  const bool option = options && *options != 0;
  return Attach(h, name, [&](vk::Voka<B>& v, const std::string& path, const IChar* n) {
    return v.CreateDic(path, n, option);
  });
}

VKAPI int32_t VKIsVoka(const VKChar* name) {
  if (!name) return 0;
  vk::Voka<B> voka;
  return voka.OpenDic(vk::PathFromInterface(In(name)), In(name), true) == 0 ? 1 : 0;
}

VKAPI int32_t VKGetHeaderInfo(const VKChar* name, VKHeaderInfo* info) {
  if (!name || !info) return 0;
  vk::DicFile<B> dic;
  if (dic.Open(vk::PathFromInterface(In(name)), true) != 0) return 0;
  const vk::DicHeader& hd = dic.Header();
  std::memset(info, 0, sizeof *info);
  info->headerSize = hd.headerSize();
  info->version = hd.version();
  info->maxWordLen = hd.maxWordLen();
  info->maxJapaLen = hd.maxJapaLen();
  info->indexAreaBytes = int32_t(hd.indexBlocks()) * hd.blockSize();
  info->indexCount = hd.indexCount();
  info->indexBlocks = hd.indexBlocks();
  info->blockSize = hd.blockSize();
  info->blockCount = hd.blockCount();
  info->freeBlock = hd.freeBlock();
  info->wordCount = static_cast<int32_t>(hd.wordCount());
  info->typeAux = hd.typeAux();
  info->dicType = hd.dicType();
  info->attrLen = hd.attrLen();
  info->indexWide = hd.indexWide();
  info->extraValue = hd.extraValue();
  info->charTag = hd.charTag();
  dic.Close();
  return 1;
}

VKAPI int32_t VKSetFastMode(VKHandle h, int32_t flag) {
  if (!h || !h->dic) return 0;
  return h->dic->SetFast(flag != 0);
}

VKAPI VKHandle VKSetCodePage(VKHandle h, int32_t a, int32_t b, int32_t c, int32_t d) {
  if (h) {
    h->codePage[0] = a;
    h->codePage[1] = b;
    h->codePage[2] = c;
    h->codePage[3] = d;
  }
  return h;
}

VKAPI const void* VKGetHeader(VKHandle h) { return h && h->file ? h->file->Header().data() : nullptr; }

VKAPI const VKChar* VKGetFileName(VKHandle h) {
  if (!h || !h->dic) return nullptr;
  return Out(h->dic->FileName());
}

VKAPI int32_t VKGetDicVersion(VKHandle h) { return h && h->file ? h->file->Header().version() : 0; }

VKAPI int32_t VKGetWordNum(VKHandle h) { return h && h->dic ? h->dic->WordCount() : 0; }
VKAPI int32_t VKGetIndexNum(VKHandle h) { return VKGetWordNum(h); }
VKAPI int32_t VKGetNumWord(VKHandle h) { return VKGetWordNum(h); }

VKAPI void VKSetDivRatio(VKHandle, int32_t) {}

VKAPI int32_t VKGetErrorCode(VKHandle h) {
  if (!h) return 0;
  return h->dic ? vk::ExportedCode(h->dic->ErrorCode()) : h->lastError;
}

VKAPI const VKChar* VKGetErrorMessage(int32_t code) { return Out(vk::RingMessage<IChar>(code)); }

// ---- search and navigation ----

VKAPI int32_t VKInitSearch(VKHandle h, const VKChar* pattern, int32_t flags) {
  if (!h || !h->dic) return 0;
  h->incremental = 0;
  h->dic->StartSearch(pattern ? In(pattern) : nullptr, flags);
  return 1;
}

VKAPI int32_t VKInitIncSearch(VKHandle h, const VKChar* pattern) {
  if (!h || !h->dic) return 0;
  h->dic->StartSearch(pattern ? In(pattern) : nullptr, vk::kSearchIncremental);
  h->incremental = 1;
  return 1;
}

VKAPI int32_t VKSetAllSearch(VKHandle h, int32_t, int32_t flags) {
  if (!h || !h->dic) return 0;
  h->incremental = 0;
  h->dic->StartSearch(kEmpty, flags);
  return 1;
}

VKAPI void VKJumpAS(VKHandle h, const VKChar* word, int32_t after, int32_t inclusive) {
  if (!h || !h->dic) return;
  h->dic->JumpTo(word ? In(word) : kEmpty, after, inclusive);
}

namespace {

int32_t Step(VKHandle h, VKRecordData* rec, bool forward) {
  if (!h || !h->dic) return -1;
  int32_t rc = forward ? h->dic->NextResult(rec ? &h->current : nullptr)
                       : h->dic->PrevResult(rec ? &h->current : nullptr);
  if (rc == 1) {
    h->currentWord = h->dic->ResultWord();
    if (h->incremental && h->file && h->file->IncrementalPassed(h->currentWord)) return vk::kStepEnd;
    h->Fill(rec);
  } else if (rc == -1) {
    h->lastError = vk::ExportedCode(h->dic->ErrorCode());
  }
  return rc;
}

}  // namespace

VKAPI int32_t VKGetNextSearch(VKHandle h, VKRecordData* rec) { return Step(h, rec, true); }
VKAPI int32_t VKGetPrevSearch(VKHandle h, VKRecordData* rec) { return Step(h, rec, false); }

VKAPI int32_t VKBSearch(VKHandle h, const VKChar* word, VKRecordData* rec) {
  if (!h || !h->dic || !word) return 0;
  int32_t rc = h->dic->BSearchWord(In(word));
  if (rc != 1) return rc < 0 ? FailWith(h) : 0;
  h->currentWord = h->dic->CursorWord();
  if (rec) {
    if (h->dic->ReadAtCursor(h->current) != 0) return FailWith(h);
    h->Fill(rec);
  }
  return 1;
}

VKAPI int32_t VKFind(VKHandle h, const VKChar* word, VKRecordData* rec) {
  if (!h || !h->dic || !word) return 0;
  int32_t rc = h->dic->FindWord(In(word), rec ? &h->current : nullptr);
  if (rc != 1) return rc < 0 ? FailWith(h) : 0;
  h->currentWord = In(word);
  h->Fill(rec);
  return 1;
}

VKAPI int32_t VKInitScan(VKHandle h) {
  if (!h || !h->file) return 0;
  h->file->InitScan();
  return 1;
}

VKAPI int32_t VKDirectJump(VKHandle h, int32_t n) { return h && h->file ? h->file->DirectJump(n) : 0; }

VKAPI int32_t VKGetPercent(VKHandle h) { return h && h->file ? h->file->Percent() : 0; }


// ---- mutation ----

namespace {

// The caller's record as fields: null texts are empty. They are copied into
// the handle's own record, whose texts keep their memory from one call to
// the next: a bulk load makes no allocation for them.
const vk::Japa<B>& FieldsOf(VKHandleRec* h, const VKRecordData* rec) {
  vk::Japa<B>& f = h->input;
  f.attribute = rec->attr;
  auto copy = [](const VKChar* s, typename vk::Japa<B>::Text* to) {
    if (s) {
      const auto* text = In(s);
      to->assign(text, vk::TerminatedLength(text));
    } else {
      to->clear();
    }
  };
  copy(rec->japa, &f.translation);
  copy(rec->exp, &f.example);
  copy(rec->pron, &f.pronunciation);
  return f;
}

// 1 for done, 0 for nothing done; a failure leaves its code in the handle too.
int32_t Answer(VKHandleRec* h, int32_t rc) {
  if (rc < 0) return FailWith(h);
  return rc > 0 ? 1 : 0;
}

}  // namespace

VKAPI int32_t VKRecord(VKHandle h, const VKRecordData* rec) {
  if (!h || !h->dic || !rec || !rec->word) return 0;
  return Answer(h, h->dic->RecordWord(In(rec->word), FieldsOf(h, rec)));
}

VKAPI int32_t VKUpdate(VKHandle h, const VKRecordData* rec) {
  if (!h || !h->dic || !rec || !rec->word) return 0;
  return Answer(h, h->dic->UpdateWord(In(rec->word), FieldsOf(h, rec)));
}

VKAPI int32_t VKErase(VKHandle h, const VKChar* word) {
  if (!h || !h->dic || !word) return 0;
  return Answer(h, h->dic->EraseWord(In(word)));
}

VKAPI int32_t VKRename(VKHandle h, const VKChar* oldWord, const VKChar* newWord) {
  if (!h || !h->dic || !oldWord || !newWord) return 0;
  return Answer(h, h->dic->RenameWord(In(oldWord), In(newWord)));
}

VKAPI int32_t VKChangeJapa(VKHandle h, const VKChar* word, const VKChar* japa) {
  if (!h || !h->file || !word) return 0;
  return Answer(h, h->file->ChangeTranslation(In(word), japa ? In(japa) : nullptr));
}

VKAPI int32_t VKChangeExp(VKHandle h, const VKChar* word, const VKChar* exp) {
  if (!h || !h->file || !word) return 0;
  return Answer(h, h->file->ChangeExample(In(word), exp ? In(exp) : nullptr));
}

VKAPI int32_t VKSetAttr(VKHandle h, const VKChar* word, int32_t attr) {
  if (!h || !h->file || !word) return 0;
  return Answer(h, h->file->SetAttr(In(word), attr));
}

VKAPI int32_t VKChangeLevel(VKHandle h, const VKChar* word, int32_t level) {
  if (!h || !h->file || !word) return 0;
  return Answer(h, h->file->ChangeLevel(In(word), level));
}

VKAPI int32_t VKAddLevel(VKHandle h, const VKChar* word, int32_t delta, int32_t minimum, int32_t maximum) {
  if (!h || !h->file || !word) return 0;
  return Answer(h, h->file->AddLevel(In(word), delta, minimum, maximum));
}

VKAPI int32_t VKQueryRecord(VKHandle h, const VKRecordData* rec, VKQueryParam* param) {
  vk::Voka<B>* v = h ? h->file : nullptr;
  if (!v || !rec || !rec->word || !param) return -1;
  vk::QueryCounters counters;
  int32_t rc = v->Query(In(rec->word), FieldsOf(h, rec), param->clashRule, param->mergeFlags, &counters);
  param->existingCount += counters.existing;
  param->addedCount += counters.added;
  param->tooLongCount += counters.tooLong;
  if (rc < 0) {
    h->lastError = vk::ExportedCode(v->Error());
    return -1;
  }
  return 0;
}

}  // extern "C"
