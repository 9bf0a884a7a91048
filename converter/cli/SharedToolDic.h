// TSharedToolDic: a dictionary opened in shared mode, for vkdic --shared.
// The exported interface has no way to shared mode, so the tool reaches it
// through the engine's own classes, linked into the program: the handle
// works on a temporary copy of the shared dictionary, takes the write lock
// for each change and writes the change back before the call returns, so
// that several processes can work on one dictionary at once; in fast mode
// the lock is held and the changes go back together when it ends.
//
// Texts are bytes as TToolDic has them: UTF-8 for the Unicode engines, the
// stored bytes for VKC620. Answers: 1 done, 0 not done (nothing to do, or
// failed with the engine code in ErrorCode()).
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cli/ToolDic.h"

namespace vk {

class TSharedToolDic {
 public:
  // For the engine named (TToolDic::kEngines); null for another name.
  static std::unique_ptr<TSharedToolDic> For(const std::string& engine);
  virtual ~TSharedToolDic() = default;

  virtual bool Open(const std::string& path, bool readOnly) = 0;
  // Writes back what is left and deletes the local copy; false when that
  // failed (ErrorCode() tells).
  virtual bool Close() = 0;
  virtual bool IsOpen() const = 0;
  // On: the dictionary's lock is held and the changes go back together
  // when it is switched off again (a batch); false when that failed.
  virtual bool SetFastMode(bool on) = 0;
  virtual int Record(const TToolEntry& e) = 0;
  virtual int Update(const TToolEntry& e) = 0;
  virtual int Erase(const std::string& word) = 0;
  virtual int Rename(const std::string& oldWord, const std::string& newWord) = 0;
  virtual int Find(const std::string& word, TToolEntry* e) = 0;
  virtual bool Search(const std::string& pattern, int32_t flags,
                      const std::function<bool(const TToolEntry&)>& each) = 0;
  virtual int ErrorCode() = 0;
};

}  // namespace vk
