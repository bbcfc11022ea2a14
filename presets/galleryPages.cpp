#include "presets/galleryPages.h"

#include "driver/driver.h"
#include "export/htmlPage.h"
#include "export/jpegWriter.h"
#include "presets/memoryDots.h"
#include "presets/presetFile.h"
#include "presets/thumbnail.h"
#include "pyramid/pyramid.h"
#include "render/renderInto.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace lakra {

namespace {

constexpr char kPresetExtension[] = ".q8r";

// A gallery picture into the images folder, replacing a file of that name;
// one that cannot be created is left out and its cell still refers to it.
void writePicture(const PageWriter& page, const char* name, const ImagePyramid* image) {
    FileSpec fileSpec;
    FileWriter writer;
    if (fileSpecJoin(&page.imagesFolder, name, &fileSpec) == noErr &&
        fileWriterOpen(fileSpec, &writer) == noErr) {
        (void)jpegWriteGalleryPicture(image, &writer, true);
    }
}

void collectPresetName(const char* name, bool isFolder, void* context) {
    if (!isFolder && findText(kPresetExtension, name, true) != kTextNotFound) {
        static_cast<std::vector<std::string>*>(context)->emplace_back(name);
    }
}

// One preset's cell and picture. The thumbnail keeps what the last readable
// preset left in it when this one cannot be read.
void writePresetCell(PageWriter* page, const FileSpec& folder, const std::string& name,
                     const ImagePyramid* thumbnail) {
    FileSpec preset;
    if (fileSpecJoin(&folder, name.c_str(), &preset) == noErr) {
        (void)presetRead(preset, PresetReadMode::ThumbnailOnly, nullptr);
    }
    char caption[kPathBytes];
    (void)std::snprintf(caption, sizeof caption, "%s", name.c_str());
    stripExtension(caption);
    pagePictureCell(page, name.c_str(), kPresetPictureSide, kPresetPictureSide, caption);
    // The same name the cell's image tag gives the picture.
    char picture[kPathBytes];
    (void)std::snprintf(picture, sizeof picture, "%s", caption);
    if (appendJpg(picture, sizeof picture)) {
        cleanFileName(picture);
        writePicture(*page, picture, thumbnail);
    }
    pageAdvanceColumn(page);
}

struct DotRender {
    Settings* settings;
    RenderState* state;
    ProgressSink* progress;
    FileSpec scratch; // slot 25
    int32_t width;
    int32_t height;
};

// Renders dot `slot` at the picture size, writes its picture and cell. The
// look, view state and every other field of Settings are as before, whatever
// the render did. Returns the render's result.
Result writeDot(PageWriter* page, const DotRender& job, int32_t slot) {
    Settings* settings = job.settings;
    const Settings before = *settings;
    // The scratch slot holds the current look while the dot's is in place
    // (the batch re-save shares it); the writer stamps the version on a copy.
    Settings stored = before;
    (void)presetWrite(job.scratch, &stored);
    // The slot file is read directly rather than recalled: a recall would
    // rename the look and make the dot current in the dialog.
    FileSpec dotFile;
    if (memoryDotFileSpec(slot, &dotFile) == noErr) {
        (void)presetRead(dotFile, PresetReadMode::Full, settings);
    }
    settings->exportKind = kExportGalleryImage;
    const PixelFormat format =
        job.state->source != nullptr ? job.state->source->format : PixelFormat::Rgba8;
    PyramidPtr image(pyramidCreate(job.width, job.height, format));
    Result result = failWith(memFullErr);
    if (image != nullptr) {
        ImagePyramid* offline = job.state->offlineImage;
        job.state->offlineImage = image.get();
        result = renderInto(RenderTarget::Offline, settings, job.state, nullptr, job.progress);
        job.state->offlineImage = offline;
    }
    // A preset file rounds carried values to hundredths and leaves the name
    // and the other owners' fields alone: the copy in memory puts back every bit.
    *settings = before;
    if (result != noErr) {
        return result;
    }
    char name[32];
    (void)std::snprintf(name, sizeof name, "dot %d", slot + 1);
    char picture[sizeof name + 4];
    (void)std::snprintf(picture, sizeof picture, "%s.jpg", name);
    writePicture(*page, picture, image.get());
    pagePictureCell(page, picture, job.width, job.height, name);
    pageAdvanceColumn(page);
    job.state->layersDone += 1;
    return noErr;
}

} // namespace

Result writePresetsPage(const FileSpec& sourceFolder, const FileSpec& page, ImagePyramid* thumbnail,
                        ProgressSink* progress) {
    FileSpec folder;
    (void)fileSpecFolderPart(&sourceFolder, &folder);
    PageWriter writer;
    const Result opened = pageOpen(&writer, page, PageType::Presets, kPresetsPageColumns, &folder);
    if (opened != noErr) {
        return opened;
    }
    // Names first, so no preset is read while the folder is open for listing;
    // a folder that cannot be listed gives an empty page.
    std::vector<std::string> names;
    (void)platformListFolder(fileSpecPath(folder), collectPresetName, &names);
    const PresetHooks previous = presetHooks();
    const PresetHooks hooks = thumbnailPresetHooks(thumbnail);
    setPresetHooks(&hooks);
    for (size_t i = 0; i < names.size(); ++i) {
        writePresetCell(&writer, folder, names[i], thumbnail);
        if (progress != nullptr) {
            progress->progressFraction(static_cast<double>(i + 1) /
                                       static_cast<double>(names.size()));
        }
    }
    setPresetHooks(&previous);
    return pageClose(&writer);
}

void memoryDotPictureSize(int32_t filterWidth, int32_t filterHeight, int32_t* width,
                          int32_t* height) {
    const int64_t larger = std::max({filterWidth, filterHeight, 1});
    const auto scaled = [larger](int32_t side) {
        return static_cast<int32_t>(
            std::max<int64_t>(side * int64_t{kMemoryDotPictureSide} / larger, 1));
    };
    *width = scaled(filterWidth);
    *height = scaled(filterHeight);
}

Result writeMemoryDotsPage(const FileSpec& page, Settings* settings, RenderState* state,
                           MemoryDots* dots, ProgressSink* progress) {
    PageWriter writer;
    const Result opened =
        pageOpen(&writer, page, PageType::MemoryDots, kMemoryDotsPageColumns, nullptr);
    if (opened != noErr) {
        return opened;
    }
    DotRender job{settings, state, progress, {}, 1, 1};
    (void)memoryDotFileSpec(kMemoryDotScratchSlot, &job.scratch);
    memoryDotPictureSize(state->filterWidth, state->filterHeight, &job.width, &job.height);
    Result rendered = noErr;
    for (int32_t slot = 0; slot < kMemoryDotCount && rendered == noErr; ++slot) {
        if (dots->shown[slot] != DotDisplay::Empty) {
            rendered = writeDot(&writer, job, slot);
        }
    }
    const Result closed = pageClose(&writer);
    return rendered != noErr ? rendered : closed;
}

} // namespace lakra
