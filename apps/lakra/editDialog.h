#pragma once

namespace lakra {

// Makes the built-in plug-in show its preview dialog when `lakra edit` runs
// it: on Windows the real dialog, elsewhere none (the look is confirmed as
// given). A plug-in loaded from a module brings its own.
void installEditDialog();

} // namespace lakra
