#include "EngineStore.h"

#include "Utf16.h"

namespace vkbench {
namespace {

// The clash rule and merge flags of a converter run: on a known headword,
// merge translation, example, pronunciation and attribute, CR LF between.
constexpr int32_t kClashMergeCrLf = 6;
constexpr int32_t kConverterMergeFlags = 0x7fff0000;

// Search flag words: every entry; headword prefix (ordered, case-sensitive);
// translation substring.
constexpr int32_t kSearchAll = 4;
constexpr int32_t kSearchHeadwordPrefix = 0x1001;
constexpr int32_t kSearchTranslation = 2;

constexpr unsigned char kFreshAttribute = 0x80;

size_t Len(const char16_t* s) {
  size_t n = 0;
  if (s)
    while (s[n]) ++n;
  return n;
}

std::vector<std::u16string> Convert(const std::vector<std::string>& v) {
  std::vector<std::u16string> out;
  out.reserve(v.size());
  for (const auto& s : v) out.push_back(ToUtf16(s));
  return out;
}

}  // namespace

EngineStore::EngineStore() : h_(VKCreateHandle()) {}

EngineStore::~EngineStore() {
  if (h_) VKDeleteHandle(h_);
}

void EngineStore::Load(const Workload& w) {
  entries_.clear();
  entries_.reserve(w.entries.size());
  for (const auto& e : w.entries) entries_.push_back({ToUtf16(e.word), ToUtf16(e.japa), ToUtf16(e.pron)});
  present_ = Convert(w.present);
  absent_ = Convert(w.absent);
  prefixes_ = Convert(w.prefixes);
  substrings_ = Convert(w.substrings);
}

bool EngineStore::Fail(const char* what) {
  error_ = std::string(what) + " failed, engine code " + std::to_string(h_ ? VKGetErrorCode(h_) : -1);
  return false;
}

bool EngineStore::Create(const std::string& path) {
  if (!h_) return Fail("VKCreateHandle");
  int32_t options = 0;
  if (!VKCreate(h_, ToUtf16(path).c_str(), &options)) return Fail("VKCreate");
  VKSetFastMode(h_, 1);
  param_ = VKQueryParam{};
  param_.clashRule = kClashMergeCrLf;
  param_.mergeFlags = kConverterMergeFlags;
  return true;
}

bool EngineStore::Add(size_t i, AddMode mode) {
  const Texts& t = entries_[i];
  VKRecordData rec{};
  rec.word = t.word.c_str();
  rec.japa = t.japa.empty() ? nullptr : t.japa.c_str();
  rec.pron = t.pron.empty() ? nullptr : t.pron.c_str();
  rec.attr = kFreshAttribute;
  if (mode == AddMode::kMerge) return VKQueryRecord(h_, &rec, &param_) == 0 || Fail("VKQueryRecord");
  return VKRecord(h_, &rec) == 1 || Fail("VKRecord");
}

bool EngineStore::OpenForEdit(const std::string& path) {
  // A dictionary opens with fast mode off: every change is flushed and
  // committed before its call returns.
  return VKOpen(h_, ToUtf16(path).c_str(), 0) == 1 || Fail("VKOpen");
}

bool EngineStore::Finish() { return VKClose(h_) == 1 || Fail("VKClose"); }

bool EngineStore::Open(const std::string& path) {
  return VKOpen(h_, ToUtf16(path).c_str(), 1) == 1 || Fail("VKOpen");
}

void EngineStore::Close() { VKClose(h_); }

void EngineStore::Deliver(const VKRecordData& rec, const ScanSink& sink) {
  touched_ += Len(rec.word) + Len(rec.japa) + Len(rec.exp) + Len(rec.pron) + rec.attr;
  if (sink) sink({ToUtf8(rec.word), ToUtf8(rec.japa), ToUtf8(rec.exp), ToUtf8(rec.pron)});
}

int EngineStore::Find(ProbeSet set, size_t probe) {
  const std::u16string& word = (set == ProbeSet::kPresent ? present_ : absent_)[probe];
  VKRecordData rec{};
  if (!VKFind(h_, word.c_str(), &rec)) return 0;
  Deliver(rec, nullptr);
  return 1;
}

int64_t EngineStore::Walk(const char16_t* pattern, int32_t flags, const ScanSink& sink) {
  if (!VKInitSearch(h_, pattern, flags)) {
    Fail("VKInitSearch");
    return -1;
  }
  int64_t n = 0;
  for (;;) {
    VKRecordData rec{};
    int32_t r = VKGetNextSearch(h_, &rec);
    if (r == 1) {
      ++n;
      Deliver(rec, sink);
    } else if (r == -2) {
      return n;
    } else if (r != 0) {
      Fail("VKGetNextSearch");
      return -1;
    }
  }
}

int64_t EngineStore::Scan(const ScanSink& sink) { return Walk(nullptr, kSearchAll, sink); }

int64_t EngineStore::PrefixSearch(size_t k, const ScanSink& sink) {
  return Walk(prefixes_[k].c_str(), kSearchHeadwordPrefix, sink);
}

int64_t EngineStore::SubstringSearch(size_t k, const ScanSink& sink) {
  return Walk(substrings_[k].c_str(), kSearchTranslation, sink);
}

}  // namespace vkbench
