#pragma once

// --record FILE: the descriptor the plug-in recorded at finish, as JSON.
//
//   {
//     "recordInfo": 0,
//     "descriptor": [ {"key": "0004", "field": "rippleHeight", "type": "long", "value": 33}, ... ],
//     "look": { "rippleHeight": 33, "horizon": 60, ..., "waterColor": "#010203", "glue": "normal" }
//   }
//
// "descriptor" lists every value in the plug-in's order with its four-char
// key and type; doubles are exact. "look" gives the same values under the
// names --set takes, so a recorded look can be played again.

#include "apps/lakra/protocolDescriptors.h"

#include <cstdint>
#include <string>

namespace lakra {

[[nodiscard]] std::string recordJson(const Descriptor& descriptor, int16_t recordInfo);

// Writes recordJson to path; false with a message naming the file.
[[nodiscard]] bool writeRecordJson(const std::string& path, const Descriptor& descriptor,
                                   int16_t recordInfo, std::string* error);

} // namespace lakra
