#include "shared/SharedOpen.h"

#include <chrono>
#include <thread>

#include "file/SystemErrors.h"

namespace vk {

PauseFunction RealPause() {
  return [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); };
}

int RetryWhileRefused(const std::function<int()>& attempt, RuntimeRandom* random, const PauseFunction& pause) {
  int err = 0;
  for (int n = 1; n <= kSharedOpenAttempts; ++n) {
    err = attempt();
    if (err != kSysSharingViolation) return err;
    if (n < kSharedOpenAttempts && pause) pause(random->Next() % 100);
  }
  return err;
}

int OpenShared(Env* env, const std::string& name, OpenMode mode, std::unique_ptr<File>* out, RuntimeRandom* random,
               const PauseFunction& pause) {
  return RetryWhileRefused([&] { return env->Open(name, mode, out); }, random, pause);
}

}  // namespace vk
