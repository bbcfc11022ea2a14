#pragma once

// `lakra psd`: the look rendered at a chosen size into a layered Photoshop
// document, as the plug-in's PSD export writes it. `lakra gallery`: the web
// page of a folder's preset thumbnails.

#include "apps/lakra/presetCommands.h"

#include <cstdint>
#include <string>

namespace lakra {

struct PsdJob {
    std::string inputPath;
    std::string outputPath;
    LookOptions look;
    int32_t width = 0; // --size WxH; 0: not given
    int32_t height = 0;
    int32_t proportionalWidth = 0; // --same-proportions WIDTH; 0: not given
    int32_t threads = 0;           // --threads N: processors to render with; 0: all of them
    bool reportProgress = true;    // percentages on stderr
};

// Parses "WxH" (also "W*H" or "W,H"). False for anything else.
[[nodiscard]] bool parseSize(const std::string& text, int32_t* width, int32_t* height);

// The exit codes of apply. The document is written beside the output under
// a temporary name and takes its place only when complete; Ctrl-C stops the
// render and writes nothing (kExitCancelled).
[[nodiscard]] int runPsd(const PsdJob& job);

// Writes the presets page of the folder's *.q8r files at pagePath, with its
// pictures in "web_images" beside it.
[[nodiscard]] int runGallery(const std::string& folderPath, const std::string& pagePath);

} // namespace lakra
