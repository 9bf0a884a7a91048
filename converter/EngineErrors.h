// English words for the engine's error codes, shown beside the engine's own
// (Japanese) message so that a reader of either language learns what went
// wrong and what the system said.
#pragma once
#include <string>

namespace vk {

// What engine error `code` means, in English ("the disk is full"); a generic
// "engine error N" for a code without a text of its own.
std::string EngineErrorEnglish(int code);

// True for codes that mean the storage itself failed (disk full, read or
// write error, dictionary full, read-only): going on with the next entry
// would only fail the same way.
bool IsStorageFailure(int code);

// The system's text for errno value `err` ("No space left on device").
std::string SystemReason(int err);

}  // namespace vk
