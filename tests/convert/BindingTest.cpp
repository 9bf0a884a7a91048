// The engine binding: library choice and loading, the open modes, the scan
// and write calls and the error codes, through the stand-in engines (whose
// call log shows what crossed) and through the real ones.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "ConvertTestUtil.h"
#include "Dlldic.h"

namespace vk {
namespace {

using cvtest::FakeFolder;
using cvtest::LackingFolder;
using cvtest::Lines;
using cvtest::ReadFile;
using cvtest::WriteFile;

// Points the stand-in engines' call log at a fresh file for one test.
class FakeLog {
 public:
  explicit FakeLog(const vktest::TempDir& dir) : path_(dir.Path("calls.log")) {
    ::setenv("VK_FAKE_ENGINE_LOG", path_.c_str(), 1);
  }
  ~FakeLog() { ::unsetenv("VK_FAKE_ENGINE_LOG"); }
  std::vector<std::string> Calls() const { return Lines(ReadFile(path_)); }
  void Clear() const { WriteFile(path_, ""); }

 private:
  std::string path_;
};

TEST(EngineModule, SharedObjectNameDropsTheExtension) {
  EXPECT_EQ("libVKC620.so", EngineLibrary::SharedObjectName("VKC620.DLL"));
  EXPECT_EQ("libVKCU8L.so", EngineLibrary::SharedObjectName("VKCU8L.DLL"));
  EXPECT_EQ("libVKCUB.so", EngineLibrary::SharedObjectName("VKCUB"));
}

TEST(EngineModule, LibraryChoiceFollowsKindAndByteOrder) {
  EXPECT_STREQ("VKC620.DLL", EngineLibraryFor(kDicWin32, 0));
  EXPECT_STREQ("VKC620.DLL", EngineLibraryFor(kDicWin32, 1));
  EXPECT_STREQ("VKCUL.DLL", EngineLibraryFor(kDicUtf16, 0));
  EXPECT_STREQ("VKCUB.DLL", EngineLibraryFor(kDicUtf16, 1));
  EXPECT_STREQ("VKCU8L.DLL", EngineLibraryFor(kDicUtf8, 0));
  EXPECT_EQ(nullptr, EngineLibraryFor(kDicUtf8, 1));
}

TEST(EngineModule, RealEnginesHaveAllTwelveExports) {
  for (const char* name : {"VKC620.DLL", "VKCUL.DLL", "VKCU8L.DLL", "VKCUB.DLL"}) {
    EngineLibrary m;
    EXPECT_TRUE(m.Load(name, EngineFolder("", name), kEngineExports)) << name << ": " << m.loadError();
  }
}

TEST(EngineModule, ALibraryLackingAnExportCountsAsMissing) {
  EngineLibrary m;
  EXPECT_FALSE(m.Load("VKCUL.DLL", EngineFolder(LackingFolder(), "VKCUL.DLL"), kEngineExports));
  EXPECT_FALSE(m.IsLoaded());
  EXPECT_NE(std::string::npos, m.loadError().find("VKQueryRecord")) << m.loadError();

  TUnicodeDllDic dic(0, 0);
  dic.SetLibraryFolder(LackingFolder());
  EXPECT_FALSE(dic.LoadDll());
  EXPECT_EQ(TDllDic::kErrorNoLibrary, dic.GetErrorCode());
}

void AbsentLibrary() {
  vktest::TempDir empty;
  TUnicodeDllDic dic(1, 0);  // libVKCUB.so: the stand-in folder has none
  dic.SetLibraryFolder(empty.path());
  // Not in the folder and not on the system's search path either.
  EXPECT_EQ(-1, dic.Open(empty.Path("x.dic"), TDllDic::kOpenRead));
  EXPECT_FALSE(dic.hasHandle());
  EXPECT_FALSE(dic.isLoaded());
  EXPECT_EQ(VK_ERR_CANNOT_OPEN, dic.GetErrorCode());
  EXPECT_EQ(nullptr, dic.GetErrorMessage(VK_ERR_FILE_NOT_FOUND));
}

TEST(DllDic, AbsentLibraryFailsOpenWithCode16BeforeAnyHandle) { IN_FRESH_PROCESS(AbsentLibrary()); }

TEST(DllDic, BigEndianUtf8TriesNoLibrary) {
  vktest::TempDir dir;
  FakeLog log(dir);
  TUnicodeDllDic dic(1, 1);
  dic.SetLibraryFolder(FakeFolder());  // holds a libVKCU8L.so that must stay untouched
  EXPECT_FALSE(dic.LoadDll());
  EXPECT_EQ(-1, dic.Open(dir.Path("x.dic"), TDllDic::kOpenRead));
  EXPECT_FALSE(dic.isLoaded());
  EXPECT_EQ(VK_ERR_NONE, dic.GetErrorCode());  // nothing was tried, so nothing failed
  EXPECT_TRUE(log.Calls().empty());
}

TEST(DllDic, OpenModesMapToTheExports) {
  vktest::TempDir dir;
  FakeLog log(dir);
  std::string path = dir.Path("d.txt");
  WriteFile(path, "a\tA\t\t\t0\n");
  struct Case {
    int mode;
    std::vector<std::string> calls;
  } cases[] = {
      {TDllDic::kOpenRead, {"VKCreateHandle", "VKOpen 1", "VKInitSearch null 4"}},
      {TDllDic::kOpenReadWrite, {"VKCreateHandle", "VKOpen 0", "VKInitSearch null 4"}},
      {TDllDic::kOpenCreate, {"VKCreateHandle", "VKCreate 0", "VKInitSearch null 4"}},
      {TDllDic::kOpenNone, {"VKCreateHandle", "VKInitSearch null 4"}},
      {4 | TDllDic::kOpenRead, {"VKCreateHandle", "VKOpen 1", "VKInitSearch null 4"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    WriteFile(path, "a\tA\t\t\t0\n");
    log.Clear();
    {
      TUnicodeDllDic dic(0, 0);
      dic.SetLibraryFolder(FakeFolder());
      ASSERT_EQ(0, dic.Open(path, c.mode));
      EXPECT_EQ(path, dic.fileName());
      std::vector<std::string> want;
      for (const std::string& s : c.calls) want.push_back("VKCUL " + s);
      EXPECT_EQ(want, log.Calls());
    }
    std::vector<std::string> calls = log.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ("VKCUL VKClose", calls[calls.size() - 2]);  // destruction closes
    EXPECT_EQ("VKCUL VKDeleteHandle", calls.back());
  }
}

TEST(DllDic, OpenTwiceClosesAndDeletesTheFirstHandle) {
  vktest::TempDir dir;
  FakeLog log(dir);
  std::string path = dir.Path("d.txt");
  WriteFile(path, "");
  TWin32DllDic dic;
  dic.SetLibraryFolder(FakeFolder());
  ASSERT_EQ(0, dic.Open(path, TDllDic::kOpenRead));
  log.Clear();
  ASSERT_EQ(0, dic.Open(path, TDllDic::kOpenRead));
  std::vector<std::string> want = {"VKC620 VKClose", "VKC620 VKDeleteHandle",
                                   "VKC620 VKCreateHandle", "VKC620 VKOpen 1",
                                   "VKC620 VKInitSearch null 4"};
  EXPECT_EQ(want, log.Calls());
}

TEST(DllDic, ReadNextCallsAgainWhileTheEngineAnswersZero) {
  vktest::TempDir dir;
  FakeLog log(dir);
  std::string path = dir.Path("d.txt");
  WriteFile(path, "apple\tりんご\tan apple\tアップル\t133\nbee\t蜂\t\t\t7\n");
  TUnicodeDllDic dic(0, 0);
  dic.SetLibraryFolder(FakeFolder());
  ASSERT_EQ(0, dic.Open(path, TDllDic::kOpenRead));
  log.Clear();
  TDicRecord r;
  ASSERT_EQ(0, dic.ReadNext(&r));
  EXPECT_EQ(u"apple", r.units[kRecordWord]);
  EXPECT_EQ(u"りんご", r.units[kRecordJapa]);
  EXPECT_EQ(u"an apple", r.units[kRecordExp]);
  EXPECT_EQ(u"アップル", r.units[kRecordPron]);
  EXPECT_EQ(133, r.attr);
  EXPECT_EQ(5u, dic.Units(r, kRecordWord));
  ASSERT_EQ(0, dic.ReadNext(&r));
  EXPECT_EQ(u"bee", r.units[kRecordWord]);
  EXPECT_EQ(u"", r.units[kRecordExp]);
  EXPECT_EQ(7, r.attr);
  EXPECT_EQ(-1, dic.ReadNext(&r));
  std::vector<std::string> want = {
      "VKCUL VKGetNextSearch 0", "VKCUL VKGetNextSearch 0", "VKCUL VKGetNextSearch 1",
      "VKCUL VKGetNextSearch 0", "VKCUL VKGetNextSearch 0", "VKCUL VKGetNextSearch 1",
      "VKCUL VKGetNextSearch -2"};
  EXPECT_EQ(want, log.Calls());
}

TEST(DllDic, WriteRecordPassesMergeRuleAndFlagsAndTheEngineAnswer) {
  vktest::TempDir dir;
  FakeLog log(dir);
  std::string path = dir.Path("d.txt");
  TWin32DllDic dic;
  dic.SetLibraryFolder(FakeFolder());
  ASSERT_EQ(0, dic.Open(path, TDllDic::kOpenCreate));
  TDicRecord r;
  r.bytes[kRecordWord] = "word";
  r.bytes[kRecordJapa] = "J";
  r.bytes[kRecordPron] = "P";
  r.bytes[kRecordExp] = "E";
  r.attr = 0xA5;
  log.Clear();
  EXPECT_EQ(0, dic.WriteRecord(r));
  r.bytes[kRecordWord] = "longword";
  EXPECT_EQ(-1, dic.WriteRecord(r));
  EXPECT_EQ(VK_ERR_WORD_TOO_LONG, dic.GetErrorCode());
  std::vector<std::string> calls = log.Calls();
  ASSERT_FALSE(calls.empty());
  // Clash rule 6 (merge with CR LF), merge flags 0x7fff0000.
  EXPECT_EQ("VKC620 VKQueryRecord 6 2147418112", calls[0]);
  dic.Close();
  EXPECT_EQ("word\tJ\tE\tP\t165\n", ReadFile(path));
}

TEST(DllDic, FailedOpenKeepsTheHandleSoTheEngineCodeIsSeen) {
  vktest::TempDir dir;
  TUnicodeDllDic dic(0, 1);  // the real UTF-8 engine
  EXPECT_EQ(-1, dic.Open(dir.Path("absent.dic"), TDllDic::kOpenRead));
  EXPECT_TRUE(dic.hasHandle());
  EXPECT_EQ(VK_ERR_FILE_NOT_FOUND, dic.GetErrorCode());  // the system says so
  dic.Close();
  EXPECT_FALSE(dic.hasHandle());
  EXPECT_EQ(VK_ERR_NONE, dic.GetErrorCode());  // the own code, reset by the Open
}

TEST(DllDic, MessagesComeBackAsUtf8FromEitherSide) {
  TUnicodeDllDic unicode(0, 0);
  const char* m = unicode.GetErrorMessage(VK_ERR_NOT_DICTIONARY);
  ASSERT_NE(nullptr, m);
  EXPECT_STREQ("<%s>VOKA用の辞書ではありません", m);
  EXPECT_EQ(nullptr, unicode.GetErrorMessage(VK_ERR_NO_TEMP_NAME));
  TWin32DllDic legacy;
  m = legacy.GetErrorMessage(VK_ERR_CANNOT_OPEN);
  ASSERT_NE(nullptr, m);
  EXPECT_STREQ("<%s>オープンできません.", m);
}

// A path of `units` characters inside `dir`, in folders of at most 200 bytes.
std::string LongPath(const vktest::TempDir& dir, size_t units) {
  std::string p = dir.path();
  while (units - p.size() > 201) {
    p += "/" + std::string(200, 'd');
    ::mkdir(p.c_str(), 0755);
  }
  p += "/";
  p += std::string(units - p.size(), 'f');
  return p;
}

TEST(DllDic, PathOf259CharactersOpensAndLongerIsRefused) {
  vktest::TempDir dir;
  std::string ok = LongPath(dir, 259);
  ASSERT_EQ(259u, ok.size());
  {
    TUnicodeDllDic dic(0, 0);
    EXPECT_EQ(0, dic.Open(ok, TDllDic::kOpenCreate)) << dic.GetErrorCode();
  }
  {
    TUnicodeDllDic dic(0, 0);
    EXPECT_EQ(0, dic.Open(ok, TDllDic::kOpenRead)) << dic.GetErrorCode();
  }
  std::string tooLong = LongPath(dir, 260);
  TUnicodeDllDic dic(0, 0);
  EXPECT_EQ(-1, dic.Open(tooLong, TDllDic::kOpenCreate));
  EXPECT_FALSE(dic.hasHandle());
  EXPECT_EQ(VK_ERR_BAD_FILE_NAME, dic.GetErrorCode());
  struct stat st;
  EXPECT_NE(0, ::stat(tooLong.c_str(), &st));
  // The legacy side passes paths as they are.
  TWin32DllDic legacy;
  EXPECT_EQ(0, legacy.Open(tooLong, TDllDic::kOpenCreate)) << legacy.GetErrorCode();
}

TEST(DllDic, PathThatIsNotUtf8IsRefusedByTheUnicodeSide) {
  vktest::TempDir dir;
  TUnicodeDllDic dic(0, 1);
  EXPECT_EQ(-1, dic.Open(dir.Path("bad\xff.dic"), TDllDic::kOpenCreate));
  EXPECT_EQ(VK_ERR_BAD_FILE_NAME, dic.GetErrorCode());
}

TEST(DllDic, RealEnginesScanWhatWasRegistered) {
  struct Case {
    int kind;
    int bigEndian;
  } cases[] = {{kDicUtf8, 0}, {kDicUtf16, 0}, {kDicUtf16, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind * 10 + c.bigEndian);
    vktest::TempDir dir;
    std::string path = dir.Path("u.dic");
    {
      TUnicodeDllDic dic(c.bigEndian, c.kind == kDicUtf8);
      ASSERT_EQ(0, dic.Open(path, TDllDic::kOpenCreate));
      dic.Close();
      ASSERT_EQ(0, dic.Open(path, TDllDic::kOpenReadWrite));
      dic.SetFastMode();
      TDicRecord r;
      r.units[kRecordWord] = u"dog";
      r.units[kRecordJapa] = u"犬";
      r.attr = 0x83;
      EXPECT_EQ(0, dic.WriteRecord(r));
      r.units[kRecordWord] = u"cat";
      r.units[kRecordJapa] = u"猫";
      r.units[kRecordPron] = u"kæt";
      EXPECT_EQ(0, dic.WriteRecord(r));
      r.units[kRecordWord] = u"dog";
      r.units[kRecordJapa] = u"いぬ";
      r.units[kRecordPron] = u"";
      EXPECT_EQ(0, dic.WriteRecord(r));  // merged with CR LF
    }
    TUnicodeDllDic dic(c.bigEndian, c.kind == kDicUtf8);
    ASSERT_EQ(0, dic.Open(path, TDllDic::kOpenRead));
    TDicRecord r;
    ASSERT_EQ(0, dic.ReadNext(&r));
    EXPECT_EQ(u"cat", r.units[kRecordWord]);
    EXPECT_EQ(u"猫", r.units[kRecordJapa]);
    EXPECT_EQ(u"kæt", r.units[kRecordPron]);
    ASSERT_EQ(0, dic.ReadNext(&r));
    EXPECT_EQ(u"dog", r.units[kRecordWord]);
    EXPECT_EQ(u"犬\r\nいぬ", r.units[kRecordJapa]);
    EXPECT_EQ(-1, dic.ReadNext(&r));
    EXPECT_EQ(100, dic.GetPercent());
  }
}

}  // namespace
}  // namespace vk
