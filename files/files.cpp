#include "files/files.h"

#include <algorithm>
#include <cstring>

namespace lakra {

namespace {

void clearSpec(FileSpec* fileSpec) {
    if (fileSpec != nullptr) {
        std::memset(fileSpec, 0, sizeof(FileSpec));
    }
}

size_t pathLength(const FileSpec& fileSpec) {
    return strnlen(fileSpec.path, kPathBytes - 1);
}

// Index of the last separator in the path, or -1.
int32_t lastSeparator(const FileSpec& fileSpec) {
    const size_t length = pathLength(fileSpec);
    for (size_t i = length; i > 0; --i) {
        if (platformIsPathSeparator(fileSpec.path[i - 1])) {
            return static_cast<int32_t>(i - 1);
        }
    }
    return -1;
}

// Appends text; false (and nothing appended) when path and terminator would
// not fit in maxBytes.
bool appendToPath(FileSpec* fileSpec, const char* text, size_t maxBytes) {
    const size_t length = pathLength(*fileSpec);
    const size_t extra = std::strlen(text);
    if (length + extra >= maxBytes) {
        return false;
    }
    std::memcpy(fileSpec->path + length, text, extra);
    fileSpec->path[length + extra] = '\0';
    return true;
}

Result emit(FileWriter* writer, const void* data, size_t count) {
    if (writer == nullptr) {
        return failWith(kFileWriteError);
    }
    writer->bytes += static_cast<int64_t>(count);
    if (writer->sizing || count == 0) {
        return noErr;
    }
    if (writer->error != noErr) {
        return writer->error;
    }
    if (!platformFileWrite(writer->file, data, count)) {
        writer->error = failWith(kFileWriteError);
    }
    return writer->error;
}

Result readExact(PlatformFile* file, void* data, size_t count) {
    size_t got = 0;
    if (!platformFileRead(file, data, count, &got) || got != count) {
        return failWith(kFileReadError);
    }
    return noErr;
}

} // namespace

void fileSpecFromPath(FileSpec* fileSpec, const char* path) {
    if (fileSpec == nullptr) {
        return;
    }
    clearSpec(fileSpec);
    if (path != nullptr) {
        std::memcpy(fileSpec->path, path, strnlen(path, kPathBytes - 1));
    }
}

const char* fileSpecPath(const FileSpec& fileSpec) {
    return fileSpec.path;
}

const char* fileSpecName(const FileSpec& fileSpec) {
    return fileSpec.path + (lastSeparator(fileSpec) + 1);
}

Result fileSpecJoin(const FileSpec* folder, const char* name, FileSpec* joined, size_t maxBytes) {
    if (folder == nullptr || name == nullptr || joined == nullptr) {
        clearSpec(joined);
        return failWith(kFileNotOpened);
    }
    FileSpec result = *folder; // the folder may be the joined FileSpec itself
    result.path[kPathBytes - 1] = '\0';
    if (!appendToPath(&result, name, std::min(maxBytes, kPathBytes))) {
        clearSpec(joined);
        return failWith(kFileNotOpened);
    }
    *joined = result;
    return noErr;
}

Result fileSpecFolderPart(const FileSpec* fileSpec, FileSpec* folder) {
    if (fileSpec == nullptr || folder == nullptr) {
        return failWith(kFolderPartArgumentMissing);
    }
    const int32_t separator = lastSeparator(*fileSpec);
    FileSpec result{};
    if (separator < 0) {
        result.path[0] = '*';
    } else {
        std::memcpy(result.path, fileSpec->path, static_cast<size_t>(separator) + 1);
    }
    *folder = result;
    return noErr;
}

Result fileSpecCreateFolder(const FileSpec* parent, const char* name, FileSpec* folder) {
    if (parent == nullptr || name == nullptr || folder == nullptr) {
        return failWith(kFolderArgumentMissing);
    }
    const char separator[2] = {platformPathSeparator(), '\0'};
    FileSpec result{};
    if (fileSpecJoin(parent, name, &result) != noErr ||
        !appendToPath(&result, separator, kPathBytes)) {
        clearSpec(folder);
        return failWith(kFileNotOpened);
    }
    *folder = result;
    return platformFolderCreate(result.path) ? noErr : failWith(kFileNotOpened);
}

Result temporaryFileSpec(const char* name, FileSpec* fileSpec) {
    if (name == nullptr || fileSpec == nullptr) {
        clearSpec(fileSpec);
        return failWith(kFileNotOpened);
    }
    FileSpec folder{};
    if (!platformTemporaryFolder(folder.path, kPathBytes)) {
        clearSpec(fileSpec);
        return failWith(kFileNotOpened);
    }
    return fileSpecJoin(&folder, name, fileSpec);
}

Result temporaryFolderSpec(const char* name, FileSpec* fileSpec) {
    const Result joined = temporaryFileSpec(name, fileSpec);
    if (joined != noErr) {
        return joined;
    }
    const char separator[2] = {platformPathSeparator(), '\0'};
    if (!appendToPath(fileSpec, separator, kPathBytes)) {
        clearSpec(fileSpec);
        return failWith(kFileNotOpened);
    }
    return noErr;
}

Result fileOpen(const FileSpec& fileSpec, FileAccess access, PlatformFile** file) {
    if (file == nullptr) {
        return failWith(kFileNotOpened);
    }
    char path[kPathBytes];
    const size_t length = pathLength(fileSpec);
    std::memcpy(path, fileSpec.path, length);
    path[length] = '\0';
    const bool opened = access == FileAccess::Write ? platformFileOpenWrite(path, file)
                                                    : platformFileOpenRead(path, file);
    return opened ? noErr : failWith(kFileNotOpened);
}

bool fileExists(const FileSpec& fileSpec) {
    PlatformFile* file = nullptr;
    if (fileOpen(fileSpec, FileAccess::Read, &file) != noErr) {
        return false;
    }
    (void)platformFileClose(file);
    return true;
}

Result fileSetEnd(PlatformFile* file) {
    if (file == nullptr) {
        return failWith(kFileNotOpened);
    }
    return platformFileSetEnd(file) ? noErr : failWith(kFileWriteError);
}

Result fileClose(PlatformFile* file) {
    return platformFileClose(file) ? noErr : failWith(kFileWriteError);
}

FileWriter fileSizingWriter() {
    FileWriter writer;
    writer.sizing = true;
    return writer;
}

Result fileWriterOpen(const FileSpec& fileSpec, FileWriter* writer) {
    if (writer == nullptr) {
        return failWith(kFileNotOpened);
    }
    *writer = FileWriter{};
    return fileOpen(fileSpec, FileAccess::Write, &writer->file);
}

Result fileWriterClose(FileWriter* writer) {
    if (writer == nullptr || writer->sizing) {
        return noErr;
    }
    if (writer->file == nullptr) {
        return writer->error != noErr ? writer->error : failWith(kFileNotOpened);
    }
    const Result cut = fileSetEnd(writer->file);
    const Result closed = fileClose(writer->file);
    writer->file = nullptr;
    if (writer->error == noErr) {
        writer->error = cut != noErr ? cut : closed;
    }
    return writer->error;
}

Result writeU32BE(FileWriter* writer, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return emit(writer, bytes, sizeof(bytes));
}

Result writeU16BE(FileWriter* writer, uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return emit(writer, bytes, sizeof(bytes));
}

Result writeU8(FileWriter* writer, uint8_t value) {
    return emit(writer, &value, 1);
}

Result writeFloatBE(FileWriter* writer, float value) {
    uint32_t bits = 0;
    static_assert(sizeof(bits) == sizeof(value));
    std::memcpy(&bits, &value, sizeof(bits));
    return writeU32BE(writer, bits);
}

Result writeZeros(FileWriter* writer, int64_t count) {
    static constexpr uint8_t kZeros[256] = {};
    Result result = noErr;
    while (count > 0 && result == noErr) {
        const int64_t piece = std::min<int64_t>(count, sizeof(kZeros));
        result = emit(writer, kZeros, static_cast<size_t>(piece));
        count -= piece;
    }
    return result;
}

Result writeBytes(FileWriter* writer, const void* data, size_t count) {
    if (data == nullptr && count > 0) {
        return failWith(kFileWriteError);
    }
    return emit(writer, data, count);
}

Result writeText(FileWriter* writer, const char* text) {
    if (text == nullptr) {
        return failWith(kFileWriteError);
    }
    return emit(writer, text, std::strlen(text));
}

Result readU32BE(PlatformFile* file, uint32_t* value) {
    uint8_t bytes[4] = {};
    const Result result = readExact(file, bytes, sizeof(bytes));
    *value = result != noErr ? 0
                             : (uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 |
                                uint32_t{bytes[2]} << 8 | uint32_t{bytes[3]});
    return result;
}

Result readI32BE(PlatformFile* file, int32_t* value) {
    uint32_t bits = 0;
    const Result result = readU32BE(file, &bits);
    *value = static_cast<int32_t>(bits); // two's complement
    return result;
}

Result readU16BE(PlatformFile* file, uint16_t* value) {
    uint8_t bytes[2] = {};
    const Result result = readExact(file, bytes, sizeof(bytes));
    *value = result != noErr ? 0 : static_cast<uint16_t>(bytes[0] << 8 | bytes[1]);
    return result;
}

Result readU8(PlatformFile* file, uint8_t* value) {
    const Result result = readExact(file, value, 1);
    if (result != noErr) {
        *value = 0;
    }
    return result;
}

Result readBytes(PlatformFile* file, void* data, size_t count) {
    return readExact(file, data, count);
}

Result readSkip(PlatformFile* file, int64_t count) {
    uint8_t block[256];
    while (count > 0) {
        const int64_t piece = std::min<int64_t>(count, sizeof(block));
        const Result result = readExact(file, block, static_cast<size_t>(piece));
        if (result != noErr) {
            return result;
        }
        count -= piece;
    }
    return noErr;
}

void writeBufferStart(FileWriteBuffer* buffer, FileWriter* writer) {
    buffer->count = 0;
    buffer->writer = writer;
}

void writeBufferEmitFull(FileWriteBuffer* buffer) {
    (void)emit(buffer->writer, buffer->data, kFileBufferBytes);
    buffer->count = 0;
}

void writeBufferFlush(FileWriteBuffer* buffer) {
    if (buffer->count > 0) {
        (void)emit(buffer->writer, buffer->data, static_cast<size_t>(buffer->count));
    }
    buffer->count = 0;
}

} // namespace lakra
