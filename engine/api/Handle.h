// The record behind a VKHandle, and the conversions between the interface's
// strings and the engine's. Each library defines the handle for its own
// build: B is the build's traits.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "dic/UniversalDic.h"
#include "dic/Voka.h"
#include "entries/Japa.h"
#include "text/Utf.h"

namespace vk {

// A file name from the interface as a path of the system (UTF-8).
inline std::string PathFromInterface(const char16_t* name) { return Utf16ToUtf8(name); }
inline std::string PathFromInterface(const char* name) { return std::string(name); }

}  // namespace vk

template <class B>
struct VKHandleOf {
  using IChar = typename B::IChar;
  std::unique_ptr<vk::TUniversalDic<B>> dic;  // null while no dictionary is open
  int32_t lastError = 0;
  int32_t reserved = 0;
  int32_t incremental = 0;
  std::basic_string<IChar> currentWord;
  vk::Japa<B> current;
  int32_t codePage[4] = {0, 0, 0, 0};

  vk::Voka<B>* voka() { return dic ? dic->AsVoka() : nullptr; }
};
