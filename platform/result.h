#pragma once

#include <cstdint>

namespace lakra {

// Result codes travel as the host's 16-bit OSErr: 0 is success, negative is an
// error, and a positive value means the plug-in has already told the user.
using Result = int16_t;

// NOLINTBEGIN(readability-identifier-naming): the host's published names
inline constexpr Result noErr = 0;
inline constexpr Result memFullErr = -108;
inline constexpr Result userCanceledErr = -128;
inline constexpr Result filterBadParameters = -30100;
// NOLINTEND(readability-identifier-naming)

// The refusal was shown to the user in a message of our own.
inline constexpr Result kAlreadyReported = 1;
// A worker's start event could not be set; the unit is still awaited.
inline constexpr Result kStartEventFailed = -2;

// Every failure passes through here, so one breakpoint finds where it began.
[[nodiscard]] inline Result failWith(Result code) {
    return code;
}

} // namespace lakra
