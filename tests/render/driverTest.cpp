#include "driver/driver.h"

#include "platform/platform.h"
#include "render/renderInto.h"
#include "render/settings.h"
#include "support/fakeHost.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
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
    std::atomic<int> inFlight{0};
    std::atomic<int> mostInFlight{0};
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
    const int now = ++canvas->inFlight;
    int most = canvas->mostInFlight.load();
    while (now > most && !canvas->mostInFlight.compare_exchange_weak(most, now)) {
    }
    if (std::this_thread::get_id() == canvas->caller) {
        ++canvas->workedOnCaller;
    }
    for (int32_t y = job->unit.top; y < job->unit.bottom; ++y) {
        for (int32_t x = job->unit.left; x < job->unit.right; ++x) {
            cellAt(job->cells, x, y)->rgba[0] = expectedValue(x, y);
        }
    }
    ++canvas->worked;
    --canvas->inFlight;
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
    Settings settings{};
    FakeHost host;

    void SetUp() override {
        settingsFresh(&settings);
        settings.renderTarget = RenderTarget::Offline;
    }

    void TearDown() override { platformSetClock(nullptr); }

    Result paint(Canvas* canvas, int32_t processors, RenderHost* withHost, RenderStats* stats) {
        RenderContext context{};
        context.host = withHost;
        context.processors = processors;
        context.target = settings.renderTarget;
        context.pass = settings.pass;
        context.passCount = settings.passCount;
        RenderRequest request{&kPaintOps, canvas->rect, 1, canvas};
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

class WorkerCounts : public RenderFixture, public ::testing::WithParamInterface<int> {};

TEST_P(WorkerCounts, EveryPixelWrittenOnceWithTheSameResult) {
    Canvas canvas(PixelRect{0, 0, 300, 517}); // units straddle 128 and 512 borders
    RenderStats stats{};
    ASSERT_EQ(paint(&canvas, GetParam(), nullptr, &stats), noErr);
    EXPECT_EQ(stats.count, 3 * 5);
    EXPECT_EQ(stats.threads, std::min(GetParam(), 15));
    EXPECT_EQ(stats.finished, 15);
    EXPECT_LE(canvas.mostInFlight.load(), stats.threads);
    EXPECT_EQ(canvas.workedOnCaller.load(), 0) << "units must run on worker threads";
    for (int32_t y = 0; y < 300; ++y) {
        for (int32_t x = 0; x < 517; ++x) {
            ASSERT_EQ(canvas.writes[static_cast<size_t>(y) * 517 + x], 1) << x << "," << y;
            ASSERT_EQ(canvas.at(x, y), expectedValue(x, y)) << x << "," << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Render, WorkerCounts, ::testing::Values(1, 2, 3, 8, 100, 128),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return std::to_string(param.param) + "workers";
                         });

TEST_F(RenderFixture, MoreProcessorsThanTheCapGiveOneHundredWorkers) {
    Canvas canvas(PixelRect{0, 0, 128 * 10, 128 * 20}); // 200 units
    RenderStats stats{};
    ASSERT_EQ(paint(&canvas, 256, nullptr, &stats), noErr);
    EXPECT_EQ(stats.count, 200);
    EXPECT_EQ(stats.threads, 100);
    EXPECT_EQ(stats.finishedPixels, 200);
    EXPECT_EQ(completeUnits(canvas), 200);
}

TEST_F(RenderFixture, OneProcessorStillRunsUnitsOnAWorkerOneAtATime) {
    Canvas canvas(PixelRect{0, 0, 256, 256});
    RenderStats stats{};
    ASSERT_EQ(paint(&canvas, 1, nullptr, &stats), noErr);
    EXPECT_EQ(stats.threads, 1);
    EXPECT_EQ(canvas.mostInFlight.load(), 1);
    EXPECT_EQ(canvas.workedOnCaller.load(), 0);
    EXPECT_EQ(completeUnits(canvas), 4);
}

TEST_F(RenderFixture, HostIsAskedForEachUnitBeforeAndAfterItsWork) {
    settings.renderTarget = RenderTarget::Host;
    Canvas canvas(PixelRect{10, 20, 10 + 129, 20 + 1}); // two units, one column
    ASSERT_EQ(paint(&canvas, 4, &host, nullptr), noErr);
    // 129 rows of one column: units of 128 rows and of 1 row.
    ASSERT_EQ(host.requests.size(), 4u);
    int tall = 0;
    int shortOne = 0;
    for (const PixelRect& r : host.requests) {
        EXPECT_EQ(r.left, 20);
        EXPECT_EQ(r.right, 21);
        tall += (r.top == 10 && r.bottom == 138) ? 1 : 0;
        shortOne += (r.top == 138 && r.bottom == 139) ? 1 : 0;
    }
    EXPECT_EQ(tall, 2);
    EXPECT_EQ(shortOne, 2);
    EXPECT_EQ(host.liveBuffers, 0) << "cell blocks go back to the host";
}

TEST_F(RenderFixture, OfflineRenderNeverCallsTheHost) {
    Canvas canvas(PixelRect{0, 0, 200, 200});
    ASSERT_EQ(paint(&canvas, 2, &host, nullptr), noErr);
    EXPECT_TRUE(host.requests.empty());
    EXPECT_EQ(host.abortCalls, 0);
    EXPECT_EQ(completeUnits(canvas), 4);
}

TEST_F(RenderFixture, CancelAwaitsUnitsInFlightAndKeepsFinishedOnes) {
    settings.renderTarget = RenderTarget::Host;
    host.abortOnCall = 4; // the first three units finish, then the user cancels
    Canvas canvas(PixelRect{0, 0, 640, 640});
    RenderStats stats{};
    EXPECT_EQ(paint(&canvas, 3, &host, &stats), userCanceledErr);
    EXPECT_TRUE(stats.cancelled);
    EXPECT_EQ(host.resultSlot, userCanceledErr);
    EXPECT_EQ(stats.finished, stats.started) << "every started unit is awaited";
    EXPECT_LT(stats.started, stats.count);
    EXPECT_EQ(stats.finishedPixels, 3);
    EXPECT_EQ(completeUnits(canvas), 3);
    EXPECT_EQ(host.liveBuffers, 0);
}

TEST_F(RenderFixture, CancelLeftInTheResultSlotCountsAsCancel) {
    settings.renderTarget = RenderTarget::Host;
    host.resultSlot = userCanceledErr;
    Canvas canvas(PixelRect{0, 0, 300, 300});
    RenderStats stats{};
    EXPECT_EQ(paint(&canvas, 2, &host, &stats), userCanceledErr);
    EXPECT_EQ(stats.finishedPixels, 0);
    EXPECT_EQ(completeUnits(canvas), 0);
}

TEST_F(RenderFixture, RunningOutOfMemoryEndsTheRenderWithoutWaitingForever) {
    settings.renderTarget = RenderTarget::Host;
    host.failAllocationOnCall = 3; // the third unit gets no cells
    Canvas canvas(PixelRect{0, 0, 512, 512});
    RenderStats stats{};
    EXPECT_EQ(paint(&canvas, 2, &host, &stats), memFullErr);
    EXPECT_EQ(stats.started, 2);
    EXPECT_EQ(stats.finished, 2);
    EXPECT_LE(completeUnits(canvas), 2);
    EXPECT_EQ(host.liveBuffers, 0);
}

TEST_F(RenderFixture, FirstUnitOutOfMemoryReturnsAtOnce) {
    settings.renderTarget = RenderTarget::Host;
    host.failAllocationOnCall = 1;
    Canvas canvas(PixelRect{0, 0, 100, 100});
    RenderStats stats{};
    EXPECT_EQ(paint(&canvas, 4, &host, &stats), memFullErr);
    EXPECT_EQ(stats.started, 0);
    EXPECT_EQ(canvas.worked.load(), 0);
}

TEST_F(RenderFixture, HostErrorStopsTheRenderAndStaysInTheResultSlot) {
    settings.renderTarget = RenderTarget::Host;
    host.failRequestOnCall = 5;
    host.failRequestWith = -37;
    Canvas canvas(PixelRect{0, 0, 512, 512});
    RenderStats stats{};
    EXPECT_EQ(paint(&canvas, 2, &host, &stats), -37);
    EXPECT_EQ(host.resultSlot, -37);
    EXPECT_EQ(stats.finished, stats.started);
    EXPECT_LT(stats.finishedPixels, stats.count);
}

// A job kind that writes its own target: it must get no cells and, even with
// a host present, never cause a region request.
void countUnitWithoutCells(Job* job) {
    auto* canvas = static_cast<Canvas*>(job->request.context);
    EXPECT_EQ(job->cells.cells, nullptr);
    ++canvas->worked;
}

TEST_F(RenderFixture, JobsThatNeedNothingGetNoCellsAndNeverAskTheHost) {
    const JobOps selfContained{nullptr, countUnitWithoutCells, nullptr, 0};
    const JobOps cellsOnly{nullptr, paintWork, paintFinish, kJobNeedsCells};
    settings.renderTarget = RenderTarget::Host;
    Canvas own(PixelRect{0, 0, 200, 300});
    RenderContext context{};
    context.host = &host;
    context.target = RenderTarget::Host;
    RenderStats stats{};
    ASSERT_EQ(
        render(context, RenderRequest{&selfContained, own.rect, 1, &own}, kLayoutTiles, &stats),
        noErr);
    EXPECT_EQ(own.worked.load(), 6);
    EXPECT_EQ(stats.finishedPixels, 6);
    EXPECT_TRUE(host.requests.empty());

    Canvas painted(PixelRect{0, 0, 200, 300});
    ASSERT_EQ(render(context, RenderRequest{&cellsOnly, painted.rect, 1, &painted}, kLayoutTiles,
                     nullptr),
              noErr);
    EXPECT_EQ(completeUnits(painted), 6);
    EXPECT_TRUE(host.requests.empty());
    EXPECT_EQ(host.liveBuffers, 0);
}

TEST_F(RenderFixture, EmptyRectangleRendersNothing) {
    Canvas canvas(PixelRect{5, 5, 5, 5});
    RenderStats stats{};
    EXPECT_EQ(paint(&canvas, 4, nullptr, &stats), noErr);
    EXPECT_EQ(stats.count, 0);
    EXPECT_EQ(stats.threads, 0);
}

int64_t gFakeSeconds = 0;

int64_t fakeClock() {
    return gFakeSeconds;
}

int64_t tickingClock() {
    return ++gFakeSeconds;
}

TEST_F(RenderFixture, ProgressSpansPassesAndIsThrottledToWholeSeconds) {
    settings.renderTarget = RenderTarget::Host;
    settings.pass = 2;
    settings.passCount = 4;
    gFakeSeconds = 100;
    platformSetClock(tickingClock); // a new second at every look
    Canvas canvas(PixelRect{0, 0, 128, 128 * 5});
    ASSERT_EQ(paint(&canvas, 1, &host, nullptr), noErr);
    ASSERT_EQ(host.progressCalls.size(), 5u);
    // Pass 2 of 4, k of 5 units done: (5 + k) / 20.
    for (int k = 1; k <= 5; ++k) {
        const double fraction = (5.0 + k) / 20.0;
        EXPECT_EQ(host.progressCalls[k - 1].first, static_cast<int32_t>(fraction * 1000.0) + 1);
        EXPECT_EQ(host.progressCalls[k - 1].second, 1000);
    }

    host.progressCalls.clear();
    platformSetClock(fakeClock); // time stands still: no report is due
    Canvas again(PixelRect{0, 0, 128, 128 * 5});
    ASSERT_EQ(paint(&again, 1, &host, nullptr), noErr);
    EXPECT_TRUE(host.progressCalls.empty());

    settings.pass = -1; // progress off
    platformSetClock(tickingClock);
    Canvas off(PixelRect{0, 0, 128, 128 * 5});
    ASSERT_EQ(paint(&off, 1, &host, nullptr), noErr);
    EXPECT_TRUE(host.progressCalls.empty());
}

class RecordingSink final : public ProgressSink {
public:
    void progressFraction(double fraction) override { fractions.push_back(fraction); }

    std::vector<double> fractions;
};

struct RenderIntoFixture : RenderFixture {
    RenderState state{};
    RecordingSink sink;

    void SetUp() override {
        RenderFixture::SetUp();
        state.waterJob = &kPaintOps;
        state.filterWidth = 300;
        state.filterHeight = 200;
        state.previewRect = PixelRect{0, 0, 50, 60};
        state.previewScaleFactor = 0.25f;
        settings.renderTarget = RenderTarget::Preview;
        settings.previewScale = 4;
        settings.panX = 12;
        settings.panY = 8;
    }
};

TEST_F(RenderIntoFixture, HostRenderCoversTheFilterRectangleAndRestoresTheView) {
    Canvas canvas(PixelRect{0, 0, 200, 300});
    canvas.lookToSpoil = &settings; // a job that changes the look must not keep it
    state.waterJobData = &canvas;
    RenderStats stats{};
    ASSERT_EQ(renderInto(RenderTarget::Host, &settings, &state, &host, &sink, &stats), noErr);
    EXPECT_EQ(stats.count, 3 * 2);
    EXPECT_EQ(completeUnits(canvas), 6);
    ASSERT_FALSE(host.progressCalls.empty());
    EXPECT_EQ(host.progressCalls.front(), std::make_pair(2, 100));
    EXPECT_EQ(settings.glue, 1) << "the look comes back as it was";
    EXPECT_EQ(settings.panX, 12);
    EXPECT_EQ(settings.panY, 8);
    EXPECT_EQ(settings.previewScale, 4);
    EXPECT_EQ(settings.renderTarget, RenderTarget::Preview);
    EXPECT_EQ(settings.pass, -1);
    EXPECT_FLOAT_EQ(state.previewScaleFactor, 0.25f);
}

TEST_F(RenderIntoFixture, PreviewRendersThePaneWithoutProgress) {
    Canvas canvas(PixelRect{0, 0, 50, 60});
    state.waterJobData = &canvas;
    settings.pass = -1;
    RenderStats stats{};
    ASSERT_EQ(renderInto(RenderTarget::Preview, &settings, &state, &host, &sink, &stats), noErr);
    EXPECT_EQ(stats.count, 1);
    EXPECT_EQ(completeUnits(canvas), 1);
    EXPECT_TRUE(host.progressCalls.empty());
    EXPECT_TRUE(sink.fractions.empty());
    ASSERT_EQ(host.requests.size(), 2u);
    EXPECT_EQ(host.requests[0].right, 60);
    EXPECT_EQ(settings.pass, -1);
}

} // namespace
} // namespace lakra
