// The client side of the engine interface: one engine library loaded at run
// time by name, and its exports as typed function pointers over the records
// of VokaApi.h.
//
// A program that loads both kinds of library cannot call the functions that
// VokaApi.h declares (they have one string type); it binds each library's
// exports instead, as EngineExports<char16_t> for libVKCU8L.so, libVKCUB.so
// and libVKCUL.so and as EngineExports<char> for libVKC620.so.
//
// A library is named as the desktop program names it ("VKC620.DLL") and is
// loaded as the platform's shared object of that name ("libVKC620.so"): from
// the caller's folder first, then through the system's library search.
// Nothing here belongs to the engine libraries themselves; they never link it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "api/VokaApi.h"

namespace vk {

// Every export of one library, typed for its string type C; null where the
// library lacks the export. The names are the exports' without "VK".
template <class C>
struct EngineExports {
  using Rec = typename VKRecordOf<C>::type;
  using CheckParam = typename VKCheckParamOf<C>::type;

  int32_t (*GetVersion)() = nullptr;
  int32_t (*IsVoka)(const C*) = nullptr;
  VKHandle (*CreateHandle)() = nullptr;
  void (*DeleteHandle)(VKHandle) = nullptr;
  int32_t (*Open)(VKHandle, const C*, int32_t) = nullptr;
  int32_t (*Create)(VKHandle, const C*, const int32_t*) = nullptr;
  int32_t (*Close)(VKHandle) = nullptr;
  int32_t (*GetHeaderInfo)(const C*, VKHeaderInfo*) = nullptr;
  int32_t (*SetFastMode)(VKHandle, int32_t) = nullptr;
  VKHandle (*SetCodePage)(VKHandle, int32_t, int32_t, int32_t, int32_t) = nullptr;
  const void* (*GetHeader)(VKHandle) = nullptr;
  const C* (*GetFileName)(VKHandle) = nullptr;
  int32_t (*GetDicVersion)(VKHandle) = nullptr;
  int32_t (*GetWordNum)(VKHandle) = nullptr;
  int32_t (*GetIndexNum)(VKHandle) = nullptr;
  int32_t (*GetNumWord)(VKHandle) = nullptr;
  VKGlobal (*BitmapToDIB)(VKBitmap, VKPalette) = nullptr;
  void (*SetDivRatio)(VKHandle, int32_t) = nullptr;
  int32_t (*GetErrorCode)(VKHandle) = nullptr;
  const C* (*GetErrorMessage)(int32_t) = nullptr;

  int32_t (*InitSearch)(VKHandle, const C*, int32_t) = nullptr;
  int32_t (*InitIncSearch)(VKHandle, const C*) = nullptr;
  int32_t (*SetAllSearch)(VKHandle, int32_t, int32_t) = nullptr;
  void (*JumpAS)(VKHandle, const C*, int32_t, int32_t) = nullptr;
  int32_t (*GetNextSearch)(VKHandle, Rec*) = nullptr;
  int32_t (*GetPrevSearch)(VKHandle, Rec*) = nullptr;
  int32_t (*BSearch)(VKHandle, const C*, Rec*) = nullptr;
  int32_t (*Find)(VKHandle, const C*, Rec*) = nullptr;
  int32_t (*InitScan)(VKHandle) = nullptr;
  int32_t (*GetNextScan)(VKHandle, Rec*) = nullptr;  // libVKCUB only
  int32_t (*DirectJump)(VKHandle, int32_t) = nullptr;
  int32_t (*GetPercent)(VKHandle) = nullptr;

  int32_t (*Record)(VKHandle, const Rec*) = nullptr;
  int32_t (*Update)(VKHandle, const Rec*) = nullptr;
  int32_t (*Erase)(VKHandle, const C*) = nullptr;
  int32_t (*Rename)(VKHandle, const C*, const C*) = nullptr;
  int32_t (*ChangeJapa)(VKHandle, const C*, const C*) = nullptr;
  int32_t (*ChangeExp)(VKHandle, const C*, const C*) = nullptr;
  int32_t (*SetAttr)(VKHandle, const C*, int32_t) = nullptr;
  int32_t (*ChangeLevel)(VKHandle, const C*, int32_t) = nullptr;
  int32_t (*AddLevel)(VKHandle, const C*, int32_t, int32_t, int32_t) = nullptr;
  int32_t (*QueryRecord)(VKHandle, const Rec*, VKQueryParam*) = nullptr;
  int32_t (*DicCheck)(VKHandle, const C*, CheckParam*) = nullptr;
  using OptimizeParam = std::conditional_t<std::is_same<C, char>::value, VKOptimizeParamA, VKOptimizeParamW>;
  int32_t (*Optimize)(VKHandle, const C*, OptimizeParam*) = nullptr;

