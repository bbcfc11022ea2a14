#pragma once

#include "driver/driver.h"
#include "driver/hostBuffers.h"
#include "platform/result.h"
#include "render/settings.h"
#include "render/surface.h"

#include <cstdint>

namespace lakra {

struct ImagePyramid;

// The host image as the renderer sees it.
struct HostImageFormat {
    int32_t depth = 8;         // bits per sample: 8, 16 or 32
    int32_t planes = 3;        // transparency included; below 3 means grey
    bool transparency = false; // the last plane is editable transparency
};

// One sample point of the water half: where its mirrored, disturbed ray
// meets the source, and how it is mixed and blurred.
struct SamplePoint {
    float u;    // source position, 0..1 across
    float v;    // and down
    float mix;  // 1: pure reflection, 0: pure water colour
    float blur; // share of the way to the coarsest level
    bool wet;
};

// Everything the water job reads, fixed for one render into a target.
struct ShadingJob {
    RenderTarget target = RenderTarget::Host;
    WorkingValues values{};
    WaterSurface surface{};
    const ImagePyramid* source = nullptr; // the image the water reflects
    float sourceWidth = 1.0f;             // W, H: the source in pixels
    float sourceHeight = 1.0f;
    float levelMax = 1.0f;
    // Pixel (x, y) sits at u = ((x - 0.5) * scale + panX + 1) / spanWidth.
    float scale = 1.0f;
    float panX = 0.0f;
    float panY = 0.0f;
    float spanWidth = 1.0f;
    float spanHeight = 1.0f;
    float aspect = 1.0f; // v correction of an Offline target of another shape
    int32_t originX = 0; // the render rectangle's origin: units are relative to it
    int32_t originY = 0;
    int32_t glue = 1;
    bool highDynamicRange = false;
    bool grey = false;
    bool transparency = false;
    // Preview guides, in rendered pixels.
    int32_t horizonRow = 0;
    int32_t waterRow = 0;
    int32_t centreRow = 0;
    int32_t centreColumn = 0;
    int32_t renderWidth = 0;
    // Where the finish writes.
    RenderHost* host = nullptr;
    ImagePyramid* offlineImage = nullptr;
    PreviewBitmap preview{};
};

// The job kind of the water render.
extern const JobOps kWaterJobOps;

// Fills the job for a render into target of a rect-sized area. The source
// must be loaded and its levels built.
void shadingJobBuild(RenderTarget target, const Settings& settings, const ImagePyramid* source,
                     const HostImageFormat& format, const PixelRect& rect, ShadingJob* job);

// The water half, one piece at a time (the worker computes each point once
// and reuses it for its neighbours; tests compare the two). x and y are
// render-rectangle pixels, origin included; shadeUnit takes the unit relative
// to the origin, as the driver hands it out.
SamplePoint samplePoint(const ShadingJob& job, int32_t x, int32_t y);
void shadePixel(const ShadingJob& job, const SamplePoint& above, const SamplePoint& left,
                const SamplePoint& self, int32_t x, int32_t y, float out[4]);
void shadeUnit(const ShadingJob& job, const PixelRect& unit, CellBlock* cells);

// The finish half for one pixel (render-rectangle pixels, origin included):
// the water colour in cell over the underlying pixel, written into the
// target; buffers are the host's current ones (Host, Preview).
void finishPixel(const ShadingJob& job, const HostBuffers* buffers, int32_t x, int32_t y,
                 const float cell[4]);

// The colour steps of the finish half, exposed for tests.
void spillOverflow(float rgba[4]);
void readHostPixel(const HostImageView& input, int32_t x, int32_t y, float rgba[4]);

} // namespace lakra
