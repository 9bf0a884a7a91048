// TDllDic: one side of a conversion, a dictionary reached through an engine
// library loaded at run time. TWin32DllDic goes through the legacy ANSI
// engine VKC620 with byte strings; TUnicodeDllDic through VKCUL, VKCU8L or
// VKCUB with UTF-16 strings.
//
// Lifecycle of an object: constructed (nothing loaded) -> library loaded
// (first Open or GetErrorMessage) -> handle made and dictionary open (Open)
// -> handle closed and deleted (Close, or the next Open) -> library unloaded
// (destruction). Each object owns at most one library and one handle.
//
// Library choice (LoadDll):
//   Win32                      VKC620.DLL
//   UTF-16, little-endian      VKCUL.DLL
//   UTF-8,  little-endian      VKCU8L.DLL
//   UTF-16, big-endian         VKCUB.DLL
//   UTF-8,  big-endian         none: LoadDll fails without loading anything
// A library that cannot be loaded (or lacks one of the twelve exports,
// Dictionary.h) sets the object's own error code to 16 (VK_ERR_CANNOT_OPEN).
//
// Open(path, mode): mode 1 opens read-only, 2 creates (replacing any file),
// 3 opens read-write, 0 only makes the handle; only the low two bits count.
// Every Open first closes what the object held, and then prepares a scan of
// the whole dictionary and a registration that merges a clashing headword
// (kClashRule and kMergeFlags: VK_CLASH_MERGE_LINES, 0x7fff0000). GetErrorCode answers the engine's
// code while a handle exists, else the object's own.
//
// Paths and messages are the program's narrow text (UTF-8). The Unicode
// wrapper passes a path as at most 259 UTF-16 units; a longer path, or one
// that is not well-formed UTF-8, is refused with code 35 (VK_ERR_BAD_FILE_NAME)
// before any handle is made. Messages come back as UTF-8 from either wrapper.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "Dictionary.h"
#include "api/EngineLibrary.h"

namespace vk {

// One entry on its way between a side and the conversion: the four texts in
// the string type of the side that reads or writes them (`bytes` for a Win32
// side, `units`, UTF-16, for a Unicode side; the other array is not used)
// and the attribute byte. Texts are indexed by TRecordField, the order of
// the conversion tables.
enum TRecordField { kRecordWord, kRecordPron, kRecordJapa, kRecordExp, kRecordFields };
struct TDicRecord {
  std::string bytes[kRecordFields];
  std::u16string units[kRecordFields];
  uint8_t attr = 0;
};

class TDllDic {
 public:
  enum OpenMode { kOpenNone = 0, kOpenRead = 1, kOpenCreate = 2, kOpenReadWrite = 3 };
  // What a conversion asks of VKQueryRecord: merge with CR LF, and every merge
  // bit from translations up.
  static constexpr int32_t kClashRule = VK_CLASH_MERGE_LINES;
  static constexpr int32_t kMergeFlags = INT32_MAX & ~(VK_MERGE_TRANSLATIONS - 1);
  // The own error code of a side whose library cannot be had.
  static constexpr int kErrorNoLibrary = VK_ERR_CANNOT_OPEN;
  // Room for a path in UTF-16 units, terminator included.
  static constexpr size_t kPathUnits = 260;

  TDllDic() = default;
  virtual ~TDllDic() = default;
  TDllDic(const TDllDic&) = delete;
  TDllDic& operator=(const TDllDic&) = delete;

  // Where LoadDll looks before the system's search (empty: the program's
  // folder). Takes effect at the next load.
  void SetLibraryFolder(const std::string& folder) { folder_ = folder; }

  virtual int GetErrorCode() = 0;
  // 0 on success, -1 on failure.
  virtual int Open(const std::string& path, int mode) = 0;
  virtual void Close() = 0;
  virtual void SetFastMode() = 0;
  // Saves everything registered so far for good (fast mode off, which
  // flushes and commits, then on again): in fast mode a failed write rolls
  // the dictionary back to its last saved state. 0 on success, -1 when the
  // save failed (the dictionary is then back at the save before).
  virtual int Commit() = 0;
  virtual void InitSearch(int32_t clashRule, int32_t mergeFlags) = 0;
  // The engine's text for `code` (UTF-8, with at most one "%s" for a path),
  // or null when the library cannot be loaded or has no text. Valid until the
  // next call on the object.
  virtual const char* GetErrorMessage(int code) = 0;
  virtual bool LoadDll() = 0;

