// Translation of Windows system error numbers to engine codes: a table of 56
// entries for the numbers 0..55, 35 for 123 (invalid name) and 20 for every
// other number.
#pragma once
#include <cstdint>

namespace vk {

// Windows system error numbers used across the file layer.
enum SystemError : int {
  kSysOk = 0,
  kSysInvalidFunction = 1,
  kSysFileNotFound = 2,
  kSysPathNotFound = 3,
  kSysTooManyOpenFiles = 4,
  kSysAccessDenied = 5,
  kSysInvalidHandle = 6,
  kSysNotEnoughMemory = 8,
  kSysNotReady = 21,
  kSysWriteFault = 29,
  kSysReadFault = 30,
  kSysGenFailure = 31,
  kSysSharingViolation = 32,
  kSysLockViolation = 33,
  kSysHandleDiskFull = 39,
  kSysInvalidParameter = 87,
  kSysDiskFull = 112,
  kSysInvalidName = 123,
  kSysFileExists = 80,
  kSysNegativeSeek = 131,
};

int32_t EngineCodeForSystemError(int systemError);

}  // namespace vk
