#include "driver/driver.h"

#include "platform/platform.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace lakra {

namespace {

// One worker and the unit it has. The worker lives for the whole render:
// it waits for its start event, works on the slot's job and sets the done
// event, until the calling thread tells it to quit (the end of the render).
struct Slot {
    PlatformEvent* startEvent = nullptr;
    PlatformEvent* doneEvent = nullptr;
    PlatformThread* thread = nullptr;
    Job* job = nullptr; // written by the calling thread before the start event
    bool inFlight = false;
    bool workerRunning = false; // false: the unit never reached a worker
    bool waitFailed = false;    // the worker could not wait and has ended
    std::atomic<bool> quit{false};
};

// The calling thread's counters for one render.
struct RenderRun {
    const RenderContext* context = nullptr;
    RenderRequest request{};
    WorkPlan plan{};
    RenderTarget target = RenderTarget::Host;
    Slot* slots = nullptr;
    int32_t threads = 0;
    int32_t started = 0;
    int32_t finished = 0;
    int32_t finishedPixels = 0;
    bool stopped = false; // no more units are handed out
    bool cancelled = false;
    Result result = noErr;
    int64_t lastReport = 0;
};

void workerMain(void* argument) {
    Slot* slot = static_cast<Slot*>(argument);
    for (;;) {
        if (eventWaitAny(&slot->startEvent, 1) != 0) {
            // The unit stays undone; the done event still tells the calling
            // thread that this worker has ended.
            slot->waitFailed = true;
            static_cast<void>(eventSet(slot->doneEvent));
            return;
        }
        if (slot->quit.load()) {
            return; // the render is over
        }
        Job* job = slot->job;
        if (job->request.ops != nullptr && job->request.ops->work != nullptr) {
            job->request.ops->work(job);
        }
        if (!eventSet(slot->doneEvent)) {
            job->result = kStartEventFailed;
        }
    }
}

// What the job kind needs; a request without hooks is a job that renders
// pixels without computing any.
uint32_t jobNeeds(const RenderRun& run) {
    return run.request.ops != nullptr ? run.request.ops->needs : kJobRendersPixels;
}

bool asksHost(const RenderRun& run) {
    return run.context->host != nullptr && (jobNeeds(run) & kJobAsksHost) != 0 &&
           run.target != RenderTarget::Offline;
}

PixelRect absoluteUnit(const RenderRun& run, const PixelRect& unit) {
    const PixelRect& origin = run.request.rect;
    return PixelRect{unit.top + origin.top, unit.left + origin.left, unit.bottom + origin.top,
                     unit.right + origin.left};
}

void* allocateCells(const RenderRun& run, size_t bytes) {
    if (run.context->host != nullptr) {
        return run.context->host->allocateBuffer(bytes);
    }
    return std::calloc(1, bytes);
}

void freeCells(const RenderRun& run, void* cells) {
    if (cells == nullptr) {
        return;
    }
    if (run.context->host != nullptr) {
        run.context->host->freeBuffer(cells);
    } else {
        std::free(cells);
    }
}

void destroyJob(const RenderRun& run, Job* job) {
    if (job == nullptr) {
        return;
    }
    if (job->request.ops != nullptr && job->request.ops->release != nullptr) {
        job->request.ops->release(job);
    }
    freeCells(run, job->cells.cells);
    delete job;
}

// The calling thread's half of starting a unit: the job, its cells and its
// source pixels. On failure the render stops with the returned code.
Result makeJob(RenderRun* run, int32_t index, Job** made) {
    *made = nullptr;
    Job* job = new (std::nothrow) Job{};
    if (job == nullptr) {
        return failWith(memFullErr);
    }
    job->plan = run->plan;
    job->unit = planUnit(&job->plan, index);
    job->request = run->request;
    job->result = noErr;
    // Jobs that write straight into their own target need no cells.
    if ((jobNeeds(*run) & kJobNeedsCells) != 0) {
        const int32_t stride = rectWidth(job->unit) + 2;
        const int32_t rows = rectHeight(job->unit) + 2;
        const size_t bytes =
            static_cast<size_t>(stride) * static_cast<size_t>(rows) * sizeof(PixelCell);
        job->cells = CellBlock{static_cast<PixelCell*>(allocateCells(*run, bytes)), job->unit.left,
                               job->unit.top, stride, rows};
        if (job->cells.cells == nullptr) {
            destroyJob(*run, job);
            return failWith(memFullErr);
        }
    }
    if (asksHost(*run)) {
        const Result advanced = run->context->host->requestRegion(absoluteUnit(*run, job->unit));
        if (advanced != noErr) {
            destroyJob(*run, job);
            return advanced;
        }
    }
    const JobOps* ops = run->request.ops;
    if (ops != nullptr && ops->prepare != nullptr) {
        const Result prepared = ops->prepare(job);
        if (prepared != noErr) {
            destroyJob(*run, job);
            return prepared;
        }
    }
    *made = job;
    return noErr;
}

void stopWith(RenderRun* run, Result code) {
    run->stopped = true;
    if (run->result == noErr) {
        run->result = code;
    }
}

// Hands unit `started` to the slot's worker. A unit that cannot start stops
// the render; nothing waits for a unit that never reached a worker.
void startUnit(RenderRun* run, Slot* slot) {
    Job* job = nullptr;
    const Result made = makeJob(run, run->started, &job);
    if (made != noErr) {
        stopWith(run, made);
        return;
    }
    job->startEvent = slot->startEvent;
    job->doneEvent = slot->doneEvent;
    slot->job = job;
    slot->inFlight = true;
    slot->workerRunning = false;
    ++run->started;
    // The slot's worker starts with its first unit and serves every later one.
    if (slot->thread == nullptr) {
        slot->waitFailed = false;
        if (!threadStart(&slot->thread, workerMain, slot, kRenderWorkerStackBytes)) {
            slot->thread = nullptr;
            job->result = memFullErr;
            stopWith(run, memFullErr);
            return;
        }
    }
    if (!eventReset(slot->doneEvent) || !eventSet(slot->startEvent)) {
        job->result = kStartEventFailed; // finished without a worker
        return;
    }
    slot->workerRunning = true;
}

// The end of a render, or of a failed wait: the worker is told to quit and
// joined once it is done with its unit. A worker that cannot be woken is
// left waiting rather than joined forever; its events then stay.
bool endWorker(Slot* slot) {
    if (slot->thread == nullptr) {
        return true;
    }
    slot->quit.store(true);
    bool woken = false;
    for (int attempt = 0; attempt < 3 && !woken; ++attempt) {
        woken = eventSet(slot->startEvent);
    }
    if (!woken) {
        return false;
    }
    threadJoin(slot->thread);
    slot->thread = nullptr;
    return true;
}

void reportProgress(RenderRun* run) {
    const RenderContext& context = *run->context;
    if (context.pass < 1 || run->plan.count <= 0) {
        return;
    }
    // Throttled to about once a second by a clock of whole seconds.
    const int64_t now = clockSeconds();
    if (now - run->lastReport < 1) {
        return;
    }
    run->lastReport = now;
    const int32_t passCount = context.passCount < 1 ? 1 : context.passCount;
    const double fraction =
        (static_cast<double>(context.pass - 1) * run->plan.count + run->finished) /
        (static_cast<double>(passCount) * run->plan.count);
    if (run->target == RenderTarget::Host && run->context->host != nullptr) {
        run->context->host->progress(static_cast<int32_t>(fraction * 1000.0) + 1, 1000);
    } else if (run->target == RenderTarget::Offline && run->context->progress != nullptr) {
        run->context->progress->progressFraction(fraction);
    }
}

// The calling thread's half of ending a unit.
void finishSlot(RenderRun* run, Slot* slot) {
    Job* job = slot->job;
    if (slot->waitFailed && slot->thread != nullptr) {
        // Its worker has ended without the unit; the next unit gets a new one.
        threadJoin(slot->thread);
        slot->thread = nullptr;
        job->result = kStartEventFailed;
    }
    RenderHost* host = run->context->host;
    if (run->target == RenderTarget::Host && host != nullptr) {
        if (host->abortRequested()) {
            host->setResult(userCanceledErr);
        }
        if (host->result() == userCanceledErr) {
            run->cancelled = true;
            stopWith(run, userCanceledErr);
        }
    } else if (run->target == RenderTarget::Offline && run->context->progress != nullptr &&
               !run->stopped && run->context->progress->cancelRequested()) {
        run->cancelled = true;
        stopWith(run, userCanceledErr);
    }
    // A unit that failed to run leaves pixels unwritten: that ends the render
    // with its code rather than reporting a success.
    if (job->result != noErr) {
        stopWith(run, job->result);
    }
    if (!run->stopped) {
        Result finished = noErr;
        if (asksHost(*run)) {
            finished = host->requestRegion(absoluteUnit(*run, job->unit));
        }
        const JobOps* ops = run->request.ops;
        if (finished == noErr && ops != nullptr && ops->finish != nullptr) {
            finished = ops->finish(job);
        }
        if (finished != noErr) {
            stopWith(run, finished);
        } else {
            ++run->finishedPixels;
        }
    }
    destroyJob(*run, job);
    slot->job = nullptr;
    slot->inFlight = false;
    slot->workerRunning = false;
    ++run->finished;
    if (!run->stopped && run->started < run->plan.count) {
        startUnit(run, slot);
    }
    reportProgress(run);
}

int32_t slotsInFlight(const RenderRun& run) {
    int32_t count = 0;
    for (int32_t s = 0; s < run.threads; ++s) {
        count += run.slots[s].inFlight ? 1 : 0;
    }
    return count;
}

// A unit that never reached a worker needs no wait; -1 when there is none.
int32_t slotWithoutWorker(const RenderRun& run) {
    for (int32_t s = 0; s < run.threads; ++s) {
        if (run.slots[s].inFlight && !run.slots[s].workerRunning) {
            return s;
        }
    }
    return -1;
}

void runUnits(RenderRun* run) {
    PlatformEvent* doneEvents[kMaxRenderThreads] = {};
    for (int32_t s = 0; s < run->threads; ++s) {
        doneEvents[s] = run->slots[s].doneEvent;
    }
    for (int32_t s = 0; s < run->threads && !run->stopped; ++s) {
        startUnit(run, &run->slots[s]);
    }
    while (slotsInFlight(*run) > 0) {
        int32_t slot = slotWithoutWorker(*run);
        if (slot < 0) {
            slot = eventWaitAny(doneEvents, run->threads);
        }
        if (slot < 0) {
            // The wait itself failed: stop, and end every worker by joining it.
            stopWith(run, memFullErr);
            for (int32_t s = 0; s < run->threads; ++s) {
                if (run->slots[s].inFlight && !endWorker(&run->slots[s])) {
                    run->slots[s].workerRunning = false; // cannot be woken: not waited for
                }
                if (run->slots[s].inFlight) {
                    finishSlot(run, &run->slots[s]);
                }
            }
            continue;
        }
        if (run->slots[slot].inFlight) {
            finishSlot(run, &run->slots[slot]);
        }
    }
}

} // namespace

