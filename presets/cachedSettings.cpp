#include "presets/cachedSettings.h"

#include "export/files.h"
#include "presets/presetFile.h"

namespace lakra {

Result cachedSettingsLoad(Settings* settings) {
    FileSpec spec{};
    const Result named = temporaryFileSpec(kCachedSettingsName, &spec);
    if (named != noErr) {
        return named;
    }
    // Opened only when present, so a first run makes no noise.
    if (!fileExists(spec)) {
        return failWith(kFileNotOpened);
    }
    return presetRead(spec, PresetReadMode::Full, settings);
}

Result cachedSettingsSave(Settings* settings) {
    FileSpec spec{};
    const Result named = temporaryFileSpec(kCachedSettingsName, &spec);
    if (named != noErr) {
        return named;
    }
    return presetWrite(spec, settings);
}

} // namespace lakra
