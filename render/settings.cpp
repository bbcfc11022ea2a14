#include "render/settings.h"

#include <cmath>
#include <cstring>

namespace lakra {

namespace {

constexpr const char* kFreshName = "Lakra settings";

// copyLook moves the look as one block: carriedFloat1 up to (not including)
// carriedInt19, which stays with its owner, then the exact horizon and offset.
constexpr size_t kLookBegin = offsetof(Settings, carriedFloat1);
constexpr size_t kLookEnd = offsetof(Settings, carriedInt19);
static_assert(kLookBegin == 0);
static_assert(offsetof(Settings, horizonFloat) == kLookEnd + sizeof(int32_t));
static_assert(offsetof(Settings, offsetFloat) == offsetof(Settings, horizonFloat) + sizeof(float));
static_assert(offsetof(Settings, renderTarget) == offsetof(Settings, offsetFloat) + sizeof(float));

template <size_t N>
void copyText(char (&to)[N], const char* from) {
    if (from == nullptr) {
        to[0] = '\0';
        return;
    }
    const size_t length = strnlen(from, N - 1);
    std::memcpy(to, from, length);
    to[length] = '\0';
}

} // namespace

void settingsReset(Settings* settings) {
    Settings& s = *settings;
    s.carriedFloat1 = -0.68f;
    s.carriedFloat2 = -0.68f;
    s.carriedFloat3 = static_cast<float>(std::sqrt(0.5376 - 0.68 * 0.68));
    s.carriedFloat4 = 0.0f;
    s.carriedFloat5 = -1.0f;
    s.carriedFloat6 = 0.0f;
    s.glue = 1;
    s.randomSeed = 21;
    s.xCenter = 0.5f;
    s.yCenter = 0.2f;
    s.waterRed = 257;
    s.waterGreen = 514;
    s.waterBlue = 771;

    // The last three carried words keep whatever they hold.
    static constexpr uint16_t kCarriedWords[18] = {27632, 33553, 40133, 3289,  5921,  18421,
                                                   58339, 51400, 37265, 57825, 58339, 61423,
                                                   65535, 65535, 65535, 28835, 24903, 13107};
    for (int i = 0; i < 18; ++i) {
        s.*kCarriedWordFields[i] = kCarriedWords[i];
    }

    s.rippleHeight = 33;
    s.carriedInt1 = 50;
    s.carriedInt2 = 80;
    s.carriedInt3 = 80;
    s.perspective = 57;
    s.carriedInt4 = 0;
    s.carriedInt5 = 30;
    s.carriedInt6 = 4;
    s.carriedInt7 = 50;
    s.undulation = 40;
    s.carriedInt8 = 0;
    s.carriedInt9 = 0;
    s.carriedInt10 = 0;
    s.rippleSize = 0;
    s.waviness = 40;
    s.blur = 25;
    s.complexity = 50;
    s.altitude = 50;
    s.carriedInt11 = 50;
    s.carriedInt12 = 50;
    s.carriedInt13 = 4;
    s.carriedInt14 = 0;
    s.carriedInt15 = 57;
    s.carriedInt16 = 100;
    s.carriedInt17 = 0;
    s.brilliance = 42;
    s.carriedInt18 = 50;
    s.carriedInt19 = 0;
    setHorizon(settings, 60.0f);
    setOffset(settings, 0.0f);
}

void settingsFresh(Settings* settings) {
    // A new block's contents are undefined; start from zeros so that nothing
    // a later reader sees is left to chance.
    std::memset(settings, 0, sizeof(Settings));
    settings->previewScale = 1;
    settings->renderTarget = RenderTarget::Host;
    settings->pass = -1;
    settings->passCount = 1;
    settings->formatVersion = kSettingsFormatVersion;
    settings->psdSizeMode = kPsdSameSize;
    settings->psdWidth = 100;
    settings->psdHeight = 100;
    settings->exportKind = kExportGalleryImage;
    setDotName(settings, kFreshName);
    settingsReset(settings);
}

void copyLook(const Settings& from, Settings* to) {
    if (&from == to) {
        return;
    }
    auto* target = reinterpret_cast<unsigned char*>(to);
    const auto* source = reinterpret_cast<const unsigned char*>(&from);
    std::memcpy(target + kLookBegin, source + kLookBegin, kLookEnd - kLookBegin);
    to->horizonFloat = from.horizonFloat;
    to->offsetFloat = from.offsetFloat;
    copyText(to->dotName, from.dotName);
}

void stepGlue(Settings* settings) {
    const int32_t next = settings->glue + 1;
    // Values from scripting may lie outside 1..63; they step to the first mode.
    settings->glue = (next < 1 || next > kGlueCount) ? 1 : next;
}

void setHorizon(Settings* settings, float percent) {
    settings->horizonFloat = percent;
    settings->horizon = static_cast<int32_t>(percent);
}

void setOffset(Settings* settings, float percent) {
    settings->offsetFloat = percent;
    settings->offset = static_cast<int32_t>(percent);
}

void setDotName(Settings* settings, const char* name) {
    copyText(settings->dotName, name);
}

WorkingValues workingValues(const Settings& s) {
    // Products are formed in double and rounded once to float, so a value
    // such as 30 x 0.01 x 0.2 is as close to 0.06 as a float can be.
    const auto scaled = [](double value, double factor) {
        return static_cast<float>(value * factor);
    };
    WorkingValues w{};
    const double h = static_cast<double>(s.horizonFloat) * 0.99 * 0.01;
    const double a = s.altitude * 0.01 * 5.0;
    w.horizon = static_cast<float>(h);
    w.waterLine = static_cast<float>(static_cast<double>(s.offsetFloat) * 0.01 * (1.0 - h) + h);
    // Scripting may carry any 32-bit value; the sum is formed in double.
    w.perspective = scaled(static_cast<double>(s.perspective) + 1.0, 0.01 * 0.125 * 1.5);
    w.altitude = static_cast<float>(a);
    w.ringRadius = static_cast<float>(s.rippleSize * 0.01 * 6.0 * a);
    w.rippleAmplitude = scaled(s.rippleHeight, 0.01 * 0.2);
    w.waviness = scaled(s.waviness, 0.01);
    w.undulation = scaled(s.undulation, 0.01 * 40.0);
    w.octaves = static_cast<float>(s.complexity * 0.06 + 1.01);
    w.blurWeight = scaled(s.blur, 0.01);
    w.brilliance = scaled(s.brilliance, 0.01);
    w.waterColor[0] = static_cast<float>(s.waterRed / 65535.0);
    w.waterColor[1] = static_cast<float>(s.waterGreen / 65535.0);
    w.waterColor[2] = static_cast<float>(s.waterBlue / 65535.0);
    return w;
}

} // namespace lakra
