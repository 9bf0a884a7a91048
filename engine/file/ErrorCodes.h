// Engine error codes. Operations store one of these in their owner's error
// cell and answer -1; the exported interface hands them to callers through
// ExportedCode, which also gives the codes that exist only inside the
// engine the number callers know them by.
#pragma once
#include <cstdint>

namespace vk {

enum ErrorCode : int32_t {
  kErrNone = 0,
  kErrFileNotFound = 1,       // the system reports that the file does not exist
  kErrIndexMemory = 2,        // memory for the index or the first block buffer ran out
  kErrDictionaryFull = 3,     // index area or block numbering exhausted
  kErrDiskFull = 4,           // short write, failed positioning past a new block, full disk
  kErrReadWrite = 5,          // a read or write failed
  kErrVersion = 6,            // header version below 5.00
  kErrDriveNotReady = 7,
  kErrAlreadyOpen = 8,
  kErrReadOnlyOpen = 9,
  kErrTooManyFiles = 10,
  kErrNoMemory = 11,
  kErrCannotOpen = 16,        // no full path, or access refused
  kErrSharing = 17,           // sharing or lock violation
  kErrUnreadableDisk = 18,
  kErrNotDictionary = 19,     // header_size is not 256
  kErrNetwork = 20,           // network fault, or a system error outside the table
  kErrReadOnly = 23,          // mutation on a dictionary opened read-only
  kErrOldVersion = 27,
  kErrTooLarge = 29,          // encoded fields exceed the capacity
  kErrUnsupportedType = 28,   // type bytes are not this build's
  kErrDamaged = 31,           // the dictionary may be damaged
  kErrBadFileName = 35,
  kErrNoTempName = 36,
  kErrWordTooLong = 37,
  kErrInvalidFunction = 98,
  kErrSystem = 99,
  kErrSeek = 106,             // the file could not be positioned (callers see 6)
};

// The code a caller of the exported interface sees for an engine code.
inline int32_t ExportedCode(int32_t code) { return code == kErrSeek ? kErrVersion : code; }

}  // namespace vk
