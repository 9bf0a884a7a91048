// vkstore: exercises the dictionary storage layers on a word list.
//
//   vkstore demo WORDS.tsv OUT.dic
//
// Creates a UTF-8 dictionary, gives every headword of the list (first column)
// a data block of its own and an index entry, closes the file, opens it again
// and lists what it reads back: the header's figures and the block index.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "dic/DicFile.h"

namespace {

using Dic = vk::DicFile<vk::TraitsVKCU8L>;

std::vector<std::string> ReadHeadwords(const char* path) {
  std::vector<std::string> words;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::string word = line.substr(0, line.find('\t'));
    if (!word.empty()) words.push_back(word);
  }
  std::sort(words.begin(), words.end());
  words.erase(std::unique(words.begin(), words.end()), words.end());
  return words;
}

int Fail(const char* what, int32_t code) {
  std::fprintf(stderr, "vkstore: %s failed with engine code %d\n", what, code);
  return 1;
}

int Demo(const char* wordsPath, const char* dicPath) {
  std::vector<std::string> words = ReadHeadwords(wordsPath);
  if (words.empty()) {
    std::fprintf(stderr, "vkstore: no headwords in %s\n", wordsPath);
    return 1;
  }
  {
    Dic dic;
    if (dic.Create(dicPath, false) != 0) return Fail("create", dic.Error());
    for (size_t i = 0; i < words.size(); ++i) {
      int32_t block = dic.Data().NewBlock(1);
      if (block < 0) return Fail("new block", dic.Error());
      if (dic.InsertIndex(static_cast<int32_t>(i), block, words[i].c_str()) != 0)
        return Fail("index insert", dic.Error());
    }
    if (dic.Close() != 0) return Fail("close", dic.Error());
  }
  Dic dic;
  if (dic.Open(dicPath, true) != 0) return Fail("open", dic.Error());
  const vk::DicHeader& h = dic.Header();
  std::printf("%s: version %x, block size %d, index area %d units, %d data units, %d index entries\n", dicPath,
              h.version(), h.blockSize(), h.indexBlocks(), h.blockCount(), h.indexCount());
  for (int32_t i = 0; i < dic.Index().Count(); ++i)
    std::printf("  block %4d  %s\n", dic.Index().BlockNumber(i), dic.Index().Word(i));
  if (dic.Index().Count() != static_cast<int32_t>(words.size())) {
    std::fprintf(stderr, "vkstore: read back %d of %zu headwords\n", dic.Index().Count(), words.size());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "demo") return Demo(argv[2], argv[3]);
  std::fprintf(stderr, "usage: vkstore demo WORDS.tsv OUT.dic\n");
  return 2;
}
