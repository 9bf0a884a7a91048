/* A C program built against an installed tree: makes a dictionary through
 * libVKCU8L.so, records a word, finds it again after reopening, and converts
 * a bitmap made with libvokagdi.a. Prints what failed and exits 1. */
#include <stdio.h>
#include <string.h>

#include "VokaApi.h"
#include "VokaGdi.h"

static int failed(const char *what) {
  fprintf(stderr, "probe: %s\n", what);
  return 1;
}

static size_t length16(const char16_t *s) {
  size_t n = 0;
  while (s && s[n]) ++n;
  return n;
}

int main(int argc, char **argv) {
  if (argc != 2) return failed("usage: probe FILE");
  char16_t name[4096];
  size_t n = strlen(argv[1]);
  if (n >= sizeof name / sizeof name[0]) return failed("path too long");
  for (size_t i = 0; i <= n; ++i) name[i] = (unsigned char)argv[1][i];

  VKHandle h = VKCreateHandle();
  if (!h) return failed("VKCreateHandle");
  if (VKCreate(h, name, NULL) != 1) return failed("VKCreate");
  VKRecordData rec;
  memset(&rec, 0, sizeof rec);
  rec.word = u"apple";
  rec.japa = u"\u308a\u3093\u3054";
  if (VKRecord(h, &rec) != 1) return failed("VKRecord");
  if (VKClose(h) != 1) return failed("VKClose");

  if (VKOpen(h, name, 1) != 1) return failed("VKOpen");
  VKRecordData found;
  memset(&found, 0, sizeof found);
  if (VKFind(h, u"apple", &found) != 1) return failed("VKFind");
  if (length16(found.japa) != 3 || found.japa[0] != 0x308A) return failed("the translation read back");
  if (VKGetWordNum(h) != 1) return failed("VKGetWordNum");
  VKClose(h);
  VKDeleteHandle(h);

  /* A 3 x 1 24-bit bitmap: one row of 9 bytes, 12 in the DIB. */
  const unsigned char row[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0};
  VKBitmap bm = VokaCreateBitmap(3, 1, 1, 24, row);
  VKGlobal dib = VKBitmapToDIB(bm, NULL);
  if (!dib) return failed("VKBitmapToDIB");
  if (VokaGlobalSize(dib) != 40 + 12) return failed("the DIB's size");
  const unsigned char *p = VokaGlobalLock(dib);
  if (p[0] != 40 || p[14] != 24 || memcmp(p + 40, row, 9) != 0) return failed("the DIB's bytes");
  VokaGlobalUnlock(dib);
  if (VokaGlobalFree(dib) != NULL) return failed("VokaGlobalFree");
  VokaDeleteObject(bm);
  puts("probe: ok");
  return 0;
}
