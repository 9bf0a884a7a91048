// TLineReader: hands out the lines of a file one at a time, reading it
// through a buffer of 1024 bytes.
//
// A line ends at LF, at CR LF or at a lone CR; the end is not part of the
// line, and a line has no length limit. The bytes 0x00 and 0x1A are dropped
// wherever they stand, as if they were not in the file at all (so CR 0x00
// LF is one line end). A last line without an end is still a line; a file
// that ends with a line end has no empty line after it. A failed read ends
// the file.
#pragma once
#include <cstddef>
#include <string>

#include "util/File.h"

namespace vk {

class TLineReader {
 public:
  static constexpr size_t kBufferSize = 1024;

  // Reads from `file`, which must stay open while the reader is used.
  explicit TLineReader(TFile* file) : file_(file) {}

  // The next line into *line; false when no line is left.
  bool ReadLine(std::string* line);

 private:
  bool Fill();

  TFile* file_;
  char buf_[kBufferSize];
  size_t pos_ = 0;
  size_t len_ = 0;
  bool ended_ = false;
  bool afterCr_ = false;  // the last line ended at a CR; an LF next belongs to it
};

}  // namespace vk
