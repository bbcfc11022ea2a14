#pragma once

#include "platform/result.h"

namespace lakra {

// The two blocks the host keeps between calls: the parameters block (the
// Settings) and the state block (PluginState). Both are made with the host's
// handle procedures; a host without usable ones gets blocks from the C heap
// that it keeps for us all the same.

// Makes sure both blocks exist and locks them, publishing them in the host
// context. A block made now is initialised: fresh Settings, a reset state.
[[nodiscard]] Result obtainBlocks();
// Locks blocks that exist: memFullErr when a lock fails, filterBadParameters
// when a block is missing.
[[nodiscard]] Result lockBlocks();
// Unlocks the data handle, then the parameters handle, each if it exists.
void unlockBlocks();
// Both handles exist.
bool blocksExist();

} // namespace lakra
