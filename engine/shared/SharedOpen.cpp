#include "shared/SharedOpen.h"

#include <chrono>
#include <thread>

#include "file/SystemErrors.h"

namespace vk {

PauseFunction RealPause() {
  return [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

int OpenShared(Env* env, const std::string& name, OpenMode mode, std::unique_ptr<File>* out, RuntimeRandom* random,
               const PauseFunction& pause) {
  int err = 0;
  for (int attempt = 1; attempt <= kSharedOpenAttempts; ++attempt) {
    err = env->Open(name, mode, out);
    if (err != kSysSharingViolation) return err;
    if (attempt < kSharedOpenAttempts && pause) pause(random->Next() % 100);
  }
  return err;
}

}  // namespace vk
