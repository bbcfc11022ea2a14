#pragma once

// Shared by the JPEG encoder and decoder: an error manager that abandons the
// image by longjmp instead of exiting the process, and ignores warnings.

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// After jpeglib.h: the error codes and ERREXIT.
#include <jerror.h>

namespace lakra {

struct JpegErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

// Installs the trap as the library's error manager; returns it for the struct.
jpeg_error_mgr* jpegTrapErrors(JpegErrorTrap* trap);

} // namespace lakra
