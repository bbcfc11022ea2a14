#pragma once

// The standalone side of the fuzz targets, and what they share. Each target
// defines LLVMFuzzerTestOneInput; built with LAKRA_LIBFUZZER (clang,
// -fsanitize=fuzzer) libFuzzer drives it, otherwise the target's main hands
// itself to fuzzStandaloneMain, which replays the seeds, any corpus files
// named on the command line and a bounded, seeded run of mutations of the
// seeds, so that ctest runs every target under the sanitizers:
//
//   TARGET [iterations] [file...]
//   TARGET --write-seeds FOLDER   (the libFuzzer corpus)

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
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
};

int fuzzStandaloneMain(int argc, char** argv, const FuzzTarget& target);

// A broken promise of the code under test ends the run, as a sanitizer would.
[[noreturn]] inline void fail(const char* what) {
    (void)std::fprintf(stderr, "fuzz target: %s\n", what);
    std::abort();
}

// A file of the temporary folder (LAKRA_TEMP, else TMPDIR, else /tmp); the
// targets run on one thread.
inline std::string scratchPath(const char* name) {
    const char* folder = std::getenv("LAKRA_TEMP"); // NOLINT(concurrency-mt-unsafe)
    if (folder == nullptr || folder[0] == '\0') {
        folder = std::getenv("TMPDIR"); // NOLINT(concurrency-mt-unsafe)
    }
    const std::string path = folder != nullptr && folder[0] != '\0' ? folder : "/tmp/";
    return path + (path.back() == '/' ? "" : "/") + name;
}

inline void writeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream file(path, std::ios::binary);
    if (!file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size)) ||
        !file.flush()) {
        fail("cannot write a scratch file");
    }
}

inline Bytes readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        fail("cannot read a file");
    }
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace lakra::fuzz
