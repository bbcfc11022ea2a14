#pragma once

// Loading a filter plug-in from a library file (--plugin PATH): the module
// and its entry point. On Windows the module's PiPL names the entry point and
// must describe a filter; a Linux shared library has no such resource and
// exports PluginMain.

#include "apps/lakra/protocolHost.h"

#include <cstdint>
#include <string>

namespace lakra {

struct LoadedPlugin;

// Loads the library at path and finds its entry point. On failure returns
// false with a message naming the path and the reason.
[[nodiscard]] bool pluginLoad(const std::string& path, LoadedPlugin** plugin, PluginEntry* entry,
                              std::string* error);
// Unloads the library; accepts null.
void pluginUnload(LoadedPlugin* plugin);

// Sets LAKRA_THREADS, the processor count the plug-in renders with, for
// everything this process loads afterwards. count 0 removes the setting.
void setPluginThreads(int32_t count);

} // namespace lakra
