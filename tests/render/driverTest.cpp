#include "driver/driver.h"

#include "driver/workPlan.h"
#include "platform/platform.h"
#include "render/renderInto.h"
#include "render/settings.h"
#include "support/fakeHost.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <tuple>
#include <vector>

namespace lakra {
namespace {

using testing::FakeHost;

// A job kind that paints every pixel with a value unique to its position:
// the worker computes it into the cells, the finish copies it out.
struct Canvas {
    PixelRect rect;
    std::vector<float> value; // -1 where nothing was written
    std::vector<int> writes;
    std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> workedOnCaller{0};
    std::atomic<int> worked{0};
    Settings* lookToSpoil = nullptr;

    explicit Canvas(const PixelRect& r)
        : rect(r), value(static_cast<size_t>(rectWidth(r)) * rectHeight(r), -1.0f),
          writes(value.size(), 0) {}

    float at(int32_t x, int32_t y) const {
        return value[static_cast<size_t>(y) * rectWidth(rect) + x];
    }
};

float expectedValue(int32_t x, int32_t y) {
    return static_cast<float>(x * 4096 + y);
}

void paintWork(Job* job) {
    auto* canvas = static_cast<Canvas*>(job->request.context);
    if (std::this_thread::get_id() == canvas->caller) {
        ++canvas->workedOnCaller;
    }
    for (int32_t y = job->unit.top; y < job->unit.bottom; ++y) {
        for (int32_t x = job->unit.left; x < job->unit.right; ++x) {
            cellAt(job->cells, x, y)->rgba[0] = expectedValue(x, y);
        }
    }
    ++canvas->worked;
}

Result paintFinish(Job* job) {
    auto* canvas = static_cast<Canvas*>(job->request.context);
    const int32_t width = rectWidth(canvas->rect);
    for (int32_t y = job->unit.top; y < job->unit.bottom; ++y) {
        for (int32_t x = job->unit.left; x < job->unit.right; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            canvas->value[i] = cellAt(job->cells, x, y)->rgba[0];
            ++canvas->writes[i];
        }
    }
    if (canvas->lookToSpoil != nullptr) {
        canvas->lookToSpoil->glue = 40;
        canvas->lookToSpoil->panX = 77;
    }
    return noErr;
}

const JobOps kPaintOps{nullptr, paintWork, paintFinish};

struct RenderFixture : ::testing::Test {
    RenderContext context{}; // an offline render without progress
    FakeHost host;

    void TearDown() override { platformSetClock(nullptr); }

