#pragma once

#include "apps/lakra/protocolHost.h"
#include "render/settings.h"
#include "support/fakeHost.h"

#include <cstdint>
#include <vector>

namespace lakra::testing {

// The plug-in's PluginMain run by the command-line host's protocol code over
// a FakeImage: the host works on a packed copy of the image (and its mask),
// and after every call the host's output is copied into image->output.
// One run is current at a time, as in the host.
class PluginRun {
public:
    // A run as from the host's menu: the dialog shows unless a recorded look
    // says otherwise.
    explicit PluginRun(FakeImage* image, HostRunOptions options = interactive());
    PluginRun(const PluginRun&) = delete;
    PluginRun& operator=(const PluginRun&) = delete;
    ~PluginRun();

    static HostRunOptions interactive();

    Result call(int16_t selector); // one selector
    Result run();                  // parameters, prepare, start, continue..., finish
    Result repeat();               // the same without parameters, as "last filter" does

    FilterRecord& record() { return *hostRunRecord(host); }

    FakeImage* image;
    HostRun* host = nullptr;
    PluginEntry entry; // PluginMain unless a test loads the module

private:
    Result synced(Result result);

    std::vector<uint8_t> packed;
};

// The image's rows (its input or output) without the host's padding.
std::vector<uint8_t> packedRows(const FakeImage& image, const std::vector<uint8_t>& rows);

// Smooth waves in every colour plane; the transparency half opaque left of
// x = 10 and opaque elsewhere.
void fillPattern(FakeImage* image);

// What the renderer makes of the image with the look, straight through the
// render entry: what the plug-in must deliver.
std::vector<uint8_t> directRender(const FakeImage& image, const Settings& look);
// The same with a fresh look.
std::vector<uint8_t> directRender(const FakeImage& image);

} // namespace lakra::testing
