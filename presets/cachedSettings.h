#pragma once

// The last confirmed look, kept between runs (and host processes) as a preset
// file in the temporary folder.

#include "platform/result.h"
#include "render/settings.h"

namespace lakra {

inline constexpr const char* kCachedSettingsName = "Lakra cached settings D";

// Reads the cached look into settings in full mode, over whatever they hold
// (prepare has reset them to the defaults). A missing or unreadable file
// leaves them as they are.
[[nodiscard]] Result cachedSettingsLoad(Settings* settings);
// Writes settings as the cached look. The result is for tests; the plug-in
// does not report it.
Result cachedSettingsSave(Settings* settings);

} // namespace lakra