    Result paint(Canvas* canvas, int32_t processors, RenderHost* withHost, RenderStats* stats,
                 const JobOps* ops = &kPaintOps) {
        context.host = withHost;
        context.processors = processors;
        RenderRequest request{ops, canvas->rect, 1, canvas};
        return render(context, request, kLayoutTiles, stats);
    }
};

// Counts how many units of the canvas were written completely, and checks
// that every other pixel was left alone.
int completeUnits(const Canvas& canvas) {
    const WorkPlan plan = makeWorkPlan(canvas.rect, kLayoutTiles);
    int complete = 0;
    for (int32_t i = 0; i < plan.count; ++i) {
        WorkPlan copy = plan;
        const PixelRect unit = planUnit(&copy, i);
        int written = 0;
        for (int32_t y = unit.top; y < unit.bottom; ++y) {
            for (int32_t x = unit.left; x < unit.right; ++x) {
                written += canvas.at(x, y) == expectedValue(x, y) ? 1 : 0;
            }
        }
        EXPECT_TRUE(written == 0 || written == rectWidth(unit) * rectHeight(unit))
            << "unit " << i << " is partly written";
        complete += written > 0 ? 1 : 0;
    }
    return complete;
}

// Every pixel is written once, on a worker, with the same result whatever
// the workers. 300 x 517: units straddle 128 and 512 borders. More processors
// than the cap of 100 give 100 workers; an empty rectangle renders nothing.
// An offline render never calls the host it is given.
TEST_F(RenderFixture, EveryPixelWrittenOnceOnAWorkerWithTheSameResult) {
    // clang-format off
    const struct {
        int32_t processors, height, width, units, threads;
    } cases[] = {{1, 300, 517, 15, 1}, {3, 300, 517, 15, 3}, {128, 300, 517, 15, 15},
                 {256, 128 * 20, 128 * 10, 200, 100}, {4, 0, 0, 0, 0}};

    // clang-format on
    for (const auto& w : cases) {
        Canvas canvas(PixelRect{0, 0, w.height, w.width});
        RenderStats stats{};
        ASSERT_EQ(paint(&canvas, w.processors, &host, &stats), noErr);
        EXPECT_EQ(stats.count, w.units);
        EXPECT_EQ(stats.threads, w.threads);
        EXPECT_EQ(stats.finishedPixels, w.units);
        EXPECT_EQ(canvas.workedOnCaller.load(), 0) << "units must run on worker threads";
        EXPECT_TRUE(host.requests.empty());
        EXPECT_EQ(host.abortCalls, 0);
        for (int32_t y = 0; y < w.height; ++y) {
            for (int32_t x = 0; x < w.width; ++x) {
                ASSERT_EQ(canvas.writes[static_cast<size_t>(y) * w.width + x], 1) << x << "," << y;
                ASSERT_EQ(canvas.at(x, y), expectedValue(x, y)) << x << "," << y;
            }
        }
    }
}

// How a host render ends early: a cancel seen while units run or left in the
// result slot, an allocation or a region request that fails. Every started
// unit is awaited, finished units stay written and cell blocks go back.
TEST_F(RenderFixture, EarlyEndsAwaitUnitsInFlightAndKeepFinishedOnes) {
    const struct {
        const char* name;
        int abortOnCall;
        Result presetSlot;
        int failAllocationOnCall, failRequestOnCall;
        int32_t size, processors;
        Result expected, slot;
        int32_t started, finished; // -1: some, not all
    } ends[] = {                   // The first three units finish, then the user cancels.
                {"Cancel", 4, noErr, 0, 0, 640, 3, userCanceledErr, userCanceledErr, -1, 3},
                {"CancelLeftInTheResultSlot", 0, userCanceledErr, 0, 0, 300, 2, userCanceledErr,
                 userCanceledErr, -1, 0},
                // The third unit gets no cells: no waiting forever.
                {"OutOfMemory", 0, noErr, 3, 0, 512, 2, memFullErr, noErr, 2, -1},
                {"FirstUnitOutOfMemory", 0, noErr, 1, 0, 100, 4, memFullErr, noErr, 0, 0},
                {"HostError", 0, noErr, 0, 5, 512, 2, -37, -37, -1, -1}};

    context.target = RenderTarget::Host;
    for (const auto& e : ends) {
        SCOPED_TRACE(e.name);
        FakeHost failing;
        failing.abortOnCall = e.abortOnCall;
        failing.resultSlot = e.presetSlot;
        failing.failAllocationOnCall = e.failAllocationOnCall;
        failing.failRequestOnCall = e.failRequestOnCall;
        failing.failRequestWith = -37;
        Canvas canvas(PixelRect{0, 0, e.size, e.size});
        RenderStats stats{};
        EXPECT_EQ(paint(&canvas, e.processors, &failing, &stats), e.expected);
        EXPECT_EQ(failing.resultSlot, e.slot);
        EXPECT_EQ(stats.cancelled, e.expected == userCanceledErr);
        EXPECT_EQ(stats.finished, stats.started) << "every started unit is awaited";
        EXPECT_TRUE(e.started < 0 || stats.started == e.started) << stats.started;
        EXPECT_LT(stats.started, stats.count);
        EXPECT_TRUE(e.finished < 0 || stats.finishedPixels == e.finished) << stats.finishedPixels;
        EXPECT_LT(stats.finishedPixels, stats.count);
        EXPECT_EQ(completeUnits(canvas), stats.finishedPixels);
        EXPECT_EQ(canvas.worked.load() > 0, stats.started > 0);
        EXPECT_EQ(failing.liveBuffers, 0);
    }
}

// An offline render has no host to ask: its progress sink's cancel stops it
// the same way, and the host it was given is never asked.
class CancellingSink final : public ProgressSink {
public:
    explicit CancellingSink(int onAsk) : cancelOnAsk(onAsk) {}

    void progressFraction(double /*fraction*/) override {}

    bool cancelRequested() override { return ++asks >= cancelOnAsk; }

