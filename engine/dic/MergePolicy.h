// MergePolicy: how bulk registration treats a headword: a new one is cut
// to the length limits, and one that already exists is settled with the
// stored entry. The stored fields S and the new fields N meet under a clash rule:
//
//   2  take N, unless N's translation is shorter than S's (then keep S)
//   3  keep S
//   4  take N
//   5  merge N into S with the separator ","
//   6  merge N into S with the separator "\r\n"
//   any other value: keep S (the call still counts as one that met an entry)
//
// Merging (flags F, separator T):
//   - translations not merged (no 0x10000) and not 0x400 with 0x40000:
//     0x300000 ORs N's attribute bits 5-6 into S's; 0x40000 merges the
//     attributes (S's level not 0: OR in N's bits 4-7; else OR in all of N's).
//   - otherwise a work buffer of 46101 units: with 0x10000 it starts as S's
//     translation ("?" alone is dropped when N has one) and takes T and N's
//     translation (normalised when F has 0x1 or 0x10); without it, it holds
//     N's translation for the level marker only. 0x400: the number after
//     "【レベル】" becomes N's level, and when translations merge the marker,
//     its digits and one separator right after them leave the text. 0x40000
//     merges the attributes. 0x1000 with merged translations removes note
//     sections "【＠】"/"【@】" up to and including the first separator not
//     followed by a katakana letter, or up to a full-width opening bracket
//     other than U+300A, or to the end. The buffer then becomes S's
//     translation.
//   - 0x80000: S's pronunciation + T + N's (T only between two texts).
//   - 0x20000: unless the two examples' lengths plus one reach 60000, N's
//     example is appended: after " / " and normalised with 0x1 or 0x10,
//     else after T.
//
// Normalising appended text: 0x10 turns U+25C6 and U+25CF into ","; 0x1
// turns U+2025, U+2026 and U+FF5E into U+FF5E and every run of separators
// into one ",". The stored text is never normalised.
//
// The work buffer is never written past: a merged translation that does not
// fit is cut at the bound and reported, and the caller leaves the entry as
// it was (such a text is over the 3000-unit limit in any case).
//
// The rules act on UTF-16 text. The narrow build's texts are bytes; they are
// widened byte by byte, so only its ASCII separators and marks take part.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "entries/Japa.h"
#include "text/CharClass.h"

namespace vk {

// Clash rules.
constexpr int32_t kClashReplaceIfLonger = 2;
constexpr int32_t kClashKeep = 3;
constexpr int32_t kClashReplace = 4;
constexpr int32_t kClashMergeComma = 5;
constexpr int32_t kClashMergeLines = 6;

// Merge flags.
constexpr int32_t kMergeNormaliseMarks = 0x1;
constexpr int32_t kMergeNormaliseBullets = 0x10;
constexpr int32_t kMergeLevelMarker = 0x400;
constexpr int32_t kMergeNoteSections = 0x1000;
constexpr int32_t kMergeTranslations = 0x10000;
constexpr int32_t kMergeExamples = 0x20000;
constexpr int32_t kMergeAttributes = 0x40000;
constexpr int32_t kMergePronunciations = 0x80000;
constexpr int32_t kMergeSearchFlags = 0x300000;

// The counters of a bulk registration, in the caller's parameter block.
struct QueryCounters {
  int32_t existing = 0;  // calls that met an existing entry
  int32_t added = 0;     // entries added
  int32_t tooLong = 0;   // calls left unstored because something was too long
};

// Length limits, in UTF-16 units.
constexpr size_t kQueryTranslationLimit = 3000;
constexpr size_t kQueryExampleLimit = 20000;
constexpr size_t kQueryPronunciationLimit = 1000;
constexpr size_t kQueryExampleMergeBound = 60000;
constexpr size_t kMergeBufferUnits = 46101;  // terminator included

// A fixed work buffer of kMergeBufferUnits units for the merged translation.
class MergeBuffer {
 public:
  static constexpr size_t kCapacity = kMergeBufferUnits - 1;  // the terminator's unit kept

  void Assign(std::u16string_view s) {
    len_ = 0;
    overflow_ = false;
    Append(s);
  }
  void Append(std::u16string_view s) {
    for (char16_t c : s) Push(c);
  }
  void Push(char16_t c) {
    if (len_ >= kCapacity) {
      overflow_ = true;
      return;
    }
    buf_[len_++] = c;
  }
  void Erase(size_t from, size_t to) {
    if (to > len_) to = len_;
    if (from >= to) return;
    std::char_traits<char16_t>::move(buf_ + from, buf_ + to, len_ - to);
    len_ -= to - from;
  }
  void Clear() { len_ = 0; }

  std::u16string_view view() const { return std::u16string_view(buf_, len_); }
  size_t size() const { return len_; }
  bool empty() const { return len_ == 0; }
  char16_t operator[](size_t i) const { return buf_[i]; }
  // True once something was cut at the bound.
  bool overflow() const { return overflow_; }

