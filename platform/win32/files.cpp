// Files, folders and the temporary folder on Windows.

#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstring>
#include <new>

namespace lakra {

struct PlatformFile {
    HANDLE handle = INVALID_HANDLE_VALUE;
};

namespace {

// ReadFile and WriteFile count in DWORDs: longer transfers go in pieces.
constexpr size_t kChunkBytes = size_t{1} << 30;

constexpr const char* kFallbackTemporaryFolder = "C:\\Windows\\Temp\\";

bool openWith(const char* path, DWORD access, DWORD disposition, PlatformFile** file) {
    if (file == nullptr) {
        return false;
    }
    *file = nullptr;
    if (path == nullptr || path[0] == '\0') {
        return false;
    }
    const HANDLE handle = CreateFileA(path, access, FILE_SHARE_READ, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    auto* opened = new (std::nothrow) PlatformFile;
    if (opened == nullptr) {
        (void)CloseHandle(handle);
        return false;
    }
    opened->handle = handle;
    *file = opened;
    return true;
}

// Copies text and a trailing backslash (when it has no separator at its end).
bool copyFolder(const char* text, size_t length, char* folder, size_t bytes) {
    const bool needsSeparator =
        length == 0 || (text[length - 1] != '\\' && text[length - 1] != '/');
    const size_t total = length + (needsSeparator ? 1 : 0);
    if (total + 1 > bytes) {
        return false;
    }
    std::memmove(folder, text, length);
    if (needsSeparator) {
        folder[length] = '\\';
    }
    folder[total] = '\0';
    return true;
}

} // namespace

bool platformFileOpenWrite(const char* path, PlatformFile** file) {
    return openWith(path, GENERIC_WRITE, OPEN_ALWAYS, file);
}

bool platformFileOpenRead(const char* path, PlatformFile** file) {
    return openWith(path, GENERIC_READ, OPEN_EXISTING, file);
}

bool platformFileRead(PlatformFile* file, void* data, size_t bytes, size_t* bytesRead) {
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    if (file == nullptr || (data == nullptr && bytes > 0)) {
        return false;
    }
    auto* at = static_cast<unsigned char*>(data);
    size_t done = 0;
    while (done < bytes) {
        const size_t piece = bytes - done < kChunkBytes ? bytes - done : kChunkBytes;
        DWORD got = 0;
        if (ReadFile(file->handle, at + done, static_cast<DWORD>(piece), &got, nullptr) == 0) {
            return false;
        }
        if (got == 0) {
            break; // end of file
        }
        done += got;
    }
    if (bytesRead != nullptr) {
        *bytesRead = done;
    }
    return true;
}

bool platformFileWrite(PlatformFile* file, const void* data, size_t bytes) {
    if (file == nullptr || (data == nullptr && bytes > 0)) {
        return false;
    }
    const auto* at = static_cast<const unsigned char*>(data);
    size_t done = 0;
    while (done < bytes) {
        const size_t piece = bytes - done < kChunkBytes ? bytes - done : kChunkBytes;
        DWORD put = 0;
        if (WriteFile(file->handle, at + done, static_cast<DWORD>(piece), &put, nullptr) == 0 ||
            put == 0) {
            return false;
        }
        done += put;
    }
    return true;
}

bool platformFileSetEnd(PlatformFile* file) {
    return file != nullptr && SetEndOfFile(file->handle) != 0;
}

bool platformFileClose(PlatformFile* file) {
    if (file == nullptr) {
        return true;
    }
    const bool closed = CloseHandle(file->handle) != 0;
    delete file;
    return closed;
}

bool platformListFolder(const char* path, FolderVisitor visit, void* context) {
    if (path == nullptr || path[0] == '\0' || visit == nullptr) {
        return false;
    }
    char pattern[MAX_PATH + 4];
    const size_t length = std::strlen(path);
    if (length + 3 > MAX_PATH) {
        return false;
    }
    std::memcpy(pattern, path, length);
    size_t at = length;
    if (pattern[at - 1] != '\\' && pattern[at - 1] != '/') {
        pattern[at++] = '\\';
    }
    std::memcpy(pattern + at, "*.*", 4);
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND; // an empty folder
    }
    do {
        if (std::strcmp(found.cFileName, ".") == 0 || std::strcmp(found.cFileName, "..") == 0) {
            continue;
        }
        visit(found.cFileName, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0, context);
    } while (FindNextFileA(search, &found) != 0);
    FindClose(search);
    return true;
}

bool platformFileIsReadOnly(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        return false;
    }
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool platformFileRename(const char* from, const char* to) {
    if (from == nullptr || from[0] == '\0' || to == nullptr || to[0] == '\0') {
        return false;
    }
    // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
    return MoveFileA(from, to) != 0;
}

bool platformFolderCreate(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        return false;
    }
    if (CreateDirectoryA(path, nullptr) != 0) {
        return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        return false;
    }
    const DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool platformTemporaryFolder(char* folder, size_t bytes) {
    if (folder == nullptr || bytes == 0) {
        return false;
    }
    folder[0] = '\0';
    char text[MAX_PATH + 1] = {};
    // A folder of the tests' own: the length without the terminator, 0 when unset.
    DWORD length = GetEnvironmentVariableA("LAKRA_TEMP", text, sizeof(text));
    if (length >= sizeof(text)) {
        return false;
    }
    if (length == 0) {
        length = GetTempPathA(sizeof(text), text);
        if (length >= sizeof(text)) {
            return false; // longer than any path the file layer can hold
        }
        if (length == 0) {
            return copyFolder(kFallbackTemporaryFolder, std::strlen(kFallbackTemporaryFolder),
                              folder, bytes);
        }
    }
    return copyFolder(text, length, folder, bytes);
}

char platformPathSeparator() {
    return '\\';
}

bool platformIsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

} // namespace lakra
