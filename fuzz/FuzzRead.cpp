// fuzz_read: a dictionary image, damaged by the fuzzer, opened read-only
// and read every way (searches of every type and field mask, prefix and
// substring, case-folded, incremental; exact lookups, jumps, steps both
// ways, the scan), each walk within the step bound. A file the engine
// refuses must be refused with a known code; nothing may crash, hang or
// read outside what it owns.
#include <cstddef>
#include <cstdint>

#include "FuzzDic.h"

namespace {

struct ReadRun {
  const vkfuzz::Frame& frame;

  template <class B>
  void operator()() const {
    vkfuzz::MemEnv env;
    env.Put(vkfuzz::kDicPath, frame.image, frame.imageSize);
    vk::Voka<B> dic(&env);
    if (dic.OpenDic(vkfuzz::kDicPath, nullptr, true) != 0) {
      vkfuzz::Require(vkfuzz::KnownCode(dic.Error()) && dic.Error() != 0, "open refused with", dic.Error());
      return;
    }
    vkfuzz::FuzzInput script = frame.script;
    vkfuzz::Reader<B>(dic, script, static_cast<int64_t>(frame.imageSize)).Run(64);
    dic.CloseDic();
    // A read-only open leaves the file as it was.
    const std::vector<uint8_t> after = env.Get(vkfuzz::kDicPath);
    vkfuzz::Require(after.size() == frame.imageSize &&
                        std::equal(after.begin(), after.end(), frame.image),
                    "a read-only open changed the file");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const vkfuzz::Frame frame = vkfuzz::ReadFrame(data, size);
  vkfuzz::ForBuild(frame.build, ReadRun{frame});
  return 0;
}
