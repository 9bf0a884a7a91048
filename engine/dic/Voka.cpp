#include "dic/Voka.h"

#include "entries/FieldDecoder.h"
#include "entries/HeadwordForm.h"

namespace vk {

template <class B>
int Voka<B>::OpenDic(const std::string& path, const IChar* name, bool readOnly) {
  if (file_.Open(path, readOnly) != 0) return -1;
  AfterOpen(name);
  return 0;
}

template <class B>
int Voka<B>::CreateDic(const std::string& path, const IChar* name, bool option) {
  if (file_.Create(path, option) != 0) return -1;
  AfterOpen(name);
  return 0;
}

template <class B>
void Voka<B>::AfterOpen(const IChar* name) {
  name_ = name ? IString(name) : IString();
  cursor_.Start(nullptr, kTypeAll);
}

template <class B>
int32_t Voka<B>::BSearchWord(const IChar* word) {
  if (!word) return 0;
  const auto key = HeadwordForm<B>::ToKey(word);
  found_ = file_.Locate(key.c_str());
  if (found_.Failed()) return -1;
  if (found_.located == Located::kPastEnd) return 0;
  return found_.at.empty() ? 0 : 1;
}

template <class B>
const typename Voka<B>::IChar* Voka<B>::CursorWord() {
  cursorWordText_ = HeadwordForm<B>::ToInterface(found_.at);
  return cursorWordText_.c_str();
}

template <class B>
int32_t Voka<B>::ReadAtCursor(Japa<B>& out) {
  if (file_.LoadIndexPos(found_.indexPos) != 0) return -1;
  HVokaData<B>& data = file_.Data();
  if (FieldDecoder<B>::Read(data.Buffer(), data.BufferSize(), found_.offset, &out) != WalkStatus::kEntry) {
    file_.SetError(kErrDamaged);
    return -1;
  }
  return 0;
}

template <class B>
int32_t Voka<B>::FindWord(const IChar* word, Japa<B>* out) {
  if (!word) return 0;
  const auto key = HeadwordForm<B>::ToKey(word);
  found_ = file_.Locate(key.c_str());
  if (found_.Failed()) return -1;
  if (found_.located == Located::kPastEnd || found_.at != key) return 0;
  if (out && ReadAtCursor(*out) != 0) return -1;
  return 1;
}

template <class B>
int32_t Voka<B>::SetAttr(const IChar* word, int32_t attr) {
  return Change([&](Changes<B>& c) {
    return c.ChangeAttribute(word, [attr](uint8_t) { return static_cast<uint8_t>(attr); });
  });
}

template <class B>
int32_t Voka<B>::ChangeLevel(const IChar* word, int32_t level) {
  return Change([&](Changes<B>& c) {
    return c.ChangeAttribute(
        word, [level](uint8_t a) { return static_cast<uint8_t>((level & kAttrLevelMask) | (a & 0xF0)); });
  });
}

template <class B>
int32_t Voka<B>::AddLevel(const IChar* word, int32_t delta, int32_t minimum, int32_t maximum) {
  return Change([&](Changes<B>& c) {
    return c.ChangeAttribute(word, [=](uint8_t a) {
      int64_t level = int64_t(a & kAttrLevelMask) + delta;
      if (level > maximum) level = maximum;
      if (level < minimum) level = minimum;
      return static_cast<uint8_t>((level & kAttrLevelMask) | (a & 0xF0));
    });
  });
}

template class Voka<TraitsVKCU8L>;
template class Voka<TraitsVKCUB>;
template class Voka<TraitsVKCUL>;
template class Voka<TraitsVKC620>;

}  // namespace vk
