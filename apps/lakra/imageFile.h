#pragma once

// Image files for the command-line host. Pixels come out in the host's
// conventions, ready to hand to the filter, and go back to a file the same way.
//
// Formats: PNG, JPEG, TIFF and OpenEXR on Linux, the common files through
// libpng, libjpeg-turbo, libtiff and OpenEXR's library directly, the rest
// through OpenImageIO (in the image module, liblakra_oiio.so, loaded on first
// use: imageFileModule.h);
// PNG, JPEG and TIFF through the system's imaging component in the Windows
// build (8 and 16 bits, no metadata); the netpbm family everywhere: PGM/PPM
// (P5/P6), PAM (P7) and PFM.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lakra {

// One metadata item of the file, under the name OpenImageIO gives it
// ("ICCProfile", "Artist", "Exif:FNumber", "IPTC:Keywords", "XResolution"),
// kept so that a writer can store it again.
struct MetadataRecord {
    std::string name;
    std::string type;           // OpenImageIO type name: "string", "float", "uint8[560]"
    int32_t valueCount = 1;     // values of `type` held
    std::vector<uint8_t> bytes; // values in native byte order; strings as UTF-8, each ended by 0
};

struct ImageMetadata {
    // The format the image was read from: "png", "jpeg", "tiff", "openexr",
    // "pnm" (P5/P6), "pam" (P7), "pfm", or another name OpenImageIO reports.
    std::string formatName;
    std::vector<MetadataRecord> records;
    // A JPEG read without the image module leaves its records unparsed: the
    // file's header (its bytes up to the first scan's header, then an end
    // marker) waits here, with the Exif orientation the reader applied to the
    // pixels, until resolveMetadata() turns it into `records`. A JPEG written
    // from such an image carries the header's metadata segments verbatim.
    std::vector<uint8_t> pendingJpegHeader;
    int32_t pendingOrientation = 1;
    // A TIFF or OpenEXR file read without the image module leaves its
    // records unparsed too: the module reads them from the file itself,
    // named here with its size and modification time so that a file changed
    // since is refused. A TIFF's orientation is pendingOrientation.
    // `pendingFilePlain` says the file holds nothing but its layout and
    // perhaps a DateTime (`pendingDateTime`), so that a file of the same
    // format written from it needs no records.
    std::string pendingFile;
    uint64_t pendingFileSize = 0;
    int64_t pendingFileTime = 0;
    bool pendingFilePlain = false;
    std::string pendingDateTime;
};

// Whether `metadata` still waits for resolveMetadata().
inline bool hasPendingRecords(const ImageMetadata& metadata) {
    return !metadata.pendingJpegHeader.empty() || !metadata.pendingFile.empty();
}

// An image as the host holds it: interleaved planes (grey, grey + alpha, RGB,
// RGBA), rows of width * planes * depth / 8 bytes, no padding, top row first.
// Samples: 8 bits 0..255; 16 bits 0..32768 (the host's full scale, not 65535);
// 32 bits float, 1.0 full scale, above 1 allowed. Multi-byte samples are in
// native byte order.
struct HostImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t planes = 0; // 1..4
    int32_t depth = 0;  // bits per sample: 8, 16 or 32
    bool alpha = false; // the last plane is transparency (unassociated)
    std::vector<uint8_t> pixels;
    ImageMetadata metadata;
};

inline size_t hostRowBytes(const HostImage& image) {
    return static_cast<size_t>(image.width) * static_cast<size_t>(image.planes) *
           static_cast<size_t>(image.depth / 8);
}

// Reads the first image of a file: netpbm P5, P6, P7, PF and Pf files with our
// own reader, anything else with OpenImageIO through the image module (not in
// the Windows build). Files of 8 bits or fewer per sample become depth 8,
// integer files of 9 to 16 bits depth 16, everything else (half, float, 32-bit integer) depth 32
// float. The image comes out upright: an Exif orientation is applied and reset to 1 in the
// metadata. A JPEG's or TIFF's records may stay pending: see resolveMetadata(). Transparency stays
// unassociated; OpenEXR samples (associated by that format's convention) pass unchanged. On failure
// `image` is untouched and `error` names the file and the reason.
[[nodiscard]] bool readImage(const std::string& path, HostImage* image, std::string* error);

