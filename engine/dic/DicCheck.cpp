// The check's link pass and data pass share one report, one set of bounds on
// what a damaged file may claim and one walk of the blocks; split apart they
// would each need the other's state, so the file is longer than most.
#include "dic/DicCheck.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "text/Messages.h"
#include "dic/CheckText.h"
#include "entries/EntryLayout.h"
#include "entries/HeadwordForm.h"
#include "format/ByteOrder.h"

namespace vk {

namespace {

// The texts the engine carries itself rather than in the message table.
constexpr char16_t kUnlinkedFreeText[] = u"リンクされていない空きブロックです";
constexpr char16_t kMissingBlockText[] = u"存在しない物理ブロックを示しています.";

// Message ids of the check.
enum : int32_t {
  kMsgIndexMismatch = 402,
  kMsgNoBlockEnd = 404,
  kMsgBodyTooLong = 405,
  kMsgCompressionTooLarge = 406,
  kMsgWordTooLong = 407,
  kMsgTailTooLong = 412,
  kMsgFieldEnd = 413,
  kMsgLinkCheck = 420,
  kMsgBadFreeLink = 421,
  kMsgFreeInUse = 423,
  kMsgUnlinkedBlock = 427,
  kMsgBadIndexValue = 429,
  kMsgZeroBlock = 431,
  kMsgLinksClean = 433,
  kMsgDetail = 436,
  kMsgFreeChainPhase = 437,
  kMsgUnusedPhase = 438,
  kMsgUsedPhase = 439,
  kMsgDicClean = 440,
  kMsgStopped = 441,
  kMsgSharedUnit = 442,
  kMsgLoop = 444,
  kMsgProblemsFound = 73,
};

// Largest compression count and headword length the data check accepts.
constexpr int32_t kMaxCompression = 246;
constexpr int32_t kMaxWord = 248;

template <class B>
class CheckRun {
 public:
  using Unit = typename B::Unit;
  using IChar = typename B::IChar;
  using Text = std::basic_string<IChar>;
  using L = EntryLayout<B>;

  CheckRun(VkcDic<B>& dic, const CheckCallback<B>& callback)
      : dic_(dic), file_(dic.File()), callback_(callback) {}

  void Run() {
    fatal_ = warning_ = 0;
    const bool linkPassed = LinkCheck();
    if (!stopped_ && !freeChainFailed_ && answer_ != kAnswerRepair) DataCheck();
    (void)linkPassed;
    WriteBack();
  }

 private:
  // ---- talking to the caller ----

  int32_t Send(int32_t kind) { return callback_ ? callback_(kind, report_) : 0; }

  void Status(int32_t id) {
    CheckMessage<IChar> m = CheckMessage<IChar>::Table(MessageText(id));
    report_.message = m.get();
    report_.detail = nullptr;
    Send(kCheckStatus);
    report_.message = nullptr;
  }

  // Reports a problem and answers what the caller said; a stop is noted.
  int32_t Problem(const CheckMessage<IChar>& m, const Text* detail) {
    report_.message = m.get();
    report_.detail = detail ? detail->c_str() : nullptr;
    answer_ = Send(kCheckProblem);
    report_.message = nullptr;
    report_.detail = nullptr;
    if (answer_ == kAnswerStop) stopped_ = true;
    return answer_;
  }

  void Position(int32_t n) {
    report_.position = n;
    Send(kCheckPosition);
  }

  // False when the caller asks to stop.
  bool Poll() {
    if (Send(kCheckPoll) != 0) {
      stopped_ = true;
      polledStop_ = true;
      return false;
    }
    return true;
  }

  // The detail of a problem at `offset` inside the data block that index
  // entry `lbn` (value `value`) names.
  Text Detail(int32_t value, int32_t lbn, size_t offset) {
    DicHeader& h = file_.Header();
    const int64_t fileOffset =
        (int64_t(h.indexBlocks()) + value) * h.blockSize() + uint16_t(h.headerSize()) + int64_t(offset);
    return CheckMessage<IChar>::Format(
               MessageText(kMsgDetail),
               {CheckArg<IChar>::Number(value & 0xFFF), CheckArg<IChar>::Number(((value >> 12) & 0xF) + 1),
                CheckArg<IChar>::Number(lbn), CheckArg<IChar>::Number(int64_t(offset) & 0xFFFF),
                CheckArg<IChar>::Number(fileOffset & 0xFFFFFFFF)})
        .text;
  }

  static CheckMessage<IChar> WithUnit(const char16_t* text, int32_t unit) {
    return CheckMessage<IChar>::Format(u"%s [pbn=%d]",
                                       {CheckArg<IChar>::Table(text), CheckArg<IChar>::Number(unit)});
  }

