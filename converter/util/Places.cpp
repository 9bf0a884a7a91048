#include "util/Places.h"

#include <sys/stat.h>

#include "util/ProgramFolder.h"

// Set by the build from the installation's folders.
#ifndef VK_BIN_TO_LIBDIR
#define VK_BIN_TO_LIBDIR "../lib"
#endif
#ifndef VK_BIN_TO_DATADIR
#define VK_BIN_TO_DATADIR "../share/voka"
#endif

namespace vk {

namespace {

// folder/relative with "." and ".." steps taken away. The program's folder
// comes from the kernel with every link resolved, so taking a ".." away
// lexically lands where the file system would.
std::string Resolve(const std::string& folder, const std::string& relative) {
  std::vector<std::string> parts;
  std::string path = JoinPath(folder, relative);
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    if (slash == std::string::npos) slash = path.size();
    std::string part = path.substr(start, slash - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = slash + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

std::vector<std::string> BesideThenInstalled(const std::string& programFolder, const char* relative) {
  if (programFolder.empty()) return {};
  return {programFolder, Resolve(programFolder, relative)};
}

}  // namespace

std::vector<std::string> EngineFolders(const std::string& programFolder) {
  return BesideThenInstalled(programFolder, VK_BIN_TO_LIBDIR);
}

std::vector<std::string> DataFolders(const std::string& programFolder) {
  return BesideThenInstalled(programFolder, VK_BIN_TO_DATADIR);
}

std::string FolderWithFile(const std::vector<std::string>& folders, const std::string& name) {
  for (const std::string& folder : folders) {
    struct stat st;
    if (::stat(JoinPath(folder, name).c_str(), &st) == 0) return folder;
  }
  return folders.empty() ? std::string() : folders.front();
}

}  // namespace vk
