#include "apps/lakra/presetCommands.h"

#include "apps/lakra/applyCommand.h"
#include "apps/lakra/lookOptions.h"
#include "apps/lakra/presetThumbnails.h"
#include "files/files.h"
#include "presets/presetFile.h"
#include "presets/randomLook.h"
#include "presets/thumbnail.h"
#include "pyramid/pyramid.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace lakra {

namespace {

void complain(const std::string& message) {
    static_cast<void>(std::fprintf(stderr, "lakra: %s\n", message.c_str()));
}

int usageError(const std::string& message) {
    complain(message + "\nRun with --help for more information.");
    return kExitUsage;
}

std::string resultMeaning(Result result) {
    switch (result) {
    case kFileNotOpened:
        return "the file cannot be opened";
    case kFileReadError:
        return "the file ends before its values do, or a read failed";
    case kFileWriteError:
        return "a write failed";
    case kPresetUnknownVersion:
        return "not a preset file of a version from 1 to " + std::to_string(kPresetVersion);
    default:
        return "unexpected error";
    }
}

// Shortest text that reads back to the same float; non-finite values (which
// no reader leaves in a look) as "nan" or "inf".
std::string realText(float value) {
    if (!std::isfinite(value)) {
        return std::isnan(value) ? "nan" : (value > 0.0f ? "inf" : "-inf");
    }
    char text[32];
    const std::to_chars_result done = std::to_chars(text, text + sizeof(text), value);
    return std::string(text, done.ptr);
}

std::string colorText(const Settings& look) {
    char text[8];
    static_cast<void>(std::snprintf(text, sizeof(text), "#%02x%02x%02x", look.waterRed >> 8,
                                    look.waterGreen >> 8, look.waterBlue >> 8));
    return text;
}

struct Row {
    std::string name;
    std::string value;
    bool isText; // a JSON string rather than a number
};

// The --set fields but waterColor and glue, in the order lookFieldsHelp lists them.
std::vector<Row> settableRows(const Settings& look) {
    const auto whole = [](const char* name, int32_t value) {
        return Row{name, std::to_string(value), false};
    };
    const auto real = [](const char* name, float value) {
        return Row{name, realText(value), false};
    };
    return {whole("rippleHeight", look.rippleHeight),
            real("horizon", look.horizonFloat),
            whole("perspective", look.perspective),
            whole("undulation", look.undulation),
            whole("rippleSize", look.rippleSize),
            real("offset", look.offsetFloat),
            whole("waviness", look.waviness),
            whole("blur", look.blur),
            whole("complexity", look.complexity),
            whole("altitude", look.altitude),
            whole("brilliance", look.brilliance),
            whole("randomSeed", look.randomSeed),
            real("xCenter", look.xCenter),
            real("yCenter", look.yCenter)};
}

std::vector<Row> allRows(const Settings& look) {
    std::vector<Row> rows{{"formatVersion", std::to_string(look.formatVersion), false}};
    for (Row& row : settableRows(look)) {
        rows.push_back(std::move(row));
    }
    rows.push_back({"waterColor", colorText(look), true});
    rows.push_back({"glue", std::to_string(look.glue), false});
    rows.push_back({"waterRed", std::to_string(look.waterRed), false});
    rows.push_back({"waterGreen", std::to_string(look.waterGreen), false});
    rows.push_back({"waterBlue", std::to_string(look.waterBlue), false});
    int index = 1;
    for (const float Settings::*field : kCarriedFloatFields) {
        rows.push_back({"carriedFloat" + std::to_string(index++), realText(look.*field), false});
    }
    index = 1;
    for (const uint16_t Settings::*field : kCarriedWordFields) {
        rows.push_back(
            {"carriedWord" + std::to_string(index++), std::to_string(look.*field), false});
    }
    index = 1;
    for (const int32_t Settings::*field : kCarriedIntFields) {
        rows.push_back(
            {"carriedInt" + std::to_string(index++), std::to_string(look.*field), false});
    }
    return rows;
}

} // namespace

bool fileSpecOfPath(const std::string& path, const char* what, FileSpec* fileSpec) {
    // A longer path would be cut to the name of some other file.
    if (path.empty() || path.size() >= kPathBytes) {
        complain(std::string("the ") + what + " path must have 1 to " +
                 std::to_string(kPathBytes - 1) + " characters: '" + path + "'");
        return false;
    }
    fileSpecFromPath(fileSpec, path.c_str());
    return true;
}

