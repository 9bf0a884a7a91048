// Whole files as strings of bytes, for tests that set up or check a file's
// exact contents.
#pragma once
#include <fstream>
#include <iterator>
#include <string>

namespace vktest {

inline std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void Spit(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace vktest
