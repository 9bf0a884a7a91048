// Handles, open/create/close, header facts and messages, as a caller of the
// loaded libraries sees them.
#include <gtest/gtest.h>

#include <cstring>

#include "api/ApiTestUtil.h"
#include "dic/Voka.h"
#include "support/StoredWords.h"
#include "support/FaultEnv.h"
#include "support/TempDir.h"

namespace {

using namespace vktest;

template <class P>
class HandleTest : public ::testing::Test {
 protected:
  using C = typename P::C;
  using Lib = EngineLib<C>;
  HandleTest() : lib(P::kName) {}
  std::basic_string<C> Name(const std::string& file) {
    std::string p = dir.Path(file);
    return std::basic_string<C>(p.begin(), p.end());
  }
  Lib lib;
  TempDir dir;
};

using Libs = ::testing::Types<LibU8, LibUB, LibUL, LibC620>;
TYPED_TEST_SUITE(HandleTest, Libs);

TYPED_TEST(HandleTest, CreateCloseReopenAndDescribe) {
  auto& lib = this->lib;
  EXPECT_EQ(lib.GetVersion(), 4096);
  auto name = this->Name("a.dic");
  VKHandle h = lib.CreateHandle();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(lib.GetErrorCode(h), VK_ERR_NONE);
  EXPECT_EQ(lib.GetHeader(h), nullptr);
  EXPECT_EQ(lib.GetFileName(h), nullptr);
  int32_t zero = 0;
  ASSERT_EQ(lib.Create(h, name.c_str(), &zero), 1);
  EXPECT_EQ(std::basic_string<typename TestFixture::C>(lib.GetFileName(h)), name);
  EXPECT_EQ(lib.GetDicVersion(h), 0x0500);
  EXPECT_EQ(lib.GetWordNum(h), 0);
  EXPECT_EQ(lib.GetIndexNum(h), 0);
  EXPECT_EQ(lib.GetNumWord(h), 0);
  const uint8_t* header = static_cast<const uint8_t*>(lib.GetHeader(h));
  ASSERT_NE(header, nullptr);
  EXPECT_EQ(header[150] | (header[151] << 8), 256);  // native order in every build
  EXPECT_EQ(int32_t(header[188] | (header[189] << 8) | (header[190] << 16) | (uint32_t(header[191]) << 24)), -1);
  lib.SetDivRatio(h, 5);
  EXPECT_EQ(lib.SetCodePage(h, 1, 2, 3, 4), h);
  EXPECT_EQ(lib.Close(h), 1);
  EXPECT_EQ(lib.Close(h), 0);
  EXPECT_EQ(ReadAll(this->dir.Path("a.dic")).size(), 256u);

  EXPECT_EQ(lib.IsVoka(name.c_str()), 1);
  VKHeaderInfo info;
  std::memset(&info, 0x5A, sizeof info);
  ASSERT_EQ(lib.GetHeaderInfo(name.c_str(), &info), 1);
  EXPECT_EQ(info.headerSize, 256);
  EXPECT_EQ(info.version, 0x0500);
  EXPECT_EQ(info.maxWordLen, 248);
  EXPECT_EQ(info.maxJapaLen, 3000);
  EXPECT_EQ(info.blockSize, 256);
  EXPECT_EQ(info.indexAreaBytes, info.indexBlocks * info.blockSize);
  EXPECT_EQ(info.freeBlock, -1);
  EXPECT_EQ(info.attrLen, 1);
  EXPECT_EQ(info.text[0], 0);
  EXPECT_EQ(info.zero2[2], 0);

  ASSERT_EQ(lib.Open(h, name.c_str(), 0), 1);
  // Opening again on the same handle closes the first dictionary instead of
  // leaking it; the file stays usable.
  ASSERT_EQ(lib.Open(h, name.c_str(), 1), 1);
  lib.DeleteHandle(h);
  lib.DeleteHandle(nullptr);
}

TYPED_TEST(HandleTest, RefusedFilesGiveTheirCodes) {
  auto& lib = this->lib;
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    int32_t code;
  };
  std::vector<uint8_t> wrongVersion(256, 0), wrongType(256, 0), notDic(300, 0x41);
  // A header of this build with version 4.01, and one with foreign type bytes.
  {
    VKHandle h = lib.CreateHandle();
    auto name = this->Name("t.dic");
    int32_t zero = 0;
    ASSERT_EQ(lib.Create(h, name.c_str(), &zero), 1);
    lib.Close(h);
    lib.DeleteHandle(h);
    wrongVersion = ReadAll(this->dir.Path("t.dic"));
    wrongType = wrongVersion;
  }
  // The version field is 16 bits in the build's order: its high byte is at
  // 141 in little-endian builds and at 140 in VKCUB.
  bool big = std::string(TypeParam::kName) == "VKCUB";
  wrongVersion[big ? 140 : 141] = 0x04;
  wrongType[165] ^= 0x40;
  const Case cases[] = {
      {"missing file", {}, VK_ERR_FILE_NOT_FOUND},
      {"not a dictionary", notDic, VK_ERR_NOT_DICTIONARY},
      {"version 4", wrongVersion, VK_ERR_VERSION},
      {"another type", wrongType, VK_ERR_UNSUPPORTED_TYPE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto name = this->Name(std::string("r") + c.what[0] + ".dic");
    if (c.code != VK_ERR_FILE_NOT_FOUND) WriteAll(this->dir.Path(std::string("r") + c.what[0] + ".dic"), c.bytes);
    VKHandle h = lib.CreateHandle();
    EXPECT_EQ(lib.Open(h, name.c_str(), 0), 0);
    EXPECT_EQ(lib.GetErrorCode(h), c.code);
    EXPECT_EQ(lib.IsVoka(name.c_str()), 0);
    VKHeaderInfo info;
    std::memset(&info, 0x77, sizeof info);
    EXPECT_EQ(lib.GetHeaderInfo(name.c_str(), &info), 0);
    EXPECT_EQ(info.headerSize, 0x7777);  // left untouched
    lib.DeleteHandle(h);
  }
}

TYPED_TEST(HandleTest, MessagesComeFromTheTableThroughAFourSlotRing) {
  auto& lib = this->lib;
  using C = typename TestFixture::C;
  std::u16string expected19 = u"<%s>VOKA用の辞書ではありません";
  const C* m19 = lib.GetErrorMessage(VK_ERR_NOT_DICTIONARY);
  ASSERT_NE(m19, nullptr);
  if constexpr (sizeof(C) == 2) {
    EXPECT_EQ(std::u16string(m19), expected19);
  } else {
    EXPECT_EQ(std::string(m19), Utf8(expected19));  // the narrow library speaks UTF-8
  }
  EXPECT_EQ(lib.GetErrorMessage(VK_ERR_NO_TEMP_NAME), nullptr);
  EXPECT_EQ(lib.GetErrorMessage(VK_ERR_WORD_TOO_LONG), nullptr);
  EXPECT_NE(lib.GetErrorMessage(440), nullptr);
  // Four texts live side by side.
  const C* a = lib.GetErrorMessage(VK_ERR_FILE_NOT_FOUND);
  const C* b = lib.GetErrorMessage(VK_ERR_DICTIONARY_FULL);
  const C* c = lib.GetErrorMessage(VK_ERR_READ_WRITE);
  const C* d = lib.GetErrorMessage(VK_ERR_READ_ONLY);
  auto is = [&](const C* got, const std::u16string& want) {
    if constexpr (sizeof(C) == 2) {
      return std::u16string(got) == want;
    } else {
      return std::string(got) == Utf8(want);
    }
  };
  EXPECT_TRUE(is(a, u"<%s>辞書(またはﾌｧｲﾙ)がオープン出来ません"));
  EXPECT_TRUE(is(b, u"辞書が一杯になりました."));
  EXPECT_TRUE(is(c, u"読み・書きエラーが発生しました."));
  EXPECT_TRUE(is(d, u"読取り専用ファイルに書き込みは出来ません"));
}

TEST(ExportSets, ScanOnlyInVkcub) {
  EngineLib<char16_t> u8("VKCU8L"), ub("VKCUB"), ul("VKCUL");
  EngineLib<char> c620("VKC620");
  EXPECT_TRUE(ub.Has("VKGetNextScan"));
  EXPECT_FALSE(u8.Has("VKGetNextScan"));
  EXPECT_FALSE(ul.Has("VKGetNextScan"));
  EXPECT_FALSE(c620.Has("VKGetNextScan"));
  // Nothing of the engine's insides is visible.
  EXPECT_FALSE(u8.Has("_ZN2vk16EngineCodeForSystemErrorEi"));
}

// A write-protected file opened read-write falls back to read-only. Tests
// run as root, where a file's mode refuses nothing, so the refusal comes
// from the file-system interface.
TEST(ReadOnlyFallback, RefusedWriteAccessOpensReadOnly) {
  TempDir dir;
  std::string path = dir.Path("ro.dic");
  {
    vk::Voka<vk::TraitsVKCU8L> v;
    ASSERT_EQ(v.CreateDic(path, u"ro.dic", false), 0);
  }
  FaultEnv env;
  env.FailOpen(vk::OpenMode::kReadWrite, 5);
  vk::Voka<vk::TraitsVKCU8L> v(&env);
  ASSERT_EQ(v.OpenDic(path, u"ro.dic", false), 0);
  EXPECT_TRUE(v.IsReadOnly());
  env.FailOpen(vk::OpenMode::kReadOnly, 5);
  vk::Voka<vk::TraitsVKCU8L> w(&env);
  EXPECT_EQ(w.OpenDic(path, u"ro.dic", false), -1);
  EXPECT_EQ(w.Error(), 16);
}

}  // namespace
