/*
 * Making the bitmaps that VKBitmapToDIB converts, and reading the block it
 * answers, from C.
 *
 * These functions are not in the engine libraries (their exports are fixed):
 * they come from the static library libvokagdi.a, which a program links
 * beside loading or linking an engine. Its objects are self-describing heap
 * records, so the copy linked into the program and the copy inside an engine
 * library work on the same handles.
 *
 * Pixels of a bitmap are given top row first, each row padded to an even
 * number of bytes, planes x bitsPerPixel bits per pixel (1, 2, 4, 8, 16, 24
 * or 32) packed most significant bit first: 16 bits are 5-5-5 RGB in a
 * little-endian word, 24 bits blue, green, red, 32 bits blue, green, red and
 * one unused byte; 1-bit pixels are black (0) and white (1), 2-, 4- and 8-bit
 * ones index the palette the conversion uses (the 20-colour default palette
 * when none is given). A DIB block holds the 40-byte BITMAPINFOHEADER
 * (little-endian), the colour table (4 bytes an entry: blue, green, red, 0)
 * and the rows bottom-up, each padded to 4 bytes.
 */
#ifndef VOKA_GDI_H
#define VOKA_GDI_H

#include <stddef.h>
#include <stdint.h>

#include "VokaApi.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Null when the size is 0 or less, the depth unsupported, or memory short.
 * `rows` may be null: the pixels are then 0. */
VKBitmap VokaCreateBitmap(int32_t width, int32_t height, uint32_t planes, uint32_t bitsPerPixel, const void *rows);
/* `count` (1 to 256) entries of 4 bytes each: red, green, blue, flags. */
VKPalette VokaCreatePalette(uint32_t count, const uint8_t *entries);
/* Frees a bitmap or palette: 1, or 0 when the handle is neither. */
int32_t VokaDeleteObject(void *object);

/* A global block: its address while locked, its size, and freeing it
 * (answers null when freed). VokaGlobalUnlock answers 1 while the block is
 * still locked. */
void *VokaGlobalLock(VKGlobal block);
int32_t VokaGlobalUnlock(VKGlobal block);
size_t VokaGlobalSize(VKGlobal block);
VKGlobal VokaGlobalFree(VKGlobal block);

#ifdef __cplusplus
}
#endif

#endif /* VOKA_GDI_H */
