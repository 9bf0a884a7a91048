// TDumpLog: where a conversion's report lines go (the main window's dump
// log). Each line is whole, without a line end, and well-formed UTF-8.
// TDumpLines keeps the lines in memory, for a command-line run or a test.
#pragma once
#include <string>
#include <vector>

namespace vk {

class TDumpLog {
 public:
  virtual ~TDumpLog() = default;
  virtual void AddLine(const std::string& line) = 0;
};

class TDumpLines : public TDumpLog {
 public:
  void AddLine(const std::string& line) override { lines.push_back(line); }
  std::vector<std::string> lines;
};

}  // namespace vk
