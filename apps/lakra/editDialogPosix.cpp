#include "apps/lakra/editDialog.h"

namespace lakra {

void installEditDialog() {}

} // namespace lakra
