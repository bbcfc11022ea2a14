#pragma once

// Looks as files and dice: `lakra apply --preset`, `lakra preset show`,
// `lakra preset save` and `lakra dice`. Every function that returns an exit
// code has explained a failure on stderr.

#include "render/settings.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lakra {

struct FileSpec;

// How the command line builds a look: the preset (when a path is given),
// then each --set in order, then --glue.
struct LookOptions {
    std::string presetPath; // empty: the default look
    std::vector<std::string> settings;
    std::string glue; // empty: not given
};

// A fresh record with the options' look. kExitOk; kExitFailed for a preset
// that cannot be read (its result code is printed); kExitUsage for a refused
// option.
[[nodiscard]] int lookFromOptions(const LookOptions& options, Settings* look);

// A fresh record with the preset's look, read in full. Paths longer than a
// FileSpec holds are refused rather than cut to another file's name.
[[nodiscard]] int readPresetLook(const std::string& path, Settings* look);

// Writes the look as a preset file of the current version.
[[nodiscard]] int writePresetLook(const std::string& path, Settings* look);

// Every field of the look, one "name value" line each: the --set names with
// values --set accepts (waterColor as #rrggbb), the exact 16-bit colour
// channels, then the carried fields. Reals are the shortest text that reads
// back to the same float.
[[nodiscard]] std::string presetText(const Settings& look);
// The same fields as one JSON object; waterColor is a string, the rest numbers.
[[nodiscard]] std::string presetJson(const Settings& look);

// The look the dice make from the default look and a seed.
[[nodiscard]] Settings dicedLook(uint32_t seed);
// ... and from the current time.
[[nodiscard]] Settings dicedLookFromTime();
// The look as arguments `lakra apply` takes: "--set", "NAME=VALUE" pairs for
// every --set field but glue, then "--glue", its number.
[[nodiscard]] std::vector<std::string> lookArguments(const Settings& look);

// The path as a FileSpec, which holds kPathBytes - 1 characters: a longer or
// empty path is refused with a message naming it as `what` ("preset", "output").
[[nodiscard]] bool fileSpecOfPath(const std::string& path, const char* what, FileSpec* fileSpec);

// `lakra preset show FILE [--json]` and `lakra preset save FILE ...`.
[[nodiscard]] int runPresetShow(const std::string& path, bool json);
// With an image path, the preset's thumbnail is the look rendered on that image.
[[nodiscard]] int runPresetSave(const std::string& path, const LookOptions& options,
                                const std::string& imagePath = std::string());

// `lakra preset resave FOLDER --image IN`: every preset of the folder whose
// name holds "q5q" or "q9q" (any case) written back in the current version
// with the thumbnail of its look rendered on IN; "q9q" files then take the
// extension ".q5q". One line per marked file and a summary on stdout.
// kExitOk when every marked file that is not read-only was re-saved;
// kExitFailed when one was not, or the folder or IN cannot be read.
[[nodiscard]] int runPresetResave(const std::string& folderPath, const std::string& imagePath);

} // namespace lakra
