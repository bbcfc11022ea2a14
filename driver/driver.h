#pragma once

// The render driver: cuts a rectangle into units and runs a job kind on each
// of them on worker threads. It knows job kinds only by the hooks and needs
// they register in JobOps, so whatever renders through it (the water, the
// pyramid's level building) sits above it.

#include "driver/renderTarget.h"
#include "driver/workPlan.h"
#include "platform/result.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

struct HostBuffers;

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

    // Asked on the calling thread as each unit ends: true stops the render
    // as a host's cancel does (every started unit is awaited, the result is
    // userCanceledErr). A progress window pumps its messages here.
    virtual bool cancelRequested() { return false; }
};

struct Job;

// What a job kind needs of the driver, or-ed together in JobOps::needs.
// A unit's cell block, one cell per pixel with a border of one cell.
inline constexpr uint32_t kJobNeedsCells = 1u << 0;
// The unit's pixels from the host, asked for before prepare and again before
// finish, except in an Offline render.
inline constexpr uint32_t kJobAsksHost = 1u << 1;
// A job that renders into the host's image needs both.
inline constexpr uint32_t kJobRendersPixels = kJobNeedsCells | kJobAsksHost;

// A job kind plugs into the driver through these. Every hook may be null.
struct JobOps {
    // Calling thread, after the host has delivered the unit's pixels and
    // before the worker starts: fill the cells from the source.
    Result (*prepare)(Job* job);
    // Worker thread: compute the unit. Reads shared data, writes only the
    // job's own cells or its own rectangle of the target.
    void (*work)(Job* job);
    // Calling thread, after the worker ended: write the unit's pixels out.
    Result (*finish)(Job* job);
    // kJob... flags; a kind that says nothing renders pixels.
    uint32_t needs = kJobRendersPixels;
    // Calling thread, as the job ends whichever way: free Job::scratch.
    void (*release)(Job* job) = nullptr;
};

struct RenderRequest {
    const JobOps* ops;
    PixelRect rect; // what to render, in reduced pixels
    int32_t rate;   // host sampling rate (image pixels per rendered pixel)
    void* context;  // the job kind's own data
};

struct PlatformEvent;

struct Job {
    WorkPlan plan;  // with index and unit set
    PixelRect unit; // relative to the render rectangle's origin
    RenderRequest request;
    PlatformEvent* startEvent;
    PlatformEvent* doneEvent;
    CellBlock cells;
    Result result;
    void* scratch; // the job kind's own per-unit data, freed by JobOps::release
};

// Everything a render reads besides the job kind. The render target decides
// who is asked: for Host, the host's abort and progress procedures; for
// Offline, the progress sink and never the host. Progress is reported as pass
// `pass` of `passCount`; a pass below 1 reports none.
struct RenderContext {
    RenderHost* host = nullptr;       // may be null: no host calls at all
    ProgressSink* progress = nullptr; // offline progress, may be null
    int32_t processors = 0;           // 0: ask the platform
    RenderTarget target = RenderTarget::Offline;
    int32_t pass = -1;
    int32_t passCount = 1;
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
