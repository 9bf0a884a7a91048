#include "dic/Optimizer.h"

#include <algorithm>
#include <new>
#include <utility>
#include <vector>

#include "dic/CheckText.h"
#include "format/BlockFormat.h"
#include "text/Messages.h"

namespace vk {

namespace {

// Carried by the engine itself, not by the message table.
constexpr char16_t kFreeUnitLeftText[] = u"空きブロックが存在しています.\n一部のデータが失われました";

enum : int32_t {
  kMsgDone = 68,
  kMsgDiskError = 69,
  kMsgBufferLeft = 70,
  kMsgStopped = 136,
};

// The engine's callback in front of the caller's: the outcomes 11, 12 and
// 13 reach the caller followed by the status (3) or failure (4) that
// carries their message; every other kind passes through.
template <class B>
class Reporter {
 public:
  using IChar = typename B::IChar;
  using Message = CheckMessage<IChar>;

  Reporter(const CheckCallback<B>& caller, OptimizeTexts texts) : caller_(caller), texts_(texts) {}

  int32_t Send(int32_t kind) {
    switch (kind) {
      case kOptimizeDone:
        return Outcome(kind, kCheckStatus, Message::Table(texts_(kMsgDone)));
      case kOptimizeStopped:
        return Outcome(kind, kCheckStatus, Message::Table(texts_(kMsgStopped)));
      case kOptimizeFailed:
        return Outcome(kind, kOptimizeFailure, FailureText(report_.reason));
      default:
        return Call(kind);
    }
  }

  CheckReport<B>& report() { return report_; }

 private:
  Message FailureText(int32_t reason) const {
    switch (reason) {
      case kReasonBufferLeft:
        return Message::Table(texts_(kMsgBufferLeft));
      case kReasonFreeUnitLeft:
        return Message::Plain(kFreeUnitLeftText);
      case kReasonDiskError:
        return Message::Table(texts_(kMsgDiskError));
      default:
        return Message();
    }
  }

  int32_t Call(int32_t kind) { return caller_ ? caller_(kind, report_) : 0; }

  // A status follows whether or not its text is there (null then); a
  // failure without a text sends no kind 4 at all.
  int32_t Outcome(int32_t kind, int32_t follow, const Message& m) {
    Call(kind);
    if (follow == kOptimizeFailure && !m.present) return 0;
    report_.message = m.get();
    const int32_t answer = Call(follow);
    report_.message = nullptr;
    return follow == kOptimizeFailure ? answer : 0;
  }

  const CheckCallback<B>& caller_;
  OptimizeTexts texts_;
  CheckReport<B> report_;
};

// One data block held in the temporary buffer.
struct TempBuffData {
  std::vector<uint8_t> bytes;  // all its units, in memory order
  int32_t lbn = 0;             // its index position
  int32_t size = 0;            // bytes
};

template <class B>
class OptimizeRun {
 public:
  OptimizeRun(VkcDic<B>& dic, Reporter<B>& out)
      : file_(dic.File()), data_(file_.Data()), index_(file_.Index()), out_(out) {}

  int32_t Run() {
    try {
      if (Prepare() != 0) return Abandon(kReasonDiskError);
      const int32_t count = index_.Count();
      for (int32_t i = 0; i < count;) {
        Progress(i, count);
        if (out_.Send(kCheckPoll) != 0) return Stop();
        const int rc = Place(i);
        if (rc < 0) return Abandon(kReasonDiskError);
        if (rc > 0) ++i;  // 0: the buffer was emptied; block i starts again
      }
      return Finish();
    } catch (const std::bad_alloc&) {
      SetError(kErrNoMemory);
      return Abandon(kReasonDiskError);
    }
  }

 private:
  using FreeRun = EmptyList::Run;

