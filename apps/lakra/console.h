#pragma once

// What the command line returns and says: its exit codes, and its messages
// on stderr, each line starting "lakra: ".

#include <string>

namespace lakra {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;      // unreadable input, unwritable output, plug-in error
inline constexpr int kExitUsage = 2;       // bad arguments
inline constexpr int kExitCancelled = 130; // Ctrl-C: nothing written

// Prints "lakra: message" and a line end on stderr.
void complain(const std::string& message);

// Complains, points to --help on a second line and returns kExitUsage.
[[nodiscard]] int usageError(const std::string& message);

} // namespace lakra
