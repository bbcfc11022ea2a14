#pragma once

// The look as the command line gives it (--set NAME=VALUE, --glue) and as a
// recorded action carries it to the plug-in: "Vers" and the keys of
// host/lookFields.h, the exact water colour included.

#include "apps/lakra/protocolDescriptors.h"
#include "host/lookFields.h"
#include "render/settings.h"

#include <string>
#include <vector>

namespace lakra {

// Applies one NAME=VALUE to the look. NAME is a Settings field: rippleHeight,
// horizon, perspective, undulation, rippleSize, offset, waviness, blur,
// complexity, altitude, brilliance, randomSeed, xCenter, yCenter, waterColor
// or glue. False with a message for an unknown name or a value out of range.
[[nodiscard]] bool lookSet(Settings* look, const std::string& assignment, std::string* error);

// A blend mode by number (1..63), code ("GL07") or name ("add", "hard light";
// case, '-' and '_' ignored).
[[nodiscard]] bool lookSetGlue(Settings* look, const std::string& value, std::string* error);

// Every key in the order the plug-in records them, with the values converted
// as it converts them: colours as their high bytes and again whole, the glue
// as "GLnn", the four exact values widened to double. The plug-in reads it
// back to exactly this look.
[[nodiscard]] Descriptor lookDescriptor(const Settings& look);

// The record name of a key ("0004" -> "rippleHeight", "Vers" ->
// "formatVersion"), or null.
[[nodiscard]] const char* lookFieldName(DescriptorKeyID key);

// The fields --set knows, in the order --help and `preset show` list them:
// the numbers in key order, then the colour and the blend mode.
[[nodiscard]] std::vector<const LookField*> lookOptionFields();

// The fields, their ranges and defaults, for --help.
[[nodiscard]] std::string lookFieldsHelp();

} // namespace lakra
