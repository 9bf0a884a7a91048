// The replayer: a main() for a fuzz target without libFuzzer, so that any
// compiler's build runs a corpus (or single inputs, such as a crash file
// libFuzzer wrote) through the target. Arguments are files or folders; a
// folder's regular files are run in name order. A failed check aborts, as
// under the fuzzer; the exit status is 1 when no input was found.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void RunFile(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // A copy of its own, exactly as long as the input, so that the sanitizers
  // see any read past its end.
  std::vector<uint8_t> exact(bytes);
  LLVMFuzzerTestOneInput(exact.empty() ? nullptr : exact.data(), exact.size());
}

}  // namespace

int main(int argc, char** argv) {
  size_t runs = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path arg(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(arg, ec)) {
      std::vector<std::filesystem::path> files;
      for (const auto& e : std::filesystem::directory_iterator(arg, ec))
        if (e.is_regular_file()) files.push_back(e.path());
      std::sort(files.begin(), files.end());
      for (const auto& f : files) {
        RunFile(f);
        ++runs;
      }
    } else if (std::filesystem::is_regular_file(arg, ec)) {
      RunFile(arg);
      ++runs;
    } else {
      std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
      return 1;
    }
  }
  std::printf("%zu inputs replayed\n", runs);
  return runs ? 0 : 1;
}
