#include "Dictionary.h"

#include <dlfcn.h>

#include "util/ProgramFolder.h"

namespace vk {

const char* const kEngineExports[kEngineExportCount] = {
    "VKCreateHandle", "VKDeleteHandle", "VKOpen",        "VKCreate",
    "VKClose",        "VKInitSearch",   "VKGetNextSearch", "VKGetPercent",
    "VKSetFastMode",  "VKQueryRecord",  "VKGetErrorCode",  "VKGetErrorMessage"};

std::string TEngineModule::SharedObjectName(const std::string& dllName) {
  std::string base = dllName;
  size_t dot = base.rfind('.');
  if (dot != std::string::npos) base.erase(dot);
  return "lib" + base + ".so";
}

bool TEngineModule::Load(const std::string& dllName, const std::string& folder,
                         const char* const* required, int requiredCount) {
  Unload();
  loadError_.clear();
  std::string file = SharedObjectName(dllName);
  std::string dir = folder.empty() ? ProgramFolder() : folder;
  // RTLD_LOCAL keeps each engine's symbols to itself: the four builds export
  // the same names.
  if (!dir.empty()) so_ = ::dlopen(JoinPath(dir, file).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!so_) so_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!so_) {
    const char* why = ::dlerror();
    loadError_ = why ? why : file + ": cannot be loaded";
    return false;
  }
  for (int i = 0; i < requiredCount; ++i) {
    const char* name = required[i];
    if (!Symbol(name)) {
      loadError_ = file + " lacks " + name;
      Unload();
      return false;
    }
  }
  return true;
}

void TEngineModule::Unload() {
  if (so_) ::dlclose(so_);
  so_ = nullptr;
}

void* TEngineModule::Symbol(const char* name) const {
  return so_ ? ::dlsym(so_, name) : nullptr;
}

}  // namespace vk
