#pragma once

#include "driver/renderTarget.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

inline constexpr int32_t kGlueCount = 63;
inline constexpr int32_t kSettingsFormatVersion = 41;
inline constexpr size_t kSettingsNameBytes = 260;
inline constexpr size_t kFolderBytes = 260;
inline constexpr size_t kFileSpecBytes = 268; // 8-byte header, then a 260-byte path

// PSD export size choice.
inline constexpr uint32_t kPsdSameSize = 1;
inline constexpr uint32_t kPsdSameProportions = 2;
inline constexpr uint32_t kPsdCustomSize = 3;
// What the next offscreen render is for.
inline constexpr uint32_t kExportGalleryImage = 3;
inline constexpr uint32_t kExportPsd = 6;

// The parameter record. It lives in the host's parameters block, so its layout
// is fixed: fields stay in this order, and copyLook relies on the look being
// one contiguous run from carriedFloat1 to carriedInt19.
//
// The carried fields are never read by the renderer; presets, memory dots and
// undo copy them with the look so that a stored look restores them unchanged.
struct Settings {
    // The look.
    float carriedFloat1;
    float carriedFloat2;
    float carriedFloat3;
    float carriedFloat4;
    float carriedFloat5;
    float carriedFloat6;
    int32_t glue;       // blend mode 1..63
    int32_t randomSeed; // only the low 8 bits move the waves; all of it moves the rings
    float xCenter;      // ring centre, fraction of the image width
    float yCenter;      // ring centre, fraction of the image height
    uint16_t waterRed;  // 0..65535
    uint16_t waterGreen;
    uint16_t waterBlue;
    uint16_t carriedWord1;
    uint16_t carriedWord2;
    uint16_t carriedWord3;
    uint16_t carriedWord4;
    uint16_t carriedWord5;
    uint16_t carriedWord6;
    uint16_t carriedWord7;
    uint16_t carriedWord8;
    uint16_t carriedWord9;
    uint16_t carriedWord10;
    uint16_t carriedWord11;
    uint16_t carriedWord12;
    uint16_t carriedWord13;
    uint16_t carriedWord14;
    uint16_t carriedWord15;
    uint16_t carriedWord16;
    uint16_t carriedWord17;
    uint16_t carriedWord18;
    uint16_t carriedWord19;
    uint16_t carriedWord20;
    uint16_t carriedWord21;
    // Slider values are whole numbers 0..100.
    int32_t rippleHeight;
    int32_t carriedInt1;
    int32_t carriedInt2;
    int32_t carriedInt3;
    int32_t horizon; // truncated copy of horizonFloat
    int32_t perspective;
    int32_t carriedInt4;
    int32_t carriedInt5;
    int32_t carriedInt6;
    int32_t carriedInt7;
    int32_t undulation;
    int32_t carriedInt8;
    int32_t carriedInt9;
    int32_t carriedInt10;
    int32_t rippleSize;
    int32_t offset; // truncated copy of offsetFloat
    int32_t waviness;
    int32_t blur;
    int32_t complexity;
    int32_t altitude;
    int32_t carriedInt11;
    int32_t carriedInt12;
    int32_t carriedInt13;
    int32_t carriedInt14;
    int32_t carriedInt15;
    int32_t carriedInt16;
    int32_t carriedInt17;
    int32_t brilliance;
    int32_t carriedInt18;
    int32_t carriedInt19;
    float horizonFloat; // percent of the image height from the top, 0..100
    float offsetFloat;  // percent of the way from the horizon to the bottom, 0..100

    // View state: set by the dialog and the render driver, never part of a look.
    RenderTarget renderTarget;
    int32_t previewScale; // image pixels per preview pixel, never 0
    int32_t panX;         // preview scroll, image pixels
    int32_t panY;
    int32_t passCount; // render passes one progress bar spans, at least 1
    int32_t pass;      // current pass, 1-based; -1 turns progress off

    char dotName[kSettingsNameBytes]; // current preset or memory-dot name
    int32_t formatVersion;

