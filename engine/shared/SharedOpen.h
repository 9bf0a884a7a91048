// Opening the files of a shared dictionary when other processes may hold
// them: each open that another process can refuse (a sharing violation, the
// file locks of the POSIX Env) is tried at most kSharedOpenAttempts times,
// with a pause of a random 0..99 ms between two attempts. A file that does
// not exist ends the attempts at once.
//
// The random numbers come from a generator of the kind the format's own
// runtime had (values 0..32767): the history identities drawn from it keep
// the same range.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "file/Env.h"

namespace vk {

constexpr int kSharedOpenAttempts = 20;

class RuntimeRandom {
 public:
  void Seed(uint32_t seed) { state_ = seed; }
  // 0..32767.
  int32_t Next() {
    state_ = state_ * 214013u + 2531011u;
    return static_cast<int32_t>((state_ >> 16) & 0x7FFF);
  }

 private:
  uint32_t state_ = 1;
};

// Waits the given milliseconds; tests put one in that does not wait.
using PauseFunction = std::function<void(int)>;
PauseFunction RealPause();

// The retry rule: calls `attempt` (which answers 0 or a system error) until
// it is not refused by another process (32), at most kSharedOpenAttempts
// times, pausing between two attempts. Its last answer.
int RetryWhileRefused(const std::function<int()>& attempt, RuntimeRandom* random, const PauseFunction& pause);

// 0, or the last error: file not found (2) at once, a sharing violation (32)
// after the last refused attempt, any other error at once.
int OpenShared(Env* env, const std::string& name, OpenMode mode, std::unique_ptr<File>* out, RuntimeRandom* random,
               const PauseFunction& pause);

}  // namespace vk
