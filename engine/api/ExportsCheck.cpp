// VKDicCheck and VKOptimize: each opens the named dictionary with a
// dictionary object of its own and talks to the caller through the
// caller's record.
#include <cstddef>
#include <memory>

#include "api/Handle.h"
#include "api/VokaApi.h"
#include "dic/DicCheck.h"
#include "dic/Optimizer.h"

using B = vk::VK_BUILD_TRAITS;
struct VKHandleRec : VKHandleOf<B> {};

static_assert(int32_t(vk::kCheckProblem) == VK_CHECK_PROBLEM && int32_t(vk::kCheckPosition) == VK_CHECK_POSITION &&
                  int32_t(vk::kCheckStatus) == VK_CHECK_STATUS && int32_t(vk::kOptimizeFailure) == VK_OPTIMIZE_FAILURE &&
                  int32_t(vk::kCheckProgress) == VK_CHECK_PROGRESS && int32_t(vk::kOptimizeProgress) == VK_OPTIMIZE_PROGRESS &&
                  int32_t(vk::kCheckPoll) == VK_CHECK_POLL && int32_t(vk::kCheckUnreadable) == VK_CHECK_UNREADABLE &&
                  int32_t(vk::kOptimizeDone) == VK_OPTIMIZE_DONE && int32_t(vk::kOptimizeStopped) == VK_OPTIMIZE_STOPPED &&
                  int32_t(vk::kOptimizeFailed) == VK_OPTIMIZE_FAILED,
              "callback kinds");
static_assert(int32_t(vk::kAnswerStop) == VK_ANSWER_STOP && int32_t(vk::kAnswerGoOn) == VK_ANSWER_GO_ON &&
                  int32_t(vk::kAnswerRepair) == VK_ANSWER_REPAIR && int32_t(vk::kAnswerRepairAll) == VK_ANSWER_REPAIR_ALL &&
                  int32_t(vk::kReasonBufferLeft) == VK_REASON_BUFFER_LEFT &&
                  int32_t(vk::kReasonFreeUnitLeft) == VK_REASON_FREE_UNIT_LEFT &&
                  int32_t(vk::kReasonDiskError) == VK_REASON_DISK_ERROR,
              "answers and reasons");
// Field order as the record is documented; pointers are pointer-sized.
static_assert(offsetof(DicCheckParam, position) == sizeof(void*) &&
                  offsetof(DicCheckParam, message) == sizeof(void*) + 16 &&
                  offsetof(DicCheckParam, detail) == 2 * sizeof(void*) + 16 &&
                  offsetof(VKOptimizeParam, reason) == sizeof(DicCheckParam) + 4,
              "check records");

namespace {

using IChar = B::IChar;
using Report = vk::CheckReport<B>;

// Opens the dictionary as VKOpen does: read-write, read-only when refused.
std::unique_ptr<vk::VkcDic<B>> OpenOwn(VKHandle h, const VKChar* name) {
  if (!name) {
    h->lastError = vk::kErrCannotOpen;
    return nullptr;
  }
  std::unique_ptr<vk::VkcDic<B>> dic(new (std::nothrow) vk::VkcDic<B>);
  if (!dic) {
    h->lastError = vk::kErrNoMemory;
    return nullptr;
  }
  const IChar* n = reinterpret_cast<const IChar*>(name);
  if (dic->OpenDic(vk::PathFromInterface(n), n, false) != 0) {
    h->lastError = vk::ExportedCode(dic->Error());
    return nullptr;
  }
  return dic;
}

// The engine's report, copied into the caller's record before each call.
void Fill(DicCheckParam* p, const Report& r) {
  p->position = r.position;
  p->words = r.words;
  p->percent = r.percent;
  p->message = reinterpret_cast<const VKChar*>(r.message);
  p->detail = reinterpret_cast<const VKChar*>(r.detail);
}

// The caller's callback while an optimisation runs: the record carries the
// engine's own in its place, which hands every report on to this one.
using CheckFunction = int32_t (*)(int32_t kind, DicCheckParam* param);
CheckFunction optimizeCaller = nullptr;

int32_t OptimizeFront(int32_t kind, DicCheckParam* param) {
  return optimizeCaller ? optimizeCaller(kind, param) : 0;
}

}  // namespace

extern "C" VKAPI int32_t VKDicCheck(VKHandle h, const VKChar* name, DicCheckParam* param) {
  if (!h) return 0;
  std::unique_ptr<vk::VkcDic<B>> dic = OpenOwn(h, name);
  if (!dic) return 0;
  vk::CheckCallback<B> callback = [param](int32_t kind, Report& r) -> int32_t {
    if (!param || !param->callback) return 0;
    Fill(param, r);
    const int32_t answer = param->callback(kind, param);
    param->message = nullptr;
    param->detail = nullptr;
    return answer;
  };
  vk::RunCheck(*dic, callback);
  dic->CloseDic();
  return 1;
}

extern "C" VKAPI int32_t VKOptimize(VKHandle h, const VKChar* name, VKOptimizeParam* param) {
  if (!h) return 0;
  std::unique_ptr<vk::VkcDic<B>> dic = OpenOwn(h, name);
  if (!dic) return 0;
  const CheckFunction caller = param ? param->check.callback : nullptr;
  const CheckFunction outer = optimizeCaller;
  optimizeCaller = caller;
  if (param) param->check.callback = &OptimizeFront;
  vk::CheckCallback<B> callback = [param](int32_t kind, Report& r) -> int32_t {
    if (!param || !optimizeCaller) return 0;
    Fill(&param->check, r);
    param->reason = r.reason;
    const int32_t answer = param->check.callback(kind, &param->check);
    param->check.message = nullptr;
    param->check.detail = nullptr;
    return answer;
  };
  vk::RunOptimize(*dic, callback);
  dic->CloseDic();
  if (param) param->check.callback = caller;
  optimizeCaller = outer;
  return 1;
}
