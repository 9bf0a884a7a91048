#include "file/SystemErrors.h"

namespace vk {

namespace {
// Engine code for each Windows system error number 0..55.
constexpr int32_t kTable[56] = {
    0,  98, 1,  16, 10, 16, 99, 99, 11, 99,  //  0..9
    99, 18, 99, 99, 99, 16, 99, 16, 99, 16,  // 10..19
    16, 7,  99, 5,  99, 5,  18, 18, 99, 5,   // 20..29
    5,  99, 17, 17, 16, 99, 16, 99, 99, 4,   // 30..39
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99,  // 40..49
    99, 20, 16, 16, 20, 16,                  // 50..55
};
}  // namespace

int32_t EngineCodeForSystemError(int systemError) {
  if (systemError >= 0 && systemError < 56) return kTable[systemError];
  if (systemError == kSysInvalidName) return 35;
  return 20;
}

}  // namespace vk