    int cancelOnAsk;
    int asks = 0;
};

TEST_F(RenderFixture, OfflineCancelFromTheProgressSinkAwaitsUnitsInFlight) {
    CancellingSink sink(3);
    context.progress = &sink;
    Canvas canvas(PixelRect{0, 0, 640, 640});
    RenderStats stats{};
    EXPECT_EQ(paint(&canvas, 3, &host, &stats), userCanceledErr);
    EXPECT_TRUE(stats.cancelled);
    EXPECT_EQ(stats.finished, stats.started) << "every started unit is awaited";
    EXPECT_EQ(stats.finishedPixels, 2);
    EXPECT_EQ(completeUnits(canvas), 2);
    EXPECT_LT(stats.started, stats.count);
    EXPECT_EQ(sink.asks, 3) << "not asked again once stopped";
    EXPECT_EQ(host.abortCalls, 0);
    EXPECT_EQ(host.liveBuffers, 0);
}

// A job kind that writes its own target: it must get no cells.
void countUnitWithoutCells(Job* job) {
    auto* canvas = static_cast<Canvas*>(job->request.context);
    EXPECT_EQ(job->cells.cells, nullptr);
    ++canvas->worked;
}

// Each unit's region, in the request's coordinates, is asked for before its
// work and again before its finish; cell blocks go back to the host. Job
// kinds that do not ask the host never cause a region request.
TEST_F(RenderFixture, HostIsAskedForEachUnitBeforeAndAfterItsWork) {
    context.target = RenderTarget::Host;
    Canvas canvas(PixelRect{10, 20, 10 + 129, 20 + 1}); // units of 128 rows and of 1 row
    ASSERT_EQ(paint(&canvas, 4, &host, nullptr), noErr);
    std::vector<std::array<int32_t, 4>> asked;
    for (const PixelRect& r : host.requests) {
        asked.push_back({r.top, r.left, r.bottom, r.right});
    }
    std::sort(asked.begin(), asked.end());
    const std::vector<std::array<int32_t, 4>> expected{
        {10, 20, 138, 21}, {10, 20, 138, 21}, {138, 20, 139, 21}, {138, 20, 139, 21}};
    EXPECT_EQ(asked, expected);

    host.requests.clear();
    const JobOps selfContained{nullptr, countUnitWithoutCells, nullptr, 0};
    const JobOps cellsOnly{nullptr, paintWork, paintFinish, kJobNeedsCells};
    Canvas own(PixelRect{0, 0, 200, 300});
    RenderStats stats{};
    ASSERT_EQ(paint(&own, 0, &host, &stats, &selfContained), noErr);
    EXPECT_EQ(own.worked.load(), 6);
    EXPECT_EQ(stats.finishedPixels, 6);
    Canvas painted(PixelRect{0, 0, 200, 300});
    ASSERT_EQ(paint(&painted, 0, &host, nullptr, &cellsOnly), noErr);
    EXPECT_EQ(completeUnits(painted), 6);
    EXPECT_TRUE(host.requests.empty());
    EXPECT_EQ(host.liveBuffers, 0);
}

int64_t gFakeSeconds = 0;

TEST_F(RenderFixture, ProgressSpansPassesAndIsThrottledToWholeSeconds) {
    context.target = RenderTarget::Host;
    context.pass = 2;
    context.passCount = 4;
    gFakeSeconds = 100;
    const auto paintColumn = [&] {
        Canvas canvas(PixelRect{0, 0, 128, 128 * 5}); // five units
        ASSERT_EQ(paint(&canvas, 1, &host, nullptr), noErr);
    };
    platformSetClock([] { return ++gFakeSeconds; }); // a new second at every look
    paintColumn();
    // Pass 2 of 4, k of 5 units done: (5 + k) / 20 of 1000, plus one.
    const std::vector<std::pair<int32_t, int32_t>> expected{
        {301, 1000}, {351, 1000}, {401, 1000}, {451, 1000}, {501, 1000}};
    EXPECT_EQ(host.progressCalls, expected);

    host.progressCalls.clear();
    platformSetClock([] { return gFakeSeconds; }); // time stands still: no report is due
    paintColumn();
    context.pass = -1; // progress off
    platformSetClock([] { return ++gFakeSeconds; });
    paintColumn();
    EXPECT_TRUE(host.progressCalls.empty());
}

class RecordingSink final : public ProgressSink {
public:
    void progressFraction(double fraction) override { fractions.push_back(fraction); }

