// ASCII headwords in a build's stored unit type, and the whole-file helpers
// the storage tests read their files with.
#pragma once
#include <string>

#include "format/BuildTraits.h"
#include "support/FileText.h"

namespace vktest {

// An ASCII word in the build's stored form.
template <class B>
std::basic_string<typename B::Unit> Word(const std::string& ascii) {
  return std::basic_string<typename B::Unit>(ascii.begin(), ascii.end());
}

}  // namespace vktest
