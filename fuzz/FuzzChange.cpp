// fuzz_change: a sequence of changes decided by the script (record, update,
// erase, rename, translation and example, attribute and level, bulk
// registration under every clash rule and merge flag, fast mode on and off,
// close and reopen, read-only reopen, reads between).
//
// Script byte 0 chooses the dictionary. Even: a fresh one, created empty;
// odd: the image of the frame, damaged or not. While the dictionary is
// known to be sound (created here, or an image the check finds nothing
// in) every answer is compared with the entry model: each change's result,
// the word count, lookups, and whole walks in order. A change that fails
// must leave the dictionary as it was before the call or as at its last
// commit. A fresh dictionary must pass the check after the run. An image
// the check finds damaged only has to give known answers and codes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "CheckRunner.h"
#include "FuzzDic.h"
#include "entries/FieldText.h"
#include "support/EntryModel.h"

namespace {

using vkfuzz::Require;

template <class B>
class ChangeRun {
 public:
  using IChar = typename B::IChar;
  using Text = std::basic_string<IChar>;
  using Model = vktest::EntryModel<B>;
  using T = vkfuzz::Texts<B>;

  ChangeRun(const vkfuzz::Frame& frame) : frame_(frame), in_(frame.script) {}

  void Run() {
    const bool fresh = (in_.Byte() & 1) == 0;
    if (fresh) {
      dic_.reset(new vk::Voka<B>(&env_));
      // Without the create option: a dictionary made with it carries a type
      // byte that open refuses (28), by this engine's choice.
      Require(dic_->CreateDic(vkfuzz::kDicPath, nullptr, false) == 0, "create failed", dic_->Error());
      compare_ = true;
    } else {
      env_.Put(vkfuzz::kDicPath, frame_.image, frame_.imageSize);
      env_.Copy(vkfuzz::kDicPath, "/mem/copy.dic");
      compare_ = vkfuzz::RunCheckOn<B>(env_, "/mem/copy.dic", nullptr).sound();
      dic_.reset(new vk::Voka<B>(&env_));
      if (dic_->OpenDic(vkfuzz::kDicPath, nullptr, false) != 0) {
        Require(vkfuzz::KnownCode(dic_->Error()) && dic_->Error() != 0, "open refused with", dic_->Error());
        return;
      }
      // The model holds what the file holds; a text a search hands back
      // cut short cannot tell it.
      if (compare_ && !Listing(&model_)) compare_ = false;
      // The model knows the headword limit a new dictionary has (248); a
      // header that sets another (it decides which registration is too
      // long, and how much of a headword tells two apart) is not modelled.
      if (v().Header().maxWordLen() != int32_t(vk::kMaxWordUnits)) compare_ = false;
      for (const auto& e : model_.entries())
        if (Cut(e.second.fields)) compare_ = false;
      // The header's count may be off in a file the check finds sound (the
      // check corrects it without a report); changes keep it as far off.
      countOffset_ = int64_t(v().WordCount()) - int64_t(model_.size());
    }
    committed_ = model_;
    for (int i = 0; i < 200 && !in_.empty(); ++i) One();
    // What was made survives a close and an open.
    Reopen(false);
    if (!dic_->IsOpen()) return;
    if (compare_) Compare();
    dic_.reset();
    if (fresh) {
      const vkfuzz::CheckOutcome c = vkfuzz::RunCheckOn<B>(env_, vkfuzz::kDicPath, nullptr);
      Require(c.sound(), "the check finds problems in a dictionary made only by changes", c.problems, c.unreadable);
    }
  }

 private:
  vk::Voka<B>& v() { return *dic_; }

  Text Word() { return compare_ || in_.Byte() < 200 ? T::Word(in_) : T::Raw(in_, 300); }
  Text Field() { return compare_ || in_.Byte() < 220 ? T::Field(in_) : T::Raw(in_, 64); }
  vk::Japa<B> Fields() {
    vk::Japa<B> f;
    f.attribute = in_.Byte();
    f.translation = Field();
    const uint8_t b = in_.Byte();
    if (b & 1) f.example = Field();
    if (b & 2) f.pronunciation = Field();
    return f;
  }

