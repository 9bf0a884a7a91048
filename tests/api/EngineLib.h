// An engine library loaded the way the converter loads it: by file name from
// the test program's own folder, every export resolved by name.
#pragma once
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace vktest {

// The interface records, for either character type.
template <class C>
struct Record {
  const C* word = nullptr;
  const C* japa = nullptr;
  const C* exp = nullptr;
  const C* pron = nullptr;
  unsigned char reserved[16] = {};
  unsigned char attr = 0;
};

struct HeaderInfo {
  unsigned char text[280];
  int16_t headerSize, version, maxWordLen, maxJapaLen;
  int32_t indexAreaBytes, indexCount, indexBlocks, blockSize, blockCount, freeBlock, wordCount;
  uint8_t typeAux, dicType, attrLen, indexWide;
  int32_t extraValue;
  uint8_t zero1[4];
  uint8_t charTag;
  uint8_t zero2[3];
};
static_assert(sizeof(HeaderInfo) == 332, "the header information record is 332 bytes");

inline std::string ProgramFolder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, size_t(n));
  return path.substr(0, path.rfind('/'));
}

template <class C>
class EngineLib {
 public:
  using H = void*;
  using Rec = Record<C>;

  explicit EngineLib(const std::string& name) {
    std::string path = ProgramFolder() + "/lib" + name + ".so";
    so_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!so_) throw std::runtime_error("cannot load " + path + ": " + ::dlerror());
    Bind(GetVersion, "VKGetVersion");
    Bind(IsVoka, "VKIsVoka");
    Bind(CreateHandle, "VKCreateHandle");
    Bind(DeleteHandle, "VKDeleteHandle");
    Bind(Open, "VKOpen");
    Bind(Create, "VKCreate");
    Bind(Close, "VKClose");
    Bind(GetHeaderInfo, "VKGetHeaderInfo");
    Bind(SetFastMode, "VKSetFastMode");
    Bind(SetCodePage, "VKSetCodePage");
    Bind(GetHeader, "VKGetHeader");
    Bind(GetFileName, "VKGetFileName");
    Bind(GetDicVersion, "VKGetDicVersion");
    Bind(GetWordNum, "VKGetWordNum");
    Bind(GetIndexNum, "VKGetIndexNum");
    Bind(GetNumWord, "VKGetNumWord");
    Bind(SetDivRatio, "VKSetDivRatio");
    Bind(GetErrorCode, "VKGetErrorCode");
    Bind(GetErrorMessage, "VKGetErrorMessage");
    Bind(InitSearch, "VKInitSearch");
    Bind(InitIncSearch, "VKInitIncSearch");
    Bind(SetAllSearch, "VKSetAllSearch");
    Bind(JumpAS, "VKJumpAS");
    Bind(GetNextSearch, "VKGetNextSearch");
    Bind(GetPrevSearch, "VKGetPrevSearch");
    Bind(BSearch, "VKBSearch");
    Bind(Find, "VKFind");
    Bind(InitScan, "VKInitScan");
    Bind(DirectJump, "VKDirectJump");
    Bind(GetPercent, "VKGetPercent");
    Bind(RecordEntry, "VKRecord");
    Bind(Erase, "VKErase");
    GetNextScan = reinterpret_cast<decltype(GetNextScan)>(::dlsym(so_, "VKGetNextScan"));
  }
  ~EngineLib() {
    if (so_) ::dlclose(so_);
  }
  EngineLib(const EngineLib&) = delete;
  EngineLib& operator=(const EngineLib&) = delete;

  bool Has(const char* symbol) const { return ::dlsym(so_, symbol) != nullptr; }

  int32_t (*GetVersion)();
  int32_t (*IsVoka)(const C*);
  H (*CreateHandle)();
  void (*DeleteHandle)(H);
  int32_t (*Open)(H, const C*, int32_t);
  int32_t (*Create)(H, const C*, const int32_t*);
  int32_t (*Close)(H);
  int32_t (*GetHeaderInfo)(const C*, HeaderInfo*);
  int32_t (*SetFastMode)(H, int32_t);
  H (*SetCodePage)(H, int32_t, int32_t, int32_t, int32_t);
  const void* (*GetHeader)(H);
  const C* (*GetFileName)(H);
  int32_t (*GetDicVersion)(H);
  int32_t (*GetWordNum)(H);
  int32_t (*GetIndexNum)(H);
  int32_t (*GetNumWord)(H);
  void (*SetDivRatio)(H, int32_t);
  int32_t (*GetErrorCode)(H);
  const C* (*GetErrorMessage)(int32_t);
  int32_t (*InitSearch)(H, const C*, int32_t);
  int32_t (*InitIncSearch)(H, const C*);
  int32_t (*SetAllSearch)(H, int32_t, int32_t);
  void (*JumpAS)(H, const C*, int32_t, int32_t);
  int32_t (*GetNextSearch)(H, Rec*);
  int32_t (*GetPrevSearch)(H, Rec*);
  int32_t (*BSearch)(H, const C*, Rec*);
  int32_t (*Find)(H, const C*, Rec*);
  int32_t (*InitScan)(H);
  int32_t (*DirectJump)(H, int32_t);
  int32_t (*GetPercent)(H);
  int32_t (*RecordEntry)(H, const Rec*);
  int32_t (*Erase)(H, const C*);
  int32_t (*GetNextScan)(H, Rec*) = nullptr;

 private:
  template <class F>
  void Bind(F& f, const char* symbol) {
    void* p = ::dlsym(so_, symbol);
    if (!p) throw std::runtime_error(std::string("missing export ") + symbol);
    f = reinterpret_cast<F>(p);
  }
  void* so_ = nullptr;
};

}  // namespace vktest
