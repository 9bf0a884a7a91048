// What the fuzz targets share: a check that stops the run with a message
// (a crash to libFuzzer, a failed test to the replayer), texts made from
// input bytes in a build's interface form, the choice of build, and the
// bounded reading driver that exercises every way of reading an open
// dictionary.
//
// The step bound: a walk over a dictionary delivers each entry once and
// answers "again" at most once per block, and both are fewer than the
// file's bytes; a walk that takes more steps than the file has bytes (plus a
// margin) is taken for a hang.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "MemEnv.h"
#include "dic/SearchCursor.h"
#include "dic/Voka.h"
#include "file/ErrorCodes.h"
#include "format/BuildTraits.h"

namespace vkfuzz {

[[noreturn]] inline void Fail(const char* what, long a = 0, long b = 0) {
  std::fprintf(stderr, "fuzz check failed: %s (%ld, %ld)\n", what, a, b);
  std::fflush(stderr);
  std::abort();
}

inline void Require(bool ok, const char* what, long a = 0, long b = 0) {
  if (!ok) Fail(what, a, b);
}

// Whether an error cell holds a code the engine defines.
inline bool KnownCode(int32_t c) {
  return (c >= 0 && c <= 11) || c == 14 || (c >= 16 && c <= 20) || c == 23 || c == 25 || c == 27 || c == 28 ||
         c == 29 || c == 31 || c == 35 || c == 36 || c == 37 || c == 98 || c == 99 || c == vk::kErrSeek;
}

inline bool KnownStep(int32_t rc) {
  return rc == vk::kStepEntry || rc == vk::kStepAgain || rc == vk::kStepFailed || rc == vk::kStepEnd;
}

const char kDicPath[] = "/mem/fuzz.dic";

// Runs f.template operator()<B>() for the build an input names.
template <class F>
void ForBuild(int build, F&& f) {
  switch (build & 3) {
    case 0: f.template operator()<vk::TraitsVKCU8L>(); break;
    case 1: f.template operator()<vk::TraitsVKCUB>(); break;
    case 2: f.template operator()<vk::TraitsVKCUL>(); break;
    default: f.template operator()<vk::TraitsVKC620>(); break;
  }
}

// Texts in the build's interface form.
template <class B>
struct Texts {
  using IChar = typename B::IChar;
  using Text = std::basic_string<IChar>;
  static constexpr bool kWide = sizeof(IChar) == 2;

  static Text From(const char16_t* s) {
    Text t;
    for (; *s; ++s) t.push_back(static_cast<IChar>(*s));
    return t;
  }

  // Pieces that share prefixes and carry multibyte and supplementary
  // characters; every one converts to the stored form.
  static const std::vector<Text>& Pieces() {
    static const std::vector<Text> pieces = [] {
      std::vector<Text> p;
      if constexpr (kWide) {
        for (const char16_t* s : {u"a", u"ab", u"abc", u"b", u"ba", u"\u00E9", u"\u6F22", u"\U0001D11E", u"z", u"A",
                                  u"Ab", u"-", u" ", u"\u3042", u"\u00C9", u"m"})
          p.push_back(From(s));
      } else {
        for (const char* s : {"a", "ab", "abc", "b", "ba", "\xE9", "\x82\xA0", "\xFF", "z", "A", "Ab", "-", " ",
                              "\x83\x41", "\xC9", "m"})
          p.push_back(s);
      }
      return p;
    }();
    return pieces;
  }

  // A headword of 1-4 pieces, or now and then one near the 248-unit bound.
  static Text Word(FuzzInput& in) {
    const uint8_t b = in.Byte();
    if (b >= 250) {
      // 248 stored units in every build: in the UTF-8 build 244 bytes and a
      // 4-byte character, in the 16-bit builds 246 units and a pair.
      Text w(kWide && sizeof(typename B::Unit) == 1 ? 244 : kWide ? 246 : 248, IChar('a' + (b - 250)));
      if constexpr (kWide) w += From(u"\U0001D11E");
      return w;
    }
    Text w;
    const int n = 1 + (b & 3);
    for (int i = 0; i < n; ++i) w += Pieces()[in.Below(static_cast<uint32_t>(Pieces().size()))];
    return w;
  }

  // Units straight from the input, ending before a zero: any surrogate, any
  // byte; for damaged and unconvertible texts.
  static Text Raw(FuzzInput& in, size_t max) {
    Text t;
    const size_t n = in.Below(static_cast<uint32_t>(max + 1));
    for (size_t i = 0; i < n; ++i) {
      IChar c = kWide ? static_cast<IChar>(in.U16()) : static_cast<IChar>(in.Byte());
      if (c == 0) break;
      t.push_back(c);
    }
    return t;
  }

