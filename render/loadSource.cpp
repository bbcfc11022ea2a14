#include "render/loadSource.h"

#include "driver/driver.h"
#include "driver/hostBuffers.h"
#include "pyramid/hostTile.h"
#include "pyramid/levels.h"
#include "pyramid/pyramid.h"

namespace lakra {

Result loadSource(RenderHost* host, ImagePyramid* source, int32_t processors) {
    if (host == nullptr || source == nullptr || source->tiles == nullptr) {
        return failWith(filterBadParameters);
    }
    // Level 0's tiles come first in the table.
    for (int32_t t = source->levelFirstTile[0]; t <= source->levelLastTile[0]; ++t) {
        const Result advanced = host->requestRegion(tileRect(source, t));
        if (advanced != noErr) {
            return advanced;
        }
        HostBuffers buffers;
        if (!host->buffers(&buffers) || !loadHostTile(source, t, buffers.input)) {
            // The host delivered nothing usable for this tile.
            return failWith(filterBadParameters);
        }
    }
    return buildLevels(source, processors);
}

} // namespace lakra
