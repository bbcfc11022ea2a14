#pragma once

#include "platform/result.h"
#include "render/workPlan.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

struct HostBuffers;
struct ImagePyramid;
struct Settings;

// Job kinds.
inline constexpr int32_t kWaterJob = 2;
inline constexpr int32_t kBuildLevelJob = -1000;
inline constexpr int32_t kBuildLevelBandJob = -1001;
inline constexpr int32_t kIdleJob = 999; // nothing to do: never started

inline bool isPyramidJob(int32_t kind) {
    return kind == kBuildLevelJob || kind == kBuildLevelBandJob;
}

// One pixel's colour while a unit is in flight: red, green, blue, alpha.
struct PixelCell {
    float rgba[4];
};

// The cells of one unit with a border of one cell on every side, row-major.
struct CellBlock {
    PixelCell* cells;
    int32_t left; // the unit's origin, in the render rectangle's pixels
    int32_t top;
    int32_t stride; // unit width + 2
    int32_t rows;   // unit height + 2
};

// The cell of pixel (x, y), or nullptr outside the block (border included).
PixelCell* cellAt(const CellBlock& block, int32_t x, int32_t y);

// What the calling thread hands to the host layer and to the job kinds.
class RenderHost {
public:
    RenderHost() = default;
    RenderHost(const RenderHost&) = delete;
    RenderHost& operator=(const RenderHost&) = delete;
    virtual ~RenderHost() = default;
    // Requests rect (reduced pixels, render-rectangle coordinates plus its
    // origin) from the host and calls its advance procedure; returns what the
    // host returned, which also stays in the result slot.
    virtual Result requestRegion(const PixelRect& rect) = 0;
    // The host's abort procedure: true when the user asked to stop.
    virtual bool abortRequested() = 0;
    virtual void progress(int32_t done, int32_t total) = 0;
    virtual Result result() const = 0;
    virtual void setResult(Result result) = 0;
    // The buffers of the last region request; false when there are none.
    virtual bool buffers(HostBuffers* buffers) const = 0;
    // Zero-filled memory for cell blocks; nullptr on failure.
    virtual void* allocateBuffer(size_t bytes) = 0;
    virtual void freeBuffer(void* buffer) = 0;
};

// Where an offline render's progress goes (the export's progress dialog).
class ProgressSink {
public:
    ProgressSink() = default;
    ProgressSink(const ProgressSink&) = delete;
    ProgressSink& operator=(const ProgressSink&) = delete;
    virtual ~ProgressSink() = default;
    virtual void progressFraction(double fraction) = 0;
};

struct Job;

// A job kind plugs into the driver through these. Every member may be null.
struct JobOps {
    // Calling thread, after the host has delivered the unit's pixels and
    // before the worker starts: fill the cells from the source.
    Result (*prepare)(Job* job);
    // Worker thread: compute the unit. Reads shared data, writes only the
    // job's own cells or its own rectangle of the target.
    void (*work)(Job* job);
    // Calling thread, after the worker ended: write the unit's pixels out.
    Result (*finish)(Job* job);
};

struct RenderRequest {
    int32_t kind;
    const JobOps* ops;
    PixelRect rect; // what to render, in reduced pixels
    int32_t rate;   // host sampling rate (image pixels per rendered pixel)
    void* context;  // the job kind's own data
};

struct PlatformEvent;

struct Job {
    WorkPlan plan; // with index and unit set
    int32_t kind;
    PixelRect unit; // relative to the render rectangle's origin
    ImagePyramid* target;
    RenderRequest request;
    PlatformEvent* startEvent;
    PlatformEvent* doneEvent;
    CellBlock cells;
    Result result;
};

// Everything a render reads besides the job kind. The render target in
// settings decides who is asked: in Host, the host's abort and progress
// procedures; in Offline, the progress sink and never the host.
struct RenderContext {
    Settings* settings;     // the look and the view state; may be null
    RenderHost* host;       // may be null: no host calls at all
    ProgressSink* progress; // offline progress, may be null
    ImagePyramid* target;   // the plug-in's own image for the Offline target
    int32_t processors;     // 0: ask the platform
};

// What a render did, for callers and tests.
struct RenderStats {
    int32_t count;
    int32_t threads;
    int32_t started;
    int32_t finished;
    int32_t finishedPixels; // units whose finish step ran
    bool cancelled;
};

// Renders request.rect in the layout: cuts it into units, runs each unit's
// work on a worker thread and finishes it on this thread. Returns noErr,
// userCanceledErr after a cancel, memFullErr when memory for a unit ran out,
// or the host's own code when a region request failed. Every started unit has
// ended when it returns.
[[nodiscard]] Result render(const RenderContext& context, const RenderRequest& request,
                            int32_t layout, RenderStats* stats = nullptr);

} // namespace lakra
