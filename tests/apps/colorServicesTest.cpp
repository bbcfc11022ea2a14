// The command-line host's colorServices, as the plug-in's colour button calls
// it: the picker's answer, a cancelled choice and requests it refuses.
#include "apps/lakra/protocolHost.h"
#include "host/abi.h"

#include <gtest/gtest.h>
#include <vector>

namespace lakra {
namespace {

uint8_t gOffered[3];

bool pickTeal(uint8_t rgb[3]) {
    for (int i = 0; i < 3; ++i) {
        gOffered[i] = rgb[i];
    }
    rgb[0] = 0;
    rgb[1] = 128;
    rgb[2] = 128;
    return true;
}

bool cancelPicking(uint8_t*) {
    return false;
}

TEST(HostColorServices, PicksConvertsAndRefuses) {
    std::vector<uint8_t> pixels(4 * 4 * 3, 9);
    const HostPixels image{4, 4, 3, false, 8, pixels.data()};
    HostRunOptions options;
    HostRun* run = nullptr;
    ASSERT_EQ(hostRunCreate(&run, image, nullptr, options), noErr);
    EXPECT_EQ(getColorServices(*hostRunRecord(run)), nullptr); // not offered unless asked
    hostRunDestroy(run);

    options.offerColorPicker = true;
    ASSERT_EQ(hostRunCreate(&run, image, nullptr, options), noErr);
    const ColorServicesProc services = getColorServices(*hostRunRecord(run));
    ASSERT_NE(services, nullptr);

    ColorServicesInfo info{};
    info.infoSize = sizeof info;
    info.selector = plugIncolorServicesChooseColor;
    info.sourceSpace = plugIncolorServicesRGBSpace;
    info.colorComponents[0] = 300; // out of range: offered clamped
    info.colorComponents[1] = 2;
    info.colorComponents[2] = -4;
    setHostColorPicker(pickTeal);
    EXPECT_EQ(services(&info), noErr);
    EXPECT_EQ(gOffered[0], 255);
    EXPECT_EQ(gOffered[1], 2);
    EXPECT_EQ(gOffered[2], 0);
    EXPECT_EQ(info.colorComponents[1], 128);
    EXPECT_EQ(info.resultSpace, plugIncolorServicesRGBSpace);

    setHostColorPicker(cancelPicking);
    EXPECT_EQ(services(&info), userCanceledErr);
    EXPECT_EQ(info.colorComponents[1], 128); // a cancelled choice changes nothing
    setHostColorPicker(nullptr);

    const struct {
        int32_t infoSize;
        int16_t selector;
        int16_t resultSpace;
        OSErr expected;
    } requests[] = {
        {static_cast<int32_t>(sizeof info) - 1, plugIncolorServicesChooseColor, 0, paramErr},
        {static_cast<int32_t>(sizeof info), plugIncolorServicesConvertColor,
         plugIncolorServicesRGBSpace, noErr},
        {static_cast<int32_t>(sizeof info), plugIncolorServicesConvertColor,
         plugIncolorServicesLabSpace, paramErr},
        {static_cast<int32_t>(sizeof info), plugIncolorServicesSamplePoint, 0, paramErr},
    };

    for (const auto& request : requests) {
        info.infoSize = request.infoSize;
        info.selector = request.selector;
        info.resultSpace = request.resultSpace;
        EXPECT_EQ(services(&info), request.expected) << "selector " << request.selector;
    }
    hostRunDestroy(run);
}

} // namespace
} // namespace lakra
