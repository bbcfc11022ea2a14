// PNG, JPEG, TIFF and OpenEXR on Linux: the image module, loaded from lakra's
// own folder the first time one of those files is read or written. A program
// that links the module (the tests do) uses the copy it has.

#include "apps/lakra/imageFile.h"
#include "apps/lakra/imageFileInternal.h"
#include "apps/lakra/imageFileModule.h"

#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace lakra {

namespace {

constexpr char kOtherFiles[] = "Image files other than PGM, PPM, PAM and PFM";

struct ImageModule {
    LakraImageModuleReadFn read = nullptr;
    LakraImageModuleWriteFn write = nullptr;
    LakraImageModuleJpegRecordsFn jpegRecords = nullptr;
    LakraImageModuleFileRecordsFn fileRecords = nullptr;
    std::string failure; // why there is none
};

std::string lastLoaderError() {
    const char* text = dlerror(); // NOLINT(concurrency-mt-unsafe): called under the load's once
    return text != nullptr ? text : "unknown reason";
}

template <typename Function>
Function findFunction(void* module, const char* name) {
    void* symbol = dlsym(module, name);
    Function function = nullptr;
    static_assert(sizeof(symbol) == sizeof(function));
    std::memcpy(&function, &symbol, sizeof(function));
    return function;
}

ImageModule loadImageModule() {
    ImageModule loaded;
    void* module = dlopen(kImageModuleFile, RTLD_NOW | RTLD_NOLOAD);
    if (module == nullptr) {
        std::error_code ec;
        const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
        if (ec) {
            loaded.failure = "cannot find lakra's folder: " + ec.message();
            return loaded;
        }
        const std::string path = (self.parent_path() / kImageModuleFile).string();
        module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    if (module == nullptr) {
        loaded.failure = lastLoaderError();
        return loaded;
    }
    const auto version = findFunction<LakraImageModuleVersionFn>(module, "lakraImageModuleVersion");
    if (version == nullptr || version() != kImageModuleVersion) {
        loaded.failure = "it comes from another build of lakra";
        return loaded;
    }
    loaded.read = findFunction<LakraImageModuleReadFn>(module, "lakraImageModuleRead");
    loaded.write = findFunction<LakraImageModuleWriteFn>(module, "lakraImageModuleWrite");
    loaded.jpegRecords =
        findFunction<LakraImageModuleJpegRecordsFn>(module, "lakraImageModuleJpegRecords");
    loaded.fileRecords =
        findFunction<LakraImageModuleFileRecordsFn>(module, "lakraImageModuleFileRecords");
    if (loaded.read == nullptr || loaded.write == nullptr || loaded.jpegRecords == nullptr ||
        loaded.fileRecords == nullptr) {
        loaded.failure = "it lacks an entry point: " + lastLoaderError();
        loaded.read = nullptr;
        loaded.write = nullptr;
        loaded.jpegRecords = nullptr;
        loaded.fileRecords = nullptr;
    }
    return loaded;
}

// Loaded once, on first use, and kept to the end of the process.
const ImageModule& imageModule() {
    static const ImageModule module = loadImageModule();
    return module;
}

std::string moduleMissing(const char* files) {
    return std::string(files) + (files == kOtherFiles ? " need " : " files need ") +
           kImageModuleFile + " beside lakra (" + imageModule().failure + ")";
}

// The name of the format a file's first bytes announce, for messages.
const char* formatNameFromMagic(const std::string& path) {
    unsigned char magic[4] = {};
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        const size_t got = std::fread(magic, 1, sizeof magic, file);
        (void)got; // a short file matches nothing below
        (void)std::fclose(file);
    }
    if (magic[0] == 0x89 && magic[1] == 'P' && magic[2] == 'N' && magic[3] == 'G') {
        return "PNG";
    }
    if (magic[0] == 0xFF && magic[1] == 0xD8) {
        return "JPEG";
    }
    if ((magic[0] == 'I' && magic[1] == 'I' && magic[2] == 42 && magic[3] == 0) ||
        (magic[0] == 'M' && magic[1] == 'M' && magic[2] == 0 && magic[3] == 42)) {
        return "TIFF";
    }
    if (magic[0] == 0x76 && magic[1] == 0x2F && magic[2] == 0x31 && magic[3] == 0x01) {
        return "OpenEXR";
    }
    return kOtherFiles;
}

const char* formatName(FileFormat format) {
    switch (format) {
    case FileFormat::Png:
        return "PNG";
    case FileFormat::Jpeg:
        return "JPEG";
    case FileFormat::Tiff:
        return "TIFF";
    case FileFormat::Exr:
        return "OpenEXR";
    default:
        return kOtherFiles;
    }
}

} // namespace

bool readImageOiio(const std::string& path, HostImage* image, std::string* error) {
    const ImageModule& module = imageModule();
    if (module.read == nullptr) {
        return fail(error, path, "cannot read: " + moduleMissing(formatNameFromMagic(path)));
    }
    return module.read(path.c_str(), image, error);
}

bool writeOiioFile(const std::string& ioPath, FileFormat format, const HostImage& image,
                   const std::string& shownPath, std::string* error) {
    const ImageModule& module = imageModule();
    if (module.write == nullptr) {
        return fail(error, shownPath, "cannot write: " + moduleMissing(formatName(format)));
    }
    return module.write(ioPath.c_str(), static_cast<int32_t>(format), &image, shownPath.c_str(),
                        error);
}

bool resolveJpegRecords(ImageMetadata* metadata, std::string* error) {
    const ImageModule& module = imageModule();
    if (module.jpegRecords == nullptr) {
        return fail(error, "the JPEG's metadata", "cannot read: " + moduleMissing("JPEG"));
    }
    return module.jpegRecords(metadata, error);
}

bool resolveFileRecords(ImageMetadata* metadata, std::string* error) {
    const ImageModule& module = imageModule();
    if (module.fileRecords == nullptr) {
        return fail(error, metadata->pendingFile,
                    "cannot read the metadata: " + moduleMissing("TIFF"));
    }
    return module.fileRecords(metadata, error);
}

} // namespace lakra
