// The exported interface of one engine library. CMake compiles this file once
// per library with VK_BUILD_TRAITS naming that build's traits; everything
// below is the same for every build.
#include "api/VokaApi.h"

#include <cstring>

#include "api/Handle.h"
#include "api/Messages.h"
#include "dic/Mutation.h"
#include "dic/Voka.h"

#ifndef VK_BUILD_TRAITS
#error "VK_BUILD_TRAITS names the build's traits (set by the build)"
#endif

using B = vk::VK_BUILD_TRAITS;
using IChar = B::IChar;
static_assert(sizeof(IChar) == sizeof(VKChar), "the interface's character type is the build's");

struct VKHandleRec : VKHandleOf<B> {};

namespace {

const IChar* In(const VKChar* s) { return reinterpret_cast<const IChar*>(s); }
const VKChar* Out(const IChar* s) { return reinterpret_cast<const VKChar*>(s); }

const IChar kEmpty[1] = {0};

int32_t FailWith(VKHandleRec* h) {
  h->lastError = h->dic ? h->dic->ErrorCode() : h->lastError;
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
    h->lastError = voka->Error();
    return 0;
  }
  h->dic = std::move(voka);
  return 1;
}

}  // namespace

extern "C" {

VKAPI int32_t VKGetVersion(void) { return 4096; }

VKAPI VKHandle VKCreateHandle(void) { return new (std::nothrow) VKHandleRec; }

VKAPI int32_t VKClose(VKHandle h) {
  if (!h || !h->dic) return 0;
  h->dic->CloseDic();
  h->dic.reset();
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
  vk::IndexData<B> dic;
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

VKAPI const void* VKGetHeader(VKHandle h) {
  vk::Voka<B>* v = h ? h->voka() : nullptr;
  return v ? v->Header().data() : nullptr;
}

VKAPI const VKChar* VKGetFileName(VKHandle h) {
  if (!h || !h->dic) return nullptr;
  return Out(h->dic->FileName());
}

VKAPI int32_t VKGetDicVersion(VKHandle h) {
  vk::Voka<B>* v = h ? h->voka() : nullptr;
  return v ? v->Header().version() : 0;
}

VKAPI int32_t VKGetWordNum(VKHandle h) { return h && h->dic ? h->dic->WordCount() : 0; }
VKAPI int32_t VKGetIndexNum(VKHandle h) { return VKGetWordNum(h); }
VKAPI int32_t VKGetNumWord(VKHandle h) { return VKGetWordNum(h); }

VKAPI void VKSetDivRatio(VKHandle, int32_t) {}

VKAPI int32_t VKGetErrorCode(VKHandle h) {
  if (!h) return 0;
  return h->dic ? h->dic->ErrorCode() : h->lastError;
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
  h->dic->StartSearch(pattern ? In(pattern) : nullptr, 0x1001);
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
    if (h->incremental) {
      vk::Voka<B>* v = h->voka();
      if (v && v->IncrementalPassed(h->currentWord)) return -2;
    }
    h->Fill(rec);
  } else if (rc == -1) {
    h->lastError = h->dic->ErrorCode();
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
  vk::Voka<B>* v = h ? h->voka() : nullptr;
  if (!v) return 0;
  v->InitScan();
  return 1;
}

VKAPI int32_t VKDirectJump(VKHandle h, int32_t n) {
  vk::Voka<B>* v = h ? h->voka() : nullptr;
  return v ? v->DirectJump(n) : 0;
}

VKAPI int32_t VKGetPercent(VKHandle h) {
  vk::Voka<B>* v = h ? h->voka() : nullptr;
  return v ? v->Percent() : 0;
}


// ---- mutation ----

namespace {

// The caller's record as fields: null texts are empty.
vk::Japa<B> FieldsOf(const VKRecordData* rec) {
  vk::Japa<B> f;
  f.attribute = rec->attr;
  if (rec->japa) f.translation = In(rec->japa);
  if (rec->exp) f.example = In(rec->exp);
  if (rec->pron) f.pronunciation = In(rec->pron);
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
  return Answer(h, h->dic->RecordWord(In(rec->word), FieldsOf(rec)));
}

VKAPI int32_t VKUpdate(VKHandle h, const VKRecordData* rec) {
  if (!h || !h->dic || !rec || !rec->word) return 0;
  return Answer(h, h->dic->UpdateWord(In(rec->word), FieldsOf(rec)));
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
  vk::Voka<B>* v = h ? h->voka() : nullptr;
  if (!v || !word) return 0;
  return Answer(h, vk::Mutation<B>(*v).ChangeTranslation(In(word), japa ? In(japa) : nullptr));
}

VKAPI int32_t VKChangeExp(VKHandle h, const VKChar* word, const VKChar* exp) {
  vk::Voka<B>* v = h ? h->voka() : nullptr;
  if (!v || !word) return 0;
  return Answer(h, vk::Mutation<B>(*v).ChangeExample(In(word), exp ? In(exp) : nullptr));
}

VKAPI int32_t VKSetAttr(VKHandle h, const VKChar* word, int32_t attr) {
  vk::Voka<B>* v = h ? h->voka() : nullptr;
  if (!v || !word) return 0;
  return Answer(h, vk::Mutation<B>(*v).SetAttr(In(word), attr));
}

VKAPI int32_t VKChangeLevel(VKHandle h, const VKChar* word, int32_t level) {
  vk::Voka<B>* v = h ? h->voka() : nullptr;
  if (!v || !word) return 0;
  return Answer(h, vk::Mutation<B>(*v).ChangeLevel(In(word), level));
}

VKAPI int32_t VKAddLevel(VKHandle h, const VKChar* word, int32_t delta, int32_t minimum, int32_t maximum) {
  vk::Voka<B>* v = h ? h->voka() : nullptr;
  if (!v || !word) return 0;
  return Answer(h, vk::Mutation<B>(*v).AddLevel(In(word), delta, minimum, maximum));
}

VKAPI int32_t VKQueryRecord(VKHandle h, const VKRecordData* rec, VKQueryParam* param) {
  vk::Voka<B>* v = h ? h->voka() : nullptr;
  if (!v || !rec || !rec->word || !param) return -1;
  vk::QueryCounters counters;
  int32_t rc = vk::Mutation<B>(*v).Query(In(rec->word), FieldsOf(rec), param->clashRule, param->mergeFlags, &counters);
  param->existingCount += counters.existing;
  param->addedCount += counters.added;
  param->tooLongCount += counters.tooLong;
  if (rc < 0) {
    h->lastError = v->Error();
    return -1;
  }
  return 0;
}

}  // extern "C"
