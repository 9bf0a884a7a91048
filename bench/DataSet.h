// The benchmark's data set: real dictionaries from Debian packages, read in a
// fixed order into one list of entries, then cut to what every store can
// hold unchanged, so that all of them are timed on the same entries:
//
//   - a headword over 248 UTF-8 bytes (the engine refuses it) is left out;
//   - an empty translation is left out (the engine would store "?");
//   - a translation over 3000 UTF-16 units or a pronunciation over 1000 is
//     left out (the engine's merge-registration leaves such entries unstored);
//   - of the entries sharing a headword, those after the point where the
//     merged translation (texts joined with CR LF) would pass 3000 units, or
//     the merged pronunciation 1000, are left out. The bound holds for every
//     order of registration, so random order merges exactly what sorted
//     order merges, and no store ever meets the engine's length limits.
//
// Same packages, same list: nothing here depends on the seed.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "DictdReader.h"

namespace vkbench {

struct DataSource {
  std::string package;  // the Debian package that holds the files
  std::string index, dict;
  DictdStyle style;
};

// The dictionaries of the set, in the order they are read.
std::vector<DataSource> DefaultSources();

struct SourceCounts {
  std::string package;
  DictdCounts dictd;
  size_t entries = 0;  // read from this source
  size_t kept = 0;     // of them, in the set after the cuts
};

struct DataSetCounts {
  std::vector<SourceCounts> sources;
  size_t longWord = 0, emptyTranslation = 0, longText = 0, mergeBound = 0;
  size_t sampledOut = 0;  // left out by --quick
};

// Reads every source and makes the cuts above. With `every` > 1 only every
// every-th entry read is taken (a smaller set for quick runs). False with a
// message when a source cannot be read.
bool BuildDataSet(const std::vector<DataSource>& sources, size_t every, std::vector<DictEntry>* entries,
                  DataSetCounts* counts, std::string* error);

// UTF-16 units of a UTF-8 text.
size_t Utf16Length(const std::string& utf8);

}  // namespace vkbench