  // Trims as the close would (the index area's spare room given back as
  // long as it has some, so that the close finds none to give and leaves no
  // free unit in front), then learns where every block is and how long,
  // refusing a file whose blocks do not tile soundly.
  int Prepare() {
    if (file_.ReadOnly()) return SetError(kErrReadOnly);
    if (data_.DropBuffer() != 0) return -1;
    runs_ = data_.FreeRuns();
    while (file_.GiveBackIndexRoom()) {
    }
    if (file_.CutFreeTail() != 0) return SetError(kErrReadWrite);
    // In order from here on: blocks freed one at a time go in their place.
    runs_->Sort();
    unit_ = data_.UnitSize();
    const int32_t end = data_.End();
    const int32_t count = index_.Count();
    owner_.assign(size_t(end), -1);
    units_.assign(size_t(count), 0);
    buffered_.assign(size_t(count), false);
    std::vector<std::pair<int32_t, int32_t>> spans;
    spans.reserve(size_t(count));
    for (int32_t i = 0; i < count; ++i) {
      const int32_t v = index_.BlockNumber(i);
      if (v < 0 || v >= end || owner_[size_t(v)] >= 0) return SetError(kErrDamaged);
      const int32_t word = data_.ReadSizeWord(v);
      if (word < 0) return -1;
      const int32_t n = word & kUnitCountMask;
      if (n == 0 || int64_t(v) + n > end) return SetError(kErrDamaged);
      owner_[size_t(v)] = i;
      units_[size_t(i)] = n;
      spans.emplace_back(v, n);
    }
    std::sort(spans.begin(), spans.end());
    for (size_t k = 0; k + 1 < spans.size(); ++k)
      if (spans[k].first + spans[k].second > spans[k + 1].first) return SetError(kErrDamaged);
    // A free chain that runs through a block's units (a damaged chain the
    // open followed) must not give them out.
    for (const auto& sp : spans) MarkUsed(sp.first, sp.second);
    return 0;
  }

  void Progress(int32_t i, int32_t count) {
    const int32_t percent = int32_t(int64_t(i) * 100 / count);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    out_.report().percent = percent;
    out_.Send(kOptimizeProgress);
  }

  // Places block i at s: 1 done, 0 when the buffer had to be emptied first
  // (block i is then tried again), -1 on failure.
  int Place(int32_t i) {
    const int32_t n = units_[size_t(i)];
    if (!buffered_[size_t(i)] && index_.BlockNumber(i) == s_) {
      // In place: its size word, read once before the run, is all that
      // was read of it, and nothing of it is written.
      s_ += n;
      return 1;
    }
    // Clear the target span [s, s + n) into the buffer.
    for (int32_t t = s_; t < s_ + n;) {
      const int32_t j = t < int32_t(owner_.size()) ? owner_[size_t(t)] : -1;
      if (j < 0) {
        ++t;
        continue;
      }
      // Only blocks not yet placed lie at or after s.
      if (j < i) return SetError(kErrDamaged);
      if (buffer_.size() >= size_t(kOptimizeBufferBlocks)) return Empty(t, true) == 0 ? 0 : -1;
      const int rc = Save(j, t);
      if (rc < 0) return -1;
      if (rc == 0) return Empty(t, true) == 0 ? 0 : -1;
      t += units_[size_t(j)];
    }
    std::vector<uint8_t> bytes;
    if (buffered_[size_t(i)]) {
      auto it = std::find_if(buffer_.begin(), buffer_.end(), [i](const TempBuffData& d) { return d.lbn == i; });
      bytes.swap(it->bytes);
      buffer_.erase(it);
      buffered_[size_t(i)] = false;
    } else {
      const int32_t v = index_.BlockNumber(i);
      if (Read(v, n, &bytes) != 0) return -1;
      owner_[size_t(v)] = -1;
      runs_->Insert(v, n);
    }
    if (data_.WriteBlockImage(s_, bytes.data(), bytes.size()) != 0) return -1;
    index_.SetBlockNumber(i, s_);
    owner_[size_t(s_)] = i;
    MarkUsed(s_, n);
    s_ += n;
    return 1;
  }

  // Block j, at unit t, into the buffer; its units become free. 1 saved, 0
  // when memory for the copy cannot be had and the buffer holds blocks
  // that can make room, -1 on failure.
  int Save(int32_t j, int32_t t) {
    const int32_t m = units_[size_t(j)];
    TempBuffData d;
    d.lbn = j;
    d.size = m * unit_;
    try {
      buffer_.reserve(size_t(kOptimizeBufferBlocks));
      if (Read(t, m, &d.bytes) != 0) return -1;
    } catch (const std::bad_alloc&) {
      if (buffer_.empty()) return SetError(kErrNoMemory);
      return 0;
    }
    buffer_.push_back(std::move(d));
    buffered_[size_t(j)] = true;
    owner_[size_t(t)] = -1;
    runs_->Insert(t, m);
    return 1;
  }

  int Read(int32_t at, int32_t units, std::vector<uint8_t>* out) {
    if (data_.ReadBlockCopy(at, out) != 0) return -1;
    // The size word was read before the run; a block that now claims
    // another length was overwritten by something that should not have.
    if (out->size() != size_t(units) * size_t(unit_)) return SetError(kErrDamaged);
    return 0;
  }

