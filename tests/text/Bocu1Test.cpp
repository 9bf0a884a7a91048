// BOCU-1 codec: byte-exact agreement with ICU's "BOCU-1" converter, round
// trips, output bounds, and robustness against arbitrary bytes.
#include "text/Bocu1.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "text/GuardedMemory.h"
#include "text/TextCorpus.h"

#if VK_HAVE_ICU
#include <unicode/ucnv.h>
#include <unicode/ucnv_err.h>
#endif

namespace vk {
namespace {

using test::SentinelBuffer;
using test::TailGuarded;

std::string Hex(const std::string& b) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (unsigned char c : b) {
    s += d[c >> 4];
    s += d[c & 15];
    s += ' ';
  }
  return s;
}

std::string HexUnits(const std::u16string& u) {
  char buf[8];
  std::string s;
  for (char16_t c : u) {
    snprintf(buf, sizeof buf, "%04X ", unsigned(c));
    s += buf;
  }
  return s;
}

std::u16string DecodeAll(const std::string& bytes, bool stopAtZero = false) {
  return Bocu1Decode(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int32_t>(bytes.size()), stopAtZero);
}

#if VK_HAVE_ICU
class IcuBocu {
 public:
  IcuBocu() {
    UErrorCode e = U_ZERO_ERROR;
    cv_ = ucnv_open("BOCU-1", &e);
    EXPECT_TRUE(U_SUCCESS(e)) << u_errorName(e);
    ucnv_setFromUCallBack(cv_, UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &e);
    ucnv_setToUCallBack(cv_, UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &e);
  }
  ~IcuBocu() { ucnv_close(cv_); }

  std::string Encode(const std::u16string& s) {
    UErrorCode e = U_ZERO_ERROR;
    ucnv_reset(cv_);
    std::string out(s.size() * 4 + 8, '\0');
    int32_t n = ucnv_fromUChars(cv_, out.data(), static_cast<int32_t>(out.size()), s.data(),
                                static_cast<int32_t>(s.size()), &e);
    EXPECT_TRUE(U_SUCCESS(e)) << u_errorName(e);
    out.resize(static_cast<size_t>(n));
    return out;
  }

  // False when ICU finds the bytes ill-formed.
  bool Decode(const std::string& b, std::u16string* out) {
    UErrorCode e = U_ZERO_ERROR;
    ucnv_reset(cv_);
    out->assign(b.size() + 8, u'\0');
    int32_t n = ucnv_toUChars(cv_, out->data(), static_cast<int32_t>(out->size()), b.data(),
                              static_cast<int32_t>(b.size()), &e);
    if (U_FAILURE(e)) return false;
    out->resize(static_cast<size_t>(n));
    return true;
  }