  // ---- the link check ----

  // True when it found nothing and was not stopped.
  bool LinkCheck() {
    Status(kMsgLinkCheck);
    HVokaData<B>& data = file_.Data();
    blockCount_ = data.End();
    onChain_.assign(size_t(blockCount_), false);
    problems_ = 0;
    bool clean = FreeChainPhase();
    if (clean && !stopped_) clean = UnusedPhase();
    if (clean && !stopped_) clean = UsedPhase();
    std::vector<bool>().swap(onChain_);
    if (clean && !stopped_ && problems_ == 0) {
      Status(kMsgLinksClean);
      return true;
    }
    return false;
  }

  void CountFatal() {
    ++fatal_;
    ++problems_;
  }

  bool ReadAt(int32_t unit, void* out, uint32_t n) {
    HVokaData<B>& data = file_.Data();
    if (data.SeekToBlock(unit) != 0) return false;
    return file_.File().Read(out, n) == int32_t(n);
  }

  bool FreeChainPhase() {
    int32_t u = file_.Header().freeBlock();
    if (u == -1) return true;
    Status(kMsgFreeChainPhase);
    int32_t p = -1;
    // Each unit is visited once at most: the walk ends at the first unit
    // seen again, so a looping chain ends.
    for (;;) {
      uint8_t raw[6];
      if (u < 0 || u >= blockCount_ || !ReadAt(u, raw, 6)) {
        CountFatal();
        Problem(CheckMessage<IChar>::Format(MessageText(kMsgBadFreeLink),
                                            {CheckArg<IChar>::Number(p), CheckArg<IChar>::Number(u)}),
                nullptr);
        break;
      }
      if (LoadLE16(raw) != 0) {
        CountFatal();
        Problem(CheckMessage<IChar>::Format(MessageText(kMsgFreeInUse), {CheckArg<IChar>::Number(u)}), nullptr);
        break;
      }
      onChain_[size_t(u)] = true;
      const int32_t next = static_cast<int32_t>(LoadLE32(raw + 2));
      if (next == -1) return true;
      if (next >= 0 && next < blockCount_ && onChain_[size_t(next)]) {
        ++problems_;
        Problem(WithUnit(MessageText(kMsgLoop), next), nullptr);
        break;
      }
      p = u;
      u = next;
    }
    freeChainFailed_ = true;
    return false;
  }

  // The index entries by value, for the unused-unit phase.
  std::vector<std::pair<int32_t, int32_t>> IndexByValue() {
    HVokaIndex<B>& index = file_.Index();
    std::vector<std::pair<int32_t, int32_t>> byValue;
    byValue.reserve(size_t(index.Count()));
    for (int32_t i = 0; i < index.Count(); ++i) byValue.emplace_back(index.BlockNumber(i), i);
    std::sort(byValue.begin(), byValue.end());
    return byValue;
  }

  bool UnusedPhase() {
    Status(kMsgUnusedPhase);
    const auto byValue = IndexByValue();
    auto named = [&](int32_t unit) {
      auto it = std::lower_bound(byValue.begin(), byValue.end(), std::make_pair(unit, int32_t(-1)));
      return it != byValue.end() && it->first == unit ? it->second : -1;
    };
    const int32_t before = problems_;
    for (int32_t i = 0; i < blockCount_;) {
      if (i % 10 == 0) {
        report_.percent = static_cast<int32_t>(int64_t(i) * 100 / blockCount_);
        Position(i);
        if (!Poll()) return false;
      }
      if (named(i) < 0) {
        uint8_t raw[4];
        if (!ReadAt(i, raw, 4)) break;
        const uint16_t sizeWord = Load16<B::kFileOrder>(raw);
        if (sizeWord != 0) {
          CountFatal();
          if (Problem(WithUnit(MessageText(kMsgUnlinkedBlock), i), nullptr) == kAnswerStop) return false;
        } else if (!onChain_[size_t(i)]) {
          CountFatal();
          if (Problem(WithUnit(kUnlinkedFreeText, i), nullptr) == kAnswerStop) return false;
        }
        ++i;
        continue;
      }
      const int32_t sizeWord = file_.Data().ReadSizeWord(i);
      int32_t span = sizeWord < 0 ? 1 : (sizeWord & kUnitCountMask);
      if (span < 1) span = 1;
      const int32_t last = int32_t(std::min<int64_t>(int64_t(i) + span, blockCount_));
      for (int32_t u = i + 1; u < last; ++u) {
        const int32_t other = named(u);
        if (other < 0) continue;
        Position(u);
        ++problems_;
        if (Problem(CheckMessage<IChar>::Format(u"%s [%d,%d]", {CheckArg<IChar>::Table(MessageText(kMsgSharedUnit)),
                                                                CheckArg<IChar>::Number(u),
                                                                CheckArg<IChar>::Number(other)}),
                    nullptr) == kAnswerStop)
          return false;
      }
      i = last;
    }
    return problems_ == before;
  }