  // Every entry in order through a whole-type search; false when the walk
  // fails.
  bool Listing(Model* out) {
    Model m;
    v().StartSearch(Empty(), vk::kTypeAll);
    const int64_t bound = env_.Size(vkfuzz::kDicPath) + 64 + 4 * int64_t(model_.size()) + 70000;
    for (int64_t i = 0;; ++i) {
      Require(i <= bound, "listing walk", static_cast<long>(i));
      vk::Japa<B> f;
      const int32_t rc = v().NextResult(&f);
      Require(vkfuzz::KnownStep(rc), "search step answered", rc);
      if (rc == vk::kStepEnd) break;
      if (rc == vk::kStepFailed) return false;
      if (rc == vk::kStepEntry) {
        const Text w = v().ResultWord();
        if (m.Has(w)) return false;
        m.entries()[Model::Key(w)] = typename Model::Entry{w, f};
      }
    }
    *out = m;
    return true;
  }

  // What a lookup or a search hands back of stored fields: each text cut
  // to the interface's capacity.
  static vk::Japa<B> Handed(vk::Japa<B> f) {
    auto cut = [](Text* t, size_t capacity) {
      if (t->size() > capacity - 1) t->resize(capacity - 1);
    };
    cut(&f.translation, vk::kTranslationCapacity);
    cut(&f.example, vk::kExampleCapacity);
    cut(&f.pronunciation, vk::kPronunciationCapacity);
    return f;
  }
  static bool Cut(const vk::Japa<B>& f) {
    return f.translation.size() >= vk::kTranslationCapacity - 1 || f.example.size() >= vk::kExampleCapacity - 1 ||
           f.pronunciation.size() >= vk::kPronunciationCapacity - 1;
  }
  // `a` as handed back, `b` as stored.
  static bool Same(const vk::Japa<B>& a, const vk::Japa<B>& stored) {
    const vk::Japa<B> b = Handed(stored);
    return a.attribute == b.attribute && a.translation == b.translation && a.example == b.example &&
           a.pronunciation == b.pronunciation;
  }
  // A listing against a model.
  static bool Same(const Model& a, const Model& b) {
    if (a.size() != b.size()) return false;
    auto i = a.entries().begin();
    for (auto j = b.entries().begin(); j != b.entries().end(); ++i, ++j)
      if (i->first != j->first || i->second.word != j->second.word || !Same(i->second.fields, j->second.fields))
        return false;
    return true;
  }

  void Compare() {
    Model now;
    Require(Listing(&now), "a sound dictionary's walk failed", v().Error());
    Require(now.size() == model_.size(), "entries in the walk and the model", long(now.size()), long(model_.size()));
    Require(Same(now, model_), "the walk differs from the model");
    Require(int64_t(v().WordCount()) - countOffset_ == int64_t(model_.size()), "word count", v().WordCount(),
            long(model_.size()));
  }

  // A change answered `rc` where the model says `want` (1 done, 0 nothing).
  // A failure must leave the entries as before the call or as at the last
  // commit; the model follows what is there.
  void Expect(int32_t rc, int32_t want, const Model& before, const char* what) {
    if (trace_)
      std::fprintf(stderr, "%s: %d (model %d), code %d, entries %zu, count %d%s\n", what, rc, want, v().Error(),
                   model_.size(), v().WordCount(), v().File().WriteThrough() ? "" : ", fast");
    if (!compare_) {
      Require(rc >= -1 && rc <= 1, what, rc);
      if (rc < 0) Require(vkfuzz::KnownCode(v().Error()), "error code", v().Error());
      return;
    }
    if (rc == -1) {
      const int32_t code = v().Error();
      Require(readOnly_ ? code == vk::kErrReadOnly
                        : code == vk::kErrTooLarge || code == vk::kErrDictionaryFull || code == vk::kErrWordTooLong,
              what, rc, code);
      Model now;
      Require(Listing(&now), "walk after a failed change", v().Error());
      const bool unchanged = Same(now, before);
      Require(unchanged || Same(now, committed_), "a failed change left a third state", rc, code);
      model_ = unchanged ? before : committed_;
      return;
    }
    Require(!readOnly_ || rc != 1, "a read-only dictionary changed", rc);
    if (readOnly_) {
      model_ = before;
      return;
    }
    Require(rc == want, what, rc, want);
    Require(int64_t(v().WordCount()) - countOffset_ == int64_t(model_.size()), "word count", v().WordCount(),
            long(model_.size()));
    if (v().File().WriteThrough()) committed_ = model_;
  }

