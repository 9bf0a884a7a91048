// Whole files as byte vectors, and ASCII headwords in a build's stored
// unit type.
#pragma once
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "format/BuildTraits.h"

namespace vktest {

inline std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteAll(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// An ASCII word in the build's stored form.
template <class B>
std::basic_string<typename B::Unit> Word(const std::string& ascii) {
  return std::basic_string<typename B::Unit>(ascii.begin(), ascii.end());
}

}  // namespace vktest