    std::vector<double> fractions;
};

// A preview renders the pane without progress; a host render covers the
// filter rectangle, reports progress, and gives the view and the look back
// as they were, even when a job changes the look.
TEST_F(RenderFixture, RenderIntoCoversItsTargetAndRestoresTheView) {
    Settings settings{};
    settingsFresh(&settings);
    RenderState state{};
    RecordingSink sink;
    state.waterJob = &kPaintOps;
    state.filterWidth = 300;
    state.filterHeight = 200;
    state.previewRect = PixelRect{0, 0, 50, 60};
    state.previewScaleFactor = 0.25f;
    settings.renderTarget = RenderTarget::Preview;
    settings.previewScale = 4;
    settings.panX = 12;
    settings.panY = 8;
    Canvas pane(PixelRect{0, 0, 50, 60});
    state.waterJobData = &pane;
    RenderStats stats{};
    ASSERT_EQ(renderInto(RenderTarget::Preview, &settings, &state, &host, &sink, &stats), noErr);
    EXPECT_EQ(stats.count, 1);
    EXPECT_EQ(completeUnits(pane), 1);
    EXPECT_TRUE(host.progressCalls.empty());
    EXPECT_TRUE(sink.fractions.empty());
    ASSERT_EQ(host.requests.size(), 2u);
    EXPECT_EQ(host.requests[0].right, 60);

    Canvas canvas(PixelRect{0, 0, 200, 300});
    canvas.lookToSpoil = &settings;
    state.waterJobData = &canvas;
    ASSERT_EQ(renderInto(RenderTarget::Host, &settings, &state, &host, &sink, &stats), noErr);
    EXPECT_EQ(stats.count, 3 * 2);
    EXPECT_EQ(completeUnits(canvas), 6);
    ASSERT_FALSE(host.progressCalls.empty());
    EXPECT_EQ(host.progressCalls.front(), std::make_pair(2, 100));
    EXPECT_EQ(std::tuple(settings.glue, settings.panX, settings.panY, settings.previewScale,
                         settings.renderTarget, settings.pass),
              std::tuple(1, 12, 8, 4, RenderTarget::Preview, -1))
        << "the look and the view come back as they were";
    EXPECT_FLOAT_EQ(state.previewScaleFactor, 0.25f);
}

// Every pixel of the rectangle lies in exactly one unit and no unit is empty;
// 200 x 130 splits into the layout's count of units, run by as many threads as
// there are processors and units, or by one in the serial layouts. A unit past
// the last, and any unit of an empty rectangle, is marked unchosen.
TEST(WorkPlanLayouts, UnitsCoverTheRectangleExactlyOnce) {
    // clang-format off
    const struct {
        int32_t layout, tileSize, count, threads; // threads for 16 processors
    } layouts[] = {
        {kLayoutTiles, 128, 4, 4}, {kLayoutTiles, 50, 12, 12}, {kLayoutSingleThread, 128, 4, 1},
        {kLayoutRowsSerial, 128, 130, 1}, {kLayoutRows, 128, 130, 16},
        {kLayoutColumns, 128, 200, 16}, {kLayoutRowStrips, 128, 3, 3},
        {kLayoutRowStripsSerial, 128, 3, 1}, {kLayoutColumnStrips, 128, 4, 4}};

    // clang-format on
    for (const auto& l : layouts) {
        for (auto [w, h] : {std::pair{200, 130}, {1, 1}, {129, 1}, {1, 129}, {256, 128}}) {
            WorkPlan plan = makeWorkPlan(PixelRect{7, 3, 7 + h, 3 + w}, l.layout, l.tileSize);
            if (w == 200) {
                EXPECT_EQ(plan.count, l.count) << "layout " << l.layout;
                EXPECT_EQ(renderThreadCount(16, plan.count, l.layout), l.threads) << l.layout;
            }
            std::vector<int> covered(static_cast<size_t>(w) * h, 0);
            for (int32_t i = 0; i < plan.count; ++i) {
                const PixelRect unit = planUnit(&plan, i);
                ASSERT_EQ(plan.index, i);
                ASSERT_FALSE(rectEmpty(unit)) << "unit " << i;
                ASSERT_TRUE(unit.left >= 0 && unit.top >= 0 && unit.right <= w && unit.bottom <= h);
                for (int32_t y = unit.top; y < unit.bottom; ++y) {
                    for (int32_t x = unit.left; x < unit.right; ++x) {
                        ++covered[static_cast<size_t>(y) * w + x];
                    }
                }
            }
            EXPECT_EQ(std::count(covered.begin(), covered.end(), 1), w * h)
                << w << " x " << h << " layout " << l.layout;
            const PixelRect none = planUnit(&plan, plan.count); // marked unchosen
            EXPECT_TRUE(none.top == -1 && none.right == -1 && plan.index == -1);
        }
    }
    EXPECT_EQ(makeWorkPlan(PixelRect{0, 0, 0, 10}, kLayoutTiles).count, 0);
    EXPECT_EQ(makeWorkPlan(PixelRect{5, 5, 2, 2}, kLayoutRows).count, 0);
    EXPECT_EQ(renderThreadCount(0, 50, kLayoutTiles), 1) << "a count below 1 means one";
}

} // namespace
} // namespace lakra
