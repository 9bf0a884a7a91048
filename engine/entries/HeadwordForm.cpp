#include "entries/HeadwordForm.h"

#include <climits>

#include "entries/EntryLayout.h"
#include "file/ErrorCodes.h"
#include "text/Utf.h"

namespace vk {

template <class B>
int HeadwordForm<B>::ToStored(std::basic_string_view<IChar> s, Word* out) {
  size_t z = s.find(IChar(0));
  if (z != s.npos) s = s.substr(0, z);
  if constexpr (std::is_same_v<Unit, IChar>) {
    if (s.size() > kMaxWordUnits) return kErrWordTooLong;
    out->assign(s.data(), s.size());
  } else {
    // ASCII, the common case, is its own UTF-8.
    size_t ascii = 0;
    while (ascii < s.size() && s[ascii] < 0x80) ++ascii;
    if (ascii == s.size()) {
      if (s.size() > kMaxWordUnits) return kErrWordTooLong;
      out->resize(s.size());
      for (size_t i = 0; i < s.size(); ++i) (*out)[i] = static_cast<Unit>(s[i]);
      return 0;
    }
    // UTF-16 to UTF-8. Lone high surrogates vanish in the conversion, so the
    // length is checked on the converted form.
    if (s.size() > static_cast<size_t>(INT32_MAX)) return kErrWordTooLong;
    int32_t n = static_cast<int32_t>(s.size());
    int32_t bytes = Utf8LengthOf(s.data(), n);
    if (bytes > static_cast<int32_t>(kMaxWordUnits)) return kErrWordTooLong;
    char buf[kWordBufferUnits];
    int32_t got = Utf16ToUtf8(s.data(), n, buf, static_cast<int32_t>(sizeof buf));
    out->assign(buf, static_cast<size_t>(got));
  }
  return 0;
}

template <class B>
typename HeadwordForm<B>::Word HeadwordForm<B>::ToKey(const IChar* s) {
  Word key;
  if (!s || ToStored(s, &key) == 0) return key;
  std::basic_string_view<IChar> view(s);
  if constexpr (std::is_same_v<Unit, IChar>) {
    key.assign(view.begin(), view.end());
  } else {
    key.assign(Utf16ToUtf8(std::u16string(view)));
  }
  return key;
}

template <class B>
typename HeadwordForm<B>::Text HeadwordForm<B>::ToInterface(const Unit* w, size_t len) {
  if constexpr (std::is_same_v<Unit, IChar>) {
    Text t(w, len);
    size_t z = t.find(IChar(0));
    if (z != t.npos) t.resize(z);
    return t;
  } else {
    int32_t n = len > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(len);
    return Utf8ToUtf16(w, n);
  }
}

template class HeadwordForm<TraitsVKCU8L>;
template class HeadwordForm<TraitsVKCUB>;
template class HeadwordForm<TraitsVKCUL>;
template class HeadwordForm<TraitsVKC620>;

}  // namespace vk
