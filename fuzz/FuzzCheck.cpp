// fuzz_check: the dictionary check on a copy of a damaged image, every
// problem answered as the script says (go on, repair, repair all, stop, and
// answers outside the named ones), polls that now and then stop it. Then
// the file the check left is opened again and read every way, and the
// check is run once more, answering "go on": it must still open the file it
// repaired. Nothing may crash, hang or read outside what it owns.
#include <cstddef>
#include <cstdint>

#include "CheckRunner.h"
#include "FuzzDic.h"

namespace {

const char kCopyPath[] = "/mem/checked.dic";

// The place for the optimisation once VKOptimize is in the engine: run it on
// the checked copy with answers from the script, then let the reopen and the
// reads below go over what it left.
template <class B>
void OptimizeStep(vkfuzz::MemEnv& /*env*/, const char* /*path*/, vkfuzz::FuzzInput& /*script*/) {}

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
