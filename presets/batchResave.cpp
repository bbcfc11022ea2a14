#include "presets/batchResave.h"

#include "presets/memoryDots.h"
#include "presets/presetFile.h"
#include "presets/thumbnail.h"
#include "render/settings.h"

#include <cstring>
#include <string>
#include <vector>

namespace lakra {

namespace {

constexpr char kRenameMark[] = "q9q";
constexpr char kInPlaceMark[] = "q5q";
constexpr char kRenamedExtension[] = ".q5q";

// One walk at a time: the dialog's message loop may start another while a
// loaded hook shows a preset.
bool gResaveRunning = false;

void collectMarkedName(const char* name, bool isFolder, void* context) {
    if (!isFolder && isResaveName(name)) {
        static_cast<std::vector<std::string>*>(context)->emplace_back(name);
    }
}

struct Walk {
    FileSpec folder;
    Settings* settings;
    ImagePyramid* thumbnail;
    const ResaveHooks* hooks;
    PresetHooks callerHooks; // they write the thumbnail
};

// The look of the file as the dialog's load gives it: defaults, then every
// value the file holds. The file's own thumbnail is not taken, so what the
// save stores is the blank one or the loaded hook's picture.
Result readLook(const Walk& walk, const FileSpec& file, const char* name) {
    Settings read = *walk.settings;
    settingsReset(&read);
    PresetHooks reading = walk.callerHooks;
    reading.decodeThumbnail = nullptr;
    setPresetHooks(&reading);
    const Result result = presetRead(file, PresetReadMode::Full, &read);
    setPresetHooks(&walk.callerHooks);
    if (result != noErr) {
        return result;
    }
    *walk.settings = read;
    setDotName(walk.settings, name);
    return noErr;
}

bool stopRequested(const Walk& walk) {
    return walk.hooks->stopRequested != nullptr && walk.hooks->stopRequested(walk.hooks->context);
}

// *stopped is set when the walk was stopped before the file was written; the
// outcome then does not count.
ResaveOutcome resaveFile(const Walk& walk, const char* name, Result* result, bool* stopped) {
    FileSpec file;
    *result = fileSpecJoin(&walk.folder, name, &file);
    if (*result != noErr) {
        return ResaveOutcome::NotRead;
    }
    if (platformFileIsReadOnly(fileSpecPath(file))) {
        return ResaveOutcome::ReadOnly;
    }
    thumbnailFillBlank(walk.thumbnail);
    *result = readLook(walk, file, name);
    if (*result != noErr) {
        return ResaveOutcome::NotRead;
    }
    if (walk.hooks->loaded != nullptr) {
        walk.hooks->loaded(walk.hooks->context, walk.settings, walk.thumbnail);
        // Showing a look may run the plug-in, which installs hooks of its own.
        setPresetHooks(&walk.callerHooks);
        // A stop while the look was shown (its picture may be cut short)
        // leaves the file as it was.
        if (stopRequested(walk)) {
            *stopped = true;
            return ResaveOutcome::NotSaved;
        }
    }
    *result = presetWrite(file, walk.settings);
    if (*result != noErr) {
        return ResaveOutcome::NotSaved;
    }
    if (findText(kRenameMark, name, true) == kTextNotFound) {
        return ResaveOutcome::Resaved;
    }
    char renamed[kPathBytes];
    FileSpec target;
    if (!resaveRenamedName(name, renamed, sizeof renamed) ||
        fileSpecJoin(&walk.folder, renamed, &target) != noErr) {
        return ResaveOutcome::KeptName;
    }
    if (std::strcmp(renamed, name) == 0) {
        return ResaveOutcome::Resaved; // already named so
    }
    return platformFileRename(fileSpecPath(file), fileSpecPath(target)) ? ResaveOutcome::Renamed
                                                                        : ResaveOutcome::KeptName;
}

void count(ResaveSummary* summary, ResaveOutcome outcome) {
    switch (outcome) {
    case ResaveOutcome::Resaved:
        summary->resaved += 1;
        break;
    case ResaveOutcome::Renamed:
        summary->resaved += 1;
        summary->renamed += 1;
        break;
    case ResaveOutcome::KeptName:
        summary->resaved += 1;
        summary->keptName += 1;
        break;
    case ResaveOutcome::NotRead:
        summary->notRead += 1;
        break;
    case ResaveOutcome::NotSaved:
        summary->notSaved += 1;
        break;
    case ResaveOutcome::ReadOnly:
        summary->readOnly += 1;
        break;
    }
}

} // namespace

bool isResaveName(const char* name) {
    return findText(kRenameMark, name, true) != kTextNotFound ||
           findText(kInPlaceMark, name, true) != kTextNotFound;
}

bool resaveRenamedName(const char* name, char* renamed, size_t bytes) {
    if (renamed == nullptr || bytes == 0) {
        return false;
    }
    renamed[0] = '\0';
    if (name == nullptr) {
        return false;
    }
    const char* dot = std::strrchr(name, '.');
    const size_t stem = dot != nullptr ? static_cast<size_t>(dot - name) : std::strlen(name);
    if (stem + sizeof kRenamedExtension > bytes) {
        return false;
    }
    std::memcpy(renamed, name, stem);
    std::memcpy(renamed + stem, kRenamedExtension, sizeof kRenamedExtension);
    return true;
}

Result resavePresetFolder(const FileSpec& folder, Settings* settings, MemoryDots* dots,
                          ImagePyramid* thumbnail, const ResaveHooks& hooks,
                          ResaveSummary* summary) {
    if (gResaveRunning) {
        return failWith(kResaveRunning);
    }
    if (settings == nullptr) {
        return failWith(filterBadParameters);
    }
    ResaveSummary counted;
    Walk walk{{}, settings, thumbnail, &hooks, presetHooks()};
    (void)fileSpecFolderPart(&folder, &walk.folder);
    // Names first: the renames must not disturb the listing.
    std::vector<std::string> names;
    if (!platformListFolder(fileSpecPath(walk.folder), collectMarkedName, &names)) {
        return failWith(kFileNotOpened);
    }
    gResaveRunning = true;

    // The look waits in the scratch slot, with the thumbnail of the moment.
    const Settings before = *settings;
    FileSpec scratch;
    const bool stored = memoryDotFileSpec(kMemoryDotScratchSlot, &scratch) == noErr;
    if (stored) {
        if (dots != nullptr && dots->captureThumbnail != nullptr) {
            dots->captureThumbnail(dots->captureContext);
        }
        Settings copy = before; // the writer stamps the version
        (void)presetWrite(scratch, &copy);
    }

    for (size_t i = 0; i < names.size(); ++i) {
        const std::string& name = names[i];
        Result result = noErr;
        bool stopped = stopRequested(walk);
        const ResaveOutcome outcome =
            stopped ? ResaveOutcome::NotRead : resaveFile(walk, name.c_str(), &result, &stopped);
        if (stopped) {
            counted.left = static_cast<int32_t>(names.size() - i);
            break;
        }
        count(&counted, outcome);
        if (hooks.report != nullptr) {
            hooks.report(hooks.context, name.c_str(), outcome, result);
        }
    }

    // The recall brings the thumbnail back; the copy in memory then puts back
    // every bit of the look (a preset file keeps carried values to hundredths)
    // and the name, view state and other owners' fields the file leaves alone.
    if (stored) {
        Settings recalled = before;
        (void)presetRead(scratch, PresetReadMode::Full, &recalled);
    }
    *settings = before;
    if (summary != nullptr) {
        *summary = counted;
    }
    gResaveRunning = false;
    return noErr;
}

} // namespace lakra