  bool UsedPhase() {
    Status(kMsgUsedPhase);
    HVokaIndex<B>& index = file_.Index();
    const int32_t before = problems_;
    for (int32_t i = 0; i < index.Count();) {
      const int32_t v = index.BlockNumber(i);
      if (v % 10 == 0) {
        report_.percent = static_cast<int32_t>(int64_t(i) * 100 / index.Count());
        Position(v);
        if (!Poll()) return false;
      }
      if (v < 0 || v >= blockCount_) {
        CountFatal();
        int32_t answer = answer_;
        if (answer_ != kAnswerRepairAll) {
          answer = Problem(CheckMessage<IChar>::Format(MessageText(kMsgBadIndexValue),
                                                       {CheckArg<IChar>::Number(i), CheckArg<IChar>::Number(v)}),
                           nullptr);
          if (answer == kAnswerStop) return false;
        }
        if (answer != kAnswerGoOn && !file_.ReadOnly()) {
          // The entry goes; the one after it now stands at i.
          index.Remove(i);
          dic_.indexRemoved = true;
          continue;
        }
        ++i;
        continue;
      }
      const int32_t sizeWord = file_.Data().ReadSizeWord(v);
      if (sizeWord < 0 || int64_t(v) + UnitsOf(uint16_t(sizeWord)) > blockCount_) {
        CountFatal();
        const Text detail = Detail(v, i, 0);
        if (Problem(CheckMessage<IChar>::Plain(kMissingBlockText), &detail) == kAnswerStop) return false;
      } else if (sizeWord == 0) {
        CountFatal();
        if (Problem(CheckMessage<IChar>::Format(MessageText(kMsgZeroBlock),
                                                {CheckArg<IChar>::Number(i), CheckArg<IChar>::Number(v)}),
                    nullptr) == kAnswerStop)
          return false;
      }
      ++i;
    }
    return problems_ == before;
  }

  // ---- the data check ----

  void DataCheck() {
    HVokaIndex<B>& index = file_.Index();
    entries_ = 0;
    dataProblems_ = 0;
    blockFatal_ = blockWarning_ = 0;
    std::vector<uint8_t> block;
    bool ended = false;
    for (int32_t i = 0; i <= index.Count(); ++i) {
      fatal_ += blockFatal_;
      warning_ += blockWarning_;
      blockFatal_ = blockWarning_ = 0;
      if (!Poll()) break;
      if (i == index.Count()) break;
      const int32_t v = index.BlockNumber(i);
      if (file_.Data().ReadBlockCopy(v, &block) != 0) {
        Send(kCheckUnreadable);
        ended = true;
        break;
      }
      if (!CheckBlock(i, v, block)) break;
    }
    dic_.checkedWord = nullptr;
    if (ended || (stopped_ && !polledStop_)) return;
    if (polledStop_) {
      Status(kMsgStopped);
    } else {
      report_.percent = 100;
      if (fatal_ == 0 && warning_ == 0) {
        Status(kMsgDicClean);
        // Only a count from a walk that met nothing at all is believed: a
        // block left at a mismatch was not counted.
        if (dataProblems_ == 0 && file_.Data().WordCount() != entries_) {
          file_.Data().SetWordCount(entries_);
          wordCountChanged_ = true;
        }
      } else {
        Status(kMsgProblemsFound);
      }
    }
    report_.words = static_cast<int32_t>(entries_);
    Send(kCheckProgress);
  }

  // Reports a problem of the block at index entry lbn; false on a stop.
  bool BlockProblem(const CheckMessage<IChar>& m, int32_t value, int32_t lbn, size_t offset, int32_t* counter) {
    if (counter) ++*counter;
    ++dataProblems_;
    const Text detail = Detail(value, lbn, offset);
    return Problem(m, &detail) != kAnswerStop;
  }

  CheckMessage<IChar> Numbers(int32_t id, std::initializer_list<int64_t> numbers) {
    std::vector<CheckArg<IChar>> args;
    for (int64_t n : numbers) args.push_back(CheckArg<IChar>::Number(n));
    return CheckMessage<IChar>::Format(MessageText(id), args);
  }

