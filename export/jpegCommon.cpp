#include "export/jpegCommon.h"

namespace lakra {
namespace {

[[noreturn]] void abandonImage(j_common_ptr info) {
    // The manager is the first member of the trap.
    JpegErrorTrap* trap = reinterpret_cast<JpegErrorTrap*>(info->err);
    std::longjmp(trap->jump, 1);
}

void ignoreMessage(j_common_ptr) {}

void ignoreWarning(j_common_ptr, int) {}

} // namespace

jpeg_error_mgr* jpegTrapErrors(JpegErrorTrap* trap) {
    jpeg_error_mgr* manager = jpeg_std_error(&trap->manager);
    manager->error_exit = abandonImage;
    manager->output_message = ignoreMessage;
    manager->emit_message = ignoreWarning;
    return manager;
}

} // namespace lakra