  // A field text: short from an alphabet of separators and marks, now and
  // then long (past a block, and past the long-entry threshold where the
  // build has long entries).
  static Text Field(FuzzInput& in) {
    static const char16_t kAlphabet[] = u"abcxyz ,.?\u3001\u3002\u2026\u25C6\u25CF\u00E9\u6F22\u3010\u3011\uFF20";
    const uint8_t b = in.Byte();
    if (b == 255) return Text(B::kLongEntries ? 33000 + in.Below(3000) : 15000 + in.Below(10000), IChar('e'));
    if (b >= 250) return Text(200 + in.Below(400), IChar('t'));
    Text t;
    const size_t n = b % 14;
    for (size_t i = 0; i < n; ++i) {
      char16_t c = kAlphabet[in.Below(sizeof kAlphabet / sizeof kAlphabet[0] - 1)];
      if (!kWide && c > 0x7F) c = 0xE9;
      t.push_back(static_cast<IChar>(c));
    }
    return t;
  }
};

// A zero-terminated text the engine handed out: walking it to its end is
// what the sanitizers check.
template <class C>
size_t Walk(const C* s) {
  Require(s != nullptr, "the engine handed out a null text");
  return std::char_traits<C>::length(s);
}

// The search flag words worth trying: every whole type, single fields and
// mixes of fields, with case folding and prefix matching on top.
inline int32_t SearchFlags(FuzzInput& in) {
  static const int32_t kTypes[] = {vk::kTypeAll, vk::kTypeFlag5, vk::kTypeFlag6, vk::kTypeLevel, vk::kTypeQuery,
                                   0x001, 0x002, 0x020, 0x080, 0x200, 0x400, 0x003, 0x0A3, 0x6A3, 0x000, 0x7FF};
  const uint8_t b = in.Byte();
  int32_t flags = b < 240 ? kTypes[b % 16] : static_cast<int32_t>(in.U16() & 0x7FF);
  const uint8_t m = in.Byte();
  if (m & 1) flags |= vk::kSearchCaseFolded;
  if (m & 2) flags |= vk::kSearchPrefixFlag;
  if ((m & 0x1C) == 0x1C) flags = static_cast<int32_t>(in.U32());  // anything at all
  return flags;
}

// Reads an open dictionary every way there is, as the script says. Every
// walk is bounded by the step bound; every answer must be one the
// interface defines.
template <class B>
class Reader {
 public:
  using IChar = typename B::IChar;
  using Text = std::basic_string<IChar>;

  // `fixed`: the dictionary is not changed while it is read (a cursor left
  // behind by a change that removed blocks may stand past the index's end,
  // and its percentage past 100).
  Reader(vk::Voka<B>& dic, FuzzInput& in, int64_t fileBytes, bool fixed = true)
      : dic_(dic), in_(in), bound_(fileBytes + 64), fixed_(fixed) {}

  // Runs up to `ops` operations, then a whole walk each way and a scan.
  void Run(int ops) {
    for (int i = 0; i < ops && !in_.empty(); ++i) One();
    dic_.StartSearch(Empty(), vk::kTypeAll);
    Walk(true, bound_, "forward walk");
    Walk(false, bound_, "backward walk");
    Scan();
  }

