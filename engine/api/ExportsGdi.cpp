// VKBitmapToDIB, exported by every engine library alike. The graphics
// objects live in the library's private copy of platform/gdi; handles made
// by a caller's own copy are the same records (platform/gdi/Gdi.h).
#include "api/VokaApi.h"

#include "platform/gdi/BitmapToDib.h"

extern "C" VKAPI VKGlobal VKBitmapToDIB(VKBitmap bitmap, VKPalette palette) {
  return vk::gdi::BitmapToDib(*vk::gdi::Gdi::Default(), bitmap, palette);
}