 private:
  char16_t buf_[kMergeBufferUnits];
  size_t len_ = 0;
  bool overflow_ = false;
};

// The rules on UTF-16 fields.
struct MergeFields {
  uint8_t attribute = 0x80;
  std::u16string translation, example, pronunciation;
};

class QueryMerge {
 public:
  static void MergeAttribute(uint8_t* stored, uint8_t added) {
    if (*stored & kAttrLevelMask) *stored |= added & 0xF0;
    else *stored |= added;
  }

  // Appends `s` to `out` through the normalisation that `flags` asks for.
  template <class Out>
  static void AppendNormalised(Out* out, std::u16string_view s, int32_t flags) {
    bool inRun = false;
    for (char16_t c : s) {
      if ((flags & kMergeNormaliseBullets) && (c == 0x25C6 || c == 0x25CF)) c = u',';
      if (flags & kMergeNormaliseMarks) {
        if (c == 0x2025 || c == 0x2026 || c == 0xFF5E) c = 0xFF5E;
        if (c != 0 && IsSeparator(c)) {
          if (!inRun) PushUnit(out, u',');
          inRun = true;
          continue;
        }
        inRun = false;
      }
      PushUnit(out, c);
    }
  }

  // Finds "【レベル】" and the decimal number after it. Answers whether the
  // marker is there; *level gets the number's low four bits (or -1 when no
  // digit follows), *end the offset after the digits.
  static bool FindLevelMarker(std::u16string_view s, size_t* at, size_t* end, int* level) {
    static const char16_t kMarker[] = u"\u3010\u30EC\u30D9\u30EB\u3011";
    size_t p = s.find(kMarker);
    if (p == s.npos) return false;
    size_t i = p + 5;
    int value = 0;
    bool any = false;
    while (i < s.size() && s[i] >= u'0' && s[i] <= u'9') {
      value = (value * 10 + (s[i] - u'0')) & 0x0F;
      any = true;
      ++i;
    }
    *at = p;
    *end = i;
    *level = any ? value : -1;
    return true;
  }

  // Removes every note section opened by "【＠】" (or else "【@】").
  static void RemoveNotes(MergeBuffer* buf) {
    for (;;) {
      std::u16string_view s = buf->view();
      size_t p = s.find(u"\u3010\uFF20\u3011");
      if (p == s.npos) p = s.find(u"\u3010@\u3011");
      if (p == s.npos) return;
      size_t end = s.size();
      for (size_t i = p + 3; i < s.size(); ++i) {
        char16_t c = s[i];
        if (c != 0 && IsSeparator(c)) {
          char16_t next = i + 1 < s.size() ? s[i + 1] : 0;
          if (!(next >= 0x30A1 && next <= 0x30F6)) {
            end = i + 1;
            break;
          }
        } else if (IsFullWidthOpeningBracket(c) && c != 0x300A) {
          end = i;
          break;
        }
      }
      buf->Erase(p, end);
    }
  }

  // Merges n into s. False when the merged translation did not fit the work
  // buffer (s's translation then holds what did).
  static bool Merge(MergeFields* s, MergeFields* n, int32_t flags, std::u16string_view sep) {
    const bool mergeTranslations = (flags & kMergeTranslations) != 0;
    const bool levelWithAttributes = (flags & kMergeLevelMarker) && (flags & kMergeAttributes);
    bool fits = true;
    if (!mergeTranslations && !levelWithAttributes) {
      if (flags & kMergeSearchFlags) s->attribute |= n->attribute & 0x60;
      if (flags & kMergeAttributes) MergeAttribute(&s->attribute, n->attribute);
    } else {
      std::unique_ptr<MergeBuffer> buf(new MergeBuffer);
      if (mergeTranslations) {
        buf->Assign(s->translation);
        if (!n->translation.empty()) {
          if (buf->view() == u"?") buf->Clear();
          if (!buf->empty() && !sep.empty()) buf->Append(sep);
          if (flags & (kMergeNormaliseMarks | kMergeNormaliseBullets)) AppendNormalised(buf.get(), n->translation, flags);
          else buf->Append(n->translation);
        }
      } else {
        buf->Assign(n->translation);
      }
      if (flags & kMergeLevelMarker) {
        size_t at, end;
        int level;
        if (FindLevelMarker(buf->view(), &at, &end, &level)) {
          if (level >= 0) n->attribute = static_cast<uint8_t>((n->attribute & 0xF0) | level);
          if (mergeTranslations) {
            if (end < buf->size() && (*buf)[end] != 0 && IsSeparator((*buf)[end])) ++end;
            buf->Erase(at, end);
          }
        }
      }
      if (flags & kMergeAttributes) MergeAttribute(&s->attribute, n->attribute);
      if ((flags & kMergeNoteSections) && mergeTranslations) RemoveNotes(buf.get());
      if (mergeTranslations) {
        s->translation.assign(buf->view());
        fits = !buf->overflow();
      }
    }
    if ((flags & kMergePronunciations) && !n->pronunciation.empty()) {
      if (!s->pronunciation.empty() && !sep.empty()) s->pronunciation += sep;
      s->pronunciation += n->pronunciation;
    }
    if (flags & kMergeExamples) {
      if (s->example.size() + n->example.size() + 1 < kQueryExampleMergeBound && !n->example.empty()) {
        if (flags & (kMergeNormaliseMarks | kMergeNormaliseBullets)) {
          if (!s->example.empty()) s->example += u" / ";
          AppendNormalised(&s->example, n->example, flags);
        } else {
          if (!s->example.empty() && !sep.empty()) s->example += sep;
          s->example += n->example;
        }
      }
    }
    return fits;
  }

