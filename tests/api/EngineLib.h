// An engine library loaded the way the converter loads it: by file name from
// the test program's own folder, through the client binding
// (api/EngineLibrary.h). Every export but VKGetNextScan (libVKCUB only) must
// be there.
#pragma once
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "api/EngineLibrary.h"

namespace vktest {

inline std::string ProgramFolder() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, size_t(n));
  return path.substr(0, path.rfind('/'));
}

template <class C>
class EngineLib : public vk::EngineExports<C> {
 public:
  explicit EngineLib(const std::string& name) {
    if (!so_.Load(name, ProgramFolder(), nullptr, 0))
      throw std::runtime_error("cannot load " + name + ": " + so_.loadError());
    vk::EngineExports<C>& exports = *this;
    exports = so_.Exports<C>();
    exports.ForEach([](auto fn, const char* symbol) {
      if (!fn && std::strcmp(symbol, "VKGetNextScan") != 0)
        throw std::runtime_error(std::string("missing export ") + symbol);
    });
  }
  EngineLib(const EngineLib&) = delete;
  EngineLib& operator=(const EngineLib&) = delete;

  bool Has(const char* symbol) const { return so_.Symbol(symbol) != nullptr; }
  // An export that the binding has no slot for, typed as F; null when the
  // library lacks it.
  template <class F>
  F Export(const char* symbol) const {
    return reinterpret_cast<F>(so_.Symbol(symbol));
  }

 private:
  vk::EngineLibrary so_;
};

}  // namespace vktest
