// VKGetNextScan: the sequential file scan, exported by libVKCUB only.
#include "api/VokaApi.h"

#include "api/Handle.h"

using B = vk::VK_BUILD_TRAITS;
struct VKHandleRec : VKHandleOf<B> {};

extern "C" VKAPI int32_t VKGetNextScan(VKHandle h, VKRecordData* rec) {
  vk::Voka<B>* v = h ? h->file : nullptr;
  if (!v) return -1;
  int32_t rc = v->NextScan(rec ? &h->current : nullptr, &h->currentWord);
  if (rc == 1) {
    h->Fill(rec);
  } else if (rc == -1) {
    h->lastError = vk::ExportedCode(v->Error());
  }
  return rc;
}
