#include "presets/cachedSettings.h"

#include "files/files.h"
#include "presets/presetFile.h"

namespace lakra {

Result cachedSettingsLoad(Settings* settings) {
    FileSpec fileSpec{};
    const Result named = temporaryFileSpec(kCachedSettingsName, &fileSpec);
    if (named != noErr) {
        return named;
    }
    // Opened only when present, so a first run makes no noise.
    if (!fileExists(fileSpec)) {
        return failWith(kFileNotOpened);
    }
    return presetRead(fileSpec, PresetReadMode::Full, settings);
}

Result cachedSettingsSave(Settings* settings) {
    FileSpec fileSpec{};
    const Result named = temporaryFileSpec(kCachedSettingsName, &fileSpec);
    if (named != noErr) {
        return named;
    }
    return presetWrite(fileSpec, settings);
}

} // namespace lakra