 private:
  UConverter* cv_ = nullptr;
};

TEST(Bocu1Icu, FixedCorpusBytesEqualIcuAndDecodeBack) {
  IcuBocu icu;
  for (const std::u16string& s : test::FixedCorpus()) {
    SCOPED_TRACE(HexUnits(s));
    std::string mine = Bocu1Encode(s);
    ASSERT_EQ(Hex(icu.Encode(s)), Hex(mine));
    EXPECT_EQ(static_cast<int32_t>(mine.size()), Bocu1EncodedSize(s.data(), static_cast<int32_t>(s.size())));
    EXPECT_EQ(HexUnits(s), HexUnits(DecodeAll(mine)));
  }
}

TEST(Bocu1Icu, RandomTextsBytesEqualIcuAndDecodeBack) {
  const uint32_t seed = test::TestSeed(20240611);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  IcuBocu icu;
  for (int round = 0; round < 20000; ++round) {
    std::u16string s = test::RandomText(rng, 24);
    std::string mine = Bocu1Encode(s);
    std::string theirs = icu.Encode(s);
    ASSERT_EQ(Hex(theirs), Hex(mine)) << "round " << round << " text " << HexUnits(s);
    // The in-place encoder, counted and (for texts without a zero unit) up
    // to the terminator, writes the same bytes.
    std::string placed(s.size() * 4 + 4, '\0');
    int32_t n = Bocu1Encode(s.data(), static_cast<int32_t>(s.size()), reinterpret_cast<uint8_t*>(placed.data()),
                            static_cast<int32_t>(placed.size()));
    ASSERT_EQ(Hex(theirs), Hex(placed.substr(0, n > 0 ? size_t(n) : 0))) << "round " << round;
    if (s.find(u'\0') == std::u16string::npos) {
      n = Bocu1Encode(s.c_str(), -1, reinterpret_cast<uint8_t*>(placed.data()), static_cast<int32_t>(placed.size()));
      ASSERT_EQ(Hex(theirs), Hex(placed.substr(0, n > 0 ? size_t(n) : 0))) << "round " << round;
    }
    ASSERT_EQ(HexUnits(s), HexUnits(DecodeAll(mine))) << "round " << round;
  }
}

// Runs of one script, as translations have them, crossing the edges of the
// script ranges that keep a prev of their own: encoded as ICU encodes them,
// read back as ICU reads them, whole, cut short or into a small output.
TEST(Bocu1Icu, RunsOfOneScriptDecodeAsIcuDoes) {
  const uint32_t seed = test::TestSeed(20261211);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  IcuBocu icu;
  for (int round = 0; round < 20000; ++round) {
    std::u16string s = test::RandomRunsText(rng, 6);
    std::string theirs = icu.Encode(s);
    ASSERT_EQ(Hex(theirs), Hex(Bocu1Encode(s))) << "round " << round;
    ASSERT_EQ(HexUnits(s), HexUnits(DecodeAll(theirs))) << "round " << round;
    // And cut anywhere, as a full output or a short input leaves it.
    const size_t cut = rng() % (theirs.size() + 1);
    std::u16string icuPart;
    if (icu.Decode(theirs.substr(0, cut), &icuPart)) {
      ASSERT_EQ(HexUnits(icuPart), HexUnits(DecodeAll(theirs.substr(0, cut)))) << "round " << round;
    }
    const int32_t cap = static_cast<int32_t>(rng() % (s.size() + 2)) + 1;
    std::u16string part(static_cast<size_t>(cap) + 4, u'#');
    Bocu1Decoded r = Bocu1Decode(reinterpret_cast<const uint8_t*>(theirs.data()), static_cast<int32_t>(theirs.size()),
                                 false, part.data(), cap);
    ASSERT_LE(r.written, cap - 1) << "round " << round;
    ASSERT_GE(r.written, std::min<int32_t>(cap - 1, static_cast<int32_t>(s.size())) - 1) << "round " << round;
    ASSERT_EQ(HexUnits(s.substr(0, static_cast<size_t>(r.written))), HexUnits(part.substr(0, static_cast<size_t>(r.written))))
        << "round " << round;
    ASSERT_EQ(part[static_cast<size_t>(r.written)], u'\0');
    ASSERT_EQ(part[static_cast<size_t>(cap)], u'#') << "written past the capacity";
  }
}

// English and German texts are long runs of ASCII between a few other
// characters; the codec takes such runs in groups. Runs of every length up
// to three groups, with controls, spaces and the two ends of the printable
// range among them, and every kind of character after them: the bytes are
// ICU's, and every output capacity cuts the text where one character at a
// time would, never writing past it.
TEST(Bocu1Icu, LongAsciiRunsAtEveryLengthAndCapacity) {
  const uint32_t seed = test::TestSeed(20261212);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  IcuBocu icu;
  const char16_t ascii[] = {u'a', u'Z', u' ', u'!', u'\x7F', u'\x01', u'\x1F', u'\x20', u'\r', u'\n', u'~', u'0'};
  const std::u16string after[] = {u"", u"\u00E4", u"\u3042", u"\u6F22", u"\U0002000B", u"\x80", u"\u00FC b"};
  for (int len = 0; len <= 50; ++len) {
    for (const std::u16string& tail : after) {
      std::u16string s = u"\u00E4x";  // a run that starts after a non-ASCII character too
      if (len % 2) s.clear();
      for (int k = 0; k < len; ++k) s += ascii[rng() % std::size(ascii)];
      s += tail;
      s += std::u16string(static_cast<size_t>(rng() % 20), u'q');
      SCOPED_TRACE(HexUnits(s));
      const std::string theirs = icu.Encode(s);
      ASSERT_EQ(Hex(theirs), Hex(Bocu1Encode(s)));
      const int32_t n = static_cast<int32_t>(s.size());
      const int32_t need = static_cast<int32_t>(theirs.size());
      for (int32_t cap = 0; cap <= need + 1; ++cap) {
        SentinelBuffer<uint8_t> out(static_cast<size_t>(cap));
        const int32_t wrote = Bocu1Encode(s.data(), n, out.data(), cap);
        ASSERT_EQ(cap >= need ? need : -1, wrote) << "cap " << cap;
        ASSERT_TRUE(out.GuardIntact()) << "cap " << cap;
        if (wrote > 0) {
          ASSERT_EQ(Hex(theirs), Hex(std::string(reinterpret_cast<const char*>(out.data()), size_t(wrote))));
        }
      }
      ASSERT_EQ(HexUnits(s), HexUnits(DecodeAll(theirs)));
      for (int32_t cap = 1; cap <= n + 2; ++cap) {
        std::u16string part(static_cast<size_t>(cap) + 4, u'#');
        Bocu1Decoded r = Bocu1Decode(reinterpret_cast<const uint8_t*>(theirs.data()), need, false, part.data(), cap);
        ASSERT_LE(r.written, cap - 1) << "cap " << cap;
        ASSERT_GE(r.written, std::min<int32_t>(cap - 1, n) - 1) << "cap " << cap;
        ASSERT_EQ(HexUnits(s.substr(0, static_cast<size_t>(r.written))),
                  HexUnits(part.substr(0, static_cast<size_t>(r.written))))
            << "cap " << cap;
        ASSERT_EQ(part[static_cast<size_t>(cap)], u'#') << "written past the capacity " << cap;
      }
    }
  }
}

// Where ICU reads a byte string as well-formed, the decoder must read it the
// same way (0xFF resets included) and find nothing wrong with it.
TEST(Bocu1Icu, RandomBytesIcuAcceptsDecodeTheSame) {
  const uint32_t seed = test::TestSeed(777);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  IcuBocu icu;
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string b(std::uniform_int_distribution<int>(0, 12)(rng), '\0');
    for (char& c : b) {
      // Favour lead and trail bytes so that multi-byte forms complete often.
      int r = std::uniform_int_distribution<int>(0, 9)(rng);
      c = static_cast<char>(r == 0 ? 0xFF : std::uniform_int_distribution<int>(0x21, 0xFE)(rng));
    }
    std::u16string expect;
    if (!icu.Decode(b, &expect)) continue;
    ++accepted;
    Bocu1Decoded r;
    std::u16string got(2 * b.size() + 1, u'\0');
    r = Bocu1Decode(reinterpret_cast<const uint8_t*>(b.data()), static_cast<int32_t>(b.size()), false, got.data(),
                    static_cast<int32_t>(got.size()));
    got.resize(static_cast<size_t>(r.written));
    ASSERT_EQ(HexUnits(expect), HexUnits(got)) << "bytes " << Hex(b);
    ASSERT_FALSE(r.malformed) << "bytes " << Hex(b);
  }
  EXPECT_GT(accepted, 1000);
}
#endif  // VK_HAVE_ICU