  // Calls visit(pointer, "VKName") for every export, in the order above.
  template <class F>
  void ForEach(F&& visit) {
    visit(GetVersion, "VKGetVersion");
    visit(IsVoka, "VKIsVoka");
    visit(CreateHandle, "VKCreateHandle");
    visit(DeleteHandle, "VKDeleteHandle");
    visit(Open, "VKOpen");
    visit(Create, "VKCreate");
    visit(Close, "VKClose");
    visit(GetHeaderInfo, "VKGetHeaderInfo");
    visit(SetFastMode, "VKSetFastMode");
    visit(SetCodePage, "VKSetCodePage");
    visit(GetHeader, "VKGetHeader");
    visit(GetFileName, "VKGetFileName");
    visit(GetDicVersion, "VKGetDicVersion");
    visit(GetWordNum, "VKGetWordNum");
    visit(GetIndexNum, "VKGetIndexNum");
    visit(GetNumWord, "VKGetNumWord");
    visit(BitmapToDIB, "VKBitmapToDIB");
    visit(SetDivRatio, "VKSetDivRatio");
    visit(GetErrorCode, "VKGetErrorCode");
    visit(GetErrorMessage, "VKGetErrorMessage");
    visit(InitSearch, "VKInitSearch");
    visit(InitIncSearch, "VKInitIncSearch");
    visit(SetAllSearch, "VKSetAllSearch");
    visit(JumpAS, "VKJumpAS");
    visit(GetNextSearch, "VKGetNextSearch");
    visit(GetPrevSearch, "VKGetPrevSearch");
    visit(BSearch, "VKBSearch");
    visit(Find, "VKFind");
    visit(InitScan, "VKInitScan");
    visit(GetNextScan, "VKGetNextScan");
    visit(DirectJump, "VKDirectJump");
    visit(GetPercent, "VKGetPercent");
    visit(Record, "VKRecord");
    visit(Update, "VKUpdate");
    visit(Erase, "VKErase");
    visit(Rename, "VKRename");
    visit(ChangeJapa, "VKChangeJapa");
    visit(ChangeExp, "VKChangeExp");
    visit(SetAttr, "VKSetAttr");
    visit(ChangeLevel, "VKChangeLevel");
    visit(AddLevel, "VKAddLevel");
    visit(QueryRecord, "VKQueryRecord");
    visit(DicCheck, "VKDicCheck");
    visit(Optimize, "VKOptimize");
  }
};

class EngineLibrary {
 public:
  EngineLibrary() = default;
  ~EngineLibrary() { Unload(); }
  EngineLibrary(const EngineLibrary&) = delete;
  EngineLibrary& operator=(const EngineLibrary&) = delete;

  // "VKC620.DLL" -> "libVKC620.so": the name without its extension, with the
  // platform's prefix and suffix.
  static std::string SharedObjectName(const std::string& dllName);

  // Loads the library from `folder` (when not empty), else through the
  // system's search. False when neither gives a library or the one found
  // lacks one of the `required` exports; the library is then not kept.
  // Unloads whatever was loaded before.
  bool Load(const std::string& dllName, const std::string& folder, const char* const* required,
            size_t requiredCount);
  template <size_t N>
  bool Load(const std::string& dllName, const std::string& folder,
            const char* const (&required)[N]) {
    return Load(dllName, folder, required, N);
  }
  void Unload();
  bool IsLoaded() const { return so_ != nullptr; }

  // Any export by name, or null.
  void* Symbol(const char* name) const;

  // The exports for the library's string type C; valid while it is loaded.
  template <class C>
  EngineExports<C> Exports() const {
    EngineExports<C> e;
    e.ForEach([this](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(Symbol(name));
    });
    return e;
  }

  // Why the last Load failed (the loader's own text, or the export that is
  // missing), for diagnostics.
  const std::string& loadError() const { return loadError_; }

 private:
  void* so_ = nullptr;
  std::string loadError_;
};

}  // namespace vk
