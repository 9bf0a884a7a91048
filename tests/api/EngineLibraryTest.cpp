// The client binding itself: where it looks for a library, what it says when
// it cannot have one, and that every export lands in its own slot.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "api/EngineLib.h"
#include "api/EngineLibrary.h"

namespace vktest {
namespace {

// Every slot of `exports` that is bound, and the names of those that are not.
template <class C>
std::set<void*> Bound(vk::EngineExports<C> exports, std::set<std::string>* unbound) {
  std::set<void*> bound;
  int slots = 0;
  exports.ForEach([&](auto fn, const char* name) {
    ++slots;
    if (fn)
      bound.insert(reinterpret_cast<void*>(fn));
    else
      unbound->insert(name);
  });
  EXPECT_EQ(slots, 44);  // every function VokaApi.h declares
  return bound;
}

TEST(EngineLibrary, EveryExportIsBoundToAFunctionOfItsOwn) {
  vk::EngineLibrary lib;
  ASSERT_TRUE(lib.Load("VKCUB.DLL", ProgramFolder() + "/", nullptr, 0)) << lib.loadError();
  std::set<std::string> unbound;
  std::set<void*> bound = Bound(lib.Exports<char16_t>(), &unbound);
  EXPECT_TRUE(unbound.empty());
  // A name given to two slots would bind one function twice.
  EXPECT_EQ(bound.size(), 44u);
}

TEST(EngineLibrary, AnExportTheLibraryLacksStaysNull) {
  for (const char* name : {"VKCU8L", "VKCUL"}) {
    SCOPED_TRACE(name);
    vk::EngineLibrary lib;
    ASSERT_TRUE(lib.Load(name, ProgramFolder(), nullptr, 0)) << lib.loadError();
    std::set<std::string> unbound;
    Bound(lib.Exports<char16_t>(), &unbound);
    EXPECT_EQ(unbound, std::set<std::string>{"VKGetNextScan"});
  }
  vk::EngineLibrary narrow;
  ASSERT_TRUE(narrow.Load("VKC620.DLL", ProgramFolder(), nullptr, 0)) << narrow.loadError();
  EXPECT_EQ(narrow.Exports<char>().GetNextScan, nullptr);
  EXPECT_NE(narrow.Exports<char>().QueryRecord, nullptr);
  EXPECT_NE(narrow.Exports<char>().DicCheck, nullptr);
  EXPECT_NE(narrow.Exports<char>().Optimize, nullptr);
}

TEST(EngineLibrary, AMissingRequiredExportIsNamedAndTheLibraryIsNotKept) {
  vk::EngineLibrary lib;
  const char* const required[] = {"VKOpen", "VKGetNextScan", "VKClose"};
  EXPECT_FALSE(lib.Load("VKCU8L.DLL", ProgramFolder(), required));
  EXPECT_FALSE(lib.IsLoaded());
  EXPECT_EQ(lib.loadError(), "libVKCU8L.so lacks VKGetNextScan");
  EXPECT_EQ(lib.Symbol("VKOpen"), nullptr);
  // A later load that succeeds forgets the failure.
  ASSERT_TRUE(lib.Load("VKCUB.DLL", ProgramFolder(), required)) << lib.loadError();
  EXPECT_TRUE(lib.loadError().empty());
}

TEST(EngineLibrary, ALibraryFoundNowhereGivesTheLoadersReason) {
  vk::EngineLibrary lib;
  EXPECT_FALSE(lib.Load("VKNONE.DLL", ProgramFolder(), nullptr, 0));
  EXPECT_FALSE(lib.IsLoaded());
  EXPECT_NE(lib.loadError().find("libVKNONE.so"), std::string::npos) << lib.loadError();
  EXPECT_EQ(lib.Exports<char16_t>().CreateHandle, nullptr);
}

}  // namespace
}  // namespace vktest
