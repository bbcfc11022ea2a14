#pragma once

// The image module, liblakra_oiio.so: PNG, JPEG, TIFF and OpenEXR through
// OpenImageIO. lakra loads it the first time it reads or writes such a file,
// so that starting it, and netpbm files, map none of OpenImageIO's libraries.
// The module is built with lakra by the same compiler, so its entry points
// take the host's own types; nothing thrown crosses them.

#include "apps/lakra/imageFile.h"

#include <cstdint>
#include <string>

namespace lakra {

// The module's file name; lakra looks for it in its own folder.
constexpr char kImageModuleFile[] = "liblakra_oiio.so";

// Changes whenever HostImage, MetadataRecord or an entry point changes, so a
// module from another build is refused rather than misread.
constexpr int32_t kImageModuleVersion = 3;

} // namespace lakra

extern "C" {

#define LAKRA_IMAGE_MODULE_EXPORT __attribute__((visibility("default")))

// kImageModuleVersion as the module was built.
LAKRA_IMAGE_MODULE_EXPORT int32_t lakraImageModuleVersion();

// readImageOiio: the first image of the file at `path` (UTF-8).
LAKRA_IMAGE_MODULE_EXPORT bool lakraImageModuleRead(const char* path, lakra::HostImage* image,
                                                    std::string* error);

// writeOiioFile: `image` into `ioPath` in `format` (a FileFormat), messages
// naming `shownPath`.
LAKRA_IMAGE_MODULE_EXPORT bool lakraImageModuleWrite(const char* ioPath, int32_t format,
                                                     const lakra::HostImage* image,
                                                     const char* shownPath, std::string* error);

// resolveMetadata: the records of metadata->pendingJpegHeader, as read from
// the whole file, put upright for metadata->pendingOrientation; the header is
// cleared.
LAKRA_IMAGE_MODULE_EXPORT bool lakraImageModuleJpegRecords(lakra::ImageMetadata* metadata,
                                                           std::string* error);

// resolveMetadata: the records of the file metadata->pendingFile,
// put upright for metadata->pendingOrientation; the file is forgotten.
LAKRA_IMAGE_MODULE_EXPORT bool lakraImageModuleFileRecords(lakra::ImageMetadata* metadata,
                                                           std::string* error);

using LakraImageModuleVersionFn = int32_t (*)();
using LakraImageModuleReadFn = bool (*)(const char*, lakra::HostImage*, std::string*);
using LakraImageModuleWriteFn = bool (*)(const char*, int32_t, const lakra::HostImage*, const char*,
                                         std::string*);
using LakraImageModuleJpegRecordsFn = bool (*)(lakra::ImageMetadata*, std::string*);
using LakraImageModuleFileRecordsFn = bool (*)(lakra::ImageMetadata*, std::string*);

} // extern "C"
