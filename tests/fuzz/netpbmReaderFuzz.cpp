// The command-line host's netpbm reader (PGM/PPM, PAM, PFM) against hostile
// files: a header of every kind, mutated. fuzzDriver.h tells how the target
// runs under libFuzzer and in ctest.

#include "apps/lakra/imageFile.h"
#include "fuzzDriver.h"

#include <cstring>

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer names the entry
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lakra;
    using fuzz::fail;
    // The reader takes a path: each input goes through one scratch file.
    static const std::string path = fuzz::scratchPath("lakra-netpbm-fuzz-input");
    fuzz::writeFile(path, data, size);
    HostImage image;
    std::string error;
    if (!readImageNetpbm(path, &image, &error)) {
        if (error.empty()) {
            fail("a refusal without a reason");
        }
        return 0;
    }
    // What the host relies on in every image the reader hands out.
    if (image.width <= 0 || image.height <= 0 || image.planes < 1 || image.planes > 4 ||
        (image.depth != 8 && image.depth != 16 && image.depth != 32)) {
        fail("an image without pixels, with a bad plane count or depth");
    }
    if (image.alpha != (image.planes == 2 || image.planes == 4)) {
        fail("transparency on a layout without it");
    }
    if (image.pixels.size() != hostRowBytes(image) * static_cast<size_t>(image.height)) {
        fail("a pixel buffer of the wrong size");
    }
    for (size_t i = 0; image.depth == 16 && i + 1 < image.pixels.size(); i += 2) {
        uint16_t sample = 0;
        std::memcpy(&sample, &image.pixels[i], 2);
        if (sample > 32768) {
            fail("a 16-bit sample above the host's full scale");
        }
    }
    return 0;
}

#ifndef LAKRA_LIBFUZZER

namespace {

using lakra::fuzz::Bytes;

// A header, then `pixelBytes` bytes of a pattern that stays below maxval 15.
Bytes file(const std::string& header, size_t pixelBytes) {
    Bytes bytes(header.begin(), header.end());
    for (size_t i = 0; i < pixelBytes; ++i) {
        bytes.push_back(static_cast<uint8_t>(i * 7 % 16));
    }
    return bytes;
}

std::vector<Bytes> seeds() {
    return {
        file("P5\n3 2\n255\n", 6),
        file("P5 # grey\n3 2\n15\n", 6),
        file("P5\n2 2\n65535\n", 8),
        file("P6\n2 3\n255\n", 18),
        file("P6\n2 1\n1000\n", 12),
        file("P7\nWIDTH 2\nHEIGHT 2\nDEPTH 1\nMAXVAL 255\nTUPLTYPE GRAYSCALE\nENDHDR\n", 4),
        file("P7\nWIDTH 2\nHEIGHT 1\nDEPTH 2\nMAXVAL 65535\nTUPLTYPE GRAYSCALE_ALPHA\nENDHDR\n", 8),
        file("P7\n# comment\nWIDTH 1\nHEIGHT 2\nDEPTH 3\nMAXVAL 15\nTUPLTYPE RGB\nENDHDR\n", 6),
        file("P7\nWIDTH 2\nHEIGHT 2\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n", 16),
        file(
            "P7\nWIDTH 1\nHEIGHT 1\nDEPTH 2\nMAXVAL 1\nTUPLTYPE BLACKANDWHITE_ALPHA\nX 1\nENDHDR\n",
            2),
        file("PF\n2 1\n-1.0\n", 24),
        file("Pf\n1 2\n1.0\n", 8),
    };
}

} // namespace

int main(int argc, char** argv) {
    return lakra::fuzz::fuzzStandaloneMain(argc, argv, {"netpbm files", ".pnm", seeds});
}

#endif
