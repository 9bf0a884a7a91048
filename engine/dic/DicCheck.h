// The dictionary check and the optimisation: the two long runs that report
// through one caller-supplied callback whose answers steer them.
//
// The check reads a damaged file by definition. Every size word, length,
// compression count, free-chain link and index value it meets may lie, so
// each one is checked against the block or the data area before it is used:
// nothing is read outside a block or the file, nothing is allocated that the
// file size does not justify (the data area was checked against the file at
// open), a free chain is followed at most once per unit, and every step of a
// walk advances.
//
// The callback kinds, answers and reasons below serve the optimisation
// (dic/Optimizer.h) too, which reports through the same record.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "dic/Voka.h"

namespace vk {

// Callback kinds.
enum CheckKind : int32_t {
  kCheckProblem = 1,     // message, detail; the answer steers
  kCheckPosition = 2,    // position
  kCheckStatus = 3,      // message
  kOptimizeFailure = 4,  // message (after kOptimizeFailed)
  kCheckProgress = 5,    // words, percent
  kOptimizeProgress = 6, // percent
  kCheckPoll = 7,        // non-zero stops
  kCheckUnreadable = 8,  // a data block cannot be read: the data check ends
  kOptimizeDone = 11,
  kOptimizeStopped = 12,
  kOptimizeFailed = 13,  // reason
};

// Answers to kCheckProblem.
enum CheckAnswer : int32_t {
  kAnswerStop = -1,
  kAnswerGoOn = 0,
  kAnswerRepair = 1,
  kAnswerRepairAll = 2,  // also repairs later bad index values without asking
};

// Reason codes of kOptimizeFailed.
enum OptimizeReason : int32_t {
  kReasonBufferLeft = 0,
  kReasonFreeUnitLeft = 1,
  kReasonDiskError = 2,
};

// What the callback is shown. Texts are the engine's and stay valid during
// the call only; a field not named for a kind keeps its last value, and the
// texts are null outside the kinds that carry them.
template <class B>
struct CheckReport {
  using IChar = typename B::IChar;
  int32_t position = 0;
  int32_t words = 0;
  int32_t percent = 0;
  int32_t reason = 0;
  const IChar* message = nullptr;
  const IChar* detail = nullptr;
};

template <class B>
using CheckCallback = std::function<int32_t(int32_t kind, CheckReport<B>& report)>;

// The dictionary object the check and the optimisation open for
// themselves: a dictionary file that also remembers the word being checked
// (for the detail texts) and whether the check removed an index entry.
template <class B>
class VkcDic : public Voka<B> {
 public:
  using Voka<B>::Voka;
  const typename B::Unit* checkedWord = nullptr;
  bool indexRemoved = false;
};

// Runs the link check and the data check on an open dictionary, with the
// repairs the answers ask for (written back and committed before it
// returns). The dictionary stays open.
template <class B>
void RunCheck(VkcDic<B>& dic, const CheckCallback<B>& callback);

}  // namespace vk
