// TScratchCopy: a private copy of a dictionary to run the engine on when the
// file itself must not change (the check writes a corrected entry count
// into a file it checks without asking).
//
// The copy is made in a folder of its own, beside the dictionary (the same
// file system, so copying is cheap) or else in $TMPDIR, under the
// dictionary's own name, with the journal a killed writer left beside the
// dictionary, which the engine then plays back into the copy. A shared lock
// on the dictionary keeps writers out for as long as the copy lives, so the
// copy is the file as it stands. Copy, journal and folder go with the
// object; a stop signal (TStopSignals) ends the copying.
#pragma once
#include <string>

namespace vk {

class TScratchCopy {
 public:
  TScratchCopy() = default;
  ~TScratchCopy();
  TScratchCopy(const TScratchCopy&) = delete;
  TScratchCopy& operator=(const TScratchCopy&) = delete;

  // False with *why.
  bool Make(const std::string& original, std::string* why);
  const std::string& path() const { return path_; }

 private:
  void Remove();

  int lock_ = -1;
  std::string folder_, path_;
};

}  // namespace vk
