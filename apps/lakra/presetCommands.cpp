#include "apps/lakra/presetCommands.h"

#include "apps/lakra/applyCommand.h"
#include "apps/lakra/imageFile.h"
#include "apps/lakra/jsonWriter.h"
#include "apps/lakra/lookOptions.h"
#include "apps/lakra/presetThumbnails.h"
#include "files/files.h"
#include "presets/batchResave.h"
#include "presets/memoryDots.h"
#include "presets/presetFile.h"
#include "presets/randomLook.h"
#include "presets/thumbnail.h"
#include "pyramid/pyramid.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace lakra {

namespace {

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

// One field of a look: a whole number, a real or a text.
struct Row {
    enum class Kind : uint8_t { Whole, Real, Text };

    std::string name;
    Kind kind = Kind::Whole;
    int64_t whole = 0;
    float real = 0.0f;
    std::string text;
};

Row wholeRow(std::string name, int64_t value) {
    return Row{std::move(name), Row::Kind::Whole, value, 0.0f, {}};
}

Row realRow(std::string name, float value) {
    return Row{std::move(name), Row::Kind::Real, 0, value, {}};
}

Row textRow(std::string name, std::string value) {
    return Row{std::move(name), Row::Kind::Text, 0, 0.0f, std::move(value)};
}

std::string rowText(const Row& row) {
    switch (row.kind) {
    case Row::Kind::Whole:
        return std::to_string(row.whole);
    case Row::Kind::Real:
        return realText(row.real);
    case Row::Kind::Text:
        break;
    }
    return row.text;
}

// The --set fields but waterColor and glue, in the order lookFieldsHelp lists them.
std::vector<Row> settableRows(const Settings& look) {
    std::vector<Row> rows;
    for (const LookField* field : lookOptionFields()) {
        const char* name = lookOptionName(*field);
        switch (field->option) {
        case OptionKind::Slider:
        case OptionKind::Seed:
            rows.push_back(wholeRow(name, look.*field->integer));
            break;
        case OptionKind::Percent:
            rows.push_back(realRow(name, look.*field->exact));
            break;
        case OptionKind::Fraction:
            rows.push_back(realRow(name, look.*field->real));
            break;
        case OptionKind::None:
        case OptionKind::Color:
        case OptionKind::Glue:
            break;
        }
    }
    return rows;
}

std::vector<Row> allRows(const Settings& look) {
    std::vector<Row> rows{wholeRow("formatVersion", look.formatVersion)};
    for (Row& row : settableRows(look)) {
        rows.push_back(std::move(row));
    }
    rows.push_back(textRow("waterColor", colorText(look)));
    rows.push_back(wholeRow("glue", look.glue));
    rows.push_back(wholeRow("waterRed", look.waterRed));
    rows.push_back(wholeRow("waterGreen", look.waterGreen));
    rows.push_back(wholeRow("waterBlue", look.waterBlue));
    int index = 1;
    for (const float Settings::*field : kCarriedFloatFields) {
        rows.push_back(realRow("carriedFloat" + std::to_string(index++), look.*field));
    }
    index = 1;
    for (const uint16_t Settings::*field : kCarriedWordFields) {
        rows.push_back(wholeRow("carriedWord" + std::to_string(index++), look.*field));
    }
    index = 1;
    for (const int32_t Settings::*field : kCarriedIntFields) {
        rows.push_back(wholeRow("carriedInt" + std::to_string(index++), look.*field));
    }
    return rows;
}

// The state of one `preset resave`: the image every thumbnail shows.
struct ResaveRun {
    HostImage* image;
    const std::string* imagePath;
    std::string folder; // with its separator
    bool thumbnailMissing = false;
    int32_t thumbnailsMissing = 0;
};

void showResavedLook(void* context, Settings* settings, ImagePyramid* thumbnail) {
    auto* run = static_cast<ResaveRun*>(context);
    run->thumbnailMissing =
        renderLookThumbnailOn(*run->image, *run->imagePath, *settings, thumbnail) != kExitOk;
    if (run->thumbnailMissing && !hostInterrupted()) {
        // The preset is still written, with the blank thumbnail; the exit says so.
        // (After Ctrl-C the walk leaves the file alone.)
        thumbnailFillBlank(thumbnail);
        run->thumbnailsMissing += 1;
    }
}

void printResaved(void* context, const char* name, ResaveOutcome outcome, Result result) {
    auto* run = static_cast<ResaveRun*>(context);
    const char* blank = run->thumbnailMissing ? " (blank thumbnail)" : "";
    run->thumbnailMissing = false;
    char renamed[kPathBytes];
    if (!resaveRenamedName(name, renamed, sizeof renamed)) {
        renamed[0] = '\0';
    }
    std::string line;
    switch (outcome) {
    case ResaveOutcome::Resaved:
        line = std::string("resaved  ") + name + blank;
        break;
    case ResaveOutcome::Renamed:
        line = std::string("renamed  ") + name + " -> " + renamed + blank;
        break;
    case ResaveOutcome::KeptName: {
        std::error_code unknown;
        const bool taken = std::filesystem::exists(run->folder + renamed, unknown);
        line = std::string("kept name  ") + name +
               (taken ? std::string(" (") + renamed + " exists)"
                      : std::string(" (cannot rename it to ") + renamed + ")") +
               blank;
        break;
    }
    case ResaveOutcome::NotRead:
        line = std::string("not read  ") + name + ": result " + std::to_string(result) + ", " +
               resultMeaning(result);
        break;
    case ResaveOutcome::NotSaved:
        line = std::string("not saved  ") + name + ": result " + std::to_string(result) + ", " +
               resultMeaning(result);
        break;
    case ResaveOutcome::ReadOnly:
        line = std::string("skipped read-only  ") + name;
        break;
    }
    static_cast<void>(std::printf("%s\n", line.c_str()));
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
        text += row.name + " " + rowText(row) + "\n";
    }
    return text;
}

