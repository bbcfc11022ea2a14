#pragma once

// Checks shared by the preset, export and dialog tests: whole records,
// one 8-bit channel of an image, and what outside programs make of a file.

#include "pyramid/pyramid.h"
#include "render/settings.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace lakra::testing {

// Whole records, padding included: compare records that start from settingsFresh's zeros.
inline bool sameBytes(const Settings& a, const Settings& b) {
    return std::memcmp(static_cast<const void*>(&a), static_cast<const void*>(&b),
                       sizeof(Settings)) == 0;
}

// Channel c (0 red .. 3 alpha) of an 8-bit pixel.
inline uint32_t channel8(const ImagePyramid* image, int32_t x, int32_t y, int c) {
    return (readRgba8(x, y, image, 0) >> (24 - 8 * c)) & 0xFFu;
}

// A command's output; empty on Windows, where the tools are not run.
inline std::string toolOutput(const std::string& command) {
    std::string output;
#ifndef _WIN32
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        for (size_t got = 0; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
            output.append(buffer, got);
        }
        pclose(pipe);
    }
#else
    (void)command;
#endif
    return output;
}

inline bool haveTool(const std::string& name) {
    return !toolOutput("command -v " + name).empty();
}

} // namespace lakra::testing
