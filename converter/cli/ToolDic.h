// TToolDic: a dictionary reached through any of the four engine libraries,
// with texts as bytes whatever the engine's string type: UTF-8 for the
// Unicode engines (VKCU8L, VKCUB, VKCUL), which take UTF-16, and the bytes as
// stored for the legacy VKC620. vkdic and the tests that make dictionaries
// for conversions work through it.
//
// The engine of an existing file is the one whose VKIsVoka accepts it; every
// build refuses the files of the others. Writing goes through VKRecord, so an
// existing headword has its fields replaced.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace vk {

struct TToolEntry {
  std::string word;
  std::string japa;
  std::string exp;
  std::string pron;
  uint8_t attr = 0x80;
};

// Header facts of an open dictionary.
struct TToolInfo {
  int version = 0;
  int maxWordLen = 0;
  int blockSize = 0;
  int blockCount = 0;
  int indexCount = 0;
  int indexBlocks = 0;
  int wordCount = 0;
  int dicType = 0;
  long long fileSize = 0;
};

// Search flags of the engine's VKInitSearch.
enum : int32_t {
  kSearchAll = 4,
  kSearchWord = 0x001,
  kSearchJapa = 0x002,
  kSearchIgnoreCase = 0x800,
  kSearchPrefix = 0x1000,
};

class TToolDic {
 public:
  static constexpr int kEngineCount = 4;
  static const char* const kEngines[kEngineCount];  // "VKCU8L", "VKCUB", "VKCUL", "VKC620"
  static bool IsEngineName(const std::string& name);

  // `folder`: where the libraries are looked for first (empty: the program's).
  explicit TToolDic(std::string folder = std::string());
  ~TToolDic();
  TToolDic(const TToolDic&) = delete;
  TToolDic& operator=(const TToolDic&) = delete;

  // The engine that accepts the file at `path`, or empty.
  std::string DetectEngine(const std::string& path);

  // Loads `engine`, makes a handle and opens or creates the file.
  bool Open(const std::string& engine, const std::string& path, bool readOnly);
  bool Create(const std::string& engine, const std::string& path);
  void Close();
  bool IsOpen() const;
  const std::string& engine() const { return engine_; }

  void SetFastMode(bool on);
  // VKRecord: adds the entry or replaces the fields of its headword.
  bool Record(const TToolEntry& entry);
  bool Find(const std::string& word, TToolEntry* entry);
  // Calls `each` for every entry that matches, in dictionary order; `each`
  // answers false to stop. False on an engine failure.
  bool Search(const std::string& pattern, int32_t flags,
              const std::function<bool(const TToolEntry&)>& each);
  bool Info(TToolInfo* info);

  // What went wrong last: the engine's code and a readable text.
  int errorCode() const { return errorCode_; }
  const std::string& errorText() const { return errorText_; }

  class Impl;

 private:
  bool Start(const std::string& engine);
  void Fail(const std::string& what);

  std::string folder_;
  std::string engine_;
  std::string path_;
  std::unique_ptr<Impl> impl_;
  int errorCode_ = 0;
  std::string errorText_;
};

}  // namespace vk
