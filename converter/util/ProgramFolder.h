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

}  // namespace vk