  // The headword at p, up to its zero unit or `max` units or the end.
  static size_t WordAt(const uint8_t* p, size_t bytes, size_t max, Unit* out) {
    size_t n = 0;
    while (n < max && (n + 1) * L::kUnitBytes <= bytes) {
      const Unit u = L::LoadUnit(p + n * L::kUnitBytes);
      if (u == Unit(0)) break;
      if (out) out[n] = u;
      ++n;
    }
    return n;
  }

  // Whether a zero unit ends a text at p within `bytes`; *end is just past it.
  static bool TextEnd(const uint8_t* p, size_t bytes, size_t from, size_t* end) {
    for (size_t i = from; i + L::kUnitBytes <= bytes; i += L::kUnitBytes) {
      if (L::LoadUnit(p + i) == Unit(0)) {
        *end = i + L::kUnitBytes;
        return true;
      }
    }
    *end = bytes;
    return false;
  }

  // Whether the field area a[0, len) is consumed exactly; *stop is where
  // the walk stopped.
  static bool FieldsExact(const uint8_t* a, size_t len, bool extended, size_t* stop) {
    size_t pos = 0;
    if (!extended) {
      // The simple form is the translation alone, which holds no zero unit.
      if (len % L::kUnitBytes != 0) {
        *stop = len - len % L::kUnitBytes;
        return false;
      }
      size_t end;
      if (TextEnd(a, len, 0, &end)) {
        *stop = end - L::kUnitBytes;
        return false;
      }
      *stop = len;
      return true;
    }
    if (!TextEnd(a, len, 0, &pos)) {
      *stop = len;
      return false;
    }
    for (;;) {
      if (pos + L::kUnitBytes > len) {
        *stop = pos;
        return false;
      }
      const uint8_t code = a[pos];
      pos += L::kUnitBytes;
      if (code & 0x50) {
        if (pos + 2 > len) {
          *stop = pos;
          return false;
        }
        pos += 2 + LoadLE16(a + pos);
        if (pos > len) {
          *stop = len;
          return false;
        }
      } else if (code == 5) {
        pos += 6;
        if (pos > len) {
          *stop = len;
          return false;
        }
      } else if (code == kFieldEnd) {
        *stop = pos;
        return pos == len;
      } else if (!TextEnd(a, len, pos, &pos)) {
        *stop = len;
        return false;
      }
    }
  }

  Text InterfaceWord(const Unit* w, size_t n) { return HeadwordForm<B>::ToInterface(w, n); }

  CheckMessage<IChar> Mismatch(int32_t value, int32_t lbn, const Unit* indexWord, const Unit* blockWord,
                               size_t blockLen) {
    size_t indexLen = 0;
    while (indexWord[indexLen] != Unit(0)) ++indexLen;
    return CheckMessage<IChar>::Format(
        MessageText(kMsgIndexMismatch),
        {CheckArg<IChar>::Number(value), CheckArg<IChar>::Number(lbn),
         CheckArg<IChar>::Word(InterfaceWord(indexWord, indexLen)),
         CheckArg<IChar>::Word(InterfaceWord(blockWord, blockLen))});
  }

  static bool SameWord(const Unit* a, const Unit* b, size_t bLen) {
    for (size_t i = 0; i < bLen; ++i)
      if (a[i] != b[i]) return false;
    return a[bLen] == Unit(0);
  }

  void Progress() {
    if (entries_ % 100 != 0) return;
    const uint32_t total = file_.Data().WordCount();
    report_.percent = total == 0 ? 0 : static_cast<int32_t>(std::min<uint64_t>(uint64_t(entries_) * 100 / total, 100));
    report_.words = static_cast<int32_t>(entries_);
    Send(kCheckProgress);
  }

