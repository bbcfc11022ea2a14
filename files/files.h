#pragma once

// The file layer under every file format of the program: FileSpecs, opening,
// big-endian numbers, the 400-byte buffered writer, path text and
// file-name cleaning. All multi-byte numbers in our files are big-endian.

#include "platform/platform.h"
#include "platform/result.h"

#include <cstddef>
#include <cstdint>

namespace lakra {

// File result codes (0 is success).
inline constexpr Result kFileReadError = -19;  // a read failed or met the end of the file
inline constexpr Result kFileWriteError = -20; // a write failed
inline constexpr Result kFileNotOpened = 99;   // missing argument, or the file cannot be opened
inline constexpr Result kFolderArgumentMissing = 396;     // folder creation
inline constexpr Result kFolderPartArgumentMissing = 398; // folder part

inline constexpr size_t kPathBytes = 260; // path and terminator
inline constexpr size_t kFileSpecHeaderBytes = 8;

// A file name as callers store it: an unused header of zeros, then the
// zero-terminated path. Records that keep FileSpecs copy all 268 bytes.
struct FileSpec {
    uint8_t header[kFileSpecHeaderBytes];
    char path[kPathBytes];
};

static_assert(sizeof(FileSpec) == 268, "FileSpecs are stored whole");

// FileSpecs and path text. Every function accepts nullptr and leaves an empty FileSpec.
void fileSpecFromPath(FileSpec* fileSpec, const char* path); // copies at most 259 characters
const char* fileSpecPath(const FileSpec& fileSpec);
// The part after the last path separator (the whole path when there is none).
const char* fileSpecName(const FileSpec& fileSpec);
// The folder's path followed by the name. When path and terminator would not fit
// in maxBytes (at most kPathBytes) the result is an empty path and 99.
[[nodiscard]] Result fileSpecJoin(const FileSpec* folder, const char* name, FileSpec* joined,
                                  size_t maxBytes = kPathBytes);
// The path up to and including its last separator; "*" when it has none.
[[nodiscard]] Result fileSpecFolderPart(const FileSpec* fileSpec, FileSpec* folder);
// The folder's path, the name and a separator; creates that folder (an
// existing one is fine). 99 when it cannot be made or does not fit.
[[nodiscard]] Result fileSpecCreateFolder(const FileSpec* parent, const char* name,
                                          FileSpec* folder);
// The name in the temporary folder; the folder variant appends a separator.
[[nodiscard]] Result temporaryFileSpec(const char* name, FileSpec* fileSpec);
[[nodiscard]] Result temporaryFolderSpec(const char* name, FileSpec* fileSpec);

// Opening. Writing creates the file or opens it, shared for reading; an
// existing file keeps its bytes until fileSetEnd. Reading needs an existing file.
enum class FileAccess { Read, Write };
[[nodiscard]] Result fileOpen(const FileSpec& fileSpec, FileAccess access, PlatformFile** file);
bool fileExists(const FileSpec& fileSpec); // a read open succeeds
[[nodiscard]] Result fileSetEnd(PlatformFile* file);
Result fileClose(PlatformFile* file); // accepts nullptr; -20 when data may be lost

// The writing side of a file format. A writer in sizing mode has no file:
// it writes nothing and counts the bytes it would write, so length fields can be
// computed before their data in one forward pass. The first error is kept, so a
// format writer checks once, at the end.
struct FileWriter {
    PlatformFile* file = nullptr;
    bool sizing = false;  // count only; file stays nullptr
    int64_t bytes = 0;    // written, or that would be written
    Result error = noErr; // first write error; later writes are not attempted
};

FileWriter fileSizingWriter();
// Opens the FileSpec for writing.
[[nodiscard]] Result fileWriterOpen(const FileSpec& fileSpec, FileWriter* writer);
// Cuts the file at the current position and closes it; returns the writer's
// first error, else that of cutting or closing. Does nothing in sizing mode.
Result fileWriterClose(FileWriter* writer);

// Writes return 0 or -20 (and in sizing mode only count). A writer that has
// no file outside sizing mode fails every write.
Result writeU32BE(FileWriter* writer, uint32_t value);
Result writeU16BE(FileWriter* writer, uint16_t value);
Result writeU8(FileWriter* writer, uint8_t value);
Result writeFloatBE(FileWriter* writer, float value); // its IEEE bits as a U32
Result writeZeros(FileWriter* writer, int64_t count); // nothing when count < 1
Result writeBytes(FileWriter* writer, const void* data, size_t count);
Result writeText(FileWriter* writer, const char* text); // without the terminator

// Reads return 0, or -19 on an error or a short read (the value is then 0).
[[nodiscard]] Result readU32BE(PlatformFile* file, uint32_t* value);
[[nodiscard]] Result readI32BE(PlatformFile* file, int32_t* value);
[[nodiscard]] Result readU16BE(PlatformFile* file, uint16_t* value);
[[nodiscard]] Result readU8(PlatformFile* file, uint8_t* value);
[[nodiscard]] Result readBytes(PlatformFile* file, void* data, size_t count);
// Reads past count bytes, 256 at a time; stops at the end of the file.
[[nodiscard]] Result readSkip(PlatformFile* file, int64_t count);

// Long byte streams (pixel planes) pass through 400 bytes of memory, so the
// system is called once per 400 bytes. Errors collect in the writer.
inline constexpr int32_t kFileBufferBytes = 400;

struct FileWriteBuffer {
    uint8_t data[kFileBufferBytes];
    int32_t count;
    FileWriter* writer;
};

void writeBufferStart(FileWriteBuffer* buffer, FileWriter* writer);
// Writes the 400 collected bytes and empties the buffer.
void writeBufferEmitFull(FileWriteBuffer* buffer);

// Inline: pixel planes pass through here a byte at a time.
inline void writeBufferPutU8(FileWriteBuffer* buffer, uint8_t value) {
    buffer->data[buffer->count++] = value;
    if (buffer->count == kFileBufferBytes) {
        writeBufferEmitFull(buffer);
    }
}

void writeBufferFlush(FileWriteBuffer* buffer);

// Path text, on zero-terminated strings of at most `bytes` bytes with the terminator.
void stripExtension(char* text);                        // cut at the last '.'
[[nodiscard]] bool appendJpg(char* text, size_t bytes); // false (unchanged) when it does not fit
// The part of a pattern from its last '.' on ("*.q8r" gives ".q8r"); empty
// when the pattern is shorter than 2 characters or has no '.'.
void patternExtension(const char* pattern, char* extension, size_t bytes);
// Whether the name contains the extension anywhere, ignoring case.
bool isGifName(const char* name);
bool isPngName(const char* name);
bool isJpegName(const char* name); // ".jpg" or ".jpeg"
bool isBmpName(const char* name);
bool isPsdName(const char* name);
bool isTiffName(const char* name);
bool isImageName(const char* name); // any of the above

inline constexpr int32_t kTextNotFound = -1;
// The first index of needle in text; kTextNotFound when either is empty or
// the needle is longer.
int32_t findText(const char* needle, const char* text, bool ignoreCase);
void removeTrailingSeparator(char* path); // one '\' or '/'
// Byte by byte: below 32 a blank; above 127 (byte & 127) + 32, and '_' when
// that is '.'; '\', '/' and ':' become '_'.
void cleanFileName(char* name);
// Keeps 0-9, '+', '-' (and '.' when decimals are allowed) and converts the rest
// as a decimal number: "1,024 px" gives 1024.
void filterNumberText(const char* text, bool decimals, char* filtered, size_t bytes);
double numberFromText(const char* text, bool decimals);

} // namespace lakra
