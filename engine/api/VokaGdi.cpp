// The C surface of the graphics stand-in (VokaGdi.h) over platform/gdi.
#include "api/VokaGdi.h"

#include "platform/gdi/Gdi.h"

namespace g = vk::gdi;

extern "C" {

VKBitmap VokaCreateBitmap(int32_t width, int32_t height, uint32_t planes, uint32_t bitsPerPixel, const void* rows) {
  return g::CreateBitmap(width, height, planes, bitsPerPixel, rows);
}

VKPalette VokaCreatePalette(uint32_t count, const uint8_t* entries) {
  static_assert(sizeof(VKPaletteEntry) == 4, "a palette entry is 4 bytes");
  return g::CreatePalette(count, reinterpret_cast<const VKPaletteEntry*>(entries));
}

int32_t VokaDeleteObject(void* object) { return g::DeleteObject(object) ? 1 : 0; }

void* VokaGlobalLock(VKGlobal block) { return g::GlobalLock(block); }
int32_t VokaGlobalUnlock(VKGlobal block) { return g::GlobalUnlock(block) ? 1 : 0; }
size_t VokaGlobalSize(VKGlobal block) { return g::GlobalSize(block); }
VKGlobal VokaGlobalFree(VKGlobal block) { return g::GlobalFree(block); }

}  // extern "C"
