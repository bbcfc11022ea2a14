#include "dialog/psdSize.h"

#include "files/files.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace lakra {

namespace {

constexpr int32_t kMaxSide = static_cast<int32_t>(kPsdMaxSide);

// a * b / c with the quotient truncated; unchanged `fallback` when c is 0.
int32_t proportional(int32_t a, int32_t b, int32_t c, int32_t fallback) {
    if (c == 0) {
        return fallback;
    }
    const int64_t value = static_cast<int64_t>(a) * b / c;
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

PsdSizeModel psdSizeOpen(const Settings& settings, int32_t inputWidth, int32_t inputHeight) {
    PsdSizeModel model{inputWidth, inputHeight, settings.psdSizeMode, inputWidth, inputHeight};
    if (model.mode < kPsdSameSize || model.mode > kPsdCustomSize) {
        model.mode = kPsdSameSize;
    }
    if (model.mode == kPsdCustomSize) {
        model.width = static_cast<int32_t>(std::min<uint32_t>(settings.psdWidth, kMaxSide));
        model.height = static_cast<int32_t>(std::min<uint32_t>(settings.psdHeight, kMaxSide));
    }
    return model;
}

void psdSizeChoose(PsdSizeModel* model, uint32_t mode) {
    if (mode == kPsdSameSize) {
        model->width = model->inputWidth;
        model->height = model->inputHeight;
    } else if (mode == kPsdSameProportions) {
        model->height =
            proportional(model->width, model->inputHeight, model->inputWidth, model->height);
    } else if (mode != kPsdCustomSize) {
        return;
    }
    model->mode = mode;
}

void psdSizeTypeWidth(PsdSizeModel* model, int32_t width) {
    model->width = width;
    if (model->mode == kPsdSameSize) {
        model->mode = kPsdCustomSize;
    } else if (model->mode == kPsdSameProportions) {
        model->height = proportional(width, model->inputHeight, model->inputWidth, model->height);
    }
}

void psdSizeTypeHeight(PsdSizeModel* model, int32_t height) {
    model->height = height;
    if (model->mode == kPsdSameSize) {
        model->mode = kPsdCustomSize;
    } else if (model->mode == kPsdSameProportions) {
        model->width = proportional(height, model->inputWidth, model->inputHeight, model->width);
    }
}

void psdSizeAccept(const PsdSizeModel& model, Settings* settings) {
    settings->psdWidth = static_cast<uint32_t>(std::clamp(model.width, kPsdMinSide, kMaxSide));
    settings->psdHeight = static_cast<uint32_t>(std::clamp(model.height, kPsdMinSide, kMaxSide));
    settings->psdSizeMode = model.mode;
}

int32_t psdSizeNumber(const char* text) {
    // An edit holds at most 256 characters.
    char limited[257] = {};
    if (text != nullptr) {
        std::strncpy(limited, text, sizeof limited - 1);
    }
    const double value = std::trunc(numberFromText(limited, false));
    if (!(value == value)) { // NaN
        return 0;
    }
    return static_cast<int32_t>(
        std::clamp(value, static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
}

} // namespace lakra
