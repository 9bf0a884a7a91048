// EntryModel: what a dictionary should hold after each change, kept in a
// std::map by stored headword (whose order is the dictionary's: bytes
// compare unsigned, 16-bit units as numbers). The randomised mutation
// tests and the change fuzzer both check the engine against it.
//
// The model stores fields as the file keeps them: bit 4 of the attribute
// is the encoder's (set for entries with an example or a pronunciation).
// Bulk registration is modelled from the merge rules' own text functions
// (QueryMerge), with the limits and counters stated here.
#pragma once
#include <cstdint>
#include <map>
#include <string>

#include "dic/MergePolicy.h"
#include "entries/HeadwordForm.h"
#include "entries/Japa.h"

namespace vktest {

template <class B>
class EntryModel {
 public:
  using IChar = typename B::IChar;
  using Text = std::basic_string<IChar>;
  using Word = std::basic_string<typename B::Unit>;

  struct Entry {
    Text word;
    vk::Japa<B> fields;
  };
  using Map = std::map<Word, Entry>;

  static Word Key(const Text& word) {
    Word w;
    vk::HeadwordForm<B>::ToStored(word.c_str(), &w);
    return w;
  }

  static vk::Japa<B> AsStored(vk::Japa<B> f) {
    f.attribute = static_cast<uint8_t>(f.attribute & ~vk::kAttrExtended);
    if (!f.IsSimple()) f.attribute |= vk::kAttrExtended;
    return f;
  }

  const Map& entries() const { return map_; }
  Map& entries() { return map_; }
  size_t size() const { return map_.size(); }
  const Entry* Find(const Text& word) const {
    auto it = map_.find(Key(word));
    return it == map_.end() ? nullptr : &it->second;
  }
  bool Has(const Text& word) const { return Find(word) != nullptr; }

  void Record(const Text& word, const vk::Japa<B>& f) { map_[Key(word)] = Entry{word, AsStored(f)}; }
  // false when there is no such entry.
  bool Update(const Text& word, const vk::Japa<B>& f) {
    auto it = map_.find(Key(word));
    if (it == map_.end()) return false;
    it->second.fields = AsStored(f);
    return true;
  }
  void Erase(const Text& word) { map_.erase(Key(word)); }
  // false when `from` is absent or `to` present.
  bool Rename(const Text& from, const Text& to) {
    auto it = map_.find(Key(from));
    if (it == map_.end() || map_.count(Key(to))) return false;
    Entry e = it->second;
    map_.erase(it);
    e.word = to;
    map_[Key(to)] = e;
    return true;
  }
  bool ChangeField(const Text& word, const Text& text, bool example) {
    auto it = map_.find(Key(word));
    if (it == map_.end()) return false;
    (example ? it->second.fields.example : it->second.fields.translation) = text;
    it->second.fields = AsStored(it->second.fields);
    return true;
  }

  // The attribute changes: which 0 sets `a`, 1 sets the level `a`, 2 adds
  // `a` to the level and bounds it by [b, c]. Bit 4 always stays.
  bool ChangeAttribute(const Text& word, int which, int32_t a, int32_t b, int32_t c) {
    auto it = map_.find(Key(word));
    if (it == map_.end()) return false;
    uint8_t& at = it->second.fields.attribute;
    uint8_t next;
    if (which == 0) {
      next = uint8_t(a);
    } else if (which == 1) {
      next = uint8_t((a & 0x0F) | (at & 0xF0));
    } else {
      int64_t level = (at & 0x0F) + int64_t(a);
      if (level > c) level = c;
      if (level < b) level = b;
      next = uint8_t((level & 0x0F) | (at & 0xF0));
    }
    at = uint8_t((next & ~0x10) | (at & 0x10));
    return true;
  }

  // What a registration does: the entry added, merged or kept, and the
  // counters it adds to.
  void Query(const Text& word, vk::Japa<B> n, int32_t rule, int32_t flags, vk::QueryCounters* c) {
    const Word key = Key(word);
    auto it = map_.find(key);
    bool tooLong = false;
    auto cut = [&](Text* t, size_t limit) {
      if (t->size() > limit) {
        t->resize(limit);
        tooLong = true;
      }
    };
    if (it == map_.end()) {
      cut(&n.translation, vk::kQueryTranslationLimit);
      cut(&n.example, vk::kQueryExampleLimit);
      cut(&n.pronunciation, vk::kQueryPronunciationLimit);
      if (n.translation.empty()) n.translation = Text(1, IChar('?'));
      if (!tooLong) {
        map_[key] = Entry{word, AsStored(n)};
        ++c->added;
      } else {
        ++c->tooLong;
      }
      return;
    }
    vk::Japa<B> s = it->second.fields;
    if (s.translation == n.translation && s.example == n.example && s.pronunciation == n.pronunciation) return;
    if (rule == 3 || (rule == 2 && n.translation.size() < s.translation.size())) return;
    ++c->existing;
    if (rule == 2 || rule == 4) {
      s = n;
    } else if (rule == 5 || rule == 6) {
      vk::MergeFields ms = vk::QueryMerge::Widen(s), mn = vk::QueryMerge::Widen(n);
      if (!vk::QueryMerge::Merge(&ms, &mn, flags, rule == 5 ? u"," : u"\r\n")) tooLong = true;
      vk::QueryMerge::Narrow(ms, &s);
    } else {
      return;
    }
    if (s.translation.size() > vk::kQueryTranslationLimit || s.example.size() > vk::kQueryExampleLimit ||
        s.pronunciation.size() > vk::kQueryPronunciationLimit)
      tooLong = true;
    if (tooLong) {
      ++c->tooLong;
      return;
    }
    it->second.fields = AsStored(s);
  }

 private:
  Map map_;
};

}  // namespace vktest
