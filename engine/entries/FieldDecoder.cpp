#include "entries/FieldDecoder.h"

#include "entries/FieldText.h"
#include "entries/FieldWalker.h"

namespace vk {

template <class B>
bool FieldDecoder<B>::Decode(const uint8_t* area, size_t len, uint8_t attribute, bool longEntry, Japa<B>* japa,
                             const FieldCapacities& caps) {
  using T = FieldText<B>;
  japa->Reset();
  japa->attribute = attribute;
  if (!(attribute & kAttrExtended)) {
    DecodedText d = T::Decode(area, len, true, caps.translation, &japa->translation);
    // The simple form carries no terminator: a zero unit inside it is stray.
    return !d.malformed && !d.terminated;
  }
  DecodedText t = T::Decode(area, len, true, caps.translation, &japa->translation);
  if (!t.terminated) return false;
  bool clean = !t.malformed;
  FieldWalker<B> w(area, len, t.consumed, longEntry);
  FieldItem f;
  while (w.Next(&f)) {
    typename Japa<B>::Text* target = nullptr;
    size_t cap = 0;
    switch (f.code) {
      case kFieldExample:
      case kFieldCountedExample:
        target = &japa->example;
        cap = caps.example;
        break;
      case kFieldPronunciation:
      case kFieldCountedPronunciation:
        target = &japa->pronunciation;
        cap = caps.pronunciation;
        break;
      default:
        if (!(f.code & kFieldCountedBit)) return clean;  // 0x04, 0x41, 0x42 end the decoding
        break;
    }
    if (target != nullptr) {
      DecodedText d = T::Decode(area + f.offset, f.length, true, cap, target);
      if (d.malformed) clean = false;
    }
  }
  return clean && w.wellFormed();
}

template <class B>
WalkStatus FieldDecoder<B>::Read(const uint8_t* block, size_t bytes, size_t offset, Japa<B>* japa, bool* wellFormed) {
  EntryView v;
  WalkStatus s = ParseEntry<B>(block, bytes, offset, &v);
  if (s != WalkStatus::kEntry) return s;
  bool clean = Decode(block + v.fieldOffset, v.fieldLength, v.attribute, v.isLong, japa);
  if (wellFormed != nullptr) *wellFormed = clean;
  return s;
}

template class FieldDecoder<TraitsVKCU8L>;
template class FieldDecoder<TraitsVKCUB>;
template class FieldDecoder<TraitsVKCUL>;
template class FieldDecoder<TraitsVKC620>;

}  // namespace vk
