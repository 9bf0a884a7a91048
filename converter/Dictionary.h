// The engine side of the converter: the three kinds of dictionary, the
// interface records that cross into an engine library, and TEngineModule,
// one engine library loaded at run time.
//
// Kinds are bit flags, as the conversion modes combine them: 0x04 Win32
// (the legacy ANSI engine VKC620, byte strings at its interface), 0x08 UTF-16
// and 0x10 UTF-8 (the Unicode engines, UTF-16 strings at their interface).
//
// A library is named as the desktop program names it ("VKC620.DLL") and is
// loaded as the platform's shared object of that name ("libVKC620.so"): from
// the engine folder first (the running program's folder unless a caller says
// otherwise), then through the system's library search. A library counts as
// loaded only when every one of the twelve exports the converter calls
// resolves; one that lacks any of them is treated as missing and unloaded.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vk {

enum TDicKind { kDicWin32 = 0x04, kDicUtf16 = 0x08, kDicUtf8 = 0x10 };

inline bool IsUnicodeKind(int kind) { return kind == kDicUtf16 || kind == kDicUtf8; }

// The longest texts an engine hands back, in its units (UTF-16 units for the
// Unicode engines, bytes for VKC620): a longer stored text reads back cut.
constexpr size_t kMaxTranslationUnits = 3000;
constexpr size_t kMaxExampleUnits = 20000;
constexpr size_t kMaxPronunciationUnits = 1000;
// A new dictionary's headword bound (its header's max_word_len).
constexpr size_t kMaxHeadwordUnits = 248;
// The engine's code for a headword longer than the dictionary takes.
constexpr int kEngineWordTooLong = 37;

// The entry record of the engine interface, for either string type. The
// engine reads and writes only these members; attr follows the 16 bytes it
// never touches, which keeps it at offset 32 in a 32-bit build.
template <class C>
struct TEntryRecord {
  const C* word;
  const C* japa;
  const C* exp;
  const C* pron;
  unsigned char reserved[16];
  unsigned char attr;
};

// The caller-owned parameter block of VKQueryRecord (36 bytes).
struct TQueryParam {
  int32_t clashRule;
  int32_t unused1[2];
  int32_t mergeFlags;
  int32_t unused2;
  int32_t existingCount;
  int32_t addedCount;
  int32_t tooLongCount;
  int32_t unused3;
};
static_assert(sizeof(TQueryParam) == 36, "the query parameter block is 36 bytes");

// The twelve exports a conversion calls, in the order of the interface table.
constexpr int kEngineExportCount = 12;
extern const char* const kEngineExports[kEngineExportCount];

// The typed entry points of one loaded engine, for its string type C.
template <class C>
struct TEngineEntries {
  void* (*CreateHandle)();
  void (*DeleteHandle)(void* h);
  int32_t (*Open)(void* h, const C* name, int32_t readOnly);
  int32_t (*Create)(void* h, const C* name, const int32_t* options);
  int32_t (*Close)(void* h);
  int32_t (*InitSearch)(void* h, const C* pattern, int32_t flags);
  int32_t (*GetNextSearch)(void* h, TEntryRecord<C>* rec);
  int32_t (*GetPercent)(void* h);
  int32_t (*SetFastMode)(void* h, int32_t flag);
  int32_t (*QueryRecord)(void* h, const TEntryRecord<C>* rec, TQueryParam* param);
  int32_t (*GetErrorCode)(void* h);
  const C* (*GetErrorMessage)(int32_t code);
};

class TEngineModule {
 public:
  TEngineModule() = default;
  ~TEngineModule() { Unload(); }
  TEngineModule(const TEngineModule&) = delete;
  TEngineModule& operator=(const TEngineModule&) = delete;

  // "VKC620.DLL" -> "libVKC620.so": the name without its extension, with the
  // platform's prefix and suffix.
  static std::string SharedObjectName(const std::string& dllName);

  // Loads the library from `folder` (empty: the running program's folder),
  // else through the system's search. False when neither gives a library
  // or the one found lacks one of the `required` exports (by default the
  // twelve of a conversion). Unloads whatever was loaded before.
  bool Load(const std::string& dllName, const std::string& folder = std::string(),
            const char* const* required = kEngineExports, int requiredCount = kEngineExportCount);
  void Unload();
  bool IsLoaded() const { return so_ != nullptr; }

  // Any export by name, or null.
  void* Symbol(const char* name) const;

  // The twelve entry points; valid while the library is loaded.
  template <class C>
  TEngineEntries<C> Entries() const;

  // Why the last Load failed (the loader's own text), for diagnostics.
  const std::string& loadError() const { return loadError_; }

 private:
  void* so_ = nullptr;
  std::string loadError_;
};

template <class C>
TEngineEntries<C> TEngineModule::Entries() const {
  TEngineEntries<C> e;
  void** slots[kEngineExportCount] = {
      reinterpret_cast<void**>(&e.CreateHandle),  reinterpret_cast<void**>(&e.DeleteHandle),
      reinterpret_cast<void**>(&e.Open),          reinterpret_cast<void**>(&e.Create),
      reinterpret_cast<void**>(&e.Close),         reinterpret_cast<void**>(&e.InitSearch),
      reinterpret_cast<void**>(&e.GetNextSearch), reinterpret_cast<void**>(&e.GetPercent),
      reinterpret_cast<void**>(&e.SetFastMode),   reinterpret_cast<void**>(&e.QueryRecord),
      reinterpret_cast<void**>(&e.GetErrorCode),  reinterpret_cast<void**>(&e.GetErrorMessage)};
  for (int i = 0; i < kEngineExportCount; ++i) *slots[i] = Symbol(kEngineExports[i]);
  return e;
}

}  // namespace vk
