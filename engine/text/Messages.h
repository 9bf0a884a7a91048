// The engine's message table: the text of each error code and of the check
// and optimisation messages, by identifier. Every build carries the same
// table; the narrow build hands the texts out as UTF-8.
//
// Texts handed out through the interface live in a ring of four slots shared
// by the library's callers: each call frees the string in the next slot
// before filling it, so a returned pointer stays valid for four more calls.
#pragma once
#include <cstdint>

namespace vk {

// The table's text for `id`, or null.
const char16_t* MessageText(int32_t id);

// A copy of the text in the next ring slot, or null (the slot then stays
// empty).
const char16_t* RingMessage16(int32_t id);
const char* RingMessage8(int32_t id);

template <class C>
const C* RingMessage(int32_t id);
template <>
inline const char16_t* RingMessage<char16_t>(int32_t id) { return RingMessage16(id); }
template <>
inline const char* RingMessage<char>(int32_t id) { return RingMessage8(id); }

}  // namespace vk
