#include "entries/FieldEncoder.h"

#include "entries/EntryLayout.h"
#include "entries/FieldText.h"
#include "file/ErrorCodes.h"

namespace vk {

namespace {
constexpr int64_t kLongEstimate = 0xFF00;
}

template <class B>
int64_t FieldEncoder<B>::Estimate(const Japa<B>& japa) {
  return Estimate(Japa<B>::TextLength(japa.translation), Japa<B>::TextLength(japa.example),
                  Japa<B>::TextLength(japa.pronunciation));
}

template <class B>
int64_t FieldEncoder<B>::Estimate(size_t translation, size_t example, size_t pronunciation) {
  const int64_t t = int64_t(translation), e = int64_t(example), p = int64_t(pronunciation);
  if (e == 0 && p == 0) return 2 * t;
  const bool bytes = EntryLayout<B>::kByteUnits;
  const int64_t fixed = bytes ? 9 : 12, perEmpty = bytes ? 3 : 4;
  return 2 * (t + e + p) + fixed - (e == 0 ? perEmpty : 0) - (p == 0 ? perEmpty : 0);
}

template <class B>
int64_t FieldEncoder<B>::Capacity(size_t wordUnits, int32_t unitBytes) {
  const int64_t room = int64_t(unitBytes) * kMaxBlockUnits;
  if (EntryLayout<B>::kByteUnits) return room - int64_t(wordUnits) - 8;
  return room - 2 * int64_t(wordUnits) - 9;
}

template <class B>
int FieldEncoder<B>::Encode(const Japa<B>& japa, size_t wordUnits, int32_t unitBytes, EncodedFields* out) {
  using T = FieldText<B>;
  using L = EntryLayout<B>;
  const size_t t = Japa<B>::TextLength(japa.translation);
  const size_t e = Japa<B>::TextLength(japa.example);
  const size_t p = Japa<B>::TextLength(japa.pronunciation);
  const bool extended = e != 0 || p != 0;
  const int64_t estimate = Estimate(t, e, p);
  const int64_t capacity = Capacity(wordUnits, unitBytes);
  if (!extended && estimate > capacity) return kErrTooLarge;
  // No codec stores two units in less than one byte: texts that cannot fit
  // are refused before any room is taken for them.
  if (extended && int64_t((t + e + p) / 2) > capacity) return kErrTooLarge;

  // Worst case: every text at its largest, three terminators, three codes.
  const uint64_t worst = T::MaxEncodedSize(t) + T::MaxEncodedSize(e) + T::MaxEncodedSize(p) + 6 * T::kUnitBytes;
  // Built in the output's own buffer, which a caller that encodes entry
  // after entry keeps, so that no entry costs an allocation; on a refusal
  // the area holds nothing of use.
  std::vector<uint8_t>& buf = out->area;
  try {
    if (buf.size() < worst) buf.resize(static_cast<size_t>(worst));
  } catch (...) {
    return kErrTooLarge;
  }
  size_t used = 0;
  auto put = [&](const typename Japa<B>::Text& s, size_t n) {
    int64_t w = T::Encode(s.data(), n, buf.data() + used, buf.size() - used);
    if (w < 0) return false;
    used += static_cast<size_t>(w);
    return true;
  };
  auto code = [&](uint8_t c) {
    T::StoreUnit(buf.data() + used, c);
    used += T::kUnitBytes;
  };
  uint8_t attribute = static_cast<uint8_t>(japa.attribute & ~kAttrExtended);
  if (!put(japa.translation, t)) return kErrTooLarge;
  if (extended) {
    attribute |= kAttrExtended;
    code(0);
    if (e) {
      code(kFieldExample);
      if (!put(japa.example, e)) return kErrTooLarge;
      code(0);
    }
    if (p) {
      code(kFieldPronunciation);
      if (!put(japa.pronunciation, p)) return kErrTooLarge;
      code(0);
    }
    if (int64_t(used) + 1 > capacity) return kErrTooLarge;
    code(kFieldEnd);
  }

  bool longEntry = B::kLongEntries && extended && estimate >= kLongEstimate;
  if (!longEntry && L::ShortBody(wordUnits, used) > kMaxShortBody) {
    if (!B::kLongEntries) return kErrTooLarge;
    longEntry = true;
  }
  const uint64_t blockBytes = longEntry
                                  ? L::LongBlockBytes(wordUnits, used)
                                  : kFirstEntryOffset + L::ShortEntryBytes(wordUnits, used) + kShortTerminatorBytes;
  if (unitBytes <= 0 || blockBytes > uint64_t(unitBytes) * kMaxBlockUnits) return kErrTooLarge;

  buf.resize(used);
  out->attribute = attribute;
  out->longEntry = longEntry;
  return 0;
}

template class FieldEncoder<TraitsVKCU8L>;
template class FieldEncoder<TraitsVKCUB>;
template class FieldEncoder<TraitsVKCUL>;
template class FieldEncoder<TraitsVKC620>;

}  // namespace vk
