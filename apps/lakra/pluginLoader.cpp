#include "apps/lakra/pluginLoader.h"

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

PluginEntry findEntry(void* module) {
    FARPROC proc = GetProcAddress(static_cast<HMODULE>(module), "PluginMain");
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

PluginEntry findEntry(void* module) {
    void* symbol = dlsym(module, "PluginMain");
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
    const PluginEntry found = findEntry(module);
    if (found == nullptr) {
        closeModule(module);
        *error = "cannot load plug-in " + path + ": it exports no PluginMain entry point";
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