PixelCell* cellAt(const CellBlock& block, int32_t x, int32_t y) {
    const int32_t column = x - block.left + 1;
    const int32_t row = y - block.top + 1;
    if (block.cells == nullptr || column < 0 || row < 0 || column >= block.stride ||
        row >= block.rows) {
        return nullptr;
    }
    return &block.cells[static_cast<size_t>(row) * static_cast<size_t>(block.stride) +
                        static_cast<size_t>(column)];
}

Result render(const RenderContext& context, const RenderRequest& request, int32_t layout,
              RenderStats* stats) {
    RenderRun run;
    run.context = &context;
    run.request = request;
    run.target = context.target;
    run.lastReport = clockSeconds();
    run.plan = makeWorkPlan(request.rect, layout);
    const int32_t processors = context.processors > 0 ? context.processors : processorCount();
    run.threads = renderThreadCount(processors, run.plan.count, layout);

    Slot slots[kMaxRenderThreads];
    run.slots = slots;
    bool eventsReady = true;
    for (int32_t s = 0; s < run.threads; ++s) {
        eventsReady =
            eventsReady && eventCreate(&slots[s].startEvent) && eventCreate(&slots[s].doneEvent);
    }
    if (!eventsReady) {
        stopWith(&run, memFullErr);
    } else if (run.threads > 0) {
        runUnits(&run);
    }
    for (int32_t s = 0; s < run.threads; ++s) {
        if (endWorker(&slots[s])) {
            eventDestroy(slots[s].startEvent);
            eventDestroy(slots[s].doneEvent);
        }
    }
    if (stats != nullptr) {
        *stats = RenderStats{run.plan.count, run.threads,        run.started,
                             run.finished,   run.finishedPixels, run.cancelled};
    }
    return run.result;
}

} // namespace lakra