  // Checks the data block of index entry lbn. False when the check stops.
  bool CheckBlock(int32_t lbn, int32_t value, const std::vector<uint8_t>& block) {
    const uint8_t* p = block.data();
    const uint16_t sizeWord = LoadLE16(p);
    // B bytes by its size word; the copy holds at least that many.
    const size_t bytes = std::min(block.size(), size_t(file_.Data().UnitSize()) * (sizeWord & kUnitCountMask));
    const Unit* indexWord = file_.Index().Word(lbn);
    Unit word[kWordBufferUnits] = {};
    dic_.checkedWord = word;

    if (L::IsLongBlock(p)) {
      const size_t len = WordAt(p + 8, block.size() > 8 ? block.size() - 8 : 0, kMaxWordUnits, word);
      if (len > 0 && !SameWord(indexWord, word, len))
        if (!BlockProblem(Mismatch(value, lbn, indexWord, word, len), value, lbn, 0, nullptr)) return false;
      const uint64_t body = LoadLE32(p + 2);
      if (2 + body + 10 > bytes) return BlockProblem(Numbers(kMsgNoBlockEnd, {}), value, lbn, 2, &blockWarning_);
      ++entries_;
      return true;
    }

    const int64_t maxBody = int64_t(bytes) - 5;
    for (size_t n = kFirstEntryOffset; ; ) {
      // The entry's length field must lie inside the block.
      if (n + 2 > bytes) return BlockProblem(Numbers(kMsgNoBlockEnd, {}), value, lbn, n, &blockWarning_);
      const uint32_t body = LoadLE16(p + n);
      if (body == 0) return true;
      if (int64_t(body) > maxBody)
        return BlockProblem(Numbers(kMsgBodyTooLong, {body, maxBody}), value, lbn, n, &blockFatal_);
      if (n + kShortHeaderBytes > bytes)
        return BlockProblem(Numbers(kMsgNoBlockEnd, {}), value, lbn, n, &blockWarning_);
      const int32_t compression = p[n + 2];
      const uint8_t attribute = p[n + 3];
      if (compression > kMaxCompression)
        return BlockProblem(Numbers(kMsgCompressionTooLarge, {compression}), value, lbn, n, &blockFatal_);
      const size_t tailAt = n + kShortHeaderBytes;
      // Only as much of the tail as can still make a valid headword is read.
      const size_t tail = WordAt(p + tailAt, bytes - tailAt, size_t(kMaxWord - compression) + 1, word + compression);
      if (compression + int64_t(tail) > kMaxWord)
        return BlockProblem(Numbers(kMsgWordTooLong, {compression + int64_t(tail), kMaxWord}), value, lbn, n,
                            &blockFatal_);
      const size_t wordLen = size_t(compression) + tail;
      word[wordLen] = Unit(0);
      if (n == kFirstEntryOffset && !SameWord(indexWord, word, wordLen))
        return BlockProblem(Mismatch(value, lbn, indexWord, word, wordLen), value, lbn, n, nullptr);
      Progress();
      ++entries_;
      const uint64_t tailBytes = uint64_t(tail + 1) * L::kUnitBytes;
      const size_t next = n + kShortHeaderBytes + body;
      if (tailBytes > body) {
        if (!BlockProblem(Numbers(kMsgTailTooLong, {int64_t(tailBytes), body}), value, lbn, n, &blockFatal_))
          return false;
      } else {
        const size_t area = tailAt + size_t(tailBytes);
        const size_t areaEnd = std::min(next, bytes);
        size_t stop = 0;
        if (area > areaEnd || !FieldsExact(p + area, areaEnd - area, (attribute & 0x10) != 0, &stop)) {
          if (area <= areaEnd) stop += area;
          if (!BlockProblem(Numbers(kMsgFieldEnd, {}), value, lbn, stop, nullptr)) return false;
        }
      }
      n = next;
    }
  }

  // The repairs go to the file as one committed change.
  void WriteBack() {
    if (file_.ReadOnly() || !file_.IsOpen()) return;
    if (!dic_.indexRemoved && !wordCountChanged_) return;
    file_.Index().MarkChanged();
    file_.CommitChange();
    file_.EndChange();
  }

  VkcDic<B>& dic_;
  DicFile<B>& file_;
  const CheckCallback<B>& callback_;
  CheckReport<B> report_;
  int32_t answer_ = kAnswerGoOn;  // the latest answer to a problem
  bool stopped_ = false;
  bool polledStop_ = false;
  bool freeChainFailed_ = false;
  bool wordCountChanged_ = false;
  int32_t fatal_ = 0;
  int32_t warning_ = 0;
  int32_t blockFatal_ = 0;
  int32_t blockWarning_ = 0;
  int32_t problems_ = 0;      // reported in the link check, counted or not
  int32_t dataProblems_ = 0;  // reported in the data check, counted or not
  int32_t blockCount_ = 0;
  uint32_t entries_ = 0;
  std::vector<bool> onChain_;
};

}  // namespace

template <class B>
void RunCheck(VkcDic<B>& dic, const CheckCallback<B>& callback) {
  if (!dic.IsOpen()) return;
  CheckRun<B>(dic, callback).Run();
}

template void RunCheck(VkcDic<TraitsVKCU8L>&, const CheckCallback<TraitsVKCU8L>&);
template void RunCheck(VkcDic<TraitsVKCUB>&, const CheckCallback<TraitsVKCUB>&);
template void RunCheck(VkcDic<TraitsVKCUL>&, const CheckCallback<TraitsVKCUL>&);
template void RunCheck(VkcDic<TraitsVKC620>&, const CheckCallback<TraitsVKC620>&);

}  // namespace vk
