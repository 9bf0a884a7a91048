// The record behind a VKHandle, and the conversions between the interface's
// strings and the engine's. Each library defines the handle for its own
// build: B is the build's traits.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

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
  vk::Voka<B>* file = nullptr;                // dic, when it is a dictionary file
  int32_t lastError = 0;
  int32_t reserved = 0;
  int32_t incremental = 0;
  std::basic_string<IChar> currentWord;
  vk::Japa<B> current;
  vk::Japa<B> input;  // the fields of the record being stored
  int32_t codePage[4] = {0, 0, 0, 0};

  // Takes a dictionary file as the handle's dictionary.
  void Hold(std::unique_ptr<vk::Voka<B>> voka) {
    file = voka.get();
    dic = std::move(voka);
  }
  // Takes a dictionary of another kind (a memory word list): the handle's
  // operations that only a file has answer as with no dictionary.
  void Hold(std::unique_ptr<vk::TUniversalDic<B>> other) {
    file = nullptr;
    dic = std::move(other);
  }
  void Release() {
    file = nullptr;
    dic.reset();
  }

  // Points the caller's record, when there is one, at the handle's copy of
  // the last result.
  template <class Rec>
  void Fill(Rec* rec) const {
    if (!rec) return;
    using C = std::remove_const_t<std::remove_pointer_t<decltype(rec->word)>>;
    static_assert(sizeof(C) == sizeof(IChar), "the record's characters are the build's");
    auto out = [](const IChar* s) { return reinterpret_cast<const C*>(s); };
    rec->word = out(currentWord.c_str());
    rec->japa = out(current.translation.c_str());
    rec->exp = out(current.example.c_str());
    rec->pron = out(current.pronunciation.c_str());
    rec->attr = current.attribute;
  }
};