std::string presetJson(const Settings& look) {
    JsonWriter json;
    jsonBeginObject(&json, JsonLayout::Lines);
    for (const Row& row : allRows(look)) {
        jsonKey(&json, row.name);
        switch (row.kind) {
        case Row::Kind::Whole:
            jsonInteger(&json, row.whole);
            break;
        case Row::Kind::Real:
            jsonFloat(&json, row.real);
            break;
        case Row::Kind::Text:
            jsonString(&json, row.text);
            break;
        }
    }
    jsonEndObject(&json);
    return json.text + "\n";
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
    rows.push_back(textRow("waterColor", colorText(look)));
    for (const Row& row : rows) {
        arguments.push_back("--set");
        arguments.push_back(row.name + "=" + rowText(row));
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

int runPresetResave(const std::string& folderPath, const std::string& imagePath) {
    const bool ended = !folderPath.empty() && platformIsPathSeparator(folderPath.back());
    ResaveRun run{nullptr, &imagePath,
                  ended ? folderPath : folderPath + std::string(1, platformPathSeparator())};
    FileSpec folder{};
    if (!fileSpecOfPath(run.folder, "folder", &folder)) {
        return kExitFailed;
    }
    // The image is read once, before any preset is touched.
    HostImage image;
    std::string error;
    if (!readImage(imagePath, &image, &error)) {
        complain(error);
        return kExitFailed;
    }
    run.image = &image;
    PyramidPtr thumbnail(pyramidCreate(kThumbnailMaxSide, kThumbnailMaxSide, PixelFormat::Rgba8));
    if (thumbnail == nullptr) {
        complain("out of memory");
        return kExitFailed;
    }
    Settings settings{};
    settingsFresh(&settings);
    ResaveHooks hooks;
    hooks.loaded = showResavedLook;
    hooks.report = printResaved;
    // Ctrl-C ends the walk between two files, so no preset is cut short.
    hooks.stopRequested = [](void*) { return hostInterrupted(); };
    hooks.context = &run;
    hostInstallInterruptHandler();
    const PresetHooks thumbnailHooks = thumbnailPresetHooks(thumbnail.get());
    setPresetHooks(&thumbnailHooks);
    ResaveSummary summary;
    const Result result =
        resavePresetFolder(folder, &settings, &memoryDots(), thumbnail.get(), hooks, &summary);
    setPresetHooks(nullptr);
    if (result != noErr) {
        complain("cannot list the folder " + folderPath + ": result " + std::to_string(result));
        return kExitFailed;
    }
    const int32_t marked =
        summary.resaved + summary.notRead + summary.notSaved + summary.readOnly + summary.left;
    static_cast<void>(std::printf(
        "%d marked: %d re-saved (%d renamed, %d under the old name), %d not read, %d not saved, "
        "%d read-only skipped\n",
        static_cast<int>(marked), static_cast<int>(summary.resaved),
        static_cast<int>(summary.renamed), static_cast<int>(summary.keptName),
        static_cast<int>(summary.notRead), static_cast<int>(summary.notSaved),
        static_cast<int>(summary.readOnly)));
    if (run.thumbnailsMissing > 0) {
        complain(std::to_string(run.thumbnailsMissing) +
                 " re-saved presets got the blank thumbnail: the look could not be rendered");
    }
    if (summary.left > 0) {
        static_cast<void>(std::fflush(stdout)); // the summary first, also into a file
        complain("stopped by Ctrl-C: " + std::to_string(summary.left) +
                 " marked presets were left as they were");
        return kExitCancelled;
    }
    const bool failed = summary.notRead > 0 || summary.notSaved > 0 || run.thumbnailsMissing > 0;
    return failed ? kExitFailed : kExitOk;
}

} // namespace lakra
