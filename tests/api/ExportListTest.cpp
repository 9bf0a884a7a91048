// What each engine library exports: exactly its own set of functions,
// each one found by the loader, and no other symbol in its dynamic symbol
// table. The table is read from the library's own ELF file, so a symbol that
// leaks past the version script shows here even when nothing looks it up.
#include <elf.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "api/EngineLib.h"
#include "api/EngineLibrary.h"

namespace vktest {
namespace {

using Names = std::set<std::string>;

const Names kCommon = {
    "VKGetVersion",    "VKIsVoka",        "VKCreateHandle",   "VKDeleteHandle",  "VKOpen",
    "VKCreate",        "VKClose",         "VKGetHeaderInfo",  "VKSetFastMode",   "VKSetCodePage",
    "VKGetHeader",     "VKGetFileName",   "VKInitIncSearch",  "VKSetAllSearch",  "VKJumpAS",
    "VKGetNextSearch", "VKGetPrevSearch", "VKBSearch",        "VKInitSearch",    "VKInitScan",
    "VKFind",          "VKRecord",        "VKErase",          "VKRename",        "VKChangeJapa",
    "VKChangeExp",     "VKSetAttr",       "VKChangeLevel",    "VKAddLevel",      "VKUpdate",
    "VKGetDicVersion", "VKGetWordNum",    "VKSetDivRatio",    "VKGetIndexNum",   "VKGetErrorCode",
    "VKGetErrorMessage", "VKDirectJump",  "VKGetNumWord",     "VKBitmapToDIB",   "VKGetPercent",
    "VKQueryRecord",   "VKDicCheck",      "VKOptimize",
};

const Names kVkcubOnly = {
    "VKGetNextScan",     "VKCreateObject",    "VKDeleteObject",  "VKGetObjectType",
    "VKSetDataPCMLINK",  "VKSetDataFileLink", "VKGetLengthBinary", "VKGetDataBinary",
    "VKGetExtraData",    "VKSetDataBinary",   "VKCreateMem",
};

Names Union(const Names& a, const Names& b) {
  Names out = a;
  out.insert(b.begin(), b.end());
  return out;
}

// The names of the symbols that the shared object at `path` defines in its
// dynamic symbol table: what another object can bind to.
Names DefinedDynamicSymbols(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Names names;
  auto fail = [&](const char* why) {
    ADD_FAILURE() << path << ": " << why;
    return Names{};
  };
  if (file.size() < sizeof(Elf64_Ehdr)) return fail("not an ELF file");
  Elf64_Ehdr eh;
  std::memcpy(&eh, file.data(), sizeof eh);
  if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64)
    return fail("not a 64-bit ELF file");
  if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shoff + uint64_t(eh.e_shnum) * sizeof(Elf64_Shdr) > file.size())
    return fail("section headers out of the file");
  std::vector<Elf64_Shdr> sections(eh.e_shnum);
  std::memcpy(sections.data(), file.data() + eh.e_shoff, eh.e_shnum * sizeof(Elf64_Shdr));
  int tables = 0;
  for (const Elf64_Shdr& s : sections) {
    if (s.sh_type != SHT_DYNSYM) continue;
    ++tables;
    if (s.sh_link >= sections.size() || s.sh_entsize != sizeof(Elf64_Sym) || s.sh_offset + s.sh_size > file.size())
      return fail("a bad dynamic symbol table");
    const Elf64_Shdr& strtab = sections[s.sh_link];
    if (strtab.sh_offset + strtab.sh_size > file.size()) return fail("a bad string table");
    for (size_t i = 0; i < s.sh_size / sizeof(Elf64_Sym); ++i) {
      Elf64_Sym sym;
      std::memcpy(&sym, file.data() + s.sh_offset + i * sizeof sym, sizeof sym);
      if (sym.st_shndx == SHN_UNDEF || ELF64_ST_BIND(sym.st_info) == STB_LOCAL) continue;
      if (ELF64_ST_TYPE(sym.st_info) == STT_SECTION) continue;
      if (sym.st_name >= strtab.sh_size) return fail("a symbol name out of its table");
      const char* name = file.data() + strtab.sh_offset + sym.st_name;
      names.insert(std::string(name, strnlen(name, strtab.sh_size - sym.st_name)));
    }
  }
  if (tables != 1) return fail("not one dynamic symbol table");
  return names;
}

struct Expected {
  const char* library;
  Names exports;
};

TEST(ExportListTest, EachLibraryExportsItsSetAndNothingElse) {
  EXPECT_EQ(kCommon.size(), 43u);
  EXPECT_EQ(Union(kCommon, kVkcubOnly).size(), 54u);
  const Expected libraries[] = {
      {"VKCU8L", kCommon},
      {"VKCUL", kCommon},
      {"VKC620", kCommon},
      {"VKCUB", Union(kCommon, kVkcubOnly)},
  };
  for (const Expected& e : libraries) {
    SCOPED_TRACE(e.library);
    vk::EngineLibrary lib;
    ASSERT_TRUE(lib.Load(e.library, ProgramFolder(), nullptr, 0)) << lib.loadError();
    Names missing;
    for (const std::string& name : e.exports)
      if (!lib.Symbol(name.c_str())) missing.insert(name);
    EXPECT_EQ(missing, Names{}) << "exports the loader does not find";
    for (const std::string& name : kVkcubOnly) {
      if (!e.exports.count(name)) {
        EXPECT_EQ(lib.Symbol(name.c_str()), nullptr) << name;
      }
    }

    const Names defined =
        DefinedDynamicSymbols(ProgramFolder() + "/" + vk::EngineLibrary::SharedObjectName(e.library));
    Names extra, absent;
    for (const std::string& name : defined)
      if (!e.exports.count(name)) extra.insert(name);
    for (const std::string& name : e.exports)
      if (!defined.count(name)) absent.insert(name);
    EXPECT_EQ(extra, Names{}) << "symbols that should not leave the library";
    EXPECT_EQ(absent, Names{}) << "exports missing from the dynamic symbol table";
  }
}

}  // namespace
}  // namespace vktest
