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
 *
 * What each library exports, and nothing else: libVKCU8L.so, libVKCUL.so and
 * libVKC620.so the 43 functions of this header other than VKGetNextScan, the
 * object functions and VKCreateMem; libVKCUB.so those 43, VKGetNextScan, the
 * nine object functions and VKCreateMem, 54 in all.
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

/* Search flag word of VKInitSearch and VKSetAllSearch. The low 11 bits are
 * the search type: VK_SEARCH_ALL, VK_SEARCH_FLAG5, VK_SEARCH_FLAG6,
 * VK_SEARCH_LEVEL and VK_SEARCH_QUERY are whole types; any other value is a
 * mask of the fields to match. */
enum {
  VK_SEARCH_TYPE_MASK = 0x7FF,
  VK_SEARCH_HEADWORD = 0x001,      /* field mask: the headword */
  VK_SEARCH_TRANSLATION = 0x002,   /* field mask: the translation */
  VK_SEARCH_EXAMPLE = 0x020,       /* field mask: the example */
  VK_SEARCH_PRONUNCIATION = 0x080, /* field mask: the pronunciation */
  VK_SEARCH_OBJECT = 0x200,        /* field mask: the text inside object fields */
  VK_SEARCH_EXTENSIONS = 0x400,    /* field mask: look at extension fields */
  VK_SEARCH_ALL = 4,               /* every entry */
  VK_SEARCH_FLAG5 = 12,            /* entries with attribute bit 5 */
  VK_SEARCH_FLAG6 = 16,            /* entries with attribute bit 6 */
  VK_SEARCH_LEVEL = 64,            /* levels between the pattern's two digits */
  VK_SEARCH_QUERY = 256,           /* translations that begin with '?' */
  VK_SEARCH_CASE_FOLDED = 0x800,   /* match without regard to case */
  VK_SEARCH_PREFIX = 0x1000,       /* prefix matching; without it, substring */
  /* what VKInitIncSearch searches with: headword prefix, case-sensitive */
  VK_SEARCH_INCREMENTAL = VK_SEARCH_PREFIX | VK_SEARCH_HEADWORD
};

/* What a search step (VKGetNextSearch, VKGetPrevSearch, VKNextScan, ...)
 * answers. */
enum {
  VK_STEP_ENTRY = 1,   /* an entry delivered */
  VK_STEP_AGAIN = 0,   /* nothing in this block: call again */
  VK_STEP_FAILED = -1, /* an error, or the dictionary changed since the search began */
  VK_STEP_END = -2     /* no more entries */
};

/* Clash rules of VKQueryRecord: what happens when the headword exists. Any
 * other value keeps the stored entry. */
enum {
  VK_CLASH_REPLACE_IF_LONGER = 2, /* take the new fields unless its translation is shorter */
  VK_CLASH_KEEP = 3,              /* keep the stored entry */
  VK_CLASH_REPLACE = 4,           /* take the new fields */
  VK_CLASH_MERGE_COMMA = 5,       /* merge, separated by "," */
  VK_CLASH_MERGE_LINES = 6        /* merge, separated by "\r\n" */
};

/* Merge flags of VKQueryRecord (clash rules 5 and 6). */
enum {
  VK_MERGE_NORMALISE_MARKS = 0x1,     /* appended text: ellipses to U+FF5E, separator runs to "," */
  VK_MERGE_NORMALISE_BULLETS = 0x10,  /* appended text: U+25C6 and U+25CF to "," */
  VK_MERGE_LEVEL_MARKER = 0x400,      /* the number after the level marker becomes the level */
  VK_MERGE_NOTE_SECTIONS = 0x1000,    /* merged translations lose their note sections */
  VK_MERGE_TRANSLATIONS = 0x10000,
  VK_MERGE_EXAMPLES = 0x20000,
  VK_MERGE_ATTRIBUTES = 0x40000,
  VK_MERGE_PRONUNCIATIONS = 0x80000,
  VK_MERGE_SEARCH_FLAGS = 0x300000    /* OR in the new attribute's bits 5 and 6 */
};

