// errno to the Windows system error number of the same meaning.
#pragma once

namespace vk {

enum class IoKind { kOther, kRead, kWrite };

// `kind` tells a plain EIO apart: a failed read is a read fault (30), a
// failed write a write fault (29).
int WindowsErrorFromErrno(int err, IoKind kind = IoKind::kOther);

}  // namespace vk
