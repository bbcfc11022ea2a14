#include "apps/lakra/imageFile.h"

#include "apps/lakra/imageFileInternal.h"
#include "platform/imageCodec.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string_view>
#include <system_error>
#include <thread>

namespace lakra {

namespace fs = std::filesystem;

namespace {

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// A name beside the target, so the rename stays on one file system, ending in
// the target's extension, so the writer picks the same format. Short, so any
// name the folder takes leaves room for it; hidden on POSIX; a clock reading
// and a counter keep two writers apart.
fs::path temporarySibling(const fs::path& target) {
    static std::atomic<uint32_t> serial{0};
    const auto ticks =
        static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    fs::path candidate;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const uint64_t tag = ticks ^ (uint64_t{serial.fetch_add(1)} * 0x9E3779B97F4A7C15ull);
        char hex[17] = {};
        std::to_chars(hex, hex + 16, tag, 16);
        candidate = target.parent_path() / fs::path(".lakra-");
        candidate += hex;
        candidate += target.extension();
        std::error_code ec;
        if (!fs::exists(candidate, ec) && !ec) {
            break;
        }
    }
    return candidate;
}

bool isNetpbmMagic(const char magic[2]) {
    return magic[0] == 'P' && (magic[1] == '5' || magic[1] == '6' || magic[1] == '7' ||
                               magic[1] == 'F' || magic[1] == 'f');
}

} // namespace

FileFormat formatFromExtension(const std::string& path) {
    const std::string extension = lowerAscii(utf8FromPath(pathFromUtf8(path).extension()));
    if (extension == ".png") {
        return FileFormat::Png;
    }
    if (extension == ".jpg" || extension == ".jpeg") {
        return FileFormat::Jpeg;
    }
    if (extension == ".tif" || extension == ".tiff") {
        return FileFormat::Tiff;
    }
    if (extension == ".exr") {
        return FileFormat::Exr;
    }
    if (extension == ".pgm" || extension == ".ppm" || extension == ".pnm") {
        return FileFormat::Pnm;
    }
    if (extension == ".pam") {
        return FileFormat::Pam;
    }
    if (extension == ".pfm") {
        return FileFormat::Pfm;
    }
    return FileFormat::Unknown;
}

fs::path pathFromUtf8(const std::string& path) {
    return fs::path(std::u8string(path.begin(), path.end()));
}

