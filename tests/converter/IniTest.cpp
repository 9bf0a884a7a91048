// The settings file: INI lines read and written on every access, the other
// lines of the file kept, and the converter's keys on top (recent paths per
// kind, the mode, the table choices); where the file lives.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "Dictionary.h"
#include "Ini.h"
#include "support/TempDir.h"

namespace vk {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void Write(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

class IniTest : public ::testing::Test {
 protected:
  IniTest() : path_(dir_.Path("VKcv.ini")), ini_(path_) {}
  vktest::TempDir dir_;
  std::string path_;
  TIniFile ini_;
};

TEST_F(IniTest, RoundTripThroughTheFile) {
  EXPECT_TRUE(ini_.WriteString("Convert", "ConvertMode", "3"));
  EXPECT_TRUE(ini_.WriteString("Convert", "Word", "Shift-JIS (Windows CP932)"));
  EXPECT_TRUE(ini_.WriteString("UTF8Files", "0", "/home/user/辞書/英和.dic"));
  EXPECT_TRUE(ini_.WriteString("Convert", "Word", "Western"));  // replaced in place
  EXPECT_EQ("[Convert]\nConvertMode=3\nWord=Western\n\n[UTF8Files]\n0=/home/user/辞書/英和.dic\n",
            Read(path_));
  // A second object on the same file sees it all: nothing is cached.
  TIniFile other(path_);
  EXPECT_EQ("Western", other.ReadString("Convert", "Word", "x"));
  EXPECT_EQ(3, other.ReadInteger("Convert", "ConvertMode", 0));
  EXPECT_EQ("/home/user/辞書/英和.dic", other.ReadString("UTF8Files", "0", ""));
  EXPECT_EQ("dflt", other.ReadString("UTF8Files", "1", "dflt"));
  EXPECT_EQ("dflt", other.ReadString("Nowhere", "0", "dflt"));
}

TEST_F(IniTest, ReadingAsProfileFilesRead) {
  Write(path_,
        "\xEF\xBB\xBF; a comment\r\n"
        "[convert]\r\n"
        "  CONVERTMODE = 2\r\n"
        "Word=  spaced  \r\n"
        "Japa=a=b\r\n"
        "[ Win32Files ]\n"
        "0=/first\n"
        "[Convert]\n"
        "Exp=the second section of a name is not read\n");
  struct Case {
    const char* section;
    const char* key;
    std::string want;
  } cases[] = {
      {"Convert", "ConvertMode", "2"},   // names ignore case and surrounding blanks
      {"Convert", "Word", "spaced  "},   // blanks after "=" go, trailing ones stay
      {"Convert", "Japa", "a=b"},        // the first "=" splits
      {"Win32Files", "0", "/first"},
      {"Convert", "Exp", "(none)"},
      {"; a comment", "", "(none)"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.want, ini_.ReadString(c.section, c.key, "(none)")) << c.section << " " << c.key;
}

TEST_F(IniTest, WritingKeepsTheOtherLines) {
  Write(path_, "; kept\n[Other]\nx=1\n\n[Convert]\nWord=a\n\n[Tail]\ny=2\n");
  ini_.WriteString("Convert", "Pron", "b");
  ini_.WriteString("convert", "WORD", "c");
  EXPECT_EQ("; kept\n[Other]\nx=1\n\n[Convert]\nWORD=c\nPron=b\n\n[Tail]\ny=2\n", Read(path_));
  ini_.EraseSection("Other");  // with the blank line that ended it
  EXPECT_EQ("; kept\n[Convert]\nWORD=c\nPron=b\n\n[Tail]\ny=2\n", Read(path_));
  // A value with a line end would break the file: refused, nothing written.
  EXPECT_FALSE(ini_.WriteString("Convert", "Exp", "two\nlines"));
  EXPECT_EQ("(none)", ini_.ReadString("Convert", "Exp", "(none)"));
}

TEST_F(IniTest, EraseSectionTakesEveryCopyOfIt) {
  Write(path_, "[A]\n0=x\n[B]\n0=y\n[a]\n1=z\n");
  EXPECT_TRUE(ini_.EraseSection("A"));
  EXPECT_EQ("[B]\n0=y\n", Read(path_));
  EXPECT_TRUE(ini_.EraseSection("Missing"));
  EXPECT_EQ("[B]\n0=y\n", Read(path_));
}

TEST_F(IniTest, MissingOrUnwritableFile) {
  EXPECT_EQ("d", ini_.ReadString("Convert", "Word", "d"));
  EXPECT_EQ(7, ini_.ReadInteger("Convert", "ConvertMode", 7));
  // A file where the folder should be: every write fails, and says so.
  Write(dir_.Path("file"), "");
  TIniFile blocked(dir_.Path("file/VKcv.ini"));
  EXPECT_FALSE(blocked.WriteString("Convert", "Word", "x"));
  EXPECT_EQ("d", blocked.ReadString("Convert", "Word", "d"));
  // A missing folder is made on the first write.
  TIniFile deep(dir_.Path("a/b/VKcv.ini"));
  EXPECT_TRUE(deep.WriteString("Convert", "Word", "x"));
  EXPECT_EQ("x", TIniFile(dir_.Path("a/b/VKcv.ini")).ReadString("Convert", "Word", ""));
  // No temporary file is left beside it.
  std::vector<std::string> entries;
  if (DIR* d = ::opendir(dir_.Path("a/b").c_str())) {
    while (dirent* e = ::readdir(d))
      if (e->d_name[0] != '.') entries.push_back(e->d_name);
    ::closedir(d);
  }
  EXPECT_EQ(std::vector<std::string>{"VKcv.ini"}, entries);
}

TEST_F(IniTest, ModeIsAnIndexFromZeroToFive) {
  struct Case {
    const char* stored;  // null: no key
    int mode;
  } cases[] = {{nullptr, 0}, {"0", 0}, {"5", 5}, {"3", 3}, {"6", 0}, {"-1", 0}, {"x", 0}, {"", 0}, {" 4", 4}};
  for (const Case& c : cases) {
    ::unlink(path_.c_str());
    if (c.stored) Write(path_, std::string("[Convert]\nConvertMode=") + c.stored + "\n");
    EXPECT_EQ(c.mode, TCvtIni(path_).Mode()) << (c.stored ? c.stored : "(none)");
  }
  TCvtIni cvt(path_);
  cvt.SetMode(4);
  EXPECT_EQ(4, TCvtIni(path_).Mode());
}

TEST_F(IniTest, RecentListsPerKind) {
  TCvtIni cvt(path_);
  EXPECT_STREQ("Win32Files", TCvtIni::RecentSection(kDicWin32));
  EXPECT_STREQ("UTF16Files", TCvtIni::RecentSection(kDicUtf16));
  EXPECT_STREQ("UTF8Files", TCvtIni::RecentSection(kDicUtf8));
  EXPECT_STREQ("", TCvtIni::RecentSection(0));

  struct Case {
    const char* what;
    std::string section;
    std::vector<std::string> loaded;  // oldest first
  } cases[] = {
      {"in key order", "0=/a\n1=/b\n2=/c\n", {"/a", "/b", "/c"}},
      {"a gap ends the list", "0=/a\n1=/b\n3=/d\n", {"/a", "/b"}},
      {"an empty value ends it", "0=/a\n1=\n2=/c\n", {"/a"}},
      {"no key 0, no list", "1=/b\n", {}},
      {"the same path in other case counts once, first spelling",
       "0=/A.dic\n1=/b\n2=/a.DIC\n", {"/b", "/A.dic"}},
      {"more than ten keep the newest ten",
       "0=/0\n1=/1\n2=/2\n3=/3\n4=/4\n5=/5\n6=/6\n7=/7\n8=/8\n9=/9\n10=/10\n11=/11\n",
       {"/2", "/3", "/4", "/5", "/6", "/7", "/8", "/9", "/10", "/11"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Write(path_, "[UTF16Files]\n" + c.section + "[UTF8Files]\n0=/other\n");
    TRecentList list = MakeRecentList();
    list.Add("/left over");
    cvt.LoadRecent(kDicUtf16, &list);
    std::vector<std::string> got;
    for (int i = 0; i < list.Count(); ++i) got.push_back(list.Item(i));
    EXPECT_EQ(c.loaded, got);
  }

  // Saving replaces the whole section, oldest under "0".
  Write(path_, "[UTF16Files]\n0=/a\n1=/b\n2=/c\n3=/stale\n[UTF8Files]\n0=/other\n");
  TRecentList list = MakeRecentList();
  list.Add("/x");
  list.Add("/y");
  cvt.SaveRecent(kDicUtf16, list);
  EXPECT_EQ("[UTF8Files]\n0=/other\n\n[UTF16Files]\n0=/x\n1=/y\n", Read(path_));
}

TEST_F(IniTest, AnEmptyPathIsNotAdded) {
  TRecentList list = MakeRecentList();
  AddRecentPath(&list, "/a");
  AddRecentPath(&list, "");
  AddRecentPath(&list, "/A");
  ASSERT_EQ(1, list.Count());
  EXPECT_EQ("/a", list.Item(0));
}

TEST_F(IniTest, TableChoices) {
  TCvtIni cvt(path_);
  EXPECT_EQ("", cvt.TableChoice("Word"));
  for (const char* key : TCvtIni::kFieldKeys) cvt.SetTableChoice(key, std::string("t-") + key);
  EXPECT_EQ("[Convert]\nWord=t-Word\nPron=t-Pron\nJapa=t-Japa\nExp=t-Exp\n", Read(path_));
  EXPECT_EQ("t-Japa", TCvtIni(path_).TableChoice("Japa"));

  struct Case {
    std::vector<std::string> names;
    const char* stored;
    int index;
  } cases[] = {
      {{"A", "B", "C"}, "B", 1},      {{"A", "B", "C"}, "c", 2},
      {{"A", "Same", "Same"}, "same", 1}, {{"A", "B"}, "Gone", 0},
      {{"A", "B"}, "", 0},            {{}, "A", -1},
      {{"Ａ", "ä"}, "Ä", 1},          // full-width and Latin-1 letters too
  };
  for (const Case& c : cases) EXPECT_EQ(c.index, TableIndexOf(c.names, c.stored)) << c.stored;
}

TEST_F(IniTest, WhereTheSettingsFileLives) {
  std::string oldXdg = std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
  bool hadXdg = std::getenv("XDG_CONFIG_HOME") != nullptr;
  std::string oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("HOME", dir_.Path("home").c_str(), 1);
  struct Case {
    const char* what;
    std::string folder;
    const char* xdg;  // null: unset
    std::string want;
  } cases[] = {
      {"a folder that can be written", dir_.path(), "/xdg", dir_.Path("VKcv.ini")},
      {"a folder that cannot", dir_.Path("missing"), "/xdg", "/xdg/vkcv/VKcv.ini"},
      {"no XDG_CONFIG_HOME", dir_.Path("missing"), nullptr, dir_.Path("home/.config/vkcv/VKcv.ini")},
      {"a relative XDG_CONFIG_HOME", dir_.Path("missing"), "rel", dir_.Path("home/.config/vkcv/VKcv.ini")},
      {"no folder known", "", "/xdg", "/xdg/vkcv/VKcv.ini"},
  };
  for (const Case& c : cases) {
    if (c.xdg)
      ::setenv("XDG_CONFIG_HOME", c.xdg, 1);
    else
      ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(c.want, SettingsFilePath(c.folder)) << c.what;
  }
  if (hadXdg)
    ::setenv("XDG_CONFIG_HOME", oldXdg.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
  ::setenv("HOME", oldHome.c_str(), 1);
}

}  // namespace
}  // namespace vk
