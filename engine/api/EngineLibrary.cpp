#include "api/EngineLibrary.h"

#include <dlfcn.h>

namespace vk {

namespace {

// The bound types must be the declared ones. VokaApi.h declares the
// functions with the UTF-16 libraries' strings, so those are checked here;
// the narrow binding is the same template with the other string type.
#define VK_CHECK_EXPORT(name)                                                          \
  static_assert(std::is_same<decltype(EngineExports<char16_t>::name), decltype(&::VK##name)>::value, \
                "EngineExports::" #name " differs from VK" #name " in VokaApi.h")
VK_CHECK_EXPORT(GetVersion);
VK_CHECK_EXPORT(IsVoka);
VK_CHECK_EXPORT(CreateHandle);
VK_CHECK_EXPORT(DeleteHandle);
VK_CHECK_EXPORT(Open);
VK_CHECK_EXPORT(Create);
VK_CHECK_EXPORT(Close);
VK_CHECK_EXPORT(GetHeaderInfo);
VK_CHECK_EXPORT(SetFastMode);
VK_CHECK_EXPORT(SetCodePage);
VK_CHECK_EXPORT(GetHeader);
VK_CHECK_EXPORT(GetFileName);
VK_CHECK_EXPORT(GetDicVersion);
VK_CHECK_EXPORT(GetWordNum);
VK_CHECK_EXPORT(GetIndexNum);
VK_CHECK_EXPORT(GetNumWord);
VK_CHECK_EXPORT(BitmapToDIB);
VK_CHECK_EXPORT(SetDivRatio);
VK_CHECK_EXPORT(GetErrorCode);
VK_CHECK_EXPORT(GetErrorMessage);
VK_CHECK_EXPORT(InitSearch);
VK_CHECK_EXPORT(InitIncSearch);
VK_CHECK_EXPORT(SetAllSearch);
VK_CHECK_EXPORT(JumpAS);
VK_CHECK_EXPORT(GetNextSearch);
VK_CHECK_EXPORT(GetPrevSearch);
VK_CHECK_EXPORT(BSearch);
VK_CHECK_EXPORT(Find);
VK_CHECK_EXPORT(InitScan);
VK_CHECK_EXPORT(GetNextScan);
VK_CHECK_EXPORT(DirectJump);
VK_CHECK_EXPORT(GetPercent);
VK_CHECK_EXPORT(Record);
VK_CHECK_EXPORT(Update);
VK_CHECK_EXPORT(Erase);
VK_CHECK_EXPORT(Rename);
VK_CHECK_EXPORT(ChangeJapa);
VK_CHECK_EXPORT(ChangeExp);
VK_CHECK_EXPORT(SetAttr);
VK_CHECK_EXPORT(ChangeLevel);
VK_CHECK_EXPORT(AddLevel);
VK_CHECK_EXPORT(QueryRecord);
VK_CHECK_EXPORT(DicCheck);
VK_CHECK_EXPORT(Optimize);
#undef VK_CHECK_EXPORT

static_assert(sizeof(VKQueryParam) == 36, "the query parameter block is 36 bytes");
static_assert(sizeof(VKHeaderInfo) == 332, "the header information record is 332 bytes");

}  // namespace

std::string EngineLibrary::SharedObjectName(const std::string& dllName) {
  std::string base = dllName;
  size_t dot = base.rfind('.');
  if (dot != std::string::npos) base.erase(dot);
  return "lib" + base + ".so";
}

bool EngineLibrary::Load(const std::string& dllName, const std::string& folder,
                         const char* const* required, size_t requiredCount) {
  Unload();
  loadError_.clear();
  std::string file = SharedObjectName(dllName);
  // RTLD_LOCAL keeps each engine's symbols to itself: the four builds export
  // the same names.
  if (!folder.empty()) {
    std::string path = folder.back() == '/' ? folder + file : folder + "/" + file;
    so_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (!so_) so_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!so_) {
    const char* why = ::dlerror();
    loadError_ = why ? why : file + ": cannot be loaded";
    return false;
  }
  for (size_t i = 0; i < requiredCount; ++i) {
    const char* name = required[i];
    if (!Symbol(name)) {
      loadError_ = file + " lacks " + name;
      Unload();
      return false;
    }
  }
  return true;
}

void EngineLibrary::Unload() {
  if (so_) ::dlclose(so_);
  so_ = nullptr;
}

void* EngineLibrary::Symbol(const char* name) const {
  return so_ ? ::dlsym(so_, name) : nullptr;
}

}  // namespace vk