std::string utf8FromPath(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string lastSystemError() {
    return std::error_code(errno, std::generic_category()).message();
}

bool checkHostImage(const HostImage& image, const std::string& path, std::string* error) {
    const bool layoutOk = image.planes >= 1 && image.planes <= 4 &&
                          (image.depth == 8 || image.depth == 16 || image.depth == 32) &&
                          image.alpha == (image.planes == 2 || image.planes == 4);
    if (!layoutOk) {
        return fail(error, path,
                    "cannot write an image of " + std::to_string(image.planes) + " planes of " +
                        std::to_string(image.depth) + " bits" +
                        (image.alpha ? " with" : " without") + " transparency");
    }
    if (!checkImageShape(path, "cannot write", image.width, image.height, image.planes, image.depth,
                         error)) {
        return false;
    }
    const size_t expected = hostRowBytes(image) * static_cast<size_t>(image.height);
    if (image.pixels.size() != expected) {
        return fail(error, path,
                    "cannot write: the pixel buffer holds " + std::to_string(image.pixels.size()) +
                        " bytes, the image needs " + std::to_string(expected));
    }
    return true;
}

// The threads OpenImageIO shares work among: those of its pool, which it
// sizes from its environment variables or else the processor count, less
// the caller's, but at least one; and the caller.
size_t oiioWorkers() {
    size_t threads = std::max(1u, std::thread::hardware_concurrency());
    for (const char* name : {"OPENIMAGEIO_THREADS", "CUE_THREADS"}) {
        const char* text = std::getenv(name); // NOLINT(concurrency-mt-unsafe): nothing sets it
        if (text != nullptr && *text != 0) {
            const long count = std::strtol(text, nullptr, 10);
            threads = count >= 1 ? static_cast<size_t>(count) : threads;
            break; // the first one set decides
        }
    }
    return std::max<size_t>(1, threads - 1) + 1;
}

bool jpegThroughModuleOnly() {
    const char* route = std::getenv("LAKRA_JPEG"); // NOLINT(concurrency-mt-unsafe): read only
    return route != nullptr && std::string_view(route) == "module";
}

bool tiffThroughModuleOnly() {
    const char* route = std::getenv("LAKRA_TIFF"); // NOLINT(concurrency-mt-unsafe): read only
    return route != nullptr && std::string_view(route) == "module";
}

bool exrThroughModuleOnly() {
    const char* route = std::getenv("LAKRA_EXR"); // NOLINT(concurrency-mt-unsafe): read only
    return route != nullptr && std::string_view(route) == "module";
}

bool fileStamp(const std::string& path, uint64_t* size, int64_t* time) {
    const fs::path file = pathFromUtf8(path);
    std::error_code ec;
    const uintmax_t bytes = fs::file_size(file, ec);
    if (ec) {
        return false;
    }
    const fs::file_time_type written = fs::last_write_time(file, ec);
    if (ec) {
        return false;
    }
    *size = bytes;
    *time = static_cast<int64_t>(written.time_since_epoch().count());
    return true;
}

bool resolveMetadata(ImageMetadata* metadata, std::string* error) {
    if (!hasPendingRecords(*metadata)) {
        return true;
    }
#if LAKRA_HAVE_OIIO
    if (!metadata->pendingFile.empty()) {
        uint64_t size = 0;
        int64_t time = 0;
        if (!fileStamp(metadata->pendingFile, &size, &time) || size != metadata->pendingFileSize ||
            time != metadata->pendingFileTime) {
            return fail(error, metadata->pendingFile,
                        "cannot read the metadata: the file changed after its pixels were read");
        }
        return resolveFileRecords(metadata, error);
    }
    return resolveJpegRecords(metadata, error);
#else
    return fail(error, "the JPEG's metadata", "cannot read: this build has no JPEG reader");
#endif
}

bool readImage(const std::string& path, HostImage* image, std::string* error) {
    const fs::path file = pathFromUtf8(path);
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (status.type() == fs::file_type::not_found) {
        return fail(error, path, "cannot read: no such file");
    }
    if (ec) {
        return fail(error, path, "cannot read: " + ec.message());
    }
    if (fs::is_directory(status)) {
        return fail(error, path, "cannot read: it is a folder");
    }
    char magic[2] = {};
    {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            return fail(error, path, "cannot read: " + lastSystemError());
        }
        in.read(magic, 2);
    }
    if (isNetpbmMagic(magic)) {
        return readImageNetpbm(path, image, error);
    }
#if LAKRA_HAVE_OIIO
    // The common PNG, JPEG, TIFF and OpenEXR without the image module; the module reads the
    // others.
    if (static_cast<uint8_t>(magic[0]) == 0x89 && magic[1] == 'P' && readImagePng(path, image)) {
        return true;
    }
    if (static_cast<uint8_t>(magic[0]) == 0xFF && static_cast<uint8_t>(magic[1]) == 0xD8 &&
        !jpegThroughModuleOnly() && readImageJpeg(path, image)) {
        return true;
    }
    const bool tiffMagic =
        (magic[0] == 'I' && magic[1] == 'I') || (magic[0] == 'M' && magic[1] == 'M');
    if (tiffMagic && !tiffThroughModuleOnly() && readImageTiff(path, image)) {
        return true;
    }
    const bool exrMagic = magic[0] == 0x76 && magic[1] == 0x2F;
    if (exrMagic && !exrThroughModuleOnly() && readImageExr(path, image)) {
        return true;
    }
    return readImageOiio(path, image, error);
#else
    if (systemCodecsPresent()) {
        return readImageSystem(path, reinterpret_cast<const uint8_t*>(magic), sizeof magic, image,
                               error);
    }
    return fail(error, path,
                "cannot read: unsupported image format (this build reads PGM, PPM, PAM and PFM "
                "files)");
#endif
}