// Fills metadata->records from a pending JPEG header or TIFF file, as the
// image module reads them from the whole file (loading the module), and
// clears what was pending.
// True at once when nothing is pending. On failure `error` says why and the
// header stays pending.
[[nodiscard]] bool resolveMetadata(ImageMetadata* metadata, std::string* error);

// Writes `image` in the format its extension names: .png, .jpg/.jpeg, .tif/.tiff,
// .exr, .pgm/.ppm/.pnm, .pam, .pfm (case ignored). The depth is kept where the
// format holds it; otherwise:
//   JPEG holds 8 bits only: 16-bit and float samples are scaled and rounded to
//     8 bits, floats clipped to 0..1; it has no transparency, the alpha plane
//     is dropped; sides above 65500 pixels are refused.
//   PNG, PGM/PPM and PAM hold no floats: float samples become 16 bits, clipped.
//   OpenEXR holds floats: 8-bit samples become half floats, 16-bit ones floats
//     (sample / 32768).
//   PGM/PPM/PNM write P5 for grey and P6 for colour, whatever the extension of
//     the three, and drop the alpha plane; PFM holds floats, no alpha.
// The metadata records go into the file where the format holds them (ICC
// profile, Exif, IPTC, XMP, text fields); records that describe the old file's
// encoding (compression, bit layout, orientation) are left out. The file is
// written under a temporary name beside the target and renamed into place, so
// a failed write leaves no partial file and keeps an existing one.
[[nodiscard]] bool writeImage(const std::string& path, const HostImage& image, std::string* error);

// The readers behind readImage, for tests that compare them.
[[nodiscard]] bool readImageNetpbm(const std::string& path, HostImage* image, std::string* error);
#if LAKRA_HAVE_OIIO
[[nodiscard]] bool readImageOiio(const std::string& path, HostImage* image, std::string* error);
// A PNG through libpng, as readImageOiio reads it (less the fields decoded
// from an ICC profile's header, which no writer keeps). False, `image`
// untouched, for a file it leaves to readImageOiio: one with Exif or XMP, a
// chunk it does not know, or one that libpng refuses.
[[nodiscard]] bool readImagePng(const std::string& path, HostImage* image);
// A JPEG through libjpeg-turbo, the pixels as readImageOiio reads them, the
// records pending (see ImageMetadata). False, `image` untouched, for a file it
// leaves to readImageOiio: CMYK, arithmetic or lossless coding, an Exif block
// or orientation it does not follow, an XMP orientation, or anything libjpeg
// warns about or refuses.
[[nodiscard]] bool readImageJpeg(const std::string& path, HostImage* image);
// An OpenEXR scanline file of half or float R, G, B (A) or Y (A) channels
// through OpenEXR's library, the pixels as readImageOiio reads them, the
// records pending (see ImageMetadata). False, `image` untouched, for a file
// it leaves to readImageOiio: tiles, several parts, deep data, other
// channels or types, subsampling, a data window other than the display one.
[[nodiscard]] bool readImageExr(const std::string& path, HostImage* image);
// A TIFF through libtiff, the pixels as readImageOiio reads them, the records
// pending (see ImageMetadata). False, `image` untouched, for a file it leaves
// to readImageOiio: more than one image, planes stored apart, a palette,
// CMYK, YCbCr or JPEG coding, depths other than 8, 16 and 32-bit float,
// transparency other than unassociated, or anything libtiff warns about.
[[nodiscard]] bool readImageTiff(const std::string& path, HostImage* image);
#endif

// 16-bit samples: files run 0..65535, the host 0..32768. Both round to nearest,
// so every host value survives a write followed by a read. Host values above
// 32768 are written as 65535.
constexpr uint16_t fileFromHost16(uint16_t host) {
    const uint32_t clamped = host > 32768u ? 32768u : host;
    return static_cast<uint16_t>((clamped * 65535u + 16384u) / 32768u);
}

constexpr uint16_t hostFromFile16(uint16_t file) {
    return static_cast<uint16_t>((uint32_t{file} * 32768u + 32767u) / 65535u);
}

} // namespace lakra
