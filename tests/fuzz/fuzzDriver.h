#pragma once

// The standalone side of the fuzz targets. Each target defines
// LLVMFuzzerTestOneInput; built with LAKRA_LIBFUZZER (clang, -fsanitize=fuzzer)
// libFuzzer drives it, otherwise the target's main hands itself to
// fuzzStandaloneMain, which replays the seeds, any corpus files named on the
// command line and a bounded, seeded run of mutations of the seeds, so that
// ctest runs every target under the sanitizers:
//
//   TARGET [iterations] [file...]
//   TARGET --write-seeds FOLDER   (the libFuzzer corpus)

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace lakra::fuzz {

using Bytes = std::vector<uint8_t>;

// The byte order of the edge values written over the seeds' words.
enum class WordOrder : uint8_t { BigEndian, LittleEndian };

struct FuzzTarget {
    const char* inputs = "inputs";  // what one input is, for the closing line
    const char* seedExtension = ""; // of the seed files, e.g. ".q8r"
    std::vector<Bytes> (*seeds)() = nullptr;
    WordOrder wordOrder = WordOrder::BigEndian;
    long defaultIterations = 2000;
};

int fuzzStandaloneMain(int argc, char** argv, const FuzzTarget& target);

} // namespace lakra::fuzz