  // How far the scan has come, in percent.
  virtual int GetPercent() = 0;
  // The number of entries of the open dictionary, or -1 when the engine
  // cannot tell (it lacks VKGetWordNum, or nothing is open). Progress uses it
  // as the total of a scan.
  virtual int GetWordCount() = 0;

  // 0 with the next entry of the scan in *rec (texts of the side's string
  // type, each empty where the engine gives none), -1 at the end of the scan
  // or on a scan error.
  virtual int ReadNext(TDicRecord* rec) = 0;
  // Registers the texts of the side's string type; what VKQueryRecord
  // answers: 0 when the entry was registered.
  virtual int WriteRecord(const TDicRecord& rec) = 0;
  // The length of a field of `rec` in this side's units (bytes for Win32,
  // UTF-16 units otherwise).
  virtual size_t Units(const TDicRecord& rec, TRecordField field) const = 0;

  // True when the last ReadNext ended the scan because the engine failed to
  // read (VKGetNextSearch answered -1), not because it reached the end;
  // GetErrorCode then tells why.
  bool readFailed() const { return readFailed_; }
  // The query block's too-long counter: entries that VKQueryRecord left
  // unstored or unchanged (answering success) because a text was too long.
  int32_t tooLongCount() const { return query_.tooLongCount; }

  const std::string& fileName() const { return fileName_; }
  bool hasHandle() const { return handle_ != nullptr; }
  bool isLoaded() const { return module_.IsLoaded(); }
  // Why the library could not be loaded (the loader's text), when it could not.
  const std::string& loadError() const { return module_.loadError(); }

 protected:
  virtual bool CallOpen(const std::string& path, int32_t readOnly) = 0;
  virtual bool CallCreate(const std::string& path, const int32_t* option) = 0;

  int errorCode_ = 0;
  std::string fileName_;
  std::string folder_;
  EngineLibrary module_;
  VKHandle handle_ = nullptr;
  VKQueryParam query_ = {};
  bool readFailed_ = false;
};

// What both wrappers share, over the engine's string type C.
template <class C>
class TDllDicOf : public TDllDic {
 public:
  ~TDllDicOf() override;

  int GetErrorCode() override;
  int Open(const std::string& path, int mode) override;
  void Close() override;
  void SetFastMode() override;
  int Commit() override;
  void InitSearch(int32_t clashRule, int32_t mergeFlags) override;
  int GetPercent() override;
  int GetWordCount() override;
  int ReadNext(TDicRecord* rec) override;
  int WriteRecord(const TDicRecord& rec) override;
  size_t Units(const TDicRecord& rec, TRecordField field) const override;

 protected:
  // Loads `dllName` unless a library is loaded; keeps the entry points.
  bool LoadNamed(const char* dllName);
  // The path as the engine takes it; false refuses the path.
  virtual bool EnginePath(const std::string& path, std::basic_string<C>* out) = 0;
  bool CallOpen(const std::string& path, int32_t readOnly) override;
  bool CallCreate(const std::string& path, const int32_t* option) override;
  // Calls VKGetNextSearch until it answers; true with an entry in rec_.
  bool NextEntry();

  EngineExports<C> entries_;
  typename VKRecordOf<C>::type rec_ = {};
};

class TWin32DllDic : public TDllDicOf<char> {
 public:
  const char* GetErrorMessage(int code) override;
  bool LoadDll() override;

 protected:
  bool EnginePath(const std::string& path, std::string* out) override;
};

class TUnicodeDllDic : public TDllDicOf<char16_t> {
 public:
  // bigEndian: 1 picks the big-endian engines; utf8: 1 for a UTF-8 side,
  // 0 for UTF-16.
  TUnicodeDllDic(int bigEndian, int utf8) : bigEndian_(bigEndian), utf8_(utf8) {}

  const char* GetErrorMessage(int code) override;
  bool LoadDll() override;

 protected:
  bool EnginePath(const std::string& path, std::u16string* out) override;

 private:
  int bigEndian_;
  int utf8_;
  std::string message_;
};

// The engine library for a side, by the table above; null for UTF-8 with
// big-endian.
const char* EngineLibraryFor(int kind, int bigEndian);

}  // namespace vk
