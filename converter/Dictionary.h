// The engine side of the converter: the three kinds of dictionary, the
// limits of what an engine hands back, and how the converter finds an engine
// library (loaded through EngineLibrary, api/EngineLibrary.h).
//
// Kinds are bit flags, as the conversion modes combine them: 0x04 Win32
// (the legacy ANSI engine VKC620, byte strings at its interface), 0x08 UTF-16
// and 0x10 UTF-8 (the Unicode engines, UTF-16 strings at their interface).
//
// A library is named as the desktop program names it ("VKC620.DLL") and is
// loaded as the platform's shared object of that name ("libVKC620.so"): from
// the engine folder first (the running program's folder, else the installed
// library folder, unless a caller says otherwise), then through the
// system's library search. A library counts as
// loaded only when every one of the twelve exports the converter calls
// resolves; one that lacks any of them is treated as missing and unloaded.
#pragma once
#include <cstddef>
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

// The twelve exports a conversion calls; a library that lacks any of them
// counts as missing.
constexpr int kEngineExportCount = 12;
extern const char* const kEngineExports[kEngineExportCount];

// Where the converter looks for the engine library `dllName` before the
// system's search: `chosen`; when that is empty, the first folder of
// EngineFolders (util/Places.h) of `programFolder` that holds the library,
// the program's own folder first.
std::string EngineFolderIn(const std::string& programFolder, const std::string& chosen, const std::string& dllName);
// The same for the running program.
std::string EngineFolder(const std::string& chosen, const std::string& dllName);

}  // namespace vk
