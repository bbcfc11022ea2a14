#include "export/psdExport.h"

#include "pyramid/pyramid.h"
#include "render/renderInto.h"

#include <cstring>

namespace lakra {

namespace {

uint32_t sideOf(int32_t pixels) {
    return pixels > 0 ? static_cast<uint32_t>(pixels) : 0;
}

// Level 0 fully transparent: what a layer without a render holds.
void clearImage(ImagePyramid* image) {
    for (int32_t tile = image->levelFirstTile[0]; tile <= image->levelLastTile[0]; ++tile) {
        const PyramidTile& block = image->tiles[tile];
        std::memset(block.pixels, 0,
                    static_cast<size_t>(block.width) * static_cast<size_t>(block.height) *
                        static_cast<size_t>(image->bytesPerPixel));
    }
}

} // namespace

PsdExportDesc psdExportDesc(const Settings& settings, const RenderState& state) {
    const bool psd = settings.exportKind == kExportPsd;
    PsdExportDesc desc{};
    desc.channelCount = 4;
    desc.layerCount = 1;
    desc.width = psd ? settings.psdWidth : sideOf(state.filterWidth);
    desc.height = psd ? settings.psdHeight : sideOf(state.filterHeight);
    desc.firstLayerNumber = 1;
    desc.exportKind = settings.exportKind;
    desc.bytesPerSample = psdBytesPerSample(state.hostFormat.depth);
    return desc;
}

Result psdExport(const FileSpec& fileSpec, Settings* settings, RenderState* state,
                 const PsdExportOptions& options) {
    if (settings == nullptr || state == nullptr) {
        return failWith(filterBadParameters);
    }
    const PsdExportDesc desc = psdExportDesc(*settings, *state);
    PsdDocumentParts parts;
    parts.glue = settings->glue;
    parts.iccProfile = options.iccProfile;
    parts.iccProfileBytes = options.iccProfileBytes;
    parts.date = options.date;
    // A sizing pass refuses what cannot be written before anything is allocated.
    FileWriter sizing = fileSizingWriter();
    const Result fits = psdWriteDocument(&sizing, desc, nullptr, parts);
    if (fits != noErr) {
        return fits;
    }
    const PyramidPtr image(pyramidCreate(static_cast<int32_t>(desc.width),
                                         static_cast<int32_t>(desc.height),
                                         psdWorkingFormat(desc.bytesPerSample)));
    if (image == nullptr) {
        return failWith(kPsdNoWorkingImage);
    }
    state->layersToRender = static_cast<int32_t>(desc.layerCount);
    state->layersDone = 0;
    // Rendered before the file is opened, so that a cancelled or failed render
    // leaves an existing file as it was.
    if (desc.exportKind == kExportPsd || desc.exportKind == kExportGalleryImage) {
        ImagePyramid* const offline = state->offlineImage;
        state->offlineImage = image.get();
        const Result rendered =
            renderInto(RenderTarget::Offline, settings, state, nullptr, options.progress);
        state->offlineImage = offline;
        if (rendered != noErr) {
            return rendered;
        }
    } else {
        clearImage(image.get());
    }
    FileWriter writer;
    const Result opened = fileWriterOpen(fileSpec, &writer);
    if (opened != noErr) {
        return opened;
    }
    const Result written = psdWriteDocument(&writer, desc, image.get(), parts, &state->layersDone);
    const Result closed = fileWriterClose(&writer);
    return written != noErr ? written : closed;
}

} // namespace lakra
