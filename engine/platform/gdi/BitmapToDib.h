// BitmapToDib: a device bitmap as a packed device-independent bitmap in one
// movable global block: the 40-byte information header, its colour table,
// then the rows bottom-up, each padded to 4 bytes.
//
// The bit count is the bitmap's planes x bits per pixel rounded up to 1, 4
// or 8, and 24 above 8. The palette (the stock default one when none is
// given) is selected into the screen's device context for the conversion,
// and the one selected before is always put back, whatever fails. The
// caller owns the block it gets; every failure gives null and leaves no
// block behind.
#pragma once
#include "platform/gdi/Gdi.h"

namespace vk {
namespace gdi {

HGLOBAL BitmapToDib(Gdi& gdi, HBITMAP bitmap, HPALETTE palette);

}  // namespace gdi
}  // namespace vk
