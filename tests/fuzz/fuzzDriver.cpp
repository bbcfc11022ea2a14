#include "fuzzDriver.h"

#include <iterator>

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

void runOne(const Bytes& bytes) {
    (void)LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

} // namespace

int fuzzStandaloneMain(int argc, char** argv, const FuzzTarget& target) {
    const std::vector<Bytes> corpus = target.seeds();
    if (argc == 3 && std::string(argv[1]) == "--write-seeds") { // the libFuzzer corpus
        for (size_t i = 0; i < corpus.size(); ++i) {
            const std::string name = "/seed-" + std::to_string(i) + target.seedExtension;
            writeFile(argv[2] + name, corpus[i].data(), corpus[i].size());
        }
        (void)std::printf("%zu seed files written to %s\n", corpus.size(), argv[2]);
        return 0;
    }
    const long iterations = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 2000;
    for (int i = 2; i < argc; ++i) {
        runOne(readFile(argv[i]));
    }
    if (corpus.empty()) {
        fail("no seeds");
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
