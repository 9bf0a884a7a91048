// FieldDecoder: a stored field area back into a Japa object.
//
//   1. Reset the object, then take the attribute A.
//   2. A without bit 4: the whole area is the translation.
//   3. A with bit 4: the translation up to its terminator, then the fields:
//      0x01 / 0x02 decode their text into the example / pronunciation;
//      0x11 / 0x12 decode the text at the start of their counted bytes the
//      same way and continue after the counted bytes; other codes with bit 4
//      are stepped over; any other code (0x80, and also 0x04, 0x41, 0x42,
//      which carry no bit 4) ends the decoding.
//
// A search decodes texts into at most 3001 / 20001 / 1001 units
// (translation / example / pronunciation, terminator included) and a longer
// stored text is cut there; a change decodes them whole, so that rewriting
// an entry never cuts what it keeps. Decoding never reads outside the area.
#pragma once
#include <cstddef>
#include <cstdint>

#include "entries/EntryCursor.h"
#include "entries/FieldText.h"
#include "entries/Japa.h"

namespace vk {

// How many units each text may take when decoded.
struct FieldCapacities {
  size_t translation, example, pronunciation;
};
constexpr FieldCapacities kSearchCapacities = {kTranslationCapacity, kExampleCapacity, kPronunciationCapacity};
constexpr FieldCapacities kWholeTexts = {SIZE_MAX, SIZE_MAX, SIZE_MAX};

template <class B>
class FieldDecoder {
 public:
  // Fills *japa from the field area. Answers whether the area was well
  // formed (everything inside it, 0x80 where the extended form ends, no
  // ill-formed text); the object is filled either way.
  static bool Decode(const uint8_t* area, size_t len, uint8_t attribute, bool longEntry, Japa<B>* japa,
                     const FieldCapacities& caps = kSearchCapacities);

  // Reads the fields of the entry at `offset` (0: the first entry): the
  // attribute from the entry's header, then Decode. kEnd at the terminator
  // and kDamaged for an entry that does not fit the block leave *japa as it
  // was. `wellFormed`, when given, receives Decode's answer.
  static WalkStatus Read(const uint8_t* block, size_t bytes, size_t offset, Japa<B>* japa,
                         bool* wellFormed = nullptr);
};

}  // namespace vk