  // Writes every buffered block, in the order saved, to the first free run
  // that is long enough and starts at or after `barred` (anywhere when it
  // is negative), else at the end of the data area.
  int Empty(int32_t barred, bool flush) {
    for (TempBuffData& d : buffer_) {
      const int32_t m = d.size / unit_;
      int32_t place = TakeRun(m, barred);
      if (place < 0) {
        place = data_.End();
        if (int64_t(place) + m > B::kMaxDataUnits) return SetError(kErrDictionaryFull);
        data_.SetEnd(place + m);
        owner_.resize(size_t(place + m), -1);
      }
      if (data_.WriteBlockImage(place, d.bytes.data(), d.bytes.size()) != 0) return -1;
      index_.SetBlockNumber(d.lbn, place);
      owner_[size_t(place)] = d.lbn;
      buffered_[size_t(d.lbn)] = false;
    }
    buffer_.clear();
    // Written through the journal, not committed: the file's committed
    // state stays the one before the run.
    return flush ? file_.FullFlush() : 0;
  }

  int32_t TakeRun(int32_t units, int32_t barred) {
    for (const FreeRun& r : runs_->SortedRuns()) {
      if (barred >= 0 && r.start < barred) continue;
      if (r.length < units) continue;
      const int32_t start = r.start;
      runs_->TakeAt(start, units);
      return start;
    }
    return -1;
  }

  // Takes every free unit of [start, start + n) out of the free runs.
  void MarkUsed(int32_t start, int32_t n) {
    const int64_t end = int64_t(start) + n;
    std::vector<FreeRun> cut;
    for (const FreeRun& r : runs_->SortedRuns()) {
      if (r.start >= end) break;
      const int64_t lo = std::max<int64_t>(r.start, start);
      const int64_t hi = std::min<int64_t>(int64_t(r.start) + r.length, end);
      if (lo < hi) cut.push_back(FreeRun{int32_t(lo), int32_t(hi - lo)});
    }
    for (const FreeRun& c : cut) runs_->TakeAt(c.start, c.length);
  }

  int32_t Stop() {
    if (Empty(-1, false) != 0 || file_.CommitChange() != 0) return Abandon(kReasonDiskError);
    out_.Send(kOptimizeStopped);
    return 1;
  }

  int32_t Finish() {
    if (!buffer_.empty()) return Abandon(kReasonBufferLeft);
    runs_->Sort();
    const int32_t first = runs_->FirstStart();
    if (first >= 0 && first < s_) return Abandon(kReasonFreeUnitLeft);
    runs_->Clear();
    data_.SetEnd(s_);
    if (data_.Truncate() != 0) {
      SetError(kErrReadWrite);
      return Abandon(kReasonDiskError);
    }
    if (file_.CommitChange() != 0) return Abandon(kReasonDiskError);
    out_.report().percent = 100;
    out_.Send(kOptimizeProgress);
    out_.Send(kOptimizeDone);
    return 0;
  }

  // Ends a run that failed or would lose a block: the file goes back to
  // where the run began, with every entry it held. The file's objects are
  // read again, so nothing of them may be used after this.
  int32_t Abandon(int32_t reason) {
    file_.DiscardChange();
    out_.report().reason = reason;
    out_.Send(kOptimizeFailed);
    return -1;
  }

  int SetError(int32_t code) {
    file_.SetError(code);
    return -1;
  }

  DicFile<B>& file_;
  HVokaData<B>& data_;
  HVokaIndex<B>& index_;
  Reporter<B>& out_;
  EmptyList* runs_ = nullptr;
  int32_t unit_ = 0;
  int32_t s_ = 0;
  int32_t lastPercent_ = -1;
  std::vector<int32_t> owner_;   // unit -> the block on disk that starts there, -1
  std::vector<int32_t> units_;   // block -> its units
  std::vector<bool> buffered_;   // block -> held in the buffer
  std::vector<TempBuffData> buffer_;
};

}  // namespace

template <class B>
int32_t RunOptimize(VkcDic<B>& dic, const CheckCallback<B>& callback, OptimizeTexts texts) {
  Reporter<B> out(callback, texts ? texts : &MessageText);
  if (!dic.IsOpen()) {
    out.report().reason = kReasonDiskError;
    out.Send(kOptimizeFailed);
    return -1;
  }
  return OptimizeRun<B>(dic, out).Run();
}

template int32_t RunOptimize(VkcDic<TraitsVKCU8L>&, const CheckCallback<TraitsVKCU8L>&, OptimizeTexts);
template int32_t RunOptimize(VkcDic<TraitsVKCUB>&, const CheckCallback<TraitsVKCUB>&, OptimizeTexts);
template int32_t RunOptimize(VkcDic<TraitsVKCUL>&, const CheckCallback<TraitsVKCUL>&, OptimizeTexts);
template int32_t RunOptimize(VkcDic<TraitsVKC620>&, const CheckCallback<TraitsVKC620>&, OptimizeTexts);

}  // namespace vk
