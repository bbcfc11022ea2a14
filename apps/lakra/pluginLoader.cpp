#include "apps/lakra/pluginLoader.h"

#include "apps/lakra/pluginResources.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace lakra {

struct LoadedPlugin {
    void* module;
};

namespace {

bool fileExists(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    static_cast<void>(std::fclose(file));
    return true;
}

#if defined(_WIN32)

std::string systemMessage(DWORD code) {
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof(text), nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    if (message.empty()) {
        message = "system error " + std::to_string(code);
    }
    return message;
}

void* openModule(const std::string& path, std::string* reason) {
    HMODULE module = LoadLibraryA(path.c_str());
    if (module == nullptr) {
        *reason = systemMessage(GetLastError());
    }
    return reinterpret_cast<void*>(module);
}

// A host reads the module's property list before it calls the module: it
// names the entry point, and a module that is no filter is refused.
bool entryName(void* module, std::string* name, std::string* reason) {
    auto* handle = static_cast<HMODULE>(module);
    HRSRC found = FindResourceA(handle, MAKEINTRESOURCEA(kPiplResourceId), "PiPL");
    if (found == nullptr) {
        *reason = "it has no PiPL resource";
        return false;
    }
    HGLOBAL loaded = LoadResource(handle, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) {
        *reason = "its PiPL resource cannot be read";
        return false;
    }
    return piplFilterEntry(static_cast<const uint8_t*>(bytes), SizeofResource(handle, found), name,
                           reason);
}

PluginEntry findEntry(void* module, const std::string& name) {
    FARPROC proc = GetProcAddress(static_cast<HMODULE>(module), name.c_str());
    PluginEntry entry = nullptr;
    static_assert(sizeof(proc) == sizeof(entry));
    std::memcpy(&entry, &proc, sizeof(entry));
    return entry;
}

void closeModule(void* module) {
    FreeLibrary(static_cast<HMODULE>(module));
}

#else

void* openModule(const std::string& path, std::string* reason) {
    // A bare file name would send dlopen through the library search path.
    const std::string where = path.find('/') == std::string::npos ? "./" + path : path;
    void* module = dlopen(where.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        const char* text = dlerror(); // NOLINT(concurrency-mt-unsafe): one thread loads
        *reason = text != nullptr ? text : "unknown reason";
    }
    return module;
}

// A shared library has no Windows resources, so no property list to read:
// its entry point is PluginMain.
bool entryName(void* /*module*/, std::string* name, std::string* /*reason*/) {
    *name = "PluginMain";
    return true;
}

PluginEntry findEntry(void* module, const std::string& name) {
    void* symbol = dlsym(module, name.c_str());
    PluginEntry entry = nullptr;
    static_assert(sizeof(symbol) == sizeof(entry));
    std::memcpy(&entry, &symbol, sizeof(entry));
    return entry;
}

void closeModule(void* module) {
    dlclose(module);
}

#endif

} // namespace

bool pluginLoad(const std::string& path, LoadedPlugin** plugin, PluginEntry* entry,
                std::string* error) {
    *plugin = nullptr;
    *entry = nullptr;
    if (!fileExists(path)) {
        *error = "cannot load plug-in " + path + ": no such file, or it cannot be read";
        return false;
    }
    std::string reason;
    void* module = openModule(path, &reason);
    if (module == nullptr) {
        *error = "cannot load plug-in " + path + ": " + reason;
        return false;
    }
    std::string name;
    if (!entryName(module, &name, &reason)) {
        closeModule(module);
        *error = "cannot load plug-in " + path + ": " + reason;
        return false;
    }
    const PluginEntry found = findEntry(module, name);
    if (found == nullptr) {
        closeModule(module);
        *error = "cannot load plug-in " + path + ": it exports no " + name + " entry point";
        return false;
    }
    auto* loaded = new (std::nothrow) LoadedPlugin{module};
    if (loaded == nullptr) {
        closeModule(module);
        *error = "cannot load plug-in " + path + ": out of memory";
        return false;
    }
    *plugin = loaded;
    *entry = found;
    return true;
}

void pluginUnload(LoadedPlugin* plugin) {
    if (plugin == nullptr) {
        return;
    }
    closeModule(plugin->module);
    delete plugin;
}

void setPluginThreads(int32_t count) {
    // putenv keeps the string itself, so it must outlive the setting.
    static char setting[40];
    if (count > 0) {
        static_cast<void>(
            std::snprintf(setting, sizeof(setting), "LAKRA_THREADS=%d", static_cast<int>(count)));
    } else {
        static_cast<void>(std::snprintf(setting, sizeof(setting), "LAKRA_THREADS="));
    }
#if defined(_WIN32)
    static_cast<void>(_putenv(setting)); // "NAME=" removes it on Windows
#else
    if (count > 0) {
        static_cast<void>(putenv(setting)); // NOLINT(concurrency-mt-unsafe): before any run
    } else {
        static_cast<void>(unsetenv("LAKRA_THREADS")); // NOLINT(concurrency-mt-unsafe)
    }
#endif
}

} // namespace lakra