/* Error codes of VKGetErrorCode; VKGetErrorMessage has a text for each. */
enum {
  VK_ERR_NONE = 0,
  VK_ERR_FILE_NOT_FOUND = 1,
  VK_ERR_INDEX_MEMORY = 2,      /* memory for the index or the first block ran out */
  VK_ERR_DICTIONARY_FULL = 3,   /* the index area or the data area is at its bound */
  VK_ERR_DISK_FULL = 4,
  VK_ERR_READ_WRITE = 5,
  VK_ERR_VERSION = 6,           /* an old header version, or the file could not be positioned */
  VK_ERR_DRIVE_NOT_READY = 7,
  VK_ERR_ALREADY_OPEN = 8,
  VK_ERR_READ_ONLY_OPEN = 9,
  VK_ERR_TOO_MANY_FILES = 10,
  VK_ERR_NO_MEMORY = 11,
  VK_ERR_CANNOT_CREATE = 14,    /* the dictionary could not be created */
  VK_ERR_CANNOT_OPEN = 16,      /* no such path, or access refused */
  VK_ERR_SHARING = 17,          /* the file is in use (locked) */
  VK_ERR_UNREADABLE_DISK = 18,
  VK_ERR_NOT_DICTIONARY = 19,
  VK_ERR_NETWORK = 20,
  VK_ERR_READ_ONLY = 23,        /* a change asked of a dictionary opened read-only */
  VK_ERR_BUSY = 25,             /* another process is working on the dictionary */
  VK_ERR_OLD_VERSION = 27,
  VK_ERR_UNSUPPORTED_TYPE = 28, /* a dictionary of another engine */
  VK_ERR_TOO_LARGE = 29,        /* the entry's fields are too large */
  VK_ERR_DAMAGED = 31,
  VK_ERR_BAD_FILE_NAME = 35,
  VK_ERR_NO_TEMP_NAME = 36,
  VK_ERR_WORD_TOO_LONG = 37,    /* headword over 248 bytes or units */
  VK_ERR_INVALID_FUNCTION = 98,
  VK_ERR_SYSTEM = 99
};

/* Callback kinds of VKDicCheck and VKOptimize. */
enum {
  VK_CHECK_PROBLEM = 1,       /* message, detail; the answer steers (VK_ANSWER_*) */
  VK_CHECK_POSITION = 2,      /* position: the unit or block the pass moved to */
  VK_CHECK_STATUS = 3,        /* message: a pass starts, a verdict */
  VK_OPTIMIZE_FAILURE = 4,    /* message, after VK_OPTIMIZE_FAILED */
  VK_CHECK_PROGRESS = 5,      /* words, percent */
  VK_OPTIMIZE_PROGRESS = 6,   /* percent */
  VK_CHECK_POLL = 7,          /* a non-zero answer stops */
  VK_CHECK_UNREADABLE = 8,    /* a data block cannot be read; the data check ends */
  VK_OPTIMIZE_DONE = 11,
  VK_OPTIMIZE_STOPPED = 12,
  VK_OPTIMIZE_FAILED = 13     /* reason: VK_REASON_* */
};

/* Answers to VK_CHECK_PROBLEM. Any other non-zero value asks for a repair
 * too. */
enum {
  VK_ANSWER_STOP = -1,
  VK_ANSWER_GO_ON = 0,
  VK_ANSWER_REPAIR = 1,
  VK_ANSWER_REPAIR_ALL = 2 /* also repairs later bad index values without asking */
};

/* Reasons of VK_OPTIMIZE_FAILED. */
enum {
  VK_REASON_BUFFER_LEFT = 0,
  VK_REASON_FREE_UNIT_LEFT = 1,
  VK_REASON_DISK_ERROR = 2
};

/* The caller-owned record of VKDicCheck, handed to its callback. Texts are
 * the engine's and valid during the call only; fields not set for a kind
 * keep their values, texts are null for kinds that carry none. The texts are
 * UTF-16 in the UTF-16 libraries and UTF-8 in libVKC620.so. VKOptimize takes
 * the longer VKOptimizeParam, which begins with this record. */
