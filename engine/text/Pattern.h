// SearchPattern: a search pattern prepared once per search and read by the
// matchers (text/Matcher.h) for every entry the search looks at.
//
// It holds the pattern whole in both forms, UTF-8 bytes (the stored headword
// form of the byte builds) and UTF-16 units; the substring length of each
// form, the first kSubstringLimit bytes or units (all when shorter), which is
// what the substring matchers look for; and a lowered copy of each form
// (every UTF-16 unit through ToLower, every byte through ToLowerByte). The
// shift tables serve the byte substring search: for a substring pattern p of
// m bytes (one table for the pattern, one for its lowered copy), every byte
// maps to m, then for i = 0..m-2 shift[p[i]] = m - 1 - i, a later position
// overwriting an earlier one. A shift can be 256, so the entries are 16-bit.
//
// The lowered copies and their table are kept whether or not folding was
// asked for (they cost a few hundred bytes per search), so that every matcher
// is well-defined on every prepared pattern; caseFolded() only records the
// request.
//
// The prefix matchers use the whole pattern, the substring matchers only its
// first kSubstringLimit units.
#pragma once
#include <cstdint>
#include <string>

namespace vk {

class SearchPattern {
 public:
  static constexpr int32_t kSubstringLimit = 256;

  SearchPattern() { Clear(false); }

  // An empty pattern (null counts as empty), folded or not.
  void Clear(bool caseFolded);
  // From UTF-16 (the interface form); the UTF-8 form is derived.
  void Prepare(const char16_t* pattern, bool caseFolded);
  // From bytes as stored by a byte build, taken as they are; the UTF-16 form
  // is their UTF-8 reading.
  void PrepareBytes(const char* pattern, bool caseFolded);

  bool caseFolded() const { return folded_; }
  bool empty() const { return u16_.empty() && u8_.empty(); }

  const std::string& Utf8() const { return u8_; }
  const std::u16string& Utf16() const { return u16_; }
  int32_t Length8() const { return static_cast<int32_t>(u8_.size()); }
  int32_t Length16() const { return static_cast<int32_t>(u16_.size()); }
  int32_t SubLength8() const { return sub8_; }
  int32_t SubLength16() const { return sub16_; }
  const std::string& Lowered8() const { return lower8_; }
  const std::u16string& Lowered16() const { return lower16_; }
  const uint16_t* Shift() const { return shift_; }
  const uint16_t* LoweredShift() const { return lowerShift_; }

 private:
  void Finish();

  std::string u8_;
  std::u16string u16_;
  std::string lower8_;
  std::u16string lower16_;
  int32_t sub8_ = 0;
  int32_t sub16_ = 0;
  bool folded_ = false;
  uint16_t shift_[256];
  uint16_t lowerShift_[256];
};

}  // namespace vk