// Byte values pinned down without an oracle, so the codec's numbers are
// checked even where ICU is absent.
TEST(Bocu1, KnownEncodings) {
  struct Case {
    std::u16string text;
    std::string bytes;
  } cases[] = {
      {u"", ""},
      {u"A", "\x91"},               // 0x41 - 0x40 = 1
      {u"\x7F", "\xCF"},            // reach of one byte: 63
      {u"\x80", "\xD0\x01"},        // 64: first two-byte value, trail 0
      {u" \x0A ", " \x0A "},
      // 0x3042 - 0x40 = 12290: three bytes, 12290 - 10513 = 7 * 243 + 76.
      {u"\u3042", "\xFB\x11\x59"},
      // From prev 0x3070 back to a: -12303, three bytes negative:
      // -12303 + 10513 = -1790 = -1 * 59049 + 235 * 243 + 154.
      {u"\u3042a", "\xFB\x11\x59\x24\xF8\xA7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(HexUnits(c.text));
    EXPECT_EQ(Hex(c.bytes), Hex(Bocu1Encode(c.text)));
    EXPECT_EQ(HexUnits(c.text), HexUnits(DecodeAll(c.bytes)));
  }
}

TEST(Bocu1, ResetByteRestartsFromAsciiPrev) {
  // After U+3042 prev is 0x3070; 0xFF returns it to 0x40, so 0x91 is 'A'.
  std::string b = Bocu1Encode(u"\u3042");
  EXPECT_EQ(u"\u3042A", DecodeAll(b + "\xFF\x91"));
  EXPECT_EQ(u"A", DecodeAll("\xFF\xFF\x91"));
}

TEST(Bocu1, EncoderNeverWritesPastCapacity) {
  for (const std::u16string& s : test::FixedCorpus()) {
    SCOPED_TRACE(HexUnits(s));
    const int32_t len = static_cast<int32_t>(s.size());
    const int32_t need = Bocu1EncodedSize(s.data(), len);
    ASSERT_LE(need, Bocu1MaxEncodedSize(len));
    for (int32_t cap = 0; cap <= need + 1; ++cap) {
      SentinelBuffer<uint8_t> out(static_cast<size_t>(cap));
      int32_t n = Bocu1Encode(s.data(), len, out.data(), cap);
      EXPECT_EQ(cap >= need ? need : -1, n) << "cap " << cap;
      EXPECT_TRUE(out.GuardIntact()) << "cap " << cap;
    }
  }
}

TEST(Bocu1, WorstCaseSizeIsThreeBytesPerUnit) {
  // Alternating far-apart BMP characters, and unpaired surrogates, each take
  // three bytes; the bound must hold for them exactly.
  std::u16string far;
  for (int i = 0; i < 50; ++i) far += u"\uFFFF!";
  std::u16string lone;
  for (int i = 0; i < 50; ++i) {
    lone += static_cast<char16_t>(0xDC00 + i);
    lone += u'!';
  }
  for (const std::u16string& s : {far, lone}) {
    int32_t len = static_cast<int32_t>(s.size());
    EXPECT_EQ(Bocu1MaxEncodedSize(len), Bocu1EncodedSize(s.data(), len));
    // Unpaired surrogates survive the way back.
    EXPECT_EQ(s, DecodeAll(Bocu1Encode(s)));
  }
}

TEST(Bocu1, HighSurrogateAtEndOfCountIsNotPairedBeyondIt) {
  const char16_t text[] = {u'a', 0xD83D, 0xDE00, 0};
  // Counting two units leaves the high surrogate alone: coded as itself.
  std::string two(Bocu1MaxEncodedSize(2), '\0');
  int32_t n = Bocu1Encode(text, 2, reinterpret_cast<uint8_t*>(two.data()), static_cast<int32_t>(two.size()));
  ASSERT_GT(n, 0);
  two.resize(static_cast<size_t>(n));
  EXPECT_EQ(std::u16string(text, 2), DecodeAll(two));
  // Terminated: the pair is one code point.
  EXPECT_EQ(Bocu1Encode(std::u16string(text, 3)).size(),
            static_cast<size_t>(Bocu1EncodedSize(text, -1)));
}

// Several zero-terminated texts one after another, as the fields of an entry
// lie in a block: each decode must end just after its terminator, even when
// the output bound cut the text short.
TEST(Bocu1, ConsumedLeadsToTheNextTextWhateverTheCapacity) {
  const std::u16string texts[] = {u"first \u3042\u3044", u"", u"\U0001F600 third \uD55C", u"x"};
  std::string stream;
  for (const auto& t : texts) stream += Bocu1Encode(t) + std::string(1, '\0');
  TailGuarded<uint8_t> src = TailGuarded<uint8_t>::Of(stream);
  for (int32_t cap = 0; cap < 16; ++cap) {
    SCOPED_TRACE("cap " + std::to_string(cap));
    int32_t at = 0;
    for (const auto& t : texts) {
      SentinelBuffer<char16_t> out(static_cast<size_t>(cap));
      Bocu1Decoded r = Bocu1Decode(src.data() + at, static_cast<int32_t>(stream.size()) - at, true, out.data(), cap);
      ASSERT_TRUE(out.GuardIntact());
      EXPECT_TRUE(r.terminated);
      EXPECT_FALSE(r.malformed);
      const int32_t whole = static_cast<int32_t>(t.size());
      EXPECT_EQ(r.written < whole, r.cut);
      if (cap > 0) {
        ASSERT_LT(r.written, cap);
        EXPECT_EQ(0, out.data()[r.written]);
        // What was written is a prefix of the text that ends on a character.
        EXPECT_EQ(t.substr(0, static_cast<size_t>(r.written)), std::u16string(out.data(), r.written));
        if (r.written < whole) {
          EXPECT_TRUE(r.cut);
          // Cut only where the next character would not fit.
          int32_t next = (t[r.written] >= 0xD800 && t[r.written] <= 0xDBFF) ? 2 : 1;
          EXPECT_GT(r.written + next, cap - 1);
        }
      }
      at += r.consumed;
    }
    EXPECT_EQ(static_cast<int32_t>(stream.size()), at);
  }
}

TEST(Bocu1, ZeroByteIsTextOrTerminatorAsAsked) {
  std::string b = Bocu1Encode(u"ab") + std::string(1, '\0') + Bocu1Encode(u"cd");
  const uint8_t* p = reinterpret_cast<const uint8_t*>(b.data());
  char16_t out[16];
  Bocu1Decoded r = Bocu1Decode(p, static_cast<int32_t>(b.size()), true, out, 16);
  EXPECT_EQ(u"ab", std::u16string(out, r.written));
  EXPECT_EQ(3, r.consumed);
  EXPECT_TRUE(r.terminated);
  r = Bocu1Decode(p, static_cast<int32_t>(b.size()), false, out, 16);
  EXPECT_EQ(std::u16string(u"ab\0cd", 5), std::u16string(out, r.written));
  EXPECT_EQ(static_cast<int32_t>(b.size()), r.consumed);
  EXPECT_FALSE(r.terminated);
}

TEST(Bocu1, IllFormedInputIsFlagged) {
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string expect;
  } cases[] = {
      {"two-byte lead at end", "\x91\xD0", u"A"},
      {"four-byte lead cut short", "\xFE\x21\x21", u""},
      {"invalid trail re-read as lead", "\xD0\x07", u"\uFFFD\x07"},
      {"zero as trail, then terminator", std::string("\xD0\x00", 2), u"\uFFFD"},
      {"value above U+10FFFF", "\xFE\xFF\xFF\xFF\x91", u"\uFFFDA"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TailGuarded<uint8_t> src = TailGuarded<uint8_t>::Of(c.bytes);
    char16_t out[16];
    Bocu1Decoded r = Bocu1Decode(src.data(), static_cast<int32_t>(c.bytes.size()), true, out, 16);
    EXPECT_TRUE(r.malformed);
    EXPECT_EQ(HexUnits(c.expect), HexUnits(std::u16string(out, r.written)));
    EXPECT_EQ(static_cast<int32_t>(c.bytes.size()), r.consumed);
  }
}

// Arbitrary bytes: the decoder may make anything of them, but must stay in
// bounds on both sides and keep its reports consistent.
TEST(Bocu1, RandomBytesStayInBounds) {
  const uint32_t seed = test::TestSeed(4242);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  for (int round = 0; round < 5000; ++round) {
    std::vector<uint8_t> bytes(std::uniform_int_distribution<size_t>(0, 40)(rng));
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    TailGuarded<uint8_t> src = TailGuarded<uint8_t>::Of(bytes);
    const int32_t len = static_cast<int32_t>(bytes.size());
    const int32_t cap = std::uniform_int_distribution<int32_t>(0, 50)(rng);
    const bool stop = (round & 1) != 0;
    SentinelBuffer<char16_t> out(static_cast<size_t>(cap));
    Bocu1Decoded r = Bocu1Decode(src.data(), len, stop, out.data(), cap);
    ASSERT_TRUE(out.GuardIntact()) << "round " << round;
    ASSERT_GE(r.consumed, 0);
    ASSERT_LE(r.consumed, len);
    if (cap > 0) {
      ASSERT_LT(r.written, cap);
      ASSERT_EQ(0, out.data()[r.written]);
    } else {
      ASSERT_EQ(0, r.written);
    }
    if (r.terminated) {
      ASSERT_EQ(0, bytes[static_cast<size_t>(r.consumed - 1)]);
    } else {
      ASSERT_EQ(len, r.consumed);
    }
  }
}

}  // namespace
}  // namespace vk
