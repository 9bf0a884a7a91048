// Conversion table files: the format's rules case by case (numbers, keys,
// line ends, ignored bytes), probing, discovery, inversion, and a randomised
// run of whole files against an in-memory model of load and inversion.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "ConvTestUtil.h"
#include "Strlib.h"
#include "Tablerw.h"
#include "support/TempDir.h"

namespace vk {
namespace {

using convtest::TableFrom;
using convtest::WriteFile;
using namespace std::string_literals;

TEST(Strlib, ReadNumber) {
  struct Case {
    const char* text;
    uint32_t value;
    int used;  // characters consumed
    bool wide;
  } cases[] = {
      {"0x8140", 0x8140, 6, false},
      {"0xabCD,", 0xABCD, 6, false},
      {"8140", 0x8140, 4, false},      // plain digits read in base 16
      {"0081", 0x81, 4, false},
      {"12AB", 0x12, 2, false},        // a plain number stops at the first letter
      {"0X41", 0, 1, false},           // an upper-case X is no prefix
      {"A0", 99, 0, false},            // starts with a letter: the default, nothing consumed
      {"f", 99, 0, false},
      {"0x", 99, 2, false},            // a bare prefix holds no digit
      {"0xG", 99, 2, false},
      {"x41", 99, 0, false},
      {"", 99, 0, false},
      {"0xFFFFFFFF", 0xFFFFFFFF, 10, false},
      {"0x123456789", 0x23456789, 11, true},
      {"100000000", 0, 9, true},
      {"0x00000000FFFF", 0xFFFF, 14, false},  // leading zeros do not count as width
  };
  for (const Case& c : cases) {
    const char* end = nullptr;
    bool wide = !c.wide;
    EXPECT_EQ(ReadNumber(c.text, 99, &end, &wide), c.value) << c.text;
    EXPECT_EQ(end - c.text, c.used) << c.text;
    EXPECT_EQ(wide, c.wide) << c.text;
  }
}

TEST(Strlib, SkipSpacesAndFindExtension) {
  EXPECT_STREQ(SkipSpaces(" \t \tx "), "x ");
  EXPECT_STREQ(SkipSpaces("\nx"), "\nx");
  struct Case {
    const char* name;
    const char* ext;  // null: none
  } cases[] = {
      {"cp932.tbl", "tbl"}, {"a.b.TXT", "TXT"}, {"noext", nullptr}, {"dot.", ""},
      {".tbl", "tbl"},      {"a.tbl\\b", nullptr}, {"dir.d/file", nullptr}, {"表.txt", "txt"},
  };
  for (const Case& c : cases) {
    const char* ext = FindExtension(c.name);
    if (!c.ext) {
      EXPECT_EQ(ext, nullptr) << c.name;
    } else {
      ASSERT_NE(ext, nullptr) << c.name;
      EXPECT_STREQ(ext, c.ext) << c.name;
    }
  }
}

struct FormatCase {
  const char* what;
  std::string content;
  int mappings;
  std::map<uint32_t, uint16_t> entries;  // every other entry must be `fill`
  uint16_t fill;
  std::string name;
  uint16_t undefAnsi;
  uint16_t undefUnicode;
};

const FormatCase kFormatCases[] = {
    {"hex pair, tab", "0x8140\t0x3000", 1, {{0x8140, 0x3000}}, 0, "", 0, 0},
    {"plain digits are base 16", "8140 3000", 1, {{0x8140, 0x3000}}, 0, "", 0, 0},
    {"comma", "8140,3000\n", 1, {{0x8140, 0x3000}}, 0, "", 0, 0},
    {"mixed, comment after", "0x8140 3000 # IDEOGRAPHIC SPACE", 1, {{0x8140, 0x3000}}, 0, "", 0, 0},
    {"leading blanks", " \t 0x41  0x61", 1, {{0x41, 0x61}}, 0, "", 0, 0},
    {"upper-case X is no prefix", "0X8140 0X3000", 1, {{0, 0x8140}}, 0, "", 0, 0},
    {"plain number stops at a non-digit", "12x34", 1, {{0x12, 0x34}}, 0, "", 0, 0},
    {"bare prefix reads 0", "0x 41 42", 1, {{0, 0x41}}, 0, "", 0, 0},
    {"prefix stops at a non-hex digit", "0x1g 5", 1, {{1, 5}}, 0, "", 0, 0},
    {"a letter ends a plain number and starts the next as 0",
     "#UndefUnicode: 0x3013\n81A0 3000", 1, {{0x81, 0}}, 0x3013, "", 0, 0x3013},
    {"second number starting with a letter is 0", "#UndefUnicode: 0x3013\n0x41 C0", 1, {{0x41, 0}}, 0x3013,
     "", 0, 0x3013},
    {"title line maps 0 to 0", "#UndefUnicode: 0x3013\nApple 41 42", 1, {{0, 0}}, 0x3013, "", 0, 0x3013},
    {"letter then digits: both numbers 0", "#UndefUnicode: 3013\nA 41", 1, {{0, 0}}, 0x3013, "", 0, 0x3013},
    {"only the low 16 bits of the value", "0x41 0xFFFF0061\n0x42 0x123450062", 2,
     {{0x41, 0x61}, {0x42, 0x62}}, 0, "", 0, 0},
    {"one number adds nothing", "8140\n0x41", 0, {}, 0, "", 0, 0},
    {"code beyond the map is ignored", "0x10000 0x41\n100000000 42", 0, {}, 0, "", 0, 0},
    {"later line wins", "0x41 0x61\n0x41 0x62", 2, {{0x41, 0x62}}, 0, "", 0, 0},
    {"semicolon directive", ";Name: Semi", 0, {}, 0, "Semi", 0, 0},
    {"name keeps the rest of the line", "#  Name:\t My Table  ", 0, {}, 0, "My Table  ", 0, 0},
    {"key anywhere after the mark", "# this table's Name: inside", 0, {}, 0, "inside", 0, 0},
    {"empty name leaves it", "#Name: A\n#Name: \t", 0, {}, 0, "A", 0, 0},
    {"keys are case-sensitive", "# name: lower\n#UNDEFANSI: 0x3F", 0, {}, 0, "", 0, 0},
    {"last name wins", "#Name: A\n;Name: B", 0, {}, 0, "B", 0, 0},
    {"Name: is searched first", "#Name: X UndefAnsi: 0x3F", 0, {}, 0, "X UndefAnsi: 0x3F", 0, 0},
    {"UndefAnsi: before UndefUnicode:", "#UndefUnicode: 3013 UndefAnsi: 0x3F", 0, {}, 0, "", 0x3F, 0},
    {"substitutes in both notations", "#UndefAnsi: 25\n#UndefUnicode: 0xFFFD", 0, {}, 0, "", 0x25, 0xFFFD},
    {"plain 3F reads 3", "#UndefAnsi: 3F\n#UndefUnicode: 3013", 0, {}, 0, "", 0x3, 0x3013},
    {"non-number value reads 0", "#UndefAnsi: 0x3F\n#UndefAnsi: ?", 0, {}, 0, "", 0, 0},
    {"missing value keeps the old", "#UndefAnsi: 0x3F\n#UndefAnsi:  ", 0, {}, 0, "", 0x3F, 0},
    {"substitute keeps 16 bits", "#UndefUnicode: 0x12345", 0, {}, 0, "", 0, 0x2345},
    {"directive after one number", "0x41 # Name: after one", 0, {}, 0, "after one", 0, 0},
    {"rest ignored after two numbers", "0x41 0x61 # Name: after two", 1, {{0x41, 0x61}}, 0, "", 0, 0},
    {"directive before numbers ends the line", "# 0x41 0x61", 0, {}, 0, "", 0, 0},
    {"fill takes the substitute at the first mapping",
     "#UndefUnicode: 0x3013\n0x41 0x61\n#UndefUnicode: 0xFFFD\n0x42 0x62", 2,
     {{0x41, 0x61}, {0x42, 0x62}}, 0x3013, "", 0, 0xFFFD},
    {"substitute after the first mapping fills nothing", "0x41 0x61\n#UndefUnicode: 0x3013", 1,
     {{0x41, 0x61}}, 0, "", 0, 0x3013},
    {"LF, CR LF, lone CR, no final end", "#Name: N\r0x41 0x61\r\n0x42 0x62\n0x43 0x63", 3,
     {{0x41, 0x61}, {0x42, 0x62}, {0x43, 0x63}}, 0, "N", 0, 0},
    {"0x00 and 0x1A are ignored", "0x4\0" "1 0x6\x1a" "1\n#Name: A\x1a" "B\0"s, 1,
     {{0x41, 0x61}}, 0, "AB", 0, 0},
    {"Name: after the first mapping", "0x41 0x61\n#Name: Late", 1, {{0x41, 0x61}}, 0, "Late", 0, 0},
    {"empty file", "", 0, {}, 0, "", 0, 0},
};

TEST(TableFormat, EachRule) {
  vktest::TempDir dir;
  for (const FormatCase& c : kFormatCases) {
    SCOPED_TRACE(c.what);
    auto t = TableFrom(dir, c.content);
    EXPECT_EQ(t->mappingCount(), c.mappings);
    EXPECT_EQ(t->name(), c.name);
    EXPECT_EQ(t->undefAnsi(), c.undefAnsi);
    EXPECT_EQ(t->undefUnicode(), c.undefUnicode);
    int wrong = 0;
    for (uint32_t code = 0; code < TConvTable::kMapSize; ++code) {
      auto it = c.entries.find(code);
      uint16_t expect = it == c.entries.end() ? c.fill : it->second;
      if (t->Map(code) != expect && ++wrong <= 3) {
        ADD_FAILURE() << std::hex << "entry 0x" << code << " is 0x" << t->Map(code) << ", expected 0x" << expect;
      }
    }
  }
}

TEST(TableFormat, LeadBytesFollowMappedTwoByteCodes) {
  vktest::TempDir dir;
  auto t = TableFrom(dir, "0x8140 0x3000\n0xA1 0xFF61\n0x0100 0x41\n0xE040 0\n0x10000 0x42\n");
  for (int b = 0; b < 256; ++b) {
    bool lead = b == 0x81 || b == 0x01 || b == 0xE0;  // a mapping to 0 still flags its byte
    EXPECT_EQ(t->IsLeadByte(static_cast<uint8_t>(b)), lead) << std::hex << b;
  }
}

TEST(TableFormat, MissingFileDoesNotLoad) {
  vktest::TempDir dir;
  TConvTable t(dir.Path("missing.tbl"));
  EXPECT_FALSE(t.Load());
  EXPECT_FALSE(t.Load(true));
  TConvTable folder(dir.path());
  EXPECT_FALSE(folder.Load());
}

TEST(TableProbe, StopsAtTheFirstMappingLineWithoutFilling) {
  vktest::TempDir dir;
  const std::string text = "#UndefUnicode: 0x3013\n#Name: Early\n0x41 0x61\n#Name: Late\n";
  auto probe = TableFrom(dir, text, true);
  EXPECT_EQ(probe->name(), "Early");
  EXPECT_EQ(probe->mappingCount(), 0);
  EXPECT_EQ(probe->Map(0x41), 0);
  EXPECT_EQ(probe->Map(0x42), 0);
  auto full = TableFrom(dir, text);
  EXPECT_EQ(full->name(), "Late");
  EXPECT_EQ(full->Map(0x42), 0x3013);
}

TEST(TableProbe, ATitleLineEndsTheProbe) {
  vktest::TempDir dir;
  const std::string text = "Code table for Eiwa\n#Name: Eiwa\n0x41 0x61\n";
  EXPECT_EQ(TableFrom(dir, text, true)->name(), "");
  auto full = TableFrom(dir, text);
  EXPECT_EQ(full->name(), "Eiwa");
  EXPECT_EQ(full->mappingCount(), 2);
}

TEST(TableProbe, ReadsNinetyNineLines) {
  vktest::TempDir dir;
  std::string comments;
  for (int i = 0; i < 98; ++i) comments += "# comment line\r\n";
  EXPECT_EQ(TableFrom(dir, comments + "#Name: On 99\n", true)->name(), "On 99");
  EXPECT_EQ(TableFrom(dir, comments + "\n#Name: On 100\n", true)->name(), "");
  // Blank lines and lone CRs are lines too.
  EXPECT_EQ(TableFrom(dir, std::string(99, '\r') + "#Name: X", true)->name(), "");
  EXPECT_EQ(TableFrom(dir, std::string(98, '\r') + "#Name: X", true)->name(), "X");
}

TEST(TableProbe, AnIgnoredLineDoesNotEndIt) {
  vktest::TempDir dir;
  EXPECT_EQ(TableFrom(dir, "0x10000 0x41\n8140\n#Name: Still", true)->name(), "Still");
}

std::vector<std::string> ReaddirOrder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* d = opendir(folder.c_str());
  while (struct dirent* e = readdir(d)) names.push_back(e->d_name);
  closedir(d);
  return names;
}

TEST(TableDiscovery, OffersNamedTablesByExtension) {
  vktest::TempDir dir;
  struct File {
    const char* name;
    const char* content;
    const char* offered;  // the name offered, or null
  } files[] = {
      {"a.tbl", "#Name: Alpha\n0x41 0x61\n", "Alpha"},
      {"B.TXT", "; Name: Bravo\n", "Bravo"},
      {"c.Tbl", "#Name: Charlie", "Charlie"},
      {".tbl", "#Name: Dot", "Dot"},
      {"dup1.txt", "#Name: Same", "Same"},
      {"dup2.txt", "#Name: Same", "Same"},
      {"plain.txt", "just a read-me\n", nullptr},
      {"late.tbl", "0x41 0x61\n#Name: Late\n", nullptr},
      {"d.dat", "#Name: Delta", nullptr},
      {"noext", "#Name: Echo", nullptr},
      {"e.tbl.bak", "#Name: Foxtrot", nullptr},
      {"g.tb", "#Name: Golf", nullptr},
  };
  for (const File& f : files) WriteFile(dir.Path(f.name), f.content);
  ASSERT_EQ(mkdir(dir.Path("h.tbl").c_str(), 0755), 0);

  std::vector<std::string> names, paths;
  FindConvTables(dir.path(), &names, &paths);
  ASSERT_EQ(names.size(), paths.size());
  // In the order the folder lists them.
  std::vector<std::pair<std::string, std::string>> expected;
  for (const std::string& entry : ReaddirOrder(dir.path())) {
    for (const File& f : files) {
      if (f.offered && entry == f.name) expected.emplace_back(f.offered, dir.path() + "/" + entry);
    }
  }
  std::vector<std::pair<std::string, std::string>> got;
  for (size_t i = 0; i < names.size(); ++i) got.emplace_back(names[i], paths[i]);
  EXPECT_EQ(got, expected);
  EXPECT_EQ(got.size(), 6u);

  FindConvTables(dir.path() + "/", &names, &paths);
  EXPECT_EQ(names.size(), 6u);
  for (const std::string& p : paths) EXPECT_EQ(p.find("//"), std::string::npos) << p;
}

TEST(TableDiscovery, MissingFolderGivesNothing) {
  vktest::TempDir dir;
  std::vector<std::string> names{"stale"}, paths{"stale"};
  FindConvTables(dir.Path("missing"), &names, &paths);
  EXPECT_TRUE(names.empty());
  EXPECT_TRUE(paths.empty());
}

TEST(TableInvert, HighestCodeWinsAndLeadBytesStay) {
  vktest::TempDir dir;
  auto t = TableFrom(dir, "0x8790 0x2252\n0x81E0 0x2252\n0x41 0x61\n0x8140 0x3000\n");
  t->Invert();
  EXPECT_EQ(t->Map(0x2252), 0x8790);
  EXPECT_EQ(t->Map(0x61), 0x41);
  EXPECT_EQ(t->Map(0x3000), 0x8140);
  EXPECT_EQ(t->Map(0x62), 0);
  EXPECT_TRUE(t->IsLeadByte(0x81));
  EXPECT_TRUE(t->IsLeadByte(0x87));
  EXPECT_FALSE(t->IsLeadByte(0x41));
}

TEST(TableInvert, SubstitutesOnBothSides) {
  vktest::TempDir dir;
  auto t = TableFrom(dir, "#UndefAnsi: 0x3F\n#UndefUnicode: 0x3013\n0x41 0x61\n0x81AC 0x3013\n");
  EXPECT_EQ(t->Map(0x42), 0x3013);  // unmapped codes read as the substitute
  t->Invert();
  EXPECT_EQ(t->Map(0x61), 0x41);
  EXPECT_EQ(t->Map(0x3013), 0x3F);  // no way back for the substitute, even when mapped explicitly
  EXPECT_EQ(t->Map(0x62), 0x3F);
  EXPECT_EQ(t->Map(0xFFFF), 0x3F);
}

// Writes random table files in all the notations the format allows, and
// compares each load, and its inversion, with a model of the rules.
TEST(TableFormat, RandomFilesAgreeWithAModel) {
  vktest::TempDir dir;
  const uint32_t seed = convtest::Seed(777);
  SCOPED_TRACE("seed " + std::to_string(seed) + " (VK_TEST_SEED to repeat)");
  std::mt19937 rng(seed);
  auto pick = [&](std::initializer_list<const char*> l) { return *(l.begin() + rng() % l.size()); };
  auto number = [&](uint32_t v) {
    char buf[32];
    bool digitsOnly = true;
    snprintf(buf, sizeof(buf), "%X", v);
    for (const char* p = buf; *p; ++p) digitsOnly = digitsOnly && *p <= '9';
    switch (digitsOnly ? rng() % 3 : rng() % 2) {
      case 0: snprintf(buf, sizeof(buf), "0x%X", v); break;
      case 1: snprintf(buf, sizeof(buf), "0x%04x", v); break;
      default: snprintf(buf, sizeof(buf), "%X", v); break;
    }
    return std::string(buf);
  };
  for (int round = 0; round < 12; ++round) {
    std::vector<uint16_t> model(TConvTable::kMapSize, 0);
    std::vector<bool> lead(256, false);
    std::string name;
    uint16_t undefAnsi = 0, undefUnicode = 0;
    int count = 0;
    std::string text;
    int lines = 50 + static_cast<int>(rng() % 400);
    for (int i = 0; i < lines; ++i) {
      switch (rng() % 10) {
        case 0:
          text += pick({"", "   ", "# comment", "; another", "\t"});
          break;
        case 1: {
          name = "Table " + std::to_string(rng() % 1000);
          text += std::string(pick({"#", ";", "# "})) + "Name: " + name;
          break;
        }
        case 2: {
          uint16_t v = static_cast<uint16_t>(rng() % 3 == 0 ? 0 : rng());
          bool ansi = rng() % 2;
          text += std::string("#") + (ansi ? "UndefAnsi: " : "UndefUnicode: ") + number(v);
          (ansi ? undefAnsi : undefUnicode) = v;
          break;
        }
        default: {
          uint32_t code = rng() % 2 ? rng() % 256 : 0x8100 + rng() % 0x1F00;
          uint16_t unit = static_cast<uint16_t>(rng());
          text += std::string(pick({"", " ", "\t"})) + number(code) + pick({" ", "\t", ",", " , ", "\t\t"}) +
                  number(unit) + pick({"", " # note", " ; Name: ignored", "  "});
          if (count == 0) std::fill(model.begin(), model.end(), undefUnicode);
          if (count == 0) std::fill(lead.begin(), lead.end(), false);
          model[code] = unit;
          if (code >= 256) lead[code >> 8] = true;
          ++count;
        }
      }
      text += pick({"\n", "\r\n", "\r"});
    }
    auto t = TableFrom(dir, text);
    ASSERT_EQ(t->mappingCount(), count) << "round " << round;
    ASSERT_EQ(t->name(), name);
    ASSERT_EQ(t->undefAnsi(), undefAnsi);
    ASSERT_EQ(t->undefUnicode(), undefUnicode);
    for (uint32_t c = 0; c < TConvTable::kMapSize; ++c) ASSERT_EQ(t->Map(c), model[c]) << "round " << round << " code " << c;
    for (int b = 0; b < 256; ++b) ASSERT_EQ(t->IsLeadByte(static_cast<uint8_t>(b)), lead[b]) << b;

    std::vector<uint16_t> inverse(TConvTable::kMapSize, undefAnsi);
    for (uint32_t c = 0; c < TConvTable::kMapSize; ++c) {
      if (model[c] != undefUnicode) inverse[model[c]] = static_cast<uint16_t>(c);
    }
    t->Invert();
    for (uint32_t u = 0; u < TConvTable::kMapSize; ++u) ASSERT_EQ(t->Map(u), inverse[u]) << "round " << round << " unit " << u;
    for (int b = 0; b < 256; ++b) ASSERT_EQ(t->IsLeadByte(static_cast<uint8_t>(b)), lead[b]) << b;
  }
}

}  // namespace
}  // namespace vk
