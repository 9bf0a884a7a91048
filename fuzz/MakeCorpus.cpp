// make_corpus OUTDIR: writes the seed corpus of the fuzz targets into
// OUTDIR/read, OUTDIR/change and OUTDIR/check. Every dictionary in it is made
// by the engine itself, in memory, for each of the four builds: an empty
// one, a few entries, long entries, several blocks, and one with free runs
// left by erased entries. Each comes with scripts of decisions drawn from a
// fixed generator, so the corpus is the same on every run.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzDic.h"
#include "FuzzInput.h"
#include "MemEnv.h"

namespace {

namespace fs = std::filesystem;

struct Shape {
  const char* name;
  int entries;     // entries recorded
  int eraseEvery;  // every n-th entry erased again (0: none)
  bool longFields; // one entry past the long-entry threshold, some past a block
};

const Shape kShapes[] = {
    {"empty", 0, 0, false},
    {"few", 3, 0, false},
    {"long", 4, 0, true},
    {"blocks", 120, 0, false},
    {"free", 160, 2, false},
};

uint32_t g_state = 20261210;
uint8_t NextByte() {
  g_state = g_state * 1103515245u + 12345u;
  return static_cast<uint8_t>(g_state >> 16);
}

std::string Script(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>(NextByte()));
  return s;
}

template <class B>
std::basic_string<typename B::IChar> Ascii(const std::string& s) {
  return std::basic_string<typename B::IChar>(s.begin(), s.end());
}

template <class B>
std::string MakeImage(const Shape& shape) {
  vkfuzz::MemEnv env;
  vk::Voka<B> dic(&env);
  if (dic.CreateDic(vkfuzz::kDicPath, nullptr, false) != 0) {
    std::fprintf(stderr, "make_corpus: create failed with %d\n", dic.Error());
    std::exit(2);
  }
  for (int i = 0; i < shape.entries; ++i) {
    vk::Japa<B> f;
    f.attribute = static_cast<uint8_t>(0x80 | (i % 16));
    char word[32];
    std::snprintf(word, sizeof word, "w%03d%s", i * 7 % 1000, i % 3 ? "ab" : "");
    f.translation = Ascii<B>("t" + std::to_string(i) + (i % 5 ? ", x" : "?"));
    if (i % 4 == 1) f.example = Ascii<B>("example " + std::to_string(i));
    if (i % 6 == 2) f.pronunciation = Ascii<B>("p" + std::to_string(i));
    if (shape.longFields && i == 1) f.example.assign(B::kLongEntries ? 33000 : 20000, typename B::IChar('e'));
    if (shape.longFields && i == 2) f.translation.assign(600, typename B::IChar('t'));
    if (dic.RecordWord(Ascii<B>(word).c_str(), f) != 1) {
      std::fprintf(stderr, "make_corpus: record failed with %d\n", dic.Error());
      std::exit(2);
    }
  }
  if (shape.eraseEvery) {
    for (int i = 0; i < shape.entries; i += shape.eraseEvery) {
      char word[32];
      std::snprintf(word, sizeof word, "w%03d%s", i * 7 % 1000, i % 3 ? "ab" : "");
      dic.EraseWord(Ascii<B>(word).c_str());
    }
  }
  const int32_t words = dic.WordCount();
  dic.CloseDic();
  // The seed must be what it claims: it opens again and holds its entries.
  vk::Voka<B> again(&env);
  if (again.OpenDic(vkfuzz::kDicPath, nullptr, true) != 0 || again.WordCount() != words ||
      words != shape.entries - (shape.eraseEvery ? (shape.entries + shape.eraseEvery - 1) / shape.eraseEvery : 0)) {
    std::fprintf(stderr, "make_corpus: the %s dictionary of %s does not open as made\n", shape.name, B::kName);
    std::exit(2);
  }
  again.CloseDic();
  const std::vector<uint8_t> bytes = env.Get(vkfuzz::kDicPath);
  return std::string(bytes.begin(), bytes.end());
}

void Write(const fs::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "make_corpus: cannot write %s\n", file.c_str());
    std::exit(2);
  }
}

struct MakeBuild {
  const fs::path& out;
  int build;
  int* files;

  template <class B>
  void operator()() const {
    for (const Shape& s : kShapes) {
      const std::string image = MakeImage<B>(s);
      const std::string stem = std::string(B::kName) + "-" + s.name;
      for (int k = 0; k < 2; ++k) {
        const std::string n = "-" + std::to_string(k);
        Write(out / "read" / (stem + n), vkfuzz::WriteFrame(build, Script(200), image));
        Write(out / "check" / (stem + n), vkfuzz::WriteFrame(build, Script(64), image));
        // Changes on the image (odd first byte) and on a fresh dictionary.
        std::string onImage = Script(400), fresh = Script(400);
        onImage[0] = static_cast<char>(onImage[0] | 1);
        fresh[0] = static_cast<char>(fresh[0] & ~1);
        Write(out / "change" / (stem + n), vkfuzz::WriteFrame(build, onImage, image));
        if (s.entries == 0) Write(out / "change" / (std::string(B::kName) + "-fresh" + n), vkfuzz::WriteFrame(build, fresh, ""));
        *files += s.entries == 0 ? 4 : 3;
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_corpus OUTDIR\n");
    return 2;
  }
  const fs::path out(argv[1]);
  for (const char* d : {"read", "change", "check"}) {
    fs::remove_all(out / d);
    fs::create_directories(out / d);
  }
  int files = 0;
  for (int build = 0; build < 4; ++build) vkfuzz::ForBuild(build, MakeBuild{out, build, &files});
  std::printf("%d corpus files in %s\n", files, out.c_str());
  return 0;
}