  void One() {
    const uint8_t op = in_.Byte();
    switch (op % 10) {
      case 0: {
        const Text p = Pattern();
        dic_.StartSearch(in_.Byte() == 0 ? nullptr : p.c_str(), SearchFlags(in_));
        Steps();
        break;
      }
      case 1: {
        const Text p = Pattern();
        dic_.StartSearch(p.c_str(), vk::kSearchIncremental);
        Incremental();
        break;
      }
      case 2: {
        const Text w = Word();
        vk::Japa<B> out;
        const int32_t rc = dic_.FindWord(w.c_str(), in_.Bit() ? &out : nullptr);
        Require(rc >= -1 && rc <= 1, "find answered", rc);
        Code(rc);
        break;
      }
      case 3: {
        const Text w = Word();
        const int32_t rc = dic_.BSearchWord(w.c_str());
        Require(rc >= -1 && rc <= 1, "binary search answered", rc);
        if (rc == 1) {
          vkfuzz::Walk(dic_.CursorWord());
          vk::Japa<B> out;
          const int32_t r = dic_.ReadAtCursor(out);
          Require(r == 0 || r == -1, "read at the cursor answered", r);
        }
        Code(rc);
        break;
      }
      case 4: {
        const Text w = Word();
        const int32_t after = in_.Byte() % 3, inclusive = in_.Byte() % 3;
        dic_.JumpTo(in_.Byte() < 16 ? Empty() : w.c_str(), after, inclusive);
        Steps();
        break;
      }
      case 5: {
        int32_t n = static_cast<int32_t>(in_.Byte()) - 4;
        if (n > 200) n = static_cast<int32_t>(in_.U32());
        const int32_t rc = dic_.DirectJump(n);
        (void)rc;
        Steps();
        break;
      }
      case 6:
        Scan();
        break;
      case 7: {
        const int32_t p = dic_.Percent();
        if (fixed_) Require(p >= -100 && p <= 100, "percent", p);  // -100 / count before the first step
        break;
      }
      case 8: {
        // A whole-type search walked to the end in one direction.
        dic_.StartSearch(Empty(), SearchFlags(in_));
        Walk(in_.Bit(), bound_, "walk");
        break;
      }
      default:
        // The header's count as it stands, whatever a damaged header says.
        (void)dic_.WordCount();
        break;
    }
  }

 private:
  static const IChar* Empty() {
    static const IChar kEmpty[1] = {0};
    return kEmpty;
  }

  Text Word() { return in_.Byte() < 200 ? Texts<B>::Word(in_) : Texts<B>::Raw(in_, 260); }

  Text Pattern() {
    const uint8_t b = in_.Byte();
    if (b < 100) return Texts<B>::Word(in_);
    if (b < 140) {
      // Two digits: the level range of a level search.
      Text t;
      t.push_back(static_cast<IChar>('0' + in_.Byte() % 10));
      t.push_back(static_cast<IChar>('0' + in_.Byte() % 10));
      return t;
    }
    if (b < 150) return Text();
    return Texts<B>::Raw(in_, 40);
  }

  // The answer of one step: a known result, and a delivered entry has a
  // headword to read.
  int32_t Step(bool forward) {
    vk::Japa<B> out;
    const bool fields = steps_++ % 3 != 0;
    const int32_t rc = forward ? dic_.NextResult(fields ? &out : nullptr) : dic_.PrevResult(fields ? &out : nullptr);
    Require(KnownStep(rc), "search step answered", rc);
    if (rc == vk::kStepEntry) vkfuzz::Walk(dic_.ResultWord());
    if (rc == vk::kStepFailed) Code(-1);
    return rc;
  }

  // A few steps, each way as the script says.
  void Steps() {
    const int n = in_.Byte() % 24;
    for (int i = 0; i < n; ++i) Step(in_.Bit());
  }

  // Steps one way until the end or a failure, within `bound` steps.
  void Walk(bool forward, int64_t bound, const char* what) {
    for (int64_t i = 0;; ++i) {
      Require(i <= bound, what, static_cast<long>(i));
      const int32_t rc = Step(forward);
      if (rc == vk::kStepEnd || rc == vk::kStepFailed) return;
    }
  }

  // The incremental search as a client runs it: forward until the end, a
  // failure, or the first headword past the pattern.
  void Incremental() {
    for (int64_t i = 0;; ++i) {
      Require(i <= bound_, "incremental search", static_cast<long>(i));
      const int32_t rc = Step(true);
      if (rc == vk::kStepEnd || rc == vk::kStepFailed) return;
      if (rc == vk::kStepEntry && dic_.IncrementalPassed(dic_.ResultWord())) return;
    }
  }

  void Scan() {
    dic_.InitScan();
    for (int64_t i = 0;; ++i) {
      Require(i <= bound_, "scan", static_cast<long>(i));
      vk::Japa<B> out;
      Text word;
      const int32_t rc = dic_.NextScan(i % 2 ? &out : nullptr, &word);
      Require(rc == 1 || rc == 0 || rc == -1 || rc == -2, "scan answered", rc);
      if (rc == -1) Code(-1);
      if (rc < 0) return;
    }
  }

  void Code(int32_t rc) {
    if (rc < 0) Require(KnownCode(dic_.Error()), "error code", dic_.Error());
  }

  vk::Voka<B>& dic_;
  FuzzInput& in_;
  int64_t bound_;
  bool fixed_;
  uint32_t steps_ = 0;
};

}  // namespace vkfuzz