  void One() {
    const uint8_t op = in_.Byte();
    const Model before = model_;
    switch (op % 13) {
      case 0:
      case 1: {
        const Text w = Word();
        const vk::Japa<B> f = Fields();
        const int32_t rc = v().RecordWord(w.c_str(), f);
        if (trace_)
          std::fprintf(stderr, "record %zu units, fields %zu/%zu/%zu, attribute 0x%02X\n", w.size(), f.translation.size(),
                       f.example.size(), f.pronunciation.size(), f.attribute);
        model_.Record(w, f);
        Expect(rc, 1, before, "record");
        break;
      }
      case 2: {
        const Text w = Word();
        const vk::Japa<B> f = Fields();
        const int32_t rc = v().UpdateWord(w.c_str(), f);
        const bool there = model_.Update(w, f);
        if (readOnly_ && !there) {
          Require(!compare_ || rc == 0, "update of an absent entry, read-only", rc);
          break;
        }
        Expect(rc, there ? 1 : 0, before, "update");
        break;
      }
      case 3: {
        const Text w = Word();
        const int32_t rc = v().EraseWord(w.c_str());
        if (trace_) std::fprintf(stderr, "erase %zu units%s\n", w.size(), model_.Has(w) ? " (there)" : "");
        model_.Erase(w);
        Expect(rc, 1, before, "erase");
        break;
      }
      case 4: {
        const Text from = Word(), to = Word();
        const int32_t rc = v().RenameWord(from.c_str(), to.c_str());
        const bool ok = model_.Rename(from, to);
        Expect(rc, ok ? 1 : 0, before, "rename");
        break;
      }
      case 5: {
        const Text w = Word(), t = Field();
        const bool example = in_.Bit();
        const int32_t rc = example ? v().ChangeExample(w.c_str(), t.c_str()) : v().ChangeTranslation(w.c_str(), t.c_str());
        const bool there = model_.ChangeField(w, t, example);
        Expect(rc, there ? 1 : 0, before, "change field");
        break;
      }
      case 6: {
        const Text w = Word();
        const int which = in_.Byte() % 3;
        const int32_t a = int32_t(in_.U16() % 300) - 20, b = int32_t(in_.Byte() % 20) - 5, c = int32_t(in_.Byte() % 20);
        const int32_t rc = which == 0 ? v().SetAttr(w.c_str(), a)
                           : which == 1 ? v().ChangeLevel(w.c_str(), a) : v().AddLevel(w.c_str(), a % 20, b, c);
        const bool there = model_.ChangeAttribute(w, which, which == 2 ? a % 20 : a, b, c);
        Expect(rc, there ? 1 : 0, before, "attribute");
        break;
      }
      case 7:
      case 8: {
        static const int32_t kFlags[] = {0x1, 0x10, 0x400, 0x800, 0x1000, 0x10000, 0x20000, 0x40000, 0x80000,
                                         0x100000, 0x200000};
        const int32_t rule = in_.Byte() % 8;
        const uint16_t bits = in_.U16();
        int32_t flags = 0;
        for (int i = 0; i < 11; ++i)
          if (bits & (1u << i)) flags |= kFlags[i];
        const Text w = Word();
        vk::Japa<B> n = Fields();
        const uint8_t m = in_.Byte();
        if (m & 1) n.translation += T::From(u"\u3010\u30EC\u30D9\u30EB\u30117");
        if (m & 2) n.translation = T::From(u"\u3010\uFF20\u3011") + n.translation;
        if ((m & 4) && model_.Has(w)) n = model_.Find(w)->fields;  // the same texts again
        vk::QueryCounters got = counts_;
        const int32_t rc = v().Query(w.c_str(), n, rule, flags, &got);
        vk::QueryCounters want = counts_;
        model_.Query(w, n, rule, flags, &want);
        if (compare_ && rc == 0 && !readOnly_) {
          Require(got.existing == want.existing && got.added == want.added && got.tooLong == want.tooLong,
                  "query counters", got.added, want.added);
        }
        counts_ = got;
        Expect(rc == 0 ? (readOnly_ ? 0 : 1) : rc, 1, before, "query");
        break;
      }
      case 9: {
        const bool on = in_.Bit();
        const int32_t rc = v().SetFast(on);
        if (trace_) std::fprintf(stderr, "fast mode %s: %d\n", on ? "on" : "off", rc);
        // 1 on, 0 off, -1 when the flush of switching off failed.
        Require(rc == (on ? 1 : 0) || rc == -1, "fast mode answered", rc);
        if (rc == 0) committed_ = model_;
        if (rc == -1) Expect(-1, 0, before, "fast mode");
        break;
      }
      case 10:
        Reopen(in_.Byte() < 40);
        if (!dic_->IsOpen()) {
          Require(!compare_, "a sound dictionary did not open again", dic_->Error());
          Reopen(false);
          if (!dic_->IsOpen()) in_ = vkfuzz::FuzzInput(nullptr, 0);
        }
        break;
      case 11: {
        const Text w = Word();
        vk::Japa<B> f;
        const int32_t rc = v().FindWord(w.c_str(), &f);
        if (compare_) {
          const typename Model::Entry* e = model_.Find(w);
          Require(rc == (e ? 1 : 0), "find", rc, e != nullptr);
          if (e) Require(Same(f, e->fields), "found fields differ from the model");
        }
        break;
      }
      default: {
        if (compare_ && (op & 0x80)) {
          Compare();
          break;
        }
        const int64_t size = env_.Size(vkfuzz::kDicPath) + 64 + 4 * int64_t(model_.size()) + 70000;
        vkfuzz::Reader<B> reader(v(), in_, size, false);
        reader.One();
        break;
      }
    }
  }

