#include "apps/lakra/exportCommands.h"

#include "apps/lakra/applyCommand.h"
#include "apps/lakra/hostImagePyramid.h"
#include "apps/lakra/imageFile.h"
#include "apps/lakra/protocolHost.h"
#include "dialog/psdSize.h"
#include "driver/driver.h"
#include "export/psdExport.h"
#include "files/files.h"
#include "presets/galleryPages.h"
#include "presets/thumbnail.h"
#include "pyramid/pyramid.h"
#include "render/renderInto.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace lakra {

namespace {

// Percentages of a long job on stderr, one line per tenth when printing; and
// Ctrl-C, once the command installed the interrupt handler, as the cancel.
class StderrProgress final : public ProgressSink {
public:
    StderrProgress(const char* what, bool print) : doing(what), printing(print) {}

    void progressFraction(double fraction) override {
        if (!printing) {
            return;
        }
        const int tenth = static_cast<int>(fraction * 10.0);
        if (tenth > lastTenth) {
            lastTenth = tenth;
            static_cast<void>(std::fprintf(stderr, "lakra: %s %d%%\n", doing, tenth * 10));
        }
    }

    bool cancelRequested() override { return hostInterrupted(); }

private:
    const char* doing;
    bool printing;
    int lastTenth = 0;
};

const MetadataRecord* iccProfileOf(const HostImage& image) {
    for (const MetadataRecord& record : image.metadata.records) {
        if (record.name == "ICCProfile" && !record.bytes.empty()) {
            return &record;
        }
    }
    return nullptr;
}

std::string psdResultMeaning(Result result) {
    switch (result) {
    case kPsdTooLarge:
        return "the document is too large for the PSD format (its channel data must stay "
               "under 4 GiB)";
    case kPsdNoWorkingImage:
    case memFullErr:
        return "out of memory";
    case kFileNotOpened:
        return "the file cannot be opened for writing";
    case kFileWriteError:
        return "a write failed (is the disk full?)";
    default:
        return "result " + std::to_string(result);
    }
}

} // namespace

bool parseSize(const std::string& text, int32_t* width, int32_t* height) {
    const size_t cross = text.find_first_of("xX*,");
    if (cross == std::string::npos || cross == 0 || cross + 1 >= text.size()) {
        return false;
    }
    const std::string first = text.substr(0, cross);
    const std::string second = text.substr(cross + 1);
    const auto digits = [](const std::string& part) {
        return part.size() <= 9 && part.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!digits(first) || !digits(second)) {
        return false;
    }
    *width = std::atoi(first.c_str());
    *height = std::atoi(second.c_str());
    return true;
}

int runPsd(const PsdJob& job) {
    // Ctrl-C stops the render at the next unit; nothing is written then.
    hostInstallInterruptHandler();
    Settings settings{};
    const int built = lookFromOptions(job.look, &settings);
    if (built != kExitOk) {
        return built;
    }
    HostImage image;
    std::string error;
    if (!readImage(job.inputPath, &image, &error) || !resolveMetadata(&image.metadata, &error)) {
        complain(error);
        return kExitFailed;
    }
    const std::string partialPath = job.outputPath + ".partial";
    FileSpec partial{};
    if (!fileSpecOfPath(partialPath, "output", &partial)) {
        return kExitFailed;
    }

    // The size as the export's size dialog would settle it.
    PsdSizeModel size = psdSizeOpen(settings, image.width, image.height);
    if (job.width > 0) {
        psdSizeChoose(&size, kPsdCustomSize);
        psdSizeTypeWidth(&size, job.width);
        psdSizeTypeHeight(&size, job.height);
    } else if (job.proportionalWidth > 0) {
        psdSizeChoose(&size, kPsdSameProportions);
        psdSizeTypeWidth(&size, job.proportionalWidth);
    } else {
        psdSizeChoose(&size, kPsdSameSize);
    }
    psdSizeAccept(size, &settings);
    settings.exportKind = kExportPsd;

    // The image as the plug-in holds its source: in the format of the host's
    // depth, its coarser levels built.
    const PixelFormat format = psdWorkingFormat(psdBytesPerSample(image.depth));
    PyramidPtr source(pyramidOfHostPixels(hostPixelsOf(image), format, job.threads));
    if (source == nullptr) {
        complain("out of memory reading " + job.inputPath);
        return kExitFailed;
    }
    RenderState state{};
    state.filterWidth = image.width;
    state.filterHeight = image.height;
    state.source = source.get();
    state.hostFormat = HostImageFormat{image.depth, image.planes, image.alpha};
    state.processors = job.threads;

    StderrProgress progress("rendering", job.reportProgress);
    PsdExportOptions options;
    options.progress = &progress;
    if (const MetadataRecord* profile = iccProfileOf(image)) {
        options.iccProfile = profile->bytes.data();
        options.iccProfileBytes = static_cast<uint32_t>(profile->bytes.size());
    }
    if (job.reportProgress) {
        static_cast<void>(std::fprintf(stderr, "lakra: rendering %u x %u, %d bits per channel\n",
                                       settings.psdWidth, settings.psdHeight, image.depth));
    }
    const Result result = psdExport(partial, &settings, &state, options);
    std::error_code ignored;
    // Also after a render that ended before the interrupt was seen: the
    // document is not put in place.
    if (hostInterrupted()) {
        std::filesystem::remove(partialPath, ignored);
        complain("cancelled, nothing written");
        return kExitCancelled;
    }
    if (result != noErr) {
        std::filesystem::remove(partialPath, ignored);
        complain(job.outputPath + ": " + psdResultMeaning(result));
        return kExitFailed;
    }
    std::error_code renamed;
    std::filesystem::rename(partialPath, job.outputPath, renamed);
    if (renamed) {
        std::filesystem::remove(partialPath, ignored);
        complain(job.outputPath + ": " + renamed.message());
        return kExitFailed;
    }
    if (job.reportProgress) {
        static_cast<void>(std::fprintf(stderr, "lakra: wrote %s\n", job.outputPath.c_str()));
    }
    return kExitOk;
}

int runGallery(const std::string& folderPath, const std::string& pagePath) {
    // The page names the folder it shows: its absolute path.
    std::error_code unresolved;
    const std::filesystem::path absolute =
        std::filesystem::absolute(folderPath.empty() ? "." : folderPath, unresolved);
    const std::string named = unresolved ? folderPath : absolute.string();
    const bool ended = platformIsPathSeparator(named.back());
    const std::string folder = ended ? named : named + std::string(1, platformPathSeparator());
    FileSpec source{};
    FileSpec page{};
    if (!fileSpecOfPath(folder, "folder", &source) || !fileSpecOfPath(pagePath, "page", &page)) {
        return kExitFailed;
    }
    std::error_code missing;
    if (!std::filesystem::is_directory(named, missing)) {
        complain(named + " is not a folder");
        return kExitFailed;
    }
    PyramidPtr thumbnail(pyramidCreate(kThumbnailMaxSide, kThumbnailMaxSide, PixelFormat::Rgba8));
    if (thumbnail == nullptr) {
        complain("out of memory");
        return kExitFailed;
    }
    thumbnailFillBlank(thumbnail.get());
    StderrProgress progress("presets page", true);
    const Result result = writePresetsPage(source, page, thumbnail.get(), &progress);
    if (result != noErr) {
        complain(pagePath + ": " + psdResultMeaning(result));
        return kExitFailed;
    }
    static_cast<void>(std::fprintf(stderr, "lakra: wrote %s\n", pagePath.c_str()));
    return kExitOk;
}

} // namespace lakra
