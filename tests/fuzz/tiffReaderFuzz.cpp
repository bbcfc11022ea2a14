// The command-line host's own TIFF reading against hostile files: files of
// its own writer in every layout, mutated. Whatever the reader takes has the
// layout the host relies on, names the file for its pending records and is
// written back or declined within bounds. fuzzDriver.h tells how the target
// runs under libFuzzer and in ctest.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"
#include "fuzzDriver.h"

#include <cstring>
#include <string>

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer names the entry
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace lakra;
    using fuzz::fail;
    // The reader takes a path: each input goes through one scratch file.
    static const std::string path = fuzz::scratchPath("lakra-tiff-fuzz-input.tif");
    static const std::string written = fuzz::scratchPath("lakra-tiff-fuzz-output.tif");
    fuzz::writeFile(path, data, size);
    HostImage image;
    if (!readImageTiff(path, &image)) {
        if (image.width != 0 || !image.pixels.empty()) {
            fail("a refusal that touched the image");
        }
        return 0;
    }
    if (image.width <= 0 || image.height <= 0 || image.planes < 1 || image.planes > 4 ||
        (image.depth != 8 && image.depth != 16 && image.depth != 32) ||
        image.alpha != (image.planes == 2 || image.planes == 4)) {
        fail("an image without pixels or with a layout the host does not take");
    }
    if (image.pixels.size() != hostRowBytes(image) * static_cast<size_t>(image.height)) {
        fail("a pixel buffer of the wrong size");
    }
    if (image.metadata.pendingFile != path || image.metadata.pendingFileSize != size ||
        image.metadata.pendingOrientation < 1 || image.metadata.pendingOrientation > 8 ||
        !image.metadata.records.empty()) {
        fail("pending records that do not name the file, or an orientation out of range");
    }
    (void)writeTiffFile(written, image);
    return 0;
}

#ifndef LAKRA_LIBFUZZER

namespace {

using lakra::fuzz::Bytes;

// Small files of the direct writer: every layout and depth, a strip and a
// half, with a DateTime.
std::vector<Bytes> seeds() {
    std::vector<Bytes> made;
    const std::string path = lakra::fuzz::scratchPath("lakra-tiff-fuzz-seed.tif");
    for (int32_t layout = 0; layout < 12; ++layout) {
        lakra::HostImage image;
        image.width = 3 + layout;
        image.height = 40;
        image.planes = layout / 3 + 1;
        image.depth = 8 << (layout % 3);
        image.alpha = image.planes == 2 || image.planes == 4;
        image.pixels.resize(lakra::hostRowBytes(image) * static_cast<size_t>(image.height));
        for (size_t i = 0; i < image.pixels.size(); ++i) {
            image.pixels[i] = static_cast<uint8_t>(i * 31 % 251);
        }
        if (image.depth == 32) {
            for (size_t i = 0; i + 4 <= image.pixels.size(); i += 4) {
                const float value = static_cast<float>(i % 97) / 64.0f;
                std::memcpy(&image.pixels[i], &value, 4);
            }
        }
        if (!lakra::writeTiffFile(path, image)) {
            lakra::fuzz::fail("cannot write a seed");
        }
        made.push_back(lakra::fuzz::readFile(path));
    }
    return made;
}

} // namespace

int main(int argc, char** argv) {
    return lakra::fuzz::fuzzStandaloneMain(
        argc, argv, {"TIFF files", ".tif", seeds, lakra::fuzz::WordOrder::LittleEndian});
}

#endif
