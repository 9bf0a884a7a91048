// Helpers of the limit tests: a dictionary driven by random changes next to
// an in-memory model of what it must hold, checks of the open dictionary and
// of its closed file against that model, and knobs read from the environment.
#pragma once
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "dic/Voka.h"
#include "file/ErrorCodes.h"
#include "format/HeaderCodec.h"
#include "dic/MutationTestUtil.h"
#include "text/Utf.h"

namespace vktest {

// An integer knob from the environment, or `fallback` when unset.
inline int64_t EnvKnob(const char* name, int64_t fallback) {
  const char* s = std::getenv(name);
  return s && *s ? std::strtoll(s, nullptr, 0) : fallback;
}

// Gives a dictionary that holds nothing yet another unit size; the engine
// takes any unit size a file states.
template <class B>
void SetUnitSize(const std::string& path, int16_t unit) {
  std::vector<uint8_t> file = FileBytes(path);
  ASSERT_EQ(file.size(), size_t(vk::DicHeader::kSize)) << "the dictionary must be empty";
  vk::DicHeader h;
  vk::HeaderCodec<B>::FromFile(file.data(), h);
  h.setBlockSize(unit);
  vk::HeaderCodec<B>::ToFile(h, file.data());
  PutFileBytes(path, file);
}

// What a dictionary must hold: headword -> translation.
template <class B>
using Model = std::map<std::basic_string<typename B::IChar>, std::basic_string<typename B::IChar>>;

// A translation of `units` characters that tells its headword and length.
template <class B>
std::basic_string<typename B::IChar> Translation(const std::basic_string<typename B::IChar>& word, size_t units,
                                                  uint32_t salt) {
  std::basic_string<typename B::IChar> t;
  t.reserve(units);
  for (size_t i = 0; t.size() < units; ++i) {
    const char c = static_cast<char>('a' + (word[i % word.size()] + i * 7 + salt) % 26);
    t.push_back(static_cast<typename B::IChar>(c));
  }
  return t;
}

// Drives a dictionary with random additions, replacements and erasures and
// keeps the model in step: a call that answers success changes the model, a
// call refused with 3 leaves it as it was; any other answer is a failure.
template <class B>
class RandomFiller {
 public:
  using Text = std::basic_string<typename B::IChar>;

  RandomFiller(vk::Voka<B>* v, Model<B>* model, uint32_t seed) : v_(v), model_(model), rng_(seed) {}

  // The dictionary object to drive from now on (a reopen makes a new one).
  void SetDic(vk::Voka<B>* v) { v_ = v; }

  // Headwords are `prefix` and a number in scrambled order; translations are
  // [minUnits, maxUnits] characters long.
  // With `wordUnits` the headwords are padded to that length with letters
  // that differ from word to word.
  void SetShape(const std::string& prefix, size_t minUnits, size_t maxUnits, size_t wordUnits = 0) {
    prefix_ = prefix;
    minUnits_ = minUnits;
    maxUnits_ = maxUnits;
    wordUnits_ = wordUnits;
  }

  // One random change: mostly additions. Answers the engine's answer.
  int32_t Step(int addPercent = 75, int erasePercent = 10) {
    const int r = static_cast<int>(rng_() % 100);
    if (r < addPercent || model_->empty()) return Add(NextWord(), Length());
    const Text& w = Pick();
    if (r < addPercent + erasePercent) return Erase(w);
    return Add(w, Length());
  }

  int32_t Add(const Text& w, size_t units) {
    const Text t = Translation<B>(w, units, static_cast<uint32_t>(rng_()));
    const int32_t rc = v_->RecordWord(w.c_str(), Fields<B>(t));
    if (rc == 1) {
      (*model_)[w] = t;
    } else {
      Refused(rc);
      if (!model_->count(w)) refusedNew_.push_back(w);
    }
    return rc;
  }

  int32_t Erase(const Text& w) {
    const Text keep = w;
    const int32_t rc = v_->EraseWord(keep.c_str());
    if (rc == 1) {
      model_->erase(keep);
    } else {
      Refused(rc);
    }
    return rc;
  }

  // A headword of the model, at random.
  const Text& Pick() {
    auto it = model_->begin();
    std::advance(it, static_cast<long>(rng_() % model_->size()));
    return it->first;
  }

  Text NextWord() {
    // A multiplicative scramble of a counter: distinct and in no order.
    const uint32_t n = static_cast<uint32_t>(next_++) * 2654435761u;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08x", n);
    std::string w = prefix_ + buf;
    for (uint32_t x = n | 1; w.size() < wordUnits_; x = x * 1103515245u + 12345u) w.push_back(char('a' + (x >> 16) % 26));
    return T<B>(w);
  }

  size_t Length() { return minUnits_ + rng_() % (maxUnits_ - minUnits_ + 1); }

  int64_t refusals() const { return refusals_; }
  bool failed() const { return failed_; }
  // New headwords whose addition was refused (some may have been added later).
  const std::vector<Text>& refusedNew() const { return refusedNew_; }

 private:
  void Refused(int32_t rc) {
    if (rc == -1 && v_->Error() == vk::kErrDictionaryFull) {
      ++refusals_;
      return;
    }
    if (!failed_) ADD_FAILURE() << "a change answered " << rc << " with code " << v_->Error();
    failed_ = true;
  }

  vk::Voka<B>* v_;
  Model<B>* model_;
  std::mt19937 rng_;
  std::string prefix_ = "w";
  size_t minUnits_ = 1, maxUnits_ = 1, wordUnits_ = 0;
  int64_t next_ = 1;
  int64_t refusals_ = 0;
  bool failed_ = false;
  std::vector<Text> refusedNew_;
};

// Every entry of the model is found in the open dictionary with its
// translation, the word count agrees, and no refused new headword is there.
template <class B>
void CheckOpenAgainstModel(vk::Voka<B>& v, const Model<B>& model,
                           const std::vector<std::basic_string<typename B::IChar>>& refusedNew = {}) {
  EXPECT_EQ(v.WordCount(), static_cast<int32_t>(model.size()));
  int bad = 0;
  for (const auto& e : model) {
    vk::Japa<B> j;
    const int32_t rc = v.FindWord(e.first.c_str(), &j);
    if (rc != 1 || j.translation != e.second) {
      if (++bad <= 5) ADD_FAILURE() << "entry " << vk::Utf16ToUtf8(std::u16string(e.first.begin(), e.first.end()))
                                    << " answers " << rc << (rc == 1 ? " with another translation" : "");
    }
  }
  EXPECT_EQ(bad, 0) << "entries not found as stored";
  int found = 0;
  for (const auto& w : refusedNew)
    if (!model.count(w) && v.FindWord(w.c_str(), nullptr) != 0) ++found;
  EXPECT_EQ(found, 0) << "entries whose addition was refused are there";
}

// Walks the closed file (WalkFile) and compares its entries with the model;
// the data area stays within the build's bound.
template <class B>
void CheckFileAgainstModel(const std::string& path, const Model<B>& model, Walk<B>* walk) {
  WalkFile<B>(path, walk);
  ASSERT_EQ(walk->entries.size(), model.size());
  auto it = model.begin();
  int bad = 0;
  for (const auto& e : walk->entries) {
    if (e.word != it->first || e.fields.translation != it->second) ++bad;
    ++it;
  }
  EXPECT_EQ(bad, 0) << "entries of the file differ from the model";
  EXPECT_LE(walk->end, B::kMaxDataUnits);
  for (const auto& b : walk->blocks) EXPECT_LE(int64_t(b.number) + b.units, B::kMaxDataUnits);
}

}  // namespace vktest
