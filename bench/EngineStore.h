// The engine side of the benchmark: libVKCU8L.so through its exported C
// interface, loaded at run time from the program's folder as the converter
// loads it, in fast mode while registering (the dictionary is written at
// close, as a converter run does it). Strings cross the interface as
// UTF-16; they are converted once in Load().
#pragma once
#include <string>
#include <vector>

#include "Store.h"
#include "api/EngineLibrary.h"

namespace vkbench {

class EngineStore : public Store {
 public:
  EngineStore();
  ~EngineStore() override;
  EngineStore(const EngineStore&) = delete;
  EngineStore& operator=(const EngineStore&) = delete;

  const char* Name() const override { return "engine"; }
  void Load(const Workload& w) override;
  bool Create(const std::string& path) override;
  bool Add(size_t entry, AddMode mode) override;
  bool Finish() override;
  bool OpenForEdit(const std::string& path) override;
  bool Open(const std::string& path) override;
  int Find(ProbeSet set, size_t probe) override;
  int64_t Scan(const ScanSink& sink) override;
  int64_t PrefixSearch(size_t k, const ScanSink& sink) override;
  int64_t SubstringSearch(size_t k, const ScanSink& sink) override;
  void Close() override;
  std::string LastError() override { return error_; }
  uint64_t Touched() const override { return touched_; }

  // Counters of the merge registrations since Create.
  const VKQueryParam& QueryCounters() const { return param_; }

 private:
  struct Texts {
    std::u16string word, japa, pron;
  };
  bool Fail(const char* what);
  int64_t Walk(const char16_t* pattern, int32_t flags, const ScanSink& sink);
  void Deliver(const VKRecordDataW& rec, const ScanSink& sink);

  vk::EngineLibrary lib_;
  vk::EngineExports<char16_t> api_;
  VKHandle h_ = nullptr;
  std::vector<Texts> entries_;
  std::vector<std::u16string> present_, absent_, prefixes_, substrings_;
  VKQueryParam param_{};
  std::string error_;
  uint64_t touched_ = 0;
};

}  // namespace vkbench
