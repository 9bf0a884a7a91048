// Runs the dictionary check on a file of a MemEnv with the answers a script
// decides (or "go on" throughout), checking what the check shows its
// caller: known kinds, texts that can be read to their end where a kind
// carries them, progress within 0-100.
#pragma once
#include <cstdint>
#include <string>

#include "FuzzDic.h"
#include "dic/DicCheck.h"

namespace vkfuzz {

struct CheckOutcome {
  bool opened = false;
  int problems = 0;     // kCheckProblem reports
  int unreadable = 0;   // kCheckUnreadable reports
  bool stopped = false; // an answer or a poll stopped it
  bool sound() const { return opened && problems == 0 && unreadable == 0; }
};

// `answers` null: every problem answered "go on", no poll stops.
template <class B>
CheckOutcome RunCheckOn(MemEnv& env, const std::string& path, FuzzInput* answers) {
  CheckOutcome out;
  vk::VkcDic<B> dic(&env);
  if (dic.OpenDic(path, nullptr, false) != 0) {
    Require(KnownCode(dic.Error()) && dic.Error() != 0, "check open refused with", dic.Error());
    return out;
  }
  out.opened = true;
  vk::CheckCallback<B> callback = [&](int32_t kind, vk::CheckReport<B>& r) -> int32_t {
    switch (kind) {
      case vk::kCheckProblem:
        ++out.problems;
        // A message without text in the table comes as null.
        if (r.message) Walk(r.message);
        if (r.detail) Walk(r.detail);
        if (!answers) return vk::kAnswerGoOn;
        {
          static const int32_t kAnswers[] = {vk::kAnswerGoOn, vk::kAnswerRepair, vk::kAnswerRepairAll,
                                             vk::kAnswerStop, 7, -5};
          const int32_t a = kAnswers[answers->Byte() % 6];
          if (a == vk::kAnswerStop) out.stopped = true;
          return a;
        }
      case vk::kCheckStatus:
        if (r.message) Walk(r.message);
        return 0;
      case vk::kCheckUnreadable:
        ++out.unreadable;
        return 0;
      case vk::kCheckProgress:
        Require(r.percent >= 0 && r.percent <= 100, "check progress", r.percent);
        return 0;
      case vk::kCheckPosition:
        return 0;
      case vk::kCheckPoll:
        // Stops now and then, as a user's cancel would.
        if (answers && answers->Byte() == 0xA5) {
          out.stopped = true;
          return 1;
        }
        return 0;
      default:
        Fail("the check reported an unknown kind", kind);
    }
  };
  vk::RunCheck(dic, callback);
  Require(KnownCode(dic.Error()), "error code after the check", dic.Error());
  dic.CloseDic();
  return out;
}

}  // namespace vkfuzz
