#include "fuzzDriver.h"

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>

namespace lakra::fuzz {

namespace {

struct Random { // a fixed LCG: the same run everywhere
    uint64_t state = 0x2545F4914F6CDD1DULL;

    uint32_t next() {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<uint32_t>(state >> 33);
    }

    uint32_t below(uint32_t n) { return n == 0 ? 0 : next() % n; }
};

// One to four edits: a word set to an edge value, a random byte, a cut, or
// garbage appended.
void mutate(Bytes* bytes, WordOrder order, Random* random) {
    static constexpr uint32_t kWords[] = {0,          1,          2,         10,         128,
                                          129,        49152,      49153,     0x7FFFFFFF, 0x80000000,
                                          0xFFFFFFFF, 0x7FC00000, 0xFF800000};
    const uint32_t edits = 1 + random->below(4);
    for (uint32_t e = 0; e < edits; ++e) {
        const auto size = static_cast<uint32_t>(bytes->size());
        switch (random->below(4)) {
        case 0: // a word set to an edge value
            if (size >= 4) {
                const uint32_t at = random->below(size / 4) * 4;
                const uint32_t value = kWords[random->below(std::size(kWords))];
                for (uint32_t i = 0; i < 4; ++i) {
                    const uint32_t shift = order == WordOrder::BigEndian ? 24 - 8 * i : 8 * i;
                    (*bytes)[at + i] = static_cast<uint8_t>(value >> shift);
                }
            }
            break;
        case 1: // a random byte
            if (size > 0) {
                (*bytes)[random->below(size)] = static_cast<uint8_t>(random->next());
            }
            break;
        case 2: // cut short
            bytes->resize(random->below(size + 1));
            break;
        default: // garbage appended
            for (uint32_t i = random->below(64); i > 0; --i) {
                bytes->push_back(static_cast<uint8_t>(random->next()));
            }
            break;
        }
    }
}

Bytes fileBytes(const char* path) {
    Bytes bytes;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        (void)std::fprintf(stderr, "cannot read %s\n", path);
        std::abort();
    }
    for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
        bytes.push_back(static_cast<uint8_t>(c));
    }
    (void)std::fclose(file);
    return bytes;
}

void runOne(const Bytes& bytes) {
    (void)LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

// Writes the seeds into folder as files, the starting corpus of libFuzzer.
int writeSeeds(const FuzzTarget& target, const char* folder) {
    const std::vector<Bytes> corpus = target.seeds();
    for (size_t i = 0; i < corpus.size(); ++i) {
        char path[512];
        (void)std::snprintf(path, sizeof path, "%s/seed-%02zu%s", folder, i, target.seedExtension);
        std::FILE* file = std::fopen(path, "wb");
        if (file == nullptr) {
            (void)std::fprintf(stderr, "cannot write %s\n", path);
            return 1;
        }
        const size_t written = std::fwrite(corpus[i].data(), 1, corpus[i].size(), file);
        if (std::fclose(file) != 0 || written != corpus[i].size()) {
            (void)std::fprintf(stderr, "cannot write %s\n", path);
            return 1;
        }
    }
    (void)std::printf("%zu seed files written to %s\n", corpus.size(), folder);
    return 0;
}

} // namespace

int fuzzStandaloneMain(int argc, char** argv, const FuzzTarget& target) {
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") {
        return writeSeeds(target, argv[2]);
    }
    const long iterations = argc > 1 ? std::strtol(argv[1], nullptr, 10) : target.defaultIterations;
    for (int i = 2; i < argc; ++i) {
        runOne(fileBytes(argv[i]));
    }
    const std::vector<Bytes> corpus = target.seeds();
    if (corpus.empty()) {
        (void)std::fputs("no seeds\n", stderr);
        return 1;
    }
    for (const Bytes& seed : corpus) {
        runOne(seed);
    }
    Random random;
    for (long i = 0; i < iterations; ++i) {
        Bytes bytes = corpus[random.below(static_cast<uint32_t>(corpus.size()))];
        mutate(&bytes, target.wordOrder, &random);
        runOne(bytes);
    }
    (void)std::printf("%ld mutated %s read safely\n", iterations, target.inputs);
    return 0;
}

} // namespace lakra::fuzz
