#include "cli/SharedToolDic.h"

#include "dic/Voka.h"
#include "file/ErrorCodes.h"
#include "format/BuildTraits.h"
#include "util/Utf8.h"

namespace vk {

namespace {

std::string In(const std::string& s, char) { return s; }
std::u16string In(const std::string& s, char16_t) { return FromUtf8Text(s); }
std::string Out(const std::string& s) { return s; }
std::string Out(const std::u16string& s) { return ToUtf8Text(s.c_str()); }

template <class B>
class SharedOf : public TSharedToolDic {
  using IChar = typename B::IChar;
  using Text = std::basic_string<IChar>;

 public:
  ~SharedOf() override { Close(); }

  bool Open(const std::string& path, bool readOnly) override {
    Close();
    dic_ = std::make_unique<Voka<B>>();
    if (dic_->OpenShared(path, nullptr, readOnly) == 0) return true;
    lastError_ = dic_->Error();
    dic_.reset();
    return false;
  }

  bool Close() override {
    if (!dic_) return true;
    const bool ok = dic_->CloseFile() == 0;
    lastError_ = ok ? 0 : dic_->Error();
    dic_.reset();
    return ok;
  }

  bool IsOpen() const override { return dic_ != nullptr; }

  bool SetFastMode(bool on) override { return dic_ && dic_->SetFast(on) >= 0; }

  int Record(const TToolEntry& e) override { return Answer(dic_->RecordWord(Word(e.word).c_str(), Fields(e))); }
  int Update(const TToolEntry& e) override { return Answer(dic_->UpdateWord(Word(e.word).c_str(), Fields(e))); }
  int Erase(const std::string& word) override { return Answer(dic_->EraseWord(Word(word).c_str())); }
  int Rename(const std::string& oldWord, const std::string& newWord) override {
    return Answer(dic_->RenameWord(Word(oldWord).c_str(), Word(newWord).c_str()));
  }

  int Find(const std::string& word, TToolEntry* e) override {
    Japa<B> f;
    const int32_t rc = dic_->FindWord(Word(word).c_str(), &f);
    if (rc != 1) return Answer(rc);
    Fill(Out(Text(dic_->CursorWord())), f, e);
    return 1;
  }

  bool Search(const std::string& pattern, int32_t flags,
              const std::function<bool(const TToolEntry&)>& each) override {
    const Text p = Word(pattern);
    dic_->StartSearch(pattern.empty() ? nullptr : p.c_str(), flags);
    Japa<B> f;
    TToolEntry e;
    for (;;) {
      const int32_t rc = dic_->NextResult(&f);
      if (rc == kStepAgain) continue;
      if (rc == kStepEnd) return true;
      if (rc != kStepEntry) return Answer(-1) != 0;
      Fill(Out(Text(dic_->ResultWord())), f, &e);
      if (!each(e)) return true;
    }
  }

  int ErrorCode() override { return dic_ ? ExportedCode(dic_->Error()) : ExportedCode(lastError_); }

 private:
  static Text Word(const std::string& s) { return In(s, IChar()); }
  static Japa<B> Fields(const TToolEntry& e) {
    Japa<B> f;
    f.attribute = e.attr;
    f.translation = Word(e.japa);
    f.example = Word(e.exp);
    f.pronunciation = Word(e.pron);
    return f;
  }
  static void Fill(const std::string& word, const Japa<B>& f, TToolEntry* e) {
    e->word = word;
    e->japa = Out(Text(f.translation.c_str()));
    e->exp = Out(Text(f.example.c_str()));
    e->pron = Out(Text(f.pronunciation.c_str()));
    e->attr = f.attribute;
  }
  // 1 done, 0 nothing done or failed (the code stays in the dictionary).
  static int Answer(int32_t rc) { return rc > 0 ? 1 : 0; }

  std::unique_ptr<Voka<B>> dic_;
  int32_t lastError_ = 0;
};

}  // namespace

std::unique_ptr<TSharedToolDic> TSharedToolDic::For(const std::string& engine) {
  if (engine == "VKCU8L") return std::make_unique<SharedOf<TraitsVKCU8L>>();
  if (engine == "VKCUB") return std::make_unique<SharedOf<TraitsVKCUB>>();
  if (engine == "VKCUL") return std::make_unique<SharedOf<TraitsVKCUL>>();
  if (engine == "VKC620") return std::make_unique<SharedOf<TraitsVKC620>>();
  return nullptr;
}

}  // namespace vk
