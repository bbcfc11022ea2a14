// The readers of the plug-in's property list (PiPL) and scripting terminology
// (AETE) against hostile bytes: every input goes to both. fuzzDriver.h tells
// how the target runs under libFuzzer and in ctest.

#include "apps/lakra/pluginResources.h"
#include "fuzzDriver.h"

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer names the entry
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lakra;
    // A heap copy of exactly `size` bytes, so a read past the end shows.
    const std::vector<uint8_t> bytes(data, data + size);
    PiplInfo pipl;
    if (parsePipl(bytes.data(), bytes.size(), &pipl)) {
        for (const PiplProperty& property : pipl.properties) {
            if (property.dataOffset > bytes.size() || property.length < 0) {
                fuzz::fail("a property outside the resource");
            }
        }
        for (int mode = -1; mode < 40; ++mode) {
            (void)piplSupportsMode(pipl, mode);
        }
    }
    AeteInfo aete;
    if (parseAete(bytes.data(), bytes.size(), &aete) && aete.bytesRead > bytes.size()) {
        fuzz::fail("a terminology that ends past the resource");
    }
    return 0;
}

#ifndef LAKRA_LIBFUZZER

#include "resourceSamples.h"

namespace {

std::vector<lakra::fuzz::Bytes> seeds() {
    using lakra::testing::sampleAete;
    using lakra::testing::samplePipl;
    std::vector<uint8_t> aeteWithTail = sampleAete().data;
    aeteWithTail.resize(aeteWithTail.size() + 4, 0); // one writer appends four zero bytes
    return {samplePipl(true).data, samplePipl(false).data, sampleAete().data, aeteWithTail};
}

} // namespace

int main(int argc, char** argv) {
    return lakra::fuzz::fuzzStandaloneMain(
        argc, argv, {"resources", ".bin", seeds, lakra::fuzz::WordOrder::LittleEndian});
}

#endif
