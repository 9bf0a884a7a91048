#include "EngineErrors.h"

#include <cstring>

namespace vk {

namespace {

struct Reason {
  int code;
  const char* text;
};

const Reason kReasons[] = {
    {1, "the file cannot be opened (it does not exist, or it is not a dictionary)"},
    {2, "the dictionary is full (no memory for its index)"},
    {3, "the dictionary is full (its index or block numbers are used up)"},
    {4, "the disk is full"},
    {5, "a read or write of the file failed"},
    {6, "the dictionary's version is not supported, or the file cannot be positioned"},
    {7, "the drive is not ready"},
    {8, "the dictionary is open already"},
    {9, "a read-only file cannot be opened for writing"},
    {10, "too many files are open"},
    {11, "out of memory"},
    {14, "the dictionary cannot be created"},
    {16, "the file cannot be opened (permission denied, or no such folder)"},
    {17, "the file is locked by another process"},
    {18, "the disk cannot be read"},
    {19, "the file is not a VOKA dictionary"},
    {20, "a system or network error occurred"},
    {23, "the dictionary is open read-only"},
    {25, "another process is working on the dictionary"},
    {27, "the dictionary's version is too old to be changed"},
    {28, "this engine does not support this kind of dictionary"},
    {29, "the entry is too large to be stored"},
    {31, "the dictionary may be damaged"},
    {35, "the file name is not valid"},
    {36, "no temporary file name could be made"},
    {37, "the headword is too long"},
    {98, "the operation is not supported"},
    {99, "a system error occurred"},
};

}  // namespace

std::string EngineErrorEnglish(int code) {
  for (const Reason& r : kReasons)
    if (r.code == code) return r.text;
  return "engine error " + std::to_string(code);
}

bool IsStorageFailure(int code) {
  switch (code) {
    case 2: case 3: case 4: case 5: case 6: case 7: case 9: case 11: case 17: case 18:
    case 20: case 23: case 25: case 27: case 31: case 99:
      return true;
    default:
      return false;
  }
}

std::string SystemReason(int err) { return err ? std::strerror(err) : std::string(); }

}  // namespace vk