#define VK_CHECK_FIELDS(C, Self)                                              \
  int32_t (*callback)(int32_t kind, struct Self *param);                      \
  int32_t position; /* unit or block last reported (kind 2) */                \
  int32_t words;    /* entries checked so far (kind 5) */                     \
  int32_t percent;  /* progress 0..100 of the current pass */                 \
  int32_t reserved;                                                           \
  const C *message; /* kinds 1, 3, 4, or null */                              \
  const C *detail;  /* kind 1, or null */
typedef struct DicCheckParamW {
  VK_CHECK_FIELDS(char16_t, DicCheckParamW)
} DicCheckParamW;
typedef struct DicCheckParamA {
  VK_CHECK_FIELDS(char, DicCheckParamA)
} DicCheckParamA;
#undef VK_CHECK_FIELDS
typedef struct VKOptimizeParamW {
  DicCheckParamW check;
  int32_t unused;
  int32_t reason; /* kind 13 */
} VKOptimizeParamW;
typedef struct VKOptimizeParamA {
  DicCheckParamA check;
  int32_t unused;
  int32_t reason;
} VKOptimizeParamA;
#ifdef VK_NARROW_STRINGS
typedef DicCheckParamA DicCheckParam;
typedef VKOptimizeParamA VKOptimizeParam;
#else
typedef DicCheckParamW DicCheckParam;
typedef VKOptimizeParamW VKOptimizeParam;
#endif

/* Opaque handle. */
typedef struct VKHandleRec *VKHandle;

/* The entry record: one entry across the interface, in both directions.
 * VKRecordDataW is the record of the UTF-16 libraries, VKRecordDataA the
 * one of libVKC620.so; VKRecordData is the one of the declared functions.
 * A program that loads both kinds uses both records by their own names. */
#define VK_RECORD_FIELDS(C)                                                   \
  const C *word;              /* headword */                                   \
  const C *japa;              /* translation; null means empty */              \
  const C *exp;               /* example; null means empty */                  \
  const C *pron;              /* pronunciation; null means empty */            \
  unsigned char reserved[16]; /* never read or written by the engine */        \
  unsigned char attr;         /* attribute byte: level in bits 0-3, flags above */
typedef struct VKRecordDataW {
  VK_RECORD_FIELDS(char16_t)
} VKRecordDataW;
typedef struct VKRecordDataA {
  VK_RECORD_FIELDS(char)
} VKRecordDataA;
#undef VK_RECORD_FIELDS
#ifdef VK_NARROW_STRINGS
typedef VKRecordDataA VKRecordData;
#else
typedef VKRecordDataW VKRecordData;
#endif

/* Caller-owned parameter block of VKQueryRecord (36 bytes); the engine reads
 * the clash rule and the merge flags and adds to the three counters. */
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

/* Objects and the memory word list: libVKCUB only.
 *
 * The object-data functions are placeholders: each answers the constant
 * below and keeps nothing. Objects and their data are pointer-sized values.
 * VKDeleteObject frees a non-null object with free(): an object must come
 * from malloc, since nothing in the engine makes one; it answers 1. */
typedef void *VKObject;
VKAPI VKObject VKCreateObject(intptr_t a, intptr_t b);    /* null */
VKAPI int32_t VKDeleteObject(VKObject object);            /* 1 */
VKAPI int32_t VKGetObjectType(VKObject object);           /* 0 */
VKAPI int32_t VKSetDataPCMLINK(VKObject object, intptr_t a, intptr_t b, intptr_t c); /* 0 */
VKAPI int32_t VKSetDataFileLink(VKObject object, intptr_t link);                   /* 0 */
VKAPI int32_t VKGetLengthBinary(VKObject object);         /* 0 */
VKAPI intptr_t VKGetDataBinary(VKObject object);          /* 0 */
VKAPI intptr_t VKGetExtraData(VKObject object);           /* 0 */
VKAPI int32_t VKSetDataBinary(VKObject object, intptr_t a, intptr_t b, intptr_t c); /* 0 */

