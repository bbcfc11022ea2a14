#include "apps/lakra/editDialog.h"

namespace lakra {

void installEditDialog() {}

intptr_t editParentWindow() {
    return 0;
}

} // namespace lakra
