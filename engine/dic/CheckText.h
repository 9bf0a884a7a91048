// The texts of the check and the optimisation: message-table texts with
// their %d, %s, %0nX placeholders filled, in the interface's character type
// (UTF-16, or UTF-8 for the narrow build, whose headwords go in as stored).
// A message whose table text is missing is absent (a null pointer for the
// callback); a missing text used inside another becomes empty.
#pragma once
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "text/Utf.h"

namespace vk {

template <class C>
std::basic_string<C> CheckTextOf(const char16_t* s) {
  if (!s) return {};
  if constexpr (std::is_same_v<C, char16_t>) {
    return std::u16string(s);
  } else {
    return Utf16ToUtf8(s);
  }
}

template <class C>
struct CheckArg {
  bool isText = false;
  int64_t number = 0;
  std::basic_string<C> text;

  static CheckArg Number(int64_t n) {
    CheckArg a;
    a.number = n;
    return a;
  }
  static CheckArg Table(const char16_t* s) { return Word(CheckTextOf<C>(s)); }
  static CheckArg Word(std::basic_string<C> s) {
    CheckArg a;
    a.isText = true;
    a.text = std::move(s);
    return a;
  }
};

template <class C>
struct CheckMessage {
  bool present = false;
  std::basic_string<C> text;

  const C* get() const { return present ? text.c_str() : nullptr; }

  static CheckMessage Plain(const char16_t* s) {
    CheckMessage m;
    m.present = s != nullptr;
    m.text = CheckTextOf<C>(s);
    return m;
  }
  static CheckMessage Table(const char16_t* s) { return Plain(s); }

  // Fills the placeholders in order; an argument missing for one leaves it
  // empty, one of the wrong kind is given as it is.
  static CheckMessage Format(const char16_t* format, const std::vector<CheckArg<C>>& args) {
    CheckMessage m;
    if (!format) return m;
    m.present = true;
    size_t next = 0;
    for (const char16_t* p = format; *p; ++p) {
      if (*p != u'%') {
        AppendUnit(&m.text, p);
        continue;
      }
      const char16_t* q = p + 1;
      if (*q == u'%') {
        m.text.push_back(C('%'));
        p = q;
        continue;
      }
      bool zero = false;
      int width = 0;
      if (*q == u'0') {
        zero = true;
        ++q;
      }
      while (*q >= u'0' && *q <= u'9') width = width * 10 + (*q++ - u'0');
      if (*q != u'd' && *q != u's' && *q != u'X') {
        m.text.push_back(C('%'));
        continue;
      }
      const CheckArg<C>* a = next < args.size() ? &args[next] : nullptr;
      ++next;
      if (a) {
        if (a->isText) {
          m.text += a->text;
        } else {
          std::string digits = *q == u'X' ? Hex(uint64_t(a->number) & 0xFFFFFFFFu) : std::to_string(a->number);
          while (int(digits.size()) < width) digits.insert(digits.begin(), zero ? '0' : ' ');
          m.text.append(digits.begin(), digits.end());
        }
      }
      p = q;
    }
    return m;
  }

 private:
  static std::string Hex(uint64_t n) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string s;
    do {
      s.insert(s.begin(), kDigits[n & 0xF]);
      n >>= 4;
    } while (n != 0);
    return s;
  }

  // One UTF-16 unit of the format (a pair at once in the narrow form).
  static void AppendUnit(std::basic_string<C>* out, const char16_t*& p) {
    if constexpr (std::is_same_v<C, char16_t>) {
      out->push_back(*p);
    } else {
      size_t n = (p[0] >= 0xD800 && p[0] <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF) ? 2 : 1;
      *out += Utf16ToUtf8(p, int32_t(n));
      p += n - 1;
    }
  }
};

}  // namespace vk
