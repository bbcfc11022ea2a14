#include "apps/lakra/applyCommand.h"

#include "apps/lakra/editDialog.h"
#include "apps/lakra/hostImagePyramid.h"
#include "apps/lakra/hostSample.h"
#include "apps/lakra/imageFile.h"
#include "apps/lakra/lookOptions.h"
#include "apps/lakra/recordJson.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace lakra {

namespace {

// Milliseconds of each phase of a run, on a monotonic clock.
struct PhaseTimes {
    using Clock = std::chrono::steady_clock;

    Clock::time_point last = Clock::now();
    int64_t read = 0;
    int64_t setup = 0;
    int64_t render = 0;
    int64_t write = 0;

    // The time since the last mark goes to `phase`.
    void mark(int64_t* phase) {
        const Clock::time_point now = Clock::now();
        *phase += std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count();
        last = now;
    }
};

void printTimes(const PhaseTimes& times) {
    static_cast<void>(std::fprintf(
        stderr, "lakra: timings read %lld ms, setup %lld ms, render %lld ms, write %lld ms\n",
        static_cast<long long>(times.read), static_cast<long long>(times.setup),
        static_cast<long long>(times.render), static_cast<long long>(times.write)));
}

// The selection from a mask file of the image's size: the mean of its
// colour planes (transparency ignored), 255 fully selected.
bool readSelection(const std::string& path, const HostImage& image, std::vector<uint8_t>* mask) {
    HostImage file;
    std::string error;
    if (!readImage(path, &file, &error)) {
        complain(error);
        return false;
    }
    if (file.width != image.width || file.height != image.height) {
        complain("the mask " + path + " is " + std::to_string(file.width) + "x" +
                 std::to_string(file.height) + " pixels, the image " + std::to_string(image.width) +
                 "x" + std::to_string(image.height));
        return false;
    }
    const int32_t colors = std::max(file.planes - (file.alpha ? 1 : 0), 1);
    const size_t count = static_cast<size_t>(file.width) * static_cast<size_t>(file.height);
    mask->resize(count);
    for (size_t i = 0; i < count; ++i) {
        float sum = 0.0f;
        for (int32_t c = 0; c < colors; ++c) {
            const size_t sample = i * static_cast<size_t>(file.planes) + static_cast<size_t>(c);
            sum += hostSampleUnit(file.pixels.data() + sample * static_cast<size_t>(file.depth / 8),
                                  file.depth);
        }
        const float value = std::clamp(sum / static_cast<float>(colors), 0.0f, 1.0f);
        (*mask)[i] = static_cast<uint8_t>(std::lround(value * 255.0f));
    }
    return true;
}

int reportFailure(const ApplyJob& job, Result result, const HostRun* run) {
    if (result == userCanceledErr && hostInterrupted()) {
        complain("cancelled (result -128); no output written");
        return kExitCancelled;
    }
    if (result == userCanceledErr && job.interactive) {
        complain("cancelled in the dialog (result -128); no output written");
        return kExitFailed;
    }
    std::string message = "the plug-in ended with result " + std::to_string(result) + ": " +
                          hostResultMeaning(result);
    const std::string text = hostRunErrorString(run);
    if (result == errReportString && !text.empty()) {
        message += ": " + text;
    }
    complain(message + "; no output written");
    return result == userCanceledErr ? kExitCancelled : kExitFailed;
}

int finishRun(const ApplyJob& job, HostImage* image, HostRun* run, PhaseTimes* times) {
    // The result replaces the input's pixels; the file's metadata goes along.
    const HostPixels& output = hostRunOutput(run);
    std::memcpy(image->pixels.data(), output.pixels, hostPixelsBytes(output));
    std::string error;
    const bool written = writeImage(job.outputPath, *image, &error);
    times->mark(&times->write);
    if (job.reportTimings) {
        printTimes(*times);
    }
    if (!written) {
        complain(error);
        return kExitFailed;
    }
    if (job.recordPath.empty()) {
        return kExitOk;
    }
    Descriptor recorded;
    int16_t recordInfo = 0;
    if (!hostRunRecorded(run, &recorded, &recordInfo)) {
        complain("the plug-in recorded no parameters; " + job.recordPath + " not written");
        return kExitFailed;
    }
    if (!writeRecordJson(job.recordPath, recorded, recordInfo, &error)) {
        complain(error);
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace

int runApply(const ApplyJob& job) {
    PhaseTimes times;
    HostImage image;
    std::string error;
    const bool read = readImage(job.inputPath, &image, &error);
    times.mark(&times.read);
    if (!read) {
        complain(error);
        return kExitFailed;
    }
    const HostPixels pixels = hostPixelsOf(image);
    if (const char* problem = hostPixelsProblem(pixels)) {
        complain(job.inputPath + ": " + problem);
        return kExitFailed;
    }
    std::vector<uint8_t> maskValues;
    SelectionMask mask;
    if (!job.maskPath.empty()) {
        if (!readSelection(job.maskPath, image, &maskValues)) {
            return kExitFailed;
        }
        mask = SelectionMask{image.width, image.height, maskValues.data()};
    }

    const Descriptor look = lookDescriptor(job.look);
    HostRunOptions options;
    options.look = &look;
    options.playInfo = job.interactive ? plugInDialogDisplay : plugInDialogSilent;
    options.offerDisplay = job.interactive;
    options.offerColorPicker = job.interactive;
    options.parentWindow = job.interactive ? editParentWindow() : 0;
    options.reportProgress = job.reportProgress;
    hostInstallInterruptHandler();
    HostRun* run = nullptr;
    const Result created =
        hostRunCreate(&run, pixels, job.maskPath.empty() ? nullptr : &mask, options);
    if (created != noErr) {
        complain("cannot set up the run: " + hostResultMeaning(created));
        return kExitFailed;
    }
    times.mark(&times.setup);
    const Result result = hostRunFilter(run, job.entry);
    times.mark(&times.render);
    const int code =
        result != noErr ? reportFailure(job, result, run) : finishRun(job, &image, run, &times);
    hostRunDestroy(run);
    return code;
}

} // namespace lakra
