#include "EngineStore.h"

#include "Utf16.h"
#include "util/ProgramFolder.h"

namespace vkbench {
namespace {

// The merge flags of a converter run: on a known headword, every merge bit
// from translations up (translation, example, pronunciation, attribute).
constexpr int32_t kConverterMergeFlags = INT32_MAX & ~(VK_MERGE_TRANSLATIONS - 1);

// What the benchmark calls.
const char* const kExports[] = {"VKCreateHandle", "VKDeleteHandle", "VKCreate",     "VKOpen",
                                "VKClose",        "VKSetFastMode",  "VKQueryRecord", "VKRecord",
                                "VKFind",         "VKInitSearch",   "VKGetNextSearch",
                                "VKGetErrorCode"};

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

EngineStore::EngineStore() {
  if (!lib_.Load("VKCU8L.DLL", vk::ProgramFolder(), kExports)) {
    error_ = lib_.loadError();
    return;
  }
  api_ = lib_.Exports<char16_t>();
  h_ = api_.CreateHandle();
}

EngineStore::~EngineStore() {
  if (h_) api_.DeleteHandle(h_);
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
  error_ = std::string(what) + " failed, engine code " + std::to_string(h_ ? api_.GetErrorCode(h_) : -1);
  return false;
}

bool EngineStore::Create(const std::string& path) {
  if (!lib_.IsLoaded()) return false;  // error_ tells why
  if (!h_) return Fail("VKCreateHandle");
  int32_t options = 0;
  if (!api_.Create(h_, ToUtf16(path).c_str(), &options)) return Fail("VKCreate");
  api_.SetFastMode(h_, 1);
  param_ = VKQueryParam{};
  param_.clashRule = VK_CLASH_MERGE_LINES;
  param_.mergeFlags = kConverterMergeFlags;
  return true;
}

bool EngineStore::Add(size_t i, AddMode mode) {
  const Texts& t = entries_[i];
  VKRecordDataW rec{};
  rec.word = t.word.c_str();
  rec.japa = t.japa.empty() ? nullptr : t.japa.c_str();
  rec.pron = t.pron.empty() ? nullptr : t.pron.c_str();
  rec.attr = kFreshAttribute;
  if (mode == AddMode::kMerge) return api_.QueryRecord(h_, &rec, &param_) == 0 || Fail("VKQueryRecord");
  return api_.Record(h_, &rec) == 1 || Fail("VKRecord");
}

bool EngineStore::OpenForEdit(const std::string& path) {
  // A dictionary opens with fast mode off: every change is flushed and
  // committed before its call returns.
  return api_.Open(h_, ToUtf16(path).c_str(), 0) == 1 || Fail("VKOpen");
}

bool EngineStore::Finish() { return api_.Close(h_) == 1 || Fail("VKClose"); }

bool EngineStore::Open(const std::string& path) {
  return api_.Open(h_, ToUtf16(path).c_str(), 1) == 1 || Fail("VKOpen");
}

void EngineStore::Close() { api_.Close(h_); }

void EngineStore::Deliver(const VKRecordDataW& rec, const ScanSink& sink) {
  touched_ += Len(rec.word) + Len(rec.japa) + Len(rec.exp) + Len(rec.pron) + rec.attr;
  if (sink) sink({ToUtf8(rec.word), ToUtf8(rec.japa), ToUtf8(rec.exp), ToUtf8(rec.pron)});
}

int EngineStore::Find(ProbeSet set, size_t probe) {
  const std::u16string& word = (set == ProbeSet::kPresent ? present_ : absent_)[probe];
  VKRecordDataW rec{};
  if (!api_.Find(h_, word.c_str(), &rec)) return 0;
  Deliver(rec, nullptr);
  return 1;
}

int64_t EngineStore::Walk(const char16_t* pattern, int32_t flags, const ScanSink& sink) {
  if (!api_.InitSearch(h_, pattern, flags)) {
    Fail("VKInitSearch");
    return -1;
  }
  int64_t n = 0;
  for (;;) {
    VKRecordDataW rec{};
    int32_t r = api_.GetNextSearch(h_, &rec);
    if (r == VK_STEP_ENTRY) {
      ++n;
      Deliver(rec, sink);
    } else if (r == VK_STEP_END) {
      return n;
    } else if (r != VK_STEP_AGAIN) {
      Fail("VKGetNextSearch");
      return -1;
    }
  }
}

int64_t EngineStore::Scan(const ScanSink& sink) { return Walk(nullptr, VK_SEARCH_ALL, sink); }

// Headword prefix (ordered, case-sensitive).
int64_t EngineStore::PrefixSearch(size_t k, const ScanSink& sink) {
  return Walk(prefixes_[k].c_str(), VK_SEARCH_PREFIX | VK_SEARCH_HEADWORD, sink);
}

int64_t EngineStore::SubstringSearch(size_t k, const ScanSink& sink) {
  return Walk(substrings_[k].c_str(), VK_SEARCH_TRANSLATION, sink);
}

}  // namespace vkbench
