// Where the programs look for what ships with them: beside the program
// first, then where an installation puts it, found relative to the
// program's own folder (from bin/ to the library folder for the engine
// libraries, to share/voka/ for the conversion tables and the read-me). Being
// relative, an installed tree still works when moved as a whole: a DESTDIR
// staging tree, a package unpacked into a scratch root.
#pragma once
#include <string>
#include <vector>

namespace vk {

// The folders holding engine libraries, in the order they are tried.
std::vector<std::string> EngineFolders(const std::string& programFolder);
// The folders holding the conversion tables and "Vkcv.txt", in order.
std::vector<std::string> DataFolders(const std::string& programFolder);

// The first of `folders` that holds an entry `name`; the first folder when
// none does (empty when there are none).
std::string FolderWithFile(const std::vector<std::string>& folders, const std::string& name);

}  // namespace vk
