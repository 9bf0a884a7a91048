// The conversion tables made at build time beside the programs: discovery
// finds them by name, and every code agrees with the C library's iconv
// (exhaustively), with Windows' own choices where they differ from plain
// JIS, and, for CP1252, with ICU.
#include <errno.h>
#include <gtest/gtest.h>
#include <iconv.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Tablerw.h"
#include "util/ProgramFolder.h"

#if VK_HAVE_ICU
#include <unicode/ucnv.h>
#endif

namespace vk {
namespace {

const char kCp932Name[] = "Shift-JIS (Windows CP932)";
const char kCp1252Name[] = "Western European (Windows CP1252)";

std::string TablePath(const char* file) { return JoinPath(ProgramFolder(), file); }

// The single UTF-16 unit iconv makes of the bytes, 0 when it makes none or
// more, -1 when the bytes are only the start of a character.
int IconvUnit(iconv_t cd, const std::string& bytes) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  std::string in = bytes;
  char out[16];
  char* ip = in.data();
  char* op = out;
  size_t inleft = in.size(), outleft = sizeof(out);
  if (iconv(cd, &ip, &inleft, &op, &outleft) == static_cast<size_t>(-1)) return errno == EINVAL ? -1 : 0;
  if (inleft != 0 || sizeof(out) - outleft != 2) return 0;
  int u = static_cast<unsigned char>(out[0]) | (static_cast<unsigned char>(out[1]) << 8);
  return (u >= 0xD800 && u <= 0xDFFF) ? 0 : u;
}

class GeneratedTable : public ::testing::Test {
 protected:
  // Every code of the table against iconv of the same code page.
  static void AgreesWithIconv(const TConvTable& t, const char* codePage) {
    iconv_t cd = iconv_open("UTF-16LE", codePage);
    ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
    bool lead[256] = {};
    for (int b = 1; b < 256; ++b) {
      int u = IconvUnit(cd, std::string(1, static_cast<char>(b)));
      lead[b] = u == -1;
      EXPECT_EQ(t.IsLeadByte(static_cast<uint8_t>(b)), lead[b]) << std::hex << b;
      EXPECT_EQ(t.Map(static_cast<uint32_t>(b)), u < 0 ? 0 : u) << std::hex << b;
    }
    int wrong = 0;
    for (uint32_t code = 0x100; code < TConvTable::kMapSize; ++code) {
      int u = 0;
      if (lead[code >> 8] && (code & 0xFF) != 0) {
        u = IconvUnit(cd, std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)});
        if (u < 0) u = 0;
      }
      if (t.Map(code) != u && ++wrong <= 5) {
        ADD_FAILURE() << std::hex << "code 0x" << code << ": table 0x" << t.Map(code) << ", iconv 0x" << u;
      }
    }
    iconv_close(cd);
  }
};

TEST_F(GeneratedTable, DiscoveryOffersBothByName) {
  std::vector<std::string> names, paths;
  FindConvTables(ProgramFolder(), &names, &paths);
  auto pathOf = [&](const char* name) {
    for (size_t i = 0; i < names.size(); ++i) {
      if (names[i] == name) return paths[i];
    }
    return std::string();
  };
  EXPECT_EQ(pathOf(kCp932Name), TablePath("cp932.tbl"));
  EXPECT_EQ(pathOf(kCp1252Name), TablePath("cp1252.tbl"));
}

