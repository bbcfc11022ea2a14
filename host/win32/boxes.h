#pragma once

// The about and information boxes as the preview dialog shows them: modeless,
// owned by the dialog, closed by it when it ends.

namespace lakra {

enum class ModelessBox { About, Information };

// Opens the box over `owner` (a window handle) and returns its window, or
// nullptr when its template cannot be had.
void* openModelessBox(ModelessBox box, void* owner);

} // namespace lakra
