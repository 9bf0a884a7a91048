// Position: where a lookup left a headword, as a value. The index position
// names the block, the offset the first entry of that block whose headword
// is not less than the key (or the block's terminator), `at` that entry's
// headword (empty at a terminator).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vk {

enum class Located {
  kFailed,   // the block could not be read, or lied (code in the file's cell)
  kPastEnd,  // the key sorts after every entry, or there are none
  kInBlock,  // an entry not less than the key is at the position
};

template <class B>
struct Position {
  using Word = std::basic_string<typename B::Unit>;

  Located located = Located::kPastEnd;
  int32_t indexPos = -1;  // -1 only in an empty dictionary
  size_t offset = 0;
  Word at;

  bool Failed() const { return located == Located::kFailed; }
  // Whether the entry at the position has exactly this headword.
  bool Holds(const Word& key) const { return indexPos >= 0 && at == key; }
};

}  // namespace vk
