/*
 * The dictionary engine's exported interface.
 *
 * One header for all four engine libraries. libVKCU8L.so, libVKCUB.so and
 * libVKCUL.so exchange zero-terminated UTF-16 strings (char16_t); the legacy
 * libVKC620.so exchanges narrow byte strings: define VK_NARROW_STRINGS before
 * including this header to declare its functions.
 *
 * A caller creates a handle, opens or creates one dictionary file through it,
 * searches and changes entries, closes it and deletes the handle. Functions
 * answer 1/0 (or a value); search steps answer 1 (entry delivered), 0 (nothing
 * in this block, call again), -1 (error, or the dictionary changed since the
 * search began) and -2 (end). VKGetErrorCode tells why a call failed.
 *
 * Strings passed in are copied. Strings handed out by a search or lookup are
 * owned by the handle and stay valid until the next search or lookup call on
 * it.
 */
#ifndef VOKA_API_H
#define VOKA_API_H

#include <stdint.h>
#ifndef __cplusplus
#include <uchar.h>
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define VKAPI __stdcall
#elif defined(VK_BUILDING_ENGINE)
#define VKAPI __attribute__((visibility("default")))
#else
#define VKAPI
#endif

#ifdef __cplusplus
extern "C" {
#endif

#ifdef VK_NARROW_STRINGS
typedef char VKChar;
#else
typedef char16_t VKChar;
#endif

/* Opaque handle. */
typedef struct VKHandleRec *VKHandle;

/* The entry record: one entry across the interface, in both directions. */
typedef struct VKRecordData {
  const VKChar *word;         /* headword */
  const VKChar *japa;         /* translation; null means empty */
  const VKChar *exp;          /* example; null means empty */
  const VKChar *pron;         /* pronunciation; null means empty */
  unsigned char reserved[16]; /* never read or written by the engine */
  unsigned char attr;         /* attribute byte: level in bits 0-3, flags above */
} VKRecordData;

/* Caller-owned parameter block of VKQueryRecord (36 bytes). */
typedef struct VKQueryParam {
  int32_t clashRule, unused1[2], mergeFlags, unused2;
  int32_t existingCount, addedCount, tooLongCount, unused3;
} VKQueryParam;

/* Header facts filled by VKGetHeaderInfo (332 bytes, little-endian). */
typedef struct VKHeaderInfo {
  unsigned char text[280]; /* reserved for header texts; cleared */
  int16_t headerSize;
  int16_t version;
  int16_t maxWordLen;
  int16_t maxJapaLen;
  int32_t indexAreaBytes; /* index_blocks x block_size */
  int32_t indexCount;
  int32_t indexBlocks;
  int32_t blockSize;
  int32_t blockCount;
  int32_t freeBlock;
  int32_t wordCount;
  uint8_t typeAux;
  uint8_t dicType;
  uint8_t attrLen;
  uint8_t indexWide;
  int32_t extraValue;
  uint8_t zero1[4];
  uint8_t charTag;
  uint8_t zero2[3];
} VKHeaderInfo;

/* Interface and handles. */
VKAPI int32_t VKGetVersion(void);
VKAPI int32_t VKIsVoka(const VKChar *name);
VKAPI VKHandle VKCreateHandle(void);
VKAPI void VKDeleteHandle(VKHandle h);
VKAPI int32_t VKOpen(VKHandle h, const VKChar *name, int32_t readOnly);
VKAPI int32_t VKCreate(VKHandle h, const VKChar *name, const int32_t *options);
VKAPI int32_t VKClose(VKHandle h);
VKAPI int32_t VKGetHeaderInfo(const VKChar *name, VKHeaderInfo *info);
VKAPI int32_t VKSetFastMode(VKHandle h, int32_t flag);
VKAPI VKHandle VKSetCodePage(VKHandle h, int32_t a, int32_t b, int32_t c, int32_t d);
VKAPI const void *VKGetHeader(VKHandle h);
VKAPI const VKChar *VKGetFileName(VKHandle h);
VKAPI int32_t VKGetDicVersion(VKHandle h);
VKAPI int32_t VKGetWordNum(VKHandle h);
VKAPI int32_t VKGetIndexNum(VKHandle h);
VKAPI int32_t VKGetNumWord(VKHandle h);
VKAPI void VKSetDivRatio(VKHandle h, int32_t ratio);
VKAPI int32_t VKGetErrorCode(VKHandle h);
VKAPI const VKChar *VKGetErrorMessage(int32_t code);

/* Search and navigation. */
VKAPI int32_t VKInitSearch(VKHandle h, const VKChar *pattern, int32_t flags);
VKAPI int32_t VKInitIncSearch(VKHandle h, const VKChar *pattern);
VKAPI int32_t VKSetAllSearch(VKHandle h, int32_t ignored, int32_t flags);
VKAPI void VKJumpAS(VKHandle h, const VKChar *word, int32_t after, int32_t inclusive);
VKAPI int32_t VKGetNextSearch(VKHandle h, VKRecordData *rec);
VKAPI int32_t VKGetPrevSearch(VKHandle h, VKRecordData *rec);
VKAPI int32_t VKBSearch(VKHandle h, const VKChar *word, VKRecordData *rec);
VKAPI int32_t VKFind(VKHandle h, const VKChar *word, VKRecordData *rec);
VKAPI int32_t VKInitScan(VKHandle h);
VKAPI int32_t VKGetNextScan(VKHandle h, VKRecordData *rec); /* libVKCUB only */
VKAPI int32_t VKDirectJump(VKHandle h, int32_t n);
VKAPI int32_t VKGetPercent(VKHandle h);

/* Mutation. Each answers 1 when done and 0 otherwise; after a failure
 * VKGetErrorCode tells why (23 read-only, 29 fields too large, 37 headword
 * longer than 248 bytes or units, 3/4/5/11 storage failures). Changes are
 * written at once unless fast mode is on. */
VKAPI int32_t VKRecord(VKHandle h, const VKRecordData *rec);
VKAPI int32_t VKUpdate(VKHandle h, const VKRecordData *rec);
VKAPI int32_t VKErase(VKHandle h, const VKChar *word);
VKAPI int32_t VKRename(VKHandle h, const VKChar *oldWord, const VKChar *newWord);
VKAPI int32_t VKChangeJapa(VKHandle h, const VKChar *word, const VKChar *japa);
VKAPI int32_t VKChangeExp(VKHandle h, const VKChar *word, const VKChar *exp);
VKAPI int32_t VKSetAttr(VKHandle h, const VKChar *word, int32_t attr);
VKAPI int32_t VKChangeLevel(VKHandle h, const VKChar *word, int32_t level);
VKAPI int32_t VKAddLevel(VKHandle h, const VKChar *word, int32_t delta, int32_t minimum, int32_t maximum);

/* Bulk registration: stores the record, settling an existing headword by
 * param->clashRule and param->mergeFlags, and counts what happened in the
 * counters of param. 0 on success (also when nothing was stored or
 * changed), -1 when storing failed. */
VKAPI int32_t VKQueryRecord(VKHandle h, const VKRecordData *rec, VKQueryParam *param);

#ifdef __cplusplus
}
#endif

#endif /* VOKA_API_H */
