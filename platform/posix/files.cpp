// Files, folders and the temporary folder on POSIX systems.

#include "platform/platform.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace lakra {

struct PlatformFile {
    int descriptor = -1;
};

namespace {

bool openWith(const char* path, int flags, PlatformFile** file) {
    if (file == nullptr) {
        return false;
    }
    *file = nullptr;
    if (path == nullptr || path[0] == '\0') {
        return false;
    }
    int descriptor = -1;
    do {
        descriptor = ::open(path, flags | O_CLOEXEC, 0666);
    } while (descriptor < 0 && errno == EINTR);
    if (descriptor < 0) {
        return false;
    }

    // Only regular files: a folder opens for reading on POSIX but cannot be read.
    struct stat status {};

    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        (void)::close(descriptor);
        return false;
    }
    auto* opened = new (std::nothrow) PlatformFile;
    if (opened == nullptr) {
        (void)::close(descriptor);
        return false;
    }
    opened->descriptor = descriptor;
    *file = opened;
    return true;
}

// The first usable folder among the environment's choices, or /tmp.
const char* temporaryFolderText() {
    // Read on the host's thread only, as every file operation is.
    static constexpr const char* kVariables[] = {"LAKRA_TEMP", "TMPDIR"};
    for (const char* name : kVariables) {
        const char* value = std::getenv(name); // NOLINT(concurrency-mt-unsafe)
        if (value != nullptr && value[0] != '\0') {
            return value;
        }
    }
    return "/tmp/";
}

} // namespace

bool platformFileOpenWrite(const char* path, PlatformFile** file) {
    return openWith(path, O_WRONLY | O_CREAT, file);
}

bool platformFileOpenRead(const char* path, PlatformFile** file) {
    return openWith(path, O_RDONLY, file);
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
        const ssize_t got = ::read(file->descriptor, at + done, bytes - done);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (got == 0) {
            break; // end of file
        }
        done += static_cast<size_t>(got);
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
        const ssize_t put = ::write(file->descriptor, at + done, bytes - done);
        if (put < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (put == 0) {
            return false; // no progress: the device takes nothing more
        }
        done += static_cast<size_t>(put);
    }
    return true;
}

bool platformFileSetEnd(PlatformFile* file) {
    if (file == nullptr) {
        return false;
    }
    const off_t position = ::lseek(file->descriptor, 0, SEEK_CUR);
    return position >= 0 && ::ftruncate(file->descriptor, position) == 0;
}

bool platformFileClose(PlatformFile* file) {
    if (file == nullptr) {
        return true;
    }
    // The descriptor is released even when close reports an error; never retry.
    const bool closed = ::close(file->descriptor) == 0;
    delete file;
    return closed;
}

bool platformListFolder(const char* path, FolderVisitor visit, void* context) {
    if (path == nullptr || path[0] == '\0' || visit == nullptr) {
        return false;
    }
    DIR* folder = ::opendir(path);
    if (folder == nullptr) {
        return false;
    }
    const size_t pathLength = std::strlen(path);
    // NOLINTNEXTLINE(concurrency-mt-unsafe): the stream is this call's own
    while (const dirent* entry = ::readdir(folder)) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN || entry->d_type == DT_LNK) {
            // Some file systems leave the type open; links count as what they name.
            char full[4096];
            const size_t nameLength = std::strlen(name);
            if (pathLength + nameLength + 2 <= sizeof full) {
                std::memcpy(full, path, pathLength);
                size_t at = pathLength;
                if (at > 0 && full[at - 1] != '/') {
                    full[at++] = '/';
                }
                std::memcpy(full + at, name, nameLength + 1);

                struct stat status {};

                isFolder = ::stat(full, &status) == 0 && S_ISDIR(status.st_mode);
            }
        }
        visit(name, isFolder, context);
    }
    ::closedir(folder);
    return true;
}

bool platformFileIsReadOnly(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        return false;
    }

    struct stat status {};

    if (::stat(path, &status) != 0 || S_ISDIR(status.st_mode)) {
        return false;
    }
    // The mode first: root may write a file that no one is meant to.
    constexpr mode_t kAnyWrite = S_IWUSR | S_IWGRP | S_IWOTH;
    return (status.st_mode & kAnyWrite) == 0 || ::access(path, W_OK) != 0;
}

bool platformFileRename(const char* from, const char* to) {
    if (from == nullptr || from[0] == '\0' || to == nullptr || to[0] == '\0') {
        return false;
    }
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) {
        return true;
    }
    // Other errors than these are final; these say the file system cannot
    // refuse to replace, so a link that fails on an existing name does it.
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return false;
    }
#endif
    if (::link(from, to) != 0) {
        return false;
    }
    if (::unlink(from) != 0) {
        (void)::unlink(to); // both names would be left: keep the old one only
        return false;
    }
    return true;
}

bool platformFolderCreate(const char* path) {
    if (path == nullptr || path[0] == '\0') {
        return false;
    }
    if (::mkdir(path, 0777) == 0) {
        return true;
    }

    struct stat status {};

    return errno == EEXIST && ::stat(path, &status) == 0 && S_ISDIR(status.st_mode);
}

bool platformTemporaryFolder(char* folder, size_t bytes) {
    if (folder == nullptr || bytes == 0) {
        return false;
    }
    folder[0] = '\0';
    const char* text = temporaryFolderText();
    const size_t length = std::strlen(text);
    const bool needsSeparator = text[length - 1] != '/';
    if (length + (needsSeparator ? 1 : 0) + 1 > bytes) {
        return false;
    }
    std::memcpy(folder, text, length);
    if (needsSeparator) {
        folder[length] = '/';
    }
    folder[length + (needsSeparator ? 1 : 0)] = '\0';
    return true;
}

char platformPathSeparator() {
    return '/';
}

bool platformIsPathSeparator(char c) {
    return c == '/';
}

} // namespace lakra
