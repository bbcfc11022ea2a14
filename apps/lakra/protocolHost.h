#pragma once

// The command-line host's side of the filter protocol: the filter record for
// one image, the callbacks a plug-in calls (advanceState, handles, buffers,
// abort, progress, descriptors) and the selector sequence of a run.
//
// The callbacks are plain function pointers without a context argument, so
// one run is current at a time: the one created last and not yet destroyed.

#include "apps/lakra/protocolDescriptors.h"
#include "host/abi.h"
#include "platform/result.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lakra {

using PluginEntry = void (*)(int16_t selector, void* record, intptr_t* data, int16_t* result);

// The signature this host reports in hostSig.
inline constexpr OSType kLakraHostSignature = fourCharCode("Lkra");
// What the host offers as memory: maxSpace and maxSpace64, bytes.
inline constexpr int32_t kHostMaxSpaceBytes = 1 << 30;
// The widest and tallest image the host takes: with big-document data, and
// without it (the 16-bit fields' limit).
inline constexpr int32_t kHostMaxSide = 300000;
inline constexpr int32_t kHostMaxShortSide = 32767;
// A host result: the image needs 32-bit coordinates and the plug-in did not
// raise PluginUsing32BitCoordinates by the end of prepare.
inline constexpr Result kHostNeedsBigDocument = -30990;

// An image in the host's conventions: interleaved samples, the colour planes
// then the transparency plane; 8-bit 0..255, 16-bit 0..32768, 32-bit float.
struct HostPixels {
    int32_t width = 0;
    int32_t height = 0;
    int32_t colorPlanes = 0; // 1 grey, 3 RGB
    bool alpha = false;
    int32_t depth = 8; // bits per sample: 8, 16 or 32
    void* pixels = nullptr;
};

[[nodiscard]] int32_t hostPixelsPlanes(const HostPixels& image);
[[nodiscard]] int32_t hostSampleBytes(int32_t depth);
[[nodiscard]] size_t hostPixelsBytes(const HostPixels& image);

// Why the protocol cannot carry this image (multichannel, an unknown depth,
// a side beyond kHostMaxSide), or null when it can.
[[nodiscard]] const char* hostPixelsProblem(const HostPixels& image);

// A selection: one byte per pixel of the image, 255 fully selected.
struct SelectionMask {
    int32_t width = 0;
    int32_t height = 0;
    const uint8_t* values = nullptr;
};

// Faults a test plants in the host; the command line plants none. Counts are
// 1-based and run from the run's creation; 0 means never.
struct HostFaults {
    int32_t failAllocation = 0;     // this handle or buffer allocation fails
    int32_t failDescriptorOpen = 0; // this reader or writer open is refused
    int32_t abortFromCall = 0;      // abortProc answers yes from this call on
};

// What the plug-in asked of the host since the last run was created. Tables,
// procedures, hostSig and the big-document block are spoilt for tests
// through the record itself: they are the run's own copies.
struct HostCounters {
    int32_t handleAllocations = 0; // failed ones included
    int32_t bufferAllocations = 0;
    int32_t handleDisposals = 0;  // live handles disposed of
    int32_t foreignDisposals = 0; // disposals of handles that were not live
    int32_t descriptorOpens = 0;  // readers and writers, refused ones included
    int32_t descriptorCloses = 0;
    int32_t abortCalls = 0;
    int32_t progressCalls = 0;
    int32_t continueCalls = 0;
    int32_t regionsInPlace = 0; // regions handed out as pointers into the host's images
    int32_t regionCopies = 0;   // regions cut out into a buffer or written back from one
};

struct HostRunOptions {
    const Descriptor* look = nullptr; // played as a recorded action; null offers none
    int16_t playInfo = plugInDialogSilent;
    bool reportProgress = false;   // a progress line on stderr
    bool offerDisplay = false;     // offer displayPixels, so that the plug-in can show a preview
    bool offerColorPicker = false; // offer colorServices' colour picker
    intptr_t parentWindow = 0;     // the host's window in platformData (0: none)
    // Big-document data in the record, its flag clear: a plug-in that raises
    // the flag works in 32-bit coordinates. Without it, images beyond
    // kHostMaxShortSide are refused.
    bool offerBigDocument = true;
    HostFaults faults;
};

