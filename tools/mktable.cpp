// mktable: writes a conversion table file for the converter from the C
// library's iconv converter of a code page.
//
//   mktable <iconv code page> <table name> <output file>
//
// Every single byte 0x01-0xFF that iconv turns into one UTF-16 unit gets a
// line; every byte that iconv finds incomplete by itself is a lead byte, and
// each pair of it with a trail byte 0x01-0xFF that iconv turns into one
// UTF-16 unit gets a line; a lead byte with no such pair gets one line that
// maps its first code to 0. Codes that need a surrogate pair cannot be held
// by a table and are left out. The file starts with a "Name:" directive and
// lists the codes in ascending order, one "0xCODE<tab>0xUNIT" line each.
// It is written beside its final name and renamed into place, so a failed
// run leaves no half table behind.
#include <errno.h>
#include <iconv.h>

#include <cstdio>
#include <string>

namespace {

enum class Result { kMapped, kIncomplete, kNone };

// Converts the bytes in `in` as a whole; kMapped only when iconv takes all
// of them and gives exactly one UTF-16 unit.
Result Convert(iconv_t cd, const unsigned char* in, size_t n, unsigned* unit) {
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char inbuf[4];
  for (size_t i = 0; i < n; ++i) inbuf[i] = static_cast<char>(in[i]);
  unsigned char outbuf[16];
  char* ip = inbuf;
  char* op = reinterpret_cast<char*>(outbuf);
  size_t inleft = n;
  size_t outleft = sizeof(outbuf);
  size_t r = iconv(cd, &ip, &inleft, &op, &outleft);
  if (r == static_cast<size_t>(-1)) return errno == EINVAL ? Result::kIncomplete : Result::kNone;
  // Flush any shift state so that nothing is held back.
  if (iconv(cd, nullptr, nullptr, &op, &outleft) == static_cast<size_t>(-1)) return Result::kNone;
  size_t produced = sizeof(outbuf) - outleft;
  if (inleft != 0 || produced != 2) return Result::kNone;
  *unit = outbuf[0] | (outbuf[1] << 8);
  if (*unit == 0 || (*unit >= 0xD800 && *unit <= 0xDFFF)) return Result::kNone;
  return Result::kMapped;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: mktable <iconv code page> <table name> <output file>\n");
    return 2;
  }
  const char* codePage = argv[1];
  const char* name = argv[2];
  std::string out = argv[3];
  iconv_t cd = iconv_open("UTF-16LE", codePage);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    std::fprintf(stderr, "mktable: iconv has no converter from %s\n", codePage);
    return 1;
  }
  std::string tmp = out + ".tmp";
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    std::fprintf(stderr, "mktable: cannot write %s\n", tmp.c_str());
    iconv_close(cd);
    return 1;
  }
  std::fprintf(f, "# Name: %s\n", name);
  std::fprintf(f, "# Made by mktable from the C library's iconv converter %s.\n", codePage);
  std::fprintf(f, "# Each line: the code (one byte, or lead and trail byte), a tab, the UTF-16 unit.\n");

  bool lead[256] = {};
  int lines = 0;
  for (unsigned b = 1; b < 256; ++b) {
    unsigned char in[1] = {static_cast<unsigned char>(b)};
    unsigned unit = 0;
    Result r = Convert(cd, in, 1, &unit);
    if (r == Result::kIncomplete) lead[b] = true;
    if (r == Result::kMapped) {
      std::fprintf(f, "0x%02X\t0x%04X\n", b, unit);
      ++lines;
    }
  }
  for (unsigned b = 1; b < 256; ++b) {
    if (!lead[b]) continue;
    bool any = false;
    for (unsigned t = 1; t < 256; ++t) {
      unsigned char in[2] = {static_cast<unsigned char>(b), static_cast<unsigned char>(t)};
      unsigned unit = 0;
      if (Convert(cd, in, 2, &unit) == Result::kMapped) {
        std::fprintf(f, "0x%04X\t0x%04X\n", b * 256 + t, unit);
        ++lines;
        any = true;
      }
    }
    // A table knows its lead bytes only from mapped two-byte codes. A lead
    // byte whose row is empty still takes the next byte with it, so it gets
    // one code mapped to 0, which flags the byte and maps nothing.
    if (!any) std::fprintf(f, "0x%02X40\t0x0000\t# lead byte of an empty row\n", b);
  }
  iconv_close(cd);
  bool ok = std::ferror(f) == 0;
  ok = std::fclose(f) == 0 && ok;
  if (!ok || lines == 0 || std::rename(tmp.c_str(), out.c_str()) != 0) {
    std::fprintf(stderr, "mktable: cannot write %s\n", out.c_str());
    std::remove(tmp.c_str());
    return 1;
  }
  return 0;
}