int lookFromOptions(const LookOptions& options, Settings* look) {
    if (!options.presetPath.empty()) {
        const int code = readPresetLook(options.presetPath, look);
        if (code != kExitOk) {
            return code;
        }
    } else {
        settingsFresh(look);
    }
    std::string error;
    for (const std::string& setting : options.settings) {
        if (!lookSet(look, setting, &error)) {
            return usageError(error);
        }
    }
    if (!options.glue.empty() && !lookSetGlue(look, options.glue, &error)) {
        return usageError(error);
    }
    return kExitOk;
}

int readPresetLook(const std::string& path, Settings* look) {
    settingsFresh(look);
    FileSpec fileSpec{};
    if (!fileSpecOfPath(path, "preset", &fileSpec)) {
        return kExitFailed;
    }
    const Result result = presetRead(fileSpec, PresetReadMode::Full, look);
    if (result != noErr) {
        complain("cannot read the preset " + path + ": result " + std::to_string(result) + ", " +
                 resultMeaning(result));
        return kExitFailed;
    }
    return kExitOk;
}

int writePresetLook(const std::string& path, Settings* look) {
    FileSpec fileSpec{};
    if (!fileSpecOfPath(path, "preset", &fileSpec)) {
        return kExitFailed;
    }
    const Result result = presetWrite(fileSpec, look);
    if (result != noErr) {
        complain("cannot write the preset " + path + ": result " + std::to_string(result) + ", " +
                 resultMeaning(result));
        return kExitFailed;
    }
    return kExitOk;
}

std::string presetText(const Settings& look) {
    std::string text;
    for (const Row& row : allRows(look)) {
        text += row.name + " " + row.value + "\n";
    }
    return text;
}

std::string presetJson(const Settings& look) {
    std::string json = "{";
    const char* separator = "\n  ";
    for (const Row& row : allRows(look)) {
        // JSON has no NaN or infinity.
        const bool finite =
            row.isText || (row.value != "nan" && row.value != "inf" && row.value != "-inf");
        const std::string value =
            row.isText ? "\"" + row.value + "\"" : (finite ? row.value : "null");
        json += separator + ("\"" + row.name + "\": ") + value;
        separator = ",\n  ";
    }
    return json + "\n}\n";
}

Settings dicedLook(uint32_t seed) {
    Settings look{};
    settingsFresh(&look);
    seedRandom(seed);
    diceLook(&look);
    return look;
}

Settings dicedLookFromTime() {
    Settings look{};
    settingsFresh(&look);
    seedRandomFromTime();
    diceLook(&look);
    return look;
}

std::vector<std::string> lookArguments(const Settings& look) {
    std::vector<std::string> arguments;
    std::vector<Row> rows = settableRows(look);
    rows.push_back({"waterColor", colorText(look), true});
    for (const Row& row : rows) {
        arguments.push_back("--set");
        arguments.push_back(row.name + "=" + row.value);
    }
    arguments.push_back("--glue");
    arguments.push_back(std::to_string(look.glue));
    return arguments;
}

int runPresetShow(const std::string& path, bool json) {
    Settings look{};
    const int code = readPresetLook(path, &look);
    if (code != kExitOk) {
        return code;
    }
    const std::string text = json ? presetJson(look) : presetText(look);
    static_cast<void>(std::fputs(text.c_str(), stdout));
    return kExitOk;
}

int runPresetSave(const std::string& path, const LookOptions& options,
                  const std::string& imagePath) {
    Settings look{};
    const int code = lookFromOptions(options, &look);
    if (code != kExitOk || imagePath.empty()) {
        return code != kExitOk ? code : writePresetLook(path, &look);
    }
    // The thumbnail shows the look on the given image.
    PyramidPtr thumbnail(pyramidCreate(128, 128, PixelFormat::Rgba8));
    if (thumbnail == nullptr) {
        return kExitFailed;
    }
    const int rendered = renderLookThumbnail(imagePath, look, thumbnail.get());
    if (rendered != kExitOk) {
        return rendered;
    }
    const PresetHooks hooks = thumbnailPresetHooks(thumbnail.get());
    setPresetHooks(&hooks);
    const int written = writePresetLook(path, &look);
    setPresetHooks(nullptr);
    return written;
}

} // namespace lakra
