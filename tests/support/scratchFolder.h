#pragma once

// A temporary folder of the test's own: LAKRA_TEMP points the plug-in's
// temporary folder at it for the test's lifetime, and it is removed after, so
// no test touches the machine's real temporary folder.

#include "platform/platform.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace lakra::testing {

class ScratchFolder {
public:
    ScratchFolder() {
        static int serial = 0;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = info != nullptr ? info->name() : "test";
        std::replace(name.begin(), name.end(), '/', '_'); // parameterised names hold a slash
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        folder = std::filesystem::temp_directory_path() /
                 ("lakra-" + name + "-" + std::to_string(stamp) + "-" + std::to_string(++serial));
        std::filesystem::create_directories(folder);
        const char* old = std::getenv("LAKRA_TEMP"); // NOLINT(concurrency-mt-unsafe)
        hadOld = old != nullptr;
        oldValue = hadOld ? old : "";
        setVariable(path().c_str());
    }

    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    ~ScratchFolder() {
        setVariable(hadOld ? oldValue.c_str() : nullptr);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }

    // The folder with a trailing separator, or a file in it.
    std::string path(const std::string& name = "") const {
        return folder.string() + platformPathSeparator() + name;
    }

    std::vector<uint8_t> read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    void write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        std::ofstream out(path(name), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }

    bool exists(const std::string& name) const { return std::filesystem::exists(path(name)); }

    // The names in the folder, sorted.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

private:
    static void setVariable(const char* value) {
#ifdef _WIN32
        (void)SetEnvironmentVariableA("LAKRA_TEMP", value);
#else
        if (value != nullptr) {
            setenv("LAKRA_TEMP", value, 1); // NOLINT(concurrency-mt-unsafe): test thread
        } else {
            unsetenv("LAKRA_TEMP"); // NOLINT(concurrency-mt-unsafe)
        }
#endif
    }

    std::filesystem::path folder;
    bool hadOld = false;
    std::string oldValue;
};

} // namespace lakra::testing
