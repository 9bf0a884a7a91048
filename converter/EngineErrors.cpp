#include "EngineErrors.h"

#include <cstring>

#include "api/VokaApi.h"

namespace vk {

namespace {

struct Reason {
  int code;
  const char* text;
};

const Reason kReasons[] = {
    {VK_ERR_FILE_NOT_FOUND, "the file cannot be opened (it does not exist, or it is not a dictionary)"},
    {VK_ERR_INDEX_MEMORY, "the dictionary is full (no memory for its index)"},
    {VK_ERR_DICTIONARY_FULL, "the dictionary is full (its index or block numbers are used up)"},
    {VK_ERR_DISK_FULL, "the disk is full"},
    {VK_ERR_READ_WRITE, "a read or write of the file failed"},
    {VK_ERR_VERSION, "the dictionary's version is not supported, or the file cannot be positioned"},
    {VK_ERR_DRIVE_NOT_READY, "the drive is not ready"},
    {VK_ERR_ALREADY_OPEN, "the dictionary is open already"},
    {VK_ERR_READ_ONLY_OPEN, "a read-only file cannot be opened for writing"},
    {VK_ERR_TOO_MANY_FILES, "too many files are open"},
    {VK_ERR_NO_MEMORY, "out of memory"},
    {VK_ERR_CANNOT_CREATE, "the dictionary cannot be created"},
    {VK_ERR_CANNOT_OPEN, "the file cannot be opened (permission denied, or no such folder)"},
    {VK_ERR_SHARING, "the file is locked by another process"},
    {VK_ERR_UNREADABLE_DISK, "the disk cannot be read"},
    {VK_ERR_NOT_DICTIONARY, "the file is not a VOKA dictionary"},
    {VK_ERR_NETWORK, "a system or network error occurred"},
    {VK_ERR_READ_ONLY, "the dictionary is open read-only"},
    {VK_ERR_BUSY, "another process is working on the dictionary"},
    {VK_ERR_OLD_VERSION, "the dictionary's version is too old to be changed"},
    {VK_ERR_UNSUPPORTED_TYPE, "this engine does not support this kind of dictionary"},
    {VK_ERR_TOO_LARGE, "the entry is too large to be stored"},
    {VK_ERR_DAMAGED, "the dictionary may be damaged"},
    {VK_ERR_BAD_FILE_NAME, "the file name is not valid"},
    {VK_ERR_NO_TEMP_NAME, "no temporary file name could be made"},
    {VK_ERR_WORD_TOO_LONG, "the headword is too long"},
    {VK_ERR_INVALID_FUNCTION, "the operation is not supported"},
    {VK_ERR_SYSTEM, "a system error occurred"},
};

}  // namespace

std::string EngineErrorEnglish(int code) {
  for (const Reason& r : kReasons)
    if (r.code == code) return r.text;
  return "engine error " + std::to_string(code);
}

bool IsStorageFailure(int code) {
  switch (code) {
    case VK_ERR_INDEX_MEMORY:
    case VK_ERR_DICTIONARY_FULL:
    case VK_ERR_DISK_FULL:
    case VK_ERR_READ_WRITE:
    case VK_ERR_VERSION:
    case VK_ERR_DRIVE_NOT_READY:
    case VK_ERR_READ_ONLY_OPEN:
    case VK_ERR_NO_MEMORY:
    case VK_ERR_SHARING:
    case VK_ERR_UNREADABLE_DISK:
    case VK_ERR_NETWORK:
    case VK_ERR_READ_ONLY:
    case VK_ERR_BUSY:
    case VK_ERR_OLD_VERSION:
    case VK_ERR_DAMAGED:
    case VK_ERR_SYSTEM:
      return true;
    default:
      return false;
  }
}

std::string SystemReason(int err) { return err ? std::strerror(err) : std::string(); }

}  // namespace vk
