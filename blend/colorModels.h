#pragma once

// The colour models of the whole-pixel blend modes: the standard
// hue-saturation-lightness model, and HSY, which swaps lightness for a
// luminance Y that follows the eye (0.28 red, 0.52 green, 0.2 blue) while
// keeping HSL's hue and saturation. All values are fractions 0..1; hue is a
// fraction of a turn.

namespace lakra {

struct UnitRgb {
    double red;
    double green;
    double blue;
};

struct Hsl {
    double hue;
    double saturation;
    double lightness;
};

struct Hsy {
    double hue;
    double saturation;
    double luma;
};

Hsl rgbToHsl(const UnitRgb& color);
UnitRgb hslToRgb(const Hsl& color);

// Luminance of the fully lit colour of this hue and saturation (lightness 0.5).
double hsyMidpoint(double hue, double saturation);

Hsy rgbToHsy(const UnitRgb& color);
// The lightness whose HSY luminance is `luma`, then the HSL colour.
UnitRgb hsyToRgb(const Hsy& color);

} // namespace lakra
