#include "shared/HistoryFile.h"

#include "file/ChangedPieces.h"

#include <algorithm>
#include <cstring>

#include "format/ByteOrder.h"

namespace vk {

namespace {

constexpr uint8_t kMagic[4] = {'V', 'K', 'H', '1'};
constexpr int kSysReadFault = 30;
constexpr int kSysWriteFault = 29;

int ReadExactly(File* f, int64_t at, void* buf, size_t n, size_t* got) {
  if (int err = f->Seek(at)) return err;
  return f->Read(buf, n, got);
}

int WriteExactly(File* f, int64_t at, const void* buf, size_t n) {
  if (int err = f->Seek(at)) return err;
  size_t put = 0;
  if (int err = f->Write(buf, n, &put)) return err;
  return put == n ? 0 : kSysWriteFault;
}

}  // namespace

void HistoryHeader::Encode(uint8_t out[kHistoryHeaderBytes]) const {
  std::memset(out, 0, kHistoryHeaderBytes);
  std::memcpy(out, kMagic, sizeof kMagic);
  StoreLE32(out + 4, sharedSize);
  StoreLE32(out + 8, static_cast<uint32_t>(sharedTime));
  StoreLE32(out + 12, static_cast<uint32_t>(sharedTime >> 32));
  StoreLE32(out + 16, static_cast<uint32_t>(base));
  StoreLE32(out + 20, static_cast<uint32_t>(identity));
}

bool HistoryHeader::Decode(const uint8_t* in, size_t n, HistoryHeader* out) {
  if (n < kHistoryHeaderBytes || in[0] != kMagic[0]) return false;
  out->sharedSize = LoadLE32(in + 4);
  out->sharedTime = uint64_t{LoadLE32(in + 8)} | (uint64_t{LoadLE32(in + 12)} << 32);
  out->base = static_cast<int32_t>(LoadLE32(in + 16));
  out->identity = static_cast<int32_t>(LoadLE32(in + 20));
  return true;
}

void HistFieldArray::Merge() {
  std::sort(fields_.begin(), fields_.end(), [](const NDHField& a, const NDHField& b) { return a.offset < b.offset; });
  std::vector<NDHField> merged;
  merged.reserve(fields_.size());
  for (const NDHField& f : fields_) {
    if (!merged.empty()) {
      NDHField& last = merged.back();
      const uint64_t end = uint64_t{last.offset} + last.length;
      if (f.offset <= end) {
        const uint64_t next = uint64_t{f.offset} + f.length;
        if (next > end) last.length = static_cast<uint32_t>(std::min<uint64_t>(next - last.offset, UINT32_MAX));
        continue;
      }
    }
    merged.push_back(f);
  }
  fields_.swap(merged);
}

void RecordChangedPieces(uint32_t at, const uint8_t* before, const uint8_t* after, size_t n, HistFieldArray* list) {
  ForEachChangedPiece(at, before, n, after, n, [list](uint32_t offset, uint32_t length) { list->Add(offset, length); });
}

int HistoryFile::ReadHeader(HistoryHeader* header, bool* found) {
  *found = false;
  uint8_t raw[kHistoryHeaderBytes];
  size_t got = 0;
  if (int err = ReadExactly(file_, 0, raw, sizeof raw, &got)) return err;
  *found = HistoryHeader::Decode(raw, got, header);
  return 0;
}

int HistoryFile::WriteHeader(const HistoryHeader& header) {
  uint8_t raw[kHistoryHeaderBytes];
  header.Encode(raw);
  return WriteExactly(file_, 0, raw, sizeof raw);
}

int HistoryFile::EntryCount(int64_t* count) {
  int64_t size = 0;
  if (int err = file_->Size(&size)) return err;
  *count = size <= int64_t(kHistoryHeaderBytes) ? 0 : (size - int64_t(kHistoryHeaderBytes)) / int64_t(kHistoryEntryBytes);
  return 0;
}

int HistoryFile::Append(const NDHField& field) {
  int64_t count = 0;
  if (int err = EntryCount(&count)) return err;
  uint8_t raw[kHistoryEntryBytes];
  StoreLE32(raw, field.offset);
  StoreLE32(raw + 4, field.length);
  return WriteExactly(file_, int64_t(kHistoryHeaderBytes) + count * int64_t(kHistoryEntryBytes), raw, sizeof raw);
}

int HistoryFile::ReadEntries(int64_t first, std::vector<NDHField>* out) {
  out->clear();
  int64_t count = 0;
  if (int err = EntryCount(&count)) return err;
  if (first < 0 || first >= count) return 0;
  std::vector<uint8_t> raw(static_cast<size_t>(count - first) * kHistoryEntryBytes);
  size_t got = 0;
  if (int err = ReadExactly(file_, int64_t(kHistoryHeaderBytes) + first * int64_t(kHistoryEntryBytes), raw.data(),
                            raw.size(), &got))
    return err;
  for (size_t i = 0; i + kHistoryEntryBytes <= got; i += kHistoryEntryBytes)
    out->push_back(NDHField{LoadLE32(raw.data() + i), LoadLE32(raw.data() + i + 4)});
  return 0;
}

int HistoryFile::Truncate() {
  HistoryHeader header;
  bool found = false;
  if (int err = ReadHeader(&header, &found)) return err;
  if (!found) return kSysReadFault;
  int64_t size = 0;
  if (int err = file_->Size(&size)) return err;
  const int64_t from = int64_t(kHistoryHeaderBytes) + kHistoryDroppedEntries * int64_t(kHistoryEntryBytes);
  int64_t to = int64_t(kHistoryHeaderBytes);
  uint8_t piece[1024];
  for (int64_t at = from; at < size;) {
    size_t got = 0;
    if (int err = ReadExactly(file_, at, piece, sizeof piece, &got)) return err;
    if (got == 0) break;
    if (int err = WriteExactly(file_, to, piece, got)) return err;
    at += static_cast<int64_t>(got);
    to += static_cast<int64_t>(got);
  }
  if (int err = file_->Seek(to)) return err;
  if (int err = file_->Truncate()) return err;
  header.base += static_cast<int32_t>(kHistoryDroppedEntries);
  return WriteHeader(header);
}

int HistoryFile::StartNew(int32_t identity) {
  if (int err = file_->Seek(0)) return err;
  if (int err = file_->Truncate()) return err;
  HistoryHeader header;
  header.identity = identity;
  return WriteHeader(header);
}

}  // namespace vk
