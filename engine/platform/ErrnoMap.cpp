#include "platform/ErrnoMap.h"

#include <cerrno>

#include "file/SystemErrors.h"

namespace vk {

int WindowsErrorFromErrno(int err, IoKind kind) {
  switch (err) {
    case 0: return kSysOk;
    case ENOENT: return kSysFileNotFound;
    case ENOTDIR: return kSysPathNotFound;
    case EMFILE:
    case ENFILE: return kSysTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR: return kSysAccessDenied;
    case EBADF: return kSysInvalidHandle;
    case ENOMEM: return kSysNotEnoughMemory;
    case EROFS: return 19;  // write protected
    case EIO: return kind == IoKind::kWrite ? kSysWriteFault : kSysReadFault;
    case EWOULDBLOCK: return kSysSharingViolation;
    case ENOSPC:
    case EDQUOT: return kSysHandleDiskFull;
    case EEXIST: return kSysFileExists;
    case EINVAL: return kSysInvalidParameter;
    case ENAMETOOLONG: return kSysInvalidName;
    case ENXIO:
    case ENODEV: return kSysNotReady;
    case EFBIG: return kSysHandleDiskFull;
    case ENETDOWN:
    case ENETUNREACH:
    case ECONNRESET:
    case ETIMEDOUT: return 59;  // unexpected network error
    default: return kSysGenFailure;
  }
}

}  // namespace vk