    // Owned by the host interface.
    uint8_t previewPossible; // the host can show a preview
    uint8_t reservedFlags[3];

    // Owned by the preset, export and gallery commands; never part of a look.
    char presetsFolder[kFolderBytes];
    uint32_t psdSizeMode;
    uint32_t psdWidth; // 2..30000
    uint32_t psdHeight;
    uint32_t exportKind;
    char psdLastFile[kFileSpecBytes];
    char psdFolder[kFolderBytes];
    char gallerySourceFolder[kFolderBytes];
};

// The carried fields in declared order, for code that walks all of them.
inline constexpr float Settings::*kCarriedFloatFields[] = {
    &Settings::carriedFloat1, &Settings::carriedFloat2, &Settings::carriedFloat3,
    &Settings::carriedFloat4, &Settings::carriedFloat5, &Settings::carriedFloat6,
};

inline constexpr uint16_t Settings::*kCarriedWordFields[] = {
    &Settings::carriedWord1,  &Settings::carriedWord2,  &Settings::carriedWord3,
    &Settings::carriedWord4,  &Settings::carriedWord5,  &Settings::carriedWord6,
    &Settings::carriedWord7,  &Settings::carriedWord8,  &Settings::carriedWord9,
    &Settings::carriedWord10, &Settings::carriedWord11, &Settings::carriedWord12,
    &Settings::carriedWord13, &Settings::carriedWord14, &Settings::carriedWord15,
    &Settings::carriedWord16, &Settings::carriedWord17, &Settings::carriedWord18,
    &Settings::carriedWord19, &Settings::carriedWord20, &Settings::carriedWord21,
};

inline constexpr int32_t Settings::*kCarriedIntFields[] = {
    &Settings::carriedInt1,  &Settings::carriedInt2,  &Settings::carriedInt3,
    &Settings::carriedInt4,  &Settings::carriedInt5,  &Settings::carriedInt6,
    &Settings::carriedInt7,  &Settings::carriedInt8,  &Settings::carriedInt9,
    &Settings::carriedInt10, &Settings::carriedInt11, &Settings::carriedInt12,
    &Settings::carriedInt13, &Settings::carriedInt14, &Settings::carriedInt15,
    &Settings::carriedInt16, &Settings::carriedInt17, &Settings::carriedInt18,
    &Settings::carriedInt19,
};

// The host keeps this record in a parameters block of 2752 bytes.
inline constexpr size_t kParametersBlockBytes = 2752;
static_assert(sizeof(Settings) <= kParametersBlockBytes, "Settings must fit the parameters block");

// A freshly made parameters block: view state, name, then every default.
void settingsFresh(Settings* settings);
// Every look default; carriedWord19..21 keep their values. The view state and
// the fields of other owners are left alone.
void settingsReset(Settings* settings);
// Copies the look (name, colour, carried fields but carriedInt19, sliders,
// seed, glue, exact horizon and offset) from one record to another. The view
// state and the fields of other owners are not copied.
void copyLook(const Settings& from, Settings* to);
// The glue step button: the next blend mode, wrapping after the last.
void stepGlue(Settings* settings);
// Stores an exact horizon or offset together with its truncated integer copy.
void setHorizon(Settings* settings, float percent);
void setOffset(Settings* settings, float percent);
void setDotName(Settings* settings, const char* name);

// What the renderer works with, derived once per render from Settings.
struct WorkingValues {
    float horizon;     // h: fraction of the height, at most 0.99
    float waterLine;   // o: from the horizon down to the bottom
    float perspective; // p
    float altitude;    // a
    float ringRadius;  // s: 0 turns the rings off
    float rippleAmplitude;
    float waviness;   // w
    float undulation; // k: rings per ripple
    float octaves;    // 1.01..7.01
    float blurWeight;
    float brilliance;
    float waterColor[3]; // 0..1
};

WorkingValues workingValues(const Settings& settings);

} // namespace lakra
