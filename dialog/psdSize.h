#pragma once

// What the PSD size dialog shows and what input does to it: "Same size as
// input", "Same proportions as input" or a custom size, with the width and
// height edits. The input size is the host's filter rectangle.

#include "export/psdDocument.h"
#include "render/settings.h"

#include <cstdint>

namespace lakra {

inline constexpr int32_t kPsdMinSide = 2;

struct PsdSizeModel {
    int32_t inputWidth;
    int32_t inputHeight;
    uint32_t mode; // the selected choice: kPsdSameSize, kPsdSameProportions or kPsdCustomSize
    int32_t width; // what the width and height edits show
    int32_t height;
};

// The dialog opens: a custom size shows the stored size, the other choices
// the input size.
PsdSizeModel psdSizeOpen(const Settings& settings, int32_t inputWidth, int32_t inputHeight);
// A click on a choice: the same size puts the input size into the edits, the
// same proportions recompute the height from the width.
void psdSizeChoose(PsdSizeModel* model, uint32_t mode);
// Typing in the edit that has the keyboard focus. While the same size is
// chosen, typing switches to a custom size; while the same proportions are,
// the other side follows (integer arithmetic, truncated).
void psdSizeTypeWidth(PsdSizeModel* model, int32_t width);
void psdSizeTypeHeight(PsdSizeModel* model, int32_t height);
// OK: the size clamped to 2..30000 and the choice go into settings.
void psdSizeAccept(const PsdSizeModel& model, Settings* settings);
// An edit's text as a number: only 0-9, '+' and '-' count, truncated toward
// zero and saturated to the int32 range.
int32_t psdSizeNumber(const char* text);

} // namespace lakra