// What the plug-in last drew through displayPixels.
struct HostDisplayed {
    int32_t calls = 0;
    PSPixelMap map{}; // as the plug-in passed it; its pointers are not kept
    VRect source{};
    int32_t row = 0; // where it went: y and x in the platform's context
    int32_t column = 0;
    std::vector<uint8_t> planes; // the source rectangle, one plane after the other
};

struct HostRun;

// The colour picker behind colorServices: the platform's colour dialog unless
// a test puts its own (nullptr restores the dialog). True with the chosen
// colour in rgb; false for a cancelled choice.
using HostColorPicker = bool (*)(uint8_t rgb[3]);
void setHostColorPicker(HostColorPicker picker);

// Builds the record for the image (and selection), with a copy of the image
// as the output that the plug-in's writes land in; the 16-bit fields hold
// the sizes clamped to kHostMaxShortSide, the big-document data the whole
// ones. The image and mask stay the caller's and must outlive the run.
// paramErr for an image the protocol cannot carry (beyond kHostMaxShortSide
// without big-document data), a mask of another size or a run already
// current.
[[nodiscard]] Result hostRunCreate(HostRun** run, const HostPixels& image,
                                   const SelectionMask* mask, const HostRunOptions& options);
// Frees the run and everything the plug-in left with the host; accepts null.
void hostRunDestroy(HostRun* run);

[[nodiscard]] FilterRecord* hostRunRecord(HostRun* run);
[[nodiscard]] const HostPixels& hostRunOutput(const HostRun* run);

// Drives parameters, prepare, start, continue while a region is requested,
// and finish (only after a start without error). Returns the first non-zero
// result, or userCanceledErr when an interrupt arrived during the run. An
// image beyond kHostMaxShortSide stops after prepare with
// kHostNeedsBigDocument unless the plug-in has raised the big-document flag.
[[nodiscard]] Result hostRunFilter(HostRun* run, PluginEntry entry);

// Runs again without the parameters call, as a host repeats the last filter
// with the plug-in's parameters and data from the run before.
[[nodiscard]] Result hostRunRepeat(HostRun* run, PluginEntry entry);
// One selector on its own; the output of start or continue lands in the image
// at the next advanceState.
[[nodiscard]] Result hostRunSelector(HostRun* run, PluginEntry entry, int16_t selector);

[[nodiscard]] HostFaults& hostRunFaults(HostRun* run);
[[nodiscard]] const HostDisplayed& hostRunDisplayed(const HostRun* run);
[[nodiscard]] HostCounters& hostCounters();
// Counts an open for the descriptor procedures; false when a fault refuses it.
[[nodiscard]] bool hostDescriptorOpenAllowed();

// The descriptor the plug-in left in descriptorParameters, if one decodes.
[[nodiscard]] bool hostRunRecorded(const HostRun* run, Descriptor* descriptor, int16_t* recordInfo);
// The plug-in's message for errReportString, empty when there is none.
[[nodiscard]] std::string hostRunErrorString(const HostRun* run);

// Host handles, behind handleProcs and the descriptors.
[[nodiscard]] Handle hostHandleNew(int32_t bytes);   // null on failure
void hostHandleDispose(Handle handle);               // ignores foreign handles
[[nodiscard]] char* hostHandleBytes(Handle handle);  // null when not a live handle
[[nodiscard]] int32_t hostHandleSize(Handle handle); // -1 when not a live handle
[[nodiscard]] int hostHandleCount();
[[nodiscard]] int hostBufferCount();

// Ctrl-C: the handler raises a flag that abortProc reports; a second Ctrl-C
// ends the process.
void hostInstallInterruptHandler();
[[nodiscard]] bool hostInterrupted();
void hostClearInterrupt();

// What a plug-in's result code means, for the user.
[[nodiscard]] std::string hostResultMeaning(Result result);

} // namespace lakra
