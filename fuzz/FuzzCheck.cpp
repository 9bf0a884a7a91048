// fuzz_check: the dictionary check on a copy of a damaged image, every
// problem answered as the script says (go on, repair, repair all, stop, and
// answers outside the named ones), polls that now and then stop it; then,
// mostly, the optimisation of what it left. Then the file is opened again and read every way, and the
// check is run once more, answering "go on": it must still open the file it
// repaired. Nothing may crash, hang or read outside what it owns.
#include <cstddef>
#include <cstdint>

#include "CheckRunner.h"
#include "dic/Optimizer.h"
#include "FuzzDic.h"

namespace {

const char kCopyPath[] = "/mem/checked.dic";

// The optimisation of the checked copy, stopped now and then as the script
// says. A correct run never leaves blocks in its buffer or a free unit
// below the packed area (reasons 0 and 1), whatever the file held; the
// reopen and the reads below go over what it left.
template <class B>
void OptimizeStep(vkfuzz::MemEnv& env, const char* path, vkfuzz::FuzzInput& script) {
  if (script.Byte() % 4 == 3) return;  // a quarter of the runs leave the check's result alone
  vk::VkcDic<B> dic(&env);
  if (dic.OpenDic(path, nullptr, false) != 0) return;
  int32_t polls = 0;
  vk::CheckCallback<B> callback = [&](int32_t kind, vk::CheckReport<B>& r) -> int32_t {
    switch (kind) {
      case vk::kOptimizeProgress:
        vkfuzz::Require(r.percent >= 0 && r.percent <= 100, "optimise progress", r.percent);
        return 0;
      case vk::kCheckPoll:
        // Far more polls than the file has bytes would be a loop.
        ++polls;
        vkfuzz::Require(polls <= static_cast<int32_t>(env.Size(path)) + 64, "optimise polls", polls);
        return script.Byte() == 0x5A ? 1 : 0;
      case vk::kOptimizeFailed:
        vkfuzz::Require(r.reason != vk::kReasonBufferLeft && r.reason != vk::kReasonFreeUnitLeft,
                        "optimise lost track of a block, reason", r.reason);
        return 0;
      default:
        return 0;
    }
  };
  vk::RunOptimize(dic, callback);
  dic.CloseDic();
}

struct CheckRun {
  const vkfuzz::Frame& frame;

  template <class B>
  void operator()() const {
    vkfuzz::MemEnv env;
    env.Put(vkfuzz::kDicPath, frame.image, frame.imageSize);
    env.Copy(vkfuzz::kDicPath, kCopyPath);
    vkfuzz::FuzzInput script = frame.script;
    const vkfuzz::CheckOutcome first = vkfuzz::RunCheckOn<B>(env, kCopyPath, &script);
    if (!first.opened) return;
    OptimizeStep<B>(env, kCopyPath, script);

    vk::Voka<B> dic(&env);
    if (dic.OpenDic(kCopyPath, nullptr, true) == 0) {
      vkfuzz::Reader<B>(dic, script, env.Size(kCopyPath)).Run(32);
      dic.CloseDic();
    } else {
      vkfuzz::Require(vkfuzz::KnownCode(dic.Error()), "reopen after the check refused with", dic.Error());
    }
    const vkfuzz::CheckOutcome second = vkfuzz::RunCheckOn<B>(env, kCopyPath, nullptr);
    vkfuzz::Require(second.opened, "the check cannot open again the file it checked");
    // A whole check that found nothing: the next must find nothing either.
    if (first.sound() && !first.stopped) vkfuzz::Require(second.sound(), "a sound file became unsound", second.problems);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const vkfuzz::Frame frame = vkfuzz::ReadFrame(data, size);
  vkfuzz::ForBuild(frame.build, CheckRun{frame});
  return 0;
}