  void Reopen(bool readOnly) {
    if (trace_) std::fprintf(stderr, "reopen%s\n", readOnly ? " read-only" : "");
    dic_->CloseDic();
    dic_.reset(new vk::Voka<B>(&env_));
    if (dic_->OpenDic(vkfuzz::kDicPath, nullptr, readOnly) != 0) {
      Require(vkfuzz::KnownCode(dic_->Error()), "reopen refused with", dic_->Error());
      return;
    }
    readOnly_ = readOnly;
    committed_ = model_;
    if (compare_) Compare();
  }

  static const IChar* Empty() {
    static const IChar kEmpty[1] = {0};
    return kEmpty;
  }

  const vkfuzz::Frame& frame_;
  vkfuzz::FuzzInput in_;
  vkfuzz::MemEnv env_;
  std::unique_ptr<vk::Voka<B>> dic_;
  bool compare_ = false;
  bool readOnly_ = false;
  int64_t countOffset_ = 0;
  // VK_FUZZ_TRACE set: every change and its answer on standard error, for
  // reading a replayed crash.
  const bool trace_ = std::getenv("VK_FUZZ_TRACE") != nullptr;
  Model model_, committed_;
  vk::QueryCounters counts_;
};

struct Dispatch {
  const vkfuzz::Frame& frame;
  template <class B>
  void operator()() const {
    ChangeRun<B>(frame).Run();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const vkfuzz::Frame frame = vkfuzz::ReadFrame(data, size);
  vkfuzz::ForBuild(frame.build, Dispatch{frame});
  return 0;
}
