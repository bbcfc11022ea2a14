#include "apps/lakra/editDialog.h"
#include "dialog/win32/previewDialog.h"
#include "host/seams.h"

namespace lakra {

void installEditDialog() {
    setPreviewDialogHandler(runWin32PreviewDialog);
}

} // namespace lakra
