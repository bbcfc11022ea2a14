#pragma once

// The services Lakra takes from the operating system. Each backend
// (posix/, win32/) implements every function here; no Windows type crosses
// this header.

#include <cstddef>
#include <cstdint>

namespace lakra {

// Logical processors of the machine, never below 1. A test may force a
// count with platformSetProcessorCount (0 restores the real count).
int processorCount();
void platformSetProcessorCount(int count);

// Whole seconds of a monotonic clock. A test may replace the clock with
// platformSetClock (nullptr restores the real one).
using ClockFunction = int64_t (*)();
int64_t clockSeconds();
void platformSetClock(ClockFunction clock);

// Threads. The entry runs on the new thread with the given argument.
struct PlatformThread;
using ThreadEntry = void (*)(void* argument);
inline constexpr size_t kRenderWorkerStackBytes = 200000;
[[nodiscard]] bool threadStart(PlatformThread** thread, ThreadEntry entry, void* argument,
                               size_t stackBytes);
// Waits for the thread to end and releases it; accepts nullptr.
void threadJoin(PlatformThread* thread);

// Auto-reset events: a wait that returns consumes the signal.
struct PlatformEvent;
[[nodiscard]] bool eventCreate(PlatformEvent** event); // created unsignalled
void eventDestroy(PlatformEvent* event);               // accepts nullptr
[[nodiscard]] bool eventSet(PlatformEvent* event);
[[nodiscard]] bool eventReset(PlatformEvent* event);
// Blocks until one of the events is signalled, resets that one and returns its
// index (the lowest when several are); returns -1 when the wait itself fails
// or count is not in 1..kMaxWaitEvents. A render waits on up to 100 workers.
inline constexpr int kMaxWaitEvents = 128;
int eventWaitAny(PlatformEvent* const* events, int count);

// One line for a debugger. On Linux it goes to stderr only when the
// environment variable LAKRA_DEBUG_OUTPUT is set to a non-empty value.
void debugOutput(const char* text);

enum class MessageIcon { Information, Warning, Error };
// A modal message with one OK button. On Linux it is written to stderr.
void messageBox(const char* title, const char* text, MessageIcon icon);

// The platform's colour dialog over `owner` (a window handle, or null),
// starting from rgb; true with the chosen colour in rgb, false when the user
// cancels or there is no dialog.
bool chooseColor(void* owner, uint8_t rgb[3]);

// Draws an 8-bit planar picture (one plane, or red, green and blue planes one
// after the other, rows of `width` bytes) with its top-left corner at (x, y)
// of a drawing context (on Windows a device context). False where there is
// nothing to draw on.
bool drawPlanarPicture(void* context, int32_t x, int32_t y, const uint8_t* planes, int32_t width,
                       int32_t height, int32_t planeCount);

// Files and folders. Paths are zero-terminated text in the ANSI code page; the
// file layer (files/files.h) keeps them below 260 bytes.
struct PlatformFile;
// Opens for writing, creating the file when absent. An existing file keeps its
// bytes until platformFileSetEnd cuts it; others may read it meanwhile.
[[nodiscard]] bool platformFileOpenWrite(const char* path, PlatformFile** file);
// Opens an existing file for reading, shared for reading.
[[nodiscard]] bool platformFileOpenRead(const char* path, PlatformFile** file);
// Reads up to `bytes`; *bytesRead falls short of it only at the end of the file.
// False when the system reports an error.
[[nodiscard]] bool platformFileRead(PlatformFile* file, void* data, size_t bytes,
                                    size_t* bytesRead);
// Writes all `bytes` or returns false.
[[nodiscard]] bool platformFileWrite(PlatformFile* file, const void* data, size_t bytes);
// Makes the current position the end of the file.
[[nodiscard]] bool platformFileSetEnd(PlatformFile* file);
// Closes and releases the file; accepts nullptr. False when the system reports
// an error (written data may be lost).
bool platformFileClose(PlatformFile* file);
// Whether the file is marked read-only: on Windows its read-only attribute; on
// POSIX a mode that lets no one write, or a file this process may not write
// (mode bits count even for root, who may write any file). False for a path
// that does not name a file.
bool platformFileIsReadOnly(const char* path);
// Renames a file; never replaces one: false when `to` exists (or the rename
// fails otherwise), and both names are then as they were.
[[nodiscard]] bool platformFileRename(const char* from, const char* to);
// Creates one folder; a folder that already exists is fine.
[[nodiscard]] bool platformFolderCreate(const char* path);
// Calls visit for every entry of a folder ("." and ".." left out) in the order
// the system lists them. False when the folder cannot be read.
using FolderVisitor = void (*)(const char* name, bool isFolder, void* context);
[[nodiscard]] bool platformListFolder(const char* path, FolderVisitor visit, void* context);
// The folder for temporary files, ending in a path separator: the environment
// variable LAKRA_TEMP when set (tests point it at a folder of their own), else
// the system's folder (Windows: GetTempPathA, or C:\Windows\Temp\ when it
// reports none; elsewhere $TMPDIR or /tmp/). False when it does not fit in
// `bytes` with its terminator; the folder is then empty.
[[nodiscard]] bool platformTemporaryFolder(char* folder, size_t bytes);
// Path separators: '\\' and '/' on Windows, '/' elsewhere. The first is the
// one this platform writes.
char platformPathSeparator();
bool platformIsPathSeparator(char c);

} // namespace lakra