  // Between a build's fields and the UTF-16 form the rules work on.
  template <class B>
  static MergeFields Widen(const Japa<B>& j) {
    MergeFields f;
    f.attribute = j.attribute;
    f.translation = WidenText(j.translation);
    f.example = WidenText(j.example);
    f.pronunciation = WidenText(j.pronunciation);
    return f;
  }
  template <class B>
  static void Narrow(const MergeFields& f, Japa<B>* j) {
    j->attribute = f.attribute;
    NarrowText(f.translation, &j->translation);
    NarrowText(f.example, &j->example);
    NarrowText(f.pronunciation, &j->pronunciation);
  }

 private:
  static void PushUnit(MergeBuffer* out, char16_t c) { out->Push(c); }
  static void PushUnit(std::u16string* out, char16_t c) { out->push_back(c); }

  template <class C>
  static std::u16string WidenText(const std::basic_string<C>& s) {
    if constexpr (sizeof(C) == 2) {
      return std::u16string(s.begin(), s.end());
    } else {
      std::u16string w;
      w.reserve(s.size());
      for (C c : s) w.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
      return w;
    }
  }
  template <class C>
  static void NarrowText(const std::u16string& w, std::basic_string<C>* s) {
    s->clear();
    s->reserve(w.size());
    // Every unit came from a byte, or is one of the ASCII marks the rules
    // add; nothing above 0xFF reaches a narrow text.
    for (char16_t c : w) s->push_back(static_cast<C>(c));
  }
};

// What becomes of an existing entry under a clash rule.
enum class Settlement {
  kUncounted,  // left as it is, and the call does not count as meeting it
  kLeave,      // left as it is (an unknown rule)
  kStore,      // store the settled fields
  kTooLong,    // the settled entry would be too long: left as it is
};

// The fields of a new entry: every text cut to its limit, and "?" for a
// missing translation. True when something was too long (the headword
// longer than `maxLen` units as well): then nothing is stored.
// Whether PrepareNewEntry would change the fields of a new entry.
template <class B>
bool NeedsPreparing(const Japa<B>& n) {
  return n.translation.empty() || n.translation.size() > kQueryTranslationLimit ||
         n.example.size() > kQueryExampleLimit || n.pronunciation.size() > kQueryPronunciationLimit;
}

template <class B>
bool PrepareNewEntry(Japa<B>* n, size_t wordUnits, size_t maxLen) {
  auto cut = [](auto* text, size_t limit) {
    if (text->size() <= limit) return false;
    text->resize(limit);
    return true;
  };
  bool tooLong = cut(&n->translation, kQueryTranslationLimit);
  tooLong |= cut(&n->example, kQueryExampleLimit);
  tooLong |= cut(&n->pronunciation, kQueryPronunciationLimit);
  if (n->translation.empty()) n->translation.assign(1, typename Japa<B>::IChar('?'));
  return tooLong || wordUnits > maxLen;
}

// Settles the stored fields *s with the new fields n under `rule` and
// `flags`; with kStore, *s holds what to store.
template <class B>
Settlement Settle(Japa<B>* s, const Japa<B>& n, int32_t rule, int32_t flags, size_t wordUnits, size_t maxLen) {
  if (s->translation == n.translation && s->example == n.example && s->pronunciation == n.pronunciation)
    return Settlement::kUncounted;
  bool tooLong = false;
  switch (rule) {
    case kClashKeep:
      return Settlement::kUncounted;
    case kClashReplaceIfLonger:
      if (n.translation.size() < s->translation.size()) return Settlement::kUncounted;
      *s = n;
      break;
    case kClashReplace:
      *s = n;
      break;
    case kClashMergeComma:
    case kClashMergeLines: {
      MergeFields ms = QueryMerge::Widen(*s), mn = QueryMerge::Widen(n);
      if (!QueryMerge::Merge(&ms, &mn, flags, rule == kClashMergeComma ? u"," : u"\r\n")) tooLong = true;
      QueryMerge::Narrow(ms, s);
      break;
    }
    default:
      return Settlement::kLeave;
  }
  if (s->translation.size() > kQueryTranslationLimit || s->example.size() > kQueryExampleLimit ||
      s->pronunciation.size() > kQueryPronunciationLimit || wordUnits > maxLen)
    tooLong = true;
  return tooLong ? Settlement::kTooLong : Settlement::kStore;
}

}  // namespace vk