/* Puts an empty word list held in memory behind the handle, after closing
 * (as VKClose does) any dictionary the handle held. 1, or 0 for a null
 * handle, when memory runs out, or when the dictionary held could not write
 * its pending changes at the close (it is then closed as last committed,
 * the handle holds nothing and VKGetErrorCode tells why).
 *
 * The list holds headwords only, ordered by UTF-16 code units without case
 * folding: VKRecord and VKUpdate add a word unless it is there, VKErase and
 * VKRename work on words (a rename answers 0 when the old word is absent or
 * the new one present), VKFind and VKBSearch find them with empty texts, the
 * word counts count them, and a search ends at once (VK_STEP_END). What only
 * a file has answers as with no dictionary open: VKGetHeader null,
 * VKGetDicVersion 0, VKInitScan 0, VKGetNextScan -1, VKDirectJump and
 * VKGetPercent 0, VKChangeJapa, VKChangeExp, VKSetAttr, VKChangeLevel and
 * VKAddLevel 0, VKQueryRecord -1. VKGetFileName gives an empty name, and
 * VKClose drops the list. */
VKAPI int32_t VKCreateMem(VKHandle h, intptr_t unused1, intptr_t unused2);

/* Bulk registration: stores the record, settling an existing headword by
 * param->clashRule and param->mergeFlags, and counts what happened in the
 * counters of param. 0 on success (also when nothing was stored or
 * changed), -1 when storing failed. */
VKAPI int32_t VKQueryRecord(VKHandle h, const VKRecordData *rec, VKQueryParam *param);

/* Check and repair: opens the dictionary at `name` for itself and reports
 * through param->callback. 1 once the check ran (whatever it found or when
 * it was stopped), 0 when the file could not be opened (VKGetErrorCode
 * tells why). The handle is used for nothing else. */
VKAPI int32_t VKDicCheck(VKHandle h, const VKChar *name, DicCheckParam *param);

/* Optimisation: opens the dictionary at `name` for itself and rewrites it
 * in place with its data blocks in index order from the first unit and no
 * free unit left, reporting through param->check.callback (progress, stop
 * polls, then done, stopped or failed with param->reason). The whole run is
 * one change of the file: a failure or a killed process leaves the file as
 * it was before. 1 once it ran, whatever the outcome; 0 when the file could
 * not be opened (VKGetErrorCode tells why). */
VKAPI int32_t VKOptimize(VKHandle h, const VKChar *name, VKOptimizeParam *param);

/* Bitmap to DIB: the bitmap as a packed device-independent bitmap (the
 * 40-byte information header, its colour table, the rows bottom-up, each
 * padded to 4 bytes) in a new global block that the caller owns, converted
 * through `palette` (the stock default palette when null); 1-, 2- and 4-bit
 * bitmaps give 1- and 4-bit DIBs, 8-bit ones 8-bit DIBs, deeper ones 24-bit
 * DIBs. Null on any failure. VokaGdi.h makes bitmaps and reads blocks. */
typedef struct VKBitmapRec *VKBitmap;
typedef struct VKPaletteRec *VKPalette;
typedef struct VKGlobalRec *VKGlobal;
VKAPI VKGlobal VKBitmapToDIB(VKBitmap bitmap, VKPalette palette);

#ifdef __cplusplus
}

/* The record for a character type, for C++ code written once for both
 * kinds of library. */
template <class C>
struct VKRecordOf;
template <>
struct VKRecordOf<char16_t> {
  typedef VKRecordDataW type;
};
template <>
struct VKRecordOf<char> {
  typedef VKRecordDataA type;
};
/* The check record for a character type. */
template <class C>
struct VKCheckParamOf;
template <>
struct VKCheckParamOf<char16_t> {
  typedef DicCheckParamW type;
};
template <>
struct VKCheckParamOf<char> {
  typedef DicCheckParamA type;
};
#endif

#endif /* VOKA_API_H */
