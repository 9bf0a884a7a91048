// The object-data functions and VKCreateMem, exported by libVKCUB only.
//
// Objects (PCM links, file links, binary and extra data) have no behaviour in
// this engine: each function answers a constant and keeps nothing. Objects
// and data travel as pointer-sized values. VKDeleteObject is the one that
// acts: it frees a block the caller had from malloc, since nothing in the
// engine makes objects that it could pair with.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "api/Handle.h"
#include "api/VokaApi.h"
#include "dic/MemoryDic.h"
#include "file/ErrorCodes.h"

using B = vk::VK_BUILD_TRAITS;
struct VKHandleRec : VKHandleOf<B> {};

extern "C" {

VKAPI VKObject VKCreateObject(intptr_t, intptr_t) { return nullptr; }

VKAPI int32_t VKDeleteObject(VKObject object) {
  std::free(object);
  return 1;
}

VKAPI int32_t VKGetObjectType(VKObject) { return 0; }
VKAPI int32_t VKSetDataPCMLINK(VKObject, intptr_t, intptr_t, intptr_t) { return 0; }
VKAPI int32_t VKSetDataFileLink(VKObject, intptr_t) { return 0; }
VKAPI int32_t VKGetLengthBinary(VKObject) { return 0; }
VKAPI intptr_t VKGetDataBinary(VKObject) { return 0; }
VKAPI intptr_t VKGetExtraData(VKObject) { return 0; }
VKAPI int32_t VKSetDataBinary(VKObject, intptr_t, intptr_t, intptr_t) { return 0; }

// A dictionary the handle still holds is closed first, as VKClose closes it
// (its pending changes written), rather than dropped. When those changes
// cannot be written (the file is then as last committed) no list takes its
// place: the handle is left empty with the close's code for VKGetErrorCode,
// where a fresh list would hide that the changes were lost.
VKAPI int32_t VKCreateMem(VKHandle h, intptr_t, intptr_t) {
  if (!h) return 0;
  h->lastError = 0;
  VKClose(h);
  if (h->lastError != 0) return 0;
  std::unique_ptr<vk::TUniversalDic<B>> list(new (std::nothrow) vk::TMemoryDic<B>);
  if (!list) {
    h->lastError = vk::kErrNoMemory;
    return 0;
  }
  h->Hold(std::move(list));
  return 1;
}

}  // extern "C"
