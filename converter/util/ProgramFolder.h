// The folder of the running program, where the converter finds its settings
// file, its conversion tables and the engine libraries.
#pragma once
#include <string>

namespace vk {

// Absolute, without a trailing separator ("/" for a program at the root).
// Empty when the system cannot tell.
std::string ProgramFolder();

// folder + "/" + name, without doubling a separator that is already there.
std::string JoinPath(const std::string& folder, const std::string& name);

// The folder part of a path: "." when it has none, "/" at the root.
std::string FolderPart(const std::string& path);
// The last part of a path, after its last separator.
std::string NamePart(const std::string& path);

}  // namespace vk
