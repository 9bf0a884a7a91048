#include "Dictionary.h"

#include "util/ProgramFolder.h"

namespace vk {

const char* const kEngineExports[kEngineExportCount] = {
    "VKCreateHandle", "VKDeleteHandle", "VKOpen",        "VKCreate",
    "VKClose",        "VKInitSearch",   "VKGetNextSearch", "VKGetPercent",
    "VKSetFastMode",  "VKQueryRecord",  "VKGetErrorCode",  "VKGetErrorMessage"};

std::string EngineFolder(const std::string& chosen) {
  return chosen.empty() ? ProgramFolder() : chosen;
}

}  // namespace vk
