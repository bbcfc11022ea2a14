#pragma once

// Pieces the image-file backends share; not for callers of imageFile.h.

#include "apps/lakra/imageFile.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace lakra {

// libjpeg's limit on a JPEG's sides.
constexpr int32_t kMaxJpegSide = 65500;

enum class FileFormat { Unknown, Png, Jpeg, Tiff, Exr, Pnm, Pam, Pfm };

// The format a file name's extension asks for, case ignored.
FileFormat formatFromExtension(const std::string& path);

inline bool isNetpbm(FileFormat format) {
    return format == FileFormat::Pnm || format == FileFormat::Pam || format == FileFormat::Pfm;
}

// Paths travel as UTF-8 strings; the file system takes them wide on Windows.
std::filesystem::path pathFromUtf8(const std::string& path);
std::string utf8FromPath(const std::filesystem::path& path);

// Sets *error to "<path>: <reason>" and returns false.
bool fail(std::string* error, const std::string& path, const std::string& reason);

// The description of the C library's last error, for messages.
std::string lastSystemError();

// Checks the size a file states against what the host takes, before anything
// is allocated: at least one pixel, sides and row lengths within 32 bits
// (the host's coordinates and row byte counts), at most 4 channels. Messages
// read "<path>: <action>: <reason>", action being "cannot read" or "cannot write".
bool checkImageShape(const std::string& path, const char* action, int64_t width, int64_t height,
                     int64_t channels, int32_t depth, std::string* error);

// Sizes image->pixels for its (checked) shape, or says that memory is short.
bool allocatePixels(HostImage* image, const std::string& path, std::string* error);

// Checks an image handed to writeImage: a layout the host uses and a pixel
// buffer of exactly the size it implies.
bool checkHostImage(const HostImage& image, const std::string& path, std::string* error);

// Records that describe how the source file was encoded, not the picture
// (compression, bit layout, orientation, OpenImageIO's own settings): writers
// leave them out.
bool describesEncoding(std::string_view name);

// Exif orientations 2..8 name a flip and/or a quarter turn: moves the pixels
// so they stand as meant to be seen (the metadata moves along).
bool applyOrientation(int orientation, HostImage* image, const std::string& path,
                      std::string* error);
// After turning the pixels upright the file's orientation no longer applies:
// the Orientation record becomes 1 and, after a quarter turn, the per-axis
// records swap.
void uprightMetadata(int orientation, ImageMetadata* metadata);

// LAKRA_JPEG=module in the environment: JPEG files go through the image
// module only, as before the direct reader and writer.
bool jpegThroughModuleOnly();
// LAKRA_TIFF=module: the same for TIFF files.
bool tiffThroughModuleOnly();
// LAKRA_EXR=module: the same for OpenEXR files.
bool exrThroughModuleOnly();

// The threads OpenImageIO shares work among: those of its pool and the caller.
size_t oiioWorkers();

// A file's size and modification time, to tell later whether it changed.
bool fileStamp(const std::string& path, uint64_t* size, int64_t* time);

// The writers behind writeImage. They write `ioPath` (the temporary name)
// directly; messages name `shownPath`, the file the user asked for.
bool writeNetpbmFile(const std::string& ioPath, FileFormat format, const HostImage& image,
                     const std::string& shownPath, std::string* error);
#if LAKRA_HAVE_OIIO
// A PNG of 8 or 16 bits through libpng, byte for byte as writeOiioFile writes
// it. False for an image whose metadata it does not write the same way, or on
// any failure: the caller then leaves the file to writeOiioFile.
bool writePngFile(const std::string& ioPath, const HostImage& image);
// A JPEG through libjpeg-turbo, byte for byte as writeOiioFile writes it, or,
// for an image whose records are still a pending JPEG header, with that
// header's Exif (orientation reset, per-axis fields turned, pixel dimensions
// those written), XMP, ICC profile, IPTC and comments carried verbatim.
// False for an image whose metadata it does not write the same way, one
// beyond kMaxJpegSide, or on any failure: the caller then leaves the file to
// writeOiioFile (with the records resolved).
bool writeJpegFile(const std::string& ioPath, const HostImage& image);
// A TIFF through libtiff, byte for byte as writeOiioFile writes it: for an
// image without records other than those describing the old file's encoding,
// or one read by readImageTiff from a file holding only its layout and a
// DateTime. False for any other image, or on any failure: the caller then
// leaves the file to writeOiioFile (with the records resolved).
bool writeTiffFile(const std::string& ioPath, const HostImage& image);
// An OpenEXR file through OpenEXR's library, byte for byte as writeOiioFile
// writes it, for an image without records other than those describing the
// old file's encoding. False for any other image, or on any failure.
bool writeExrFile(const std::string& ioPath, const HostImage& image);

// The date (TIFF's DateTime, OpenEXR's capDate) the module's writer would
// store for an image going to a file of formatName: the file read's own when
// the image is a plain file of that format read directly, the time now when
// the image has no records beyond its encoding; false when the image has
// records the module would write otherwise.
bool dateToWrite(const ImageMetadata& metadata, std::string_view formatName, std::string* date);
bool writeOiioFile(const std::string& ioPath, FileFormat format, const HostImage& image,
                   const std::string& shownPath, std::string* error);
// The records of a pending JPEG header, through the image module.
bool resolveJpegRecords(ImageMetadata* metadata, std::string* error);
// The records of a pending TIFF file, through the image module.
bool resolveFileRecords(ImageMetadata* metadata, std::string* error);
#endif

#if !LAKRA_HAVE_OIIO
// PNG, JPEG and TIFF through the system's codecs; `magic` is the file's first
// bytes, for the format's name.
bool readImageSystem(const std::string& path, const uint8_t* magic, size_t magicBytes,
                     HostImage* image, std::string* error);
bool writeSystemFile(const std::string& ioPath, FileFormat format, const HostImage& image,
                     const std::string& shownPath, std::string* error);
#endif

} // namespace lakra