TEST_F(GeneratedTable, FileLayout) {
  std::ifstream f(TablePath("cp932.tbl"), std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  std::string text = ss.str();
  EXPECT_EQ(text.rfind(std::string("# Name: ") + kCp932Name + "\n", 0), 0u);
  EXPECT_NE(text.find("\n0x41\t0x0041\n"), std::string::npos);
  EXPECT_NE(text.find("\n0x8140\t0x3000\n"), std::string::npos);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(text.back(), '\n');
}

TEST_F(GeneratedTable, Cp932AgreesWithIconv) {
  TConvTable t(TablePath("cp932.tbl"));
  ASSERT_TRUE(t.Load());
  EXPECT_EQ(t.name(), kCp932Name);
  EXPECT_EQ(t.undefAnsi(), 0);
  EXPECT_EQ(t.undefUnicode(), 0);
  AgreesWithIconv(t, "CP932");
}

TEST_F(GeneratedTable, Cp932IsShiftJisAsWindowsUsesIt) {
  TConvTable t(TablePath("cp932.tbl"));
  ASSERT_TRUE(t.Load());
  struct Point {
    uint32_t code;
    uint16_t unit;
  } points[] = {
      {0x41, 0x0041},   {0x5C, 0x005C},   {0x7E, 0x007E},   // ASCII kept, not yen sign or overline
      {0xA1, 0xFF61},   {0xDF, 0xFF9F},                       // half-width katakana
      {0x8140, 0x3000}, {0x82A0, 0x3042}, {0x889F, 0x4E9C},   // space, hiragana a, first kanji
      {0x815F, 0xFF3C}, {0x8160, 0xFF5E}, {0x8161, 0x2225},   // Windows' own choices over JIS
      {0x817C, 0xFF0D}, {0x8191, 0xFFE0}, {0x81CA, 0xFFE2},
      {0x8740, 0x2460}, {0x8782, 0x2116},                     // NEC special characters
      {0xED40, 0x7E8A}, {0xFA40, 0x2170},                     // NEC-selected and IBM extensions
      {0xF040, 0xE000}, {0xF9FC, 0xE757},                     // user-defined area
      {0x80, 0},        {0xA0, 0},        {0xFD, 0},        {0x8100 | 0x7F, 0},
  };
  for (const Point& p : points) EXPECT_EQ(t.Map(p.code), p.unit) << std::hex << p.code;
  for (int b = 0; b < 256; ++b) {
    bool lead = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    EXPECT_EQ(t.IsLeadByte(static_cast<uint8_t>(b)), lead) << std::hex << b;
  }
}

TEST_F(GeneratedTable, Cp932InvertsEveryUnitToACodeThatMapsBack) {
  TConvTable forward(TablePath("cp932.tbl"));
  TConvTable inverse(TablePath("cp932.tbl"));
  ASSERT_TRUE(forward.Load());
  ASSERT_TRUE(inverse.Load());
  inverse.Invert();
  // Duplicates resolve to the highest code: NEC-selected IBM rows lose to IBM's.
  EXPECT_EQ(inverse.Map(0x2252), 0x8790);
  EXPECT_EQ(inverse.Map(0x2170), 0xFA40);
  EXPECT_EQ(inverse.Map(0x3000), 0x8140);
  std::vector<uint32_t> highest(TConvTable::kMapSize, 0);
  for (uint32_t c = 0; c < TConvTable::kMapSize; ++c) highest[forward.Map(c)] = c;
  for (uint32_t u = 1; u < TConvTable::kMapSize; ++u) {
    uint16_t c = inverse.Map(u);
    ASSERT_EQ(c, highest[u]) << std::hex << "unit 0x" << u;
    if (c != 0) {
      ASSERT_EQ(forward.Map(c), u) << std::hex << "unit 0x" << u << " -> 0x" << c;
    }
  }
}

TEST_F(GeneratedTable, Cp1252AgreesWithIconvAndIcu) {
  TConvTable t(TablePath("cp1252.tbl"));
  ASSERT_TRUE(t.Load());
  EXPECT_EQ(t.name(), kCp1252Name);
  AgreesWithIconv(t, "CP1252");
  EXPECT_EQ(t.Map(0x80), 0x20AC);
  EXPECT_EQ(t.Map(0x81), 0);
#if VK_HAVE_ICU
  UErrorCode e = U_ZERO_ERROR;
  UConverter* cnv = ucnv_open("windows-1252", &e);
  ASSERT_TRUE(U_SUCCESS(e)) << u_errorName(e);
  for (int b = 1; b < 256; ++b) {
    if (t.Map(static_cast<uint32_t>(b)) == 0) continue;
    char in = static_cast<char>(b);
    UChar out[4];
    e = U_ZERO_ERROR;
    int32_t n = ucnv_toUChars(cnv, out, 4, &in, 1, &e);
    ASSERT_TRUE(U_SUCCESS(e));
    ASSERT_EQ(n, 1);
    EXPECT_EQ(t.Map(static_cast<uint32_t>(b)), out[0]) << std::hex << b;
  }
  ucnv_close(cnv);
#endif
}

}  // namespace
}  // namespace vk
