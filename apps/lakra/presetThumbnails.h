#pragma once

// Preset thumbnails on the command line: `lakra preset thumbnail FILE OUT`
// and the thumbnail that `lakra preset save --image IN` stores.

#include "render/settings.h"

#include <string>

namespace lakra {

struct HostImage;
struct ImagePyramid;

// Writes the preset's thumbnail as an 8-bit RGB picture (the format from the
// extension). kExitFailed when the preset has none or a file fails.
[[nodiscard]] int runPresetThumbnail(const std::string& presetPath, const std::string& outPath);

// Renders the look on the image at imagePath through the plug-in and fills
// thumbnail (128 x 128 Rgba8) with the result. An exit code.
[[nodiscard]] int renderLookThumbnail(const std::string& imagePath, const Settings& look,
                                      ImagePyramid* thumbnail);
// The same on an image already read, for a run of thumbnails of one image;
// imagePath names it in messages.
[[nodiscard]] int renderLookThumbnailOn(HostImage& image, const std::string& imagePath,
                                        const Settings& look, ImagePyramid* thumbnail);

} // namespace lakra
