#pragma once

// Loading a filter plug-in from a library file (--plugin PATH): the module
// and its PluginMain entry point.

#include "apps/lakra/protocolHost.h"

#include <cstdint>
#include <string>

namespace lakra {

struct LoadedPlugin;

// Loads the library at path and finds PluginMain. On failure returns false
// with a message naming the path and the system's reason.
[[nodiscard]] bool pluginLoad(const std::string& path, LoadedPlugin** plugin, PluginEntry* entry,
                              std::string* error);
// Unloads the library; accepts null.
void pluginUnload(LoadedPlugin* plugin);

// Sets LAKRA_THREADS, the processor count the plug-in renders with, for
// everything this process loads afterwards. count 0 removes the setting.
void setPluginThreads(int32_t count);

} // namespace lakra
