#include "Dictionary.h"

#include "api/EngineLibrary.h"
#include "util/Places.h"
#include "util/ProgramFolder.h"

namespace vk {

const char* const kEngineExports[kEngineExportCount] = {
    "VKCreateHandle", "VKDeleteHandle", "VKOpen",        "VKCreate",
    "VKClose",        "VKInitSearch",   "VKGetNextSearch", "VKGetPercent",
    "VKSetFastMode",  "VKQueryRecord",  "VKGetErrorCode",  "VKGetErrorMessage"};

std::string EngineFolderIn(const std::string& programFolder, const std::string& chosen, const std::string& dllName) {
  if (!chosen.empty()) return chosen;
  return FolderWithFile(EngineFolders(programFolder), EngineLibrary::SharedObjectName(dllName));
}

std::string EngineFolder(const std::string& chosen, const std::string& dllName) {
  return EngineFolderIn(ProgramFolder(), chosen, dllName);
}

}  // namespace vk