namespace {

// The formats other than netpbm.
bool writeCodecFile(const std::string& ioPath, FileFormat format, const HostImage& image,
                    const std::string& shownPath, std::string* error) {
#if LAKRA_HAVE_OIIO
    const bool directJpeg = format == FileFormat::Jpeg && !jpegThroughModuleOnly();
    const bool directTiff = format == FileFormat::Tiff && !tiffThroughModuleOnly();
    const bool directExr = format == FileFormat::Exr && !exrThroughModuleOnly();
    if (!image.metadata.pendingFile.empty()) {
        // A TIFF or OpenEXR file read without the module: a plain one
        // becomes a file of its format without its records; anything else
        // needs them.
        if ((directTiff && writeTiffFile(ioPath, image)) ||
            (directExr && writeExrFile(ioPath, image))) {
            return true;
        }
        HostImage resolved = image;
        return resolveMetadata(&resolved.metadata, error) &&
               writeCodecFile(ioPath, format, resolved, shownPath, error);
    }
    if (!image.metadata.pendingJpegHeader.empty()) {
        // A JPEG read without the module: into a JPEG its header's metadata
        // goes verbatim; the other writers take records.
        if (directJpeg && writeJpegFile(ioPath, image)) {
            return true;
        }
        HostImage resolved = image;
        return resolveMetadata(&resolved.metadata, error) &&
               writeCodecFile(ioPath, format, resolved, shownPath, error);
    }
    // The common PNG, JPEG, TIFF and OpenEXR without the image module; the module writes the
    // rest.
    return (format == FileFormat::Png && writePngFile(ioPath, image)) ||
           (directJpeg && writeJpegFile(ioPath, image)) ||
           (directTiff && writeTiffFile(ioPath, image)) ||
           (directExr && writeExrFile(ioPath, image)) ||
           writeOiioFile(ioPath, format, image, shownPath, error);
#else
    return writeSystemFile(ioPath, format, image, shownPath, error);
#endif
}

} // namespace

bool writeImage(const std::string& path, const HostImage& image, std::string* error) {
    const FileFormat format = formatFromExtension(path);
    if (format == FileFormat::Unknown) {
        return fail(error, path,
                    "cannot write: unsupported file type (use .png, .jpg, .jpeg, .tif, .tiff, "
                    ".exr, .pgm, .ppm, .pnm, .pam or .pfm)");
    }
#if !LAKRA_HAVE_OIIO
    if (!isNetpbm(format) && !systemCodecsPresent()) {
        return fail(error, path,
                    "cannot write: this build writes only .pgm, .ppm, .pnm, .pam and .pfm files");
    }
#endif
    if (!checkHostImage(image, path, error)) {
        return false;
    }
    const fs::path target = pathFromUtf8(path);
    std::error_code ec;
    if (fs::is_directory(target, ec)) {
        return fail(error, path, "cannot write: a folder has that name");
    }
    const fs::path temporary = temporarySibling(target);
    const std::string ioPath = utf8FromPath(temporary);
    bool written = false;
    if (isNetpbm(format)) {
        written = writeNetpbmFile(ioPath, format, image, path, error);
    } else {
        written = writeCodecFile(ioPath, format, image, path, error);
    }
    if (written) {
        fs::rename(temporary, target, ec);
        if (ec) {
            written = fail(error, path, "cannot replace the file: " + ec.message());
        }
    }
    if (!written) {
        fs::remove(temporary, ec); // may never have been created
    }
    return written;
}

} // namespace lakra
