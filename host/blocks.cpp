#include "host/blocks.h"

#include "host/hostContext.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace lakra {

namespace {

constexpr int32_t kParametersBytes = static_cast<int32_t>(kParametersBlockBytes);
constexpr int32_t kStateBytes = static_cast<int32_t>(kStateBlockBytes);

// Hosts differ: some leave the version and count fields of their tables at
// 0 while the procedures work, so only the procedures themselves are checked.
const HandleProcs* usableHandleProcs() {
    const FilterRecord* record = currentHost().record;
    if (record == nullptr) {
        return nullptr;
    }
    const HandleProcs* procs = getHandleProcs(*record);
    if (procs == nullptr || procs->newProc == nullptr || procs->lockProc == nullptr ||
        procs->unlockProc == nullptr) {
        return nullptr;
    }
    return procs;
}

// A handle of our own for hosts without handle procedures: the host only
// keeps the pointer.
Handle newOwnHandle(int32_t bytes) {
    auto* handle = new (std::nothrow) char*;
    if (handle == nullptr) {
        return nullptr;
    }
    *handle = static_cast<char*>(std::calloc(1, static_cast<size_t>(bytes)));
    if (*handle == nullptr) {
        delete handle;
        return nullptr;
    }
    return handle;
}

Handle newBlock(int32_t bytes) {
    const HandleProcs* procs = usableHandleProcs();
    return procs != nullptr ? procs->newProc(bytes) : newOwnHandle(bytes);
}

void* lockBlock(Handle handle) {
    const HandleProcs* procs = usableHandleProcs();
    return procs != nullptr ? procs->lockProc(handle, 1) : *handle;
}

void unlockBlock(Handle handle) {
    const HandleProcs* procs = usableHandleProcs();
    if (procs != nullptr) {
        procs->unlockProc(handle);
    }
}

Handle dataHandle() {
    const HostContext& host = currentHost();
    // The host keeps our handle in a pointer-sized integer.
    // NOLINTNEXTLINE(performance-no-int-to-ptr)
    return host.dataSlot != nullptr ? reinterpret_cast<Handle>(*host.dataSlot) : nullptr;
}

void resetState(PluginState* state) {
    state->previewScaleFactor = 1.0f;
    state->previewRect = PixelRect{};
    state->proxyBuffer = nullptr;
    state->proxyBytes = 0;
    state->showDialog = 1;
}

} // namespace

bool blocksExist() {
    const FilterRecord* record = currentHost().record;
    return record != nullptr && getParameters(*record) != nullptr && dataHandle() != nullptr;
}

Result lockBlocks() {
    HostContext& host = currentHost();
    if (!blocksExist()) {
        return failWith(filterBadParameters);
    }
    auto* settings = static_cast<Settings*>(lockBlock(getParameters(*host.record)));
    auto* state = static_cast<PluginState*>(lockBlock(dataHandle()));
    if (settings == nullptr || state == nullptr) {
        return failWith(memFullErr);
    }
    host.settings = settings;
    host.state = state;
    return noErr;
}

void unlockBlocks() {
    HostContext& host = currentHost();
    if (host.record == nullptr) {
        return;
    }
    Handle data = dataHandle();
    if (data != nullptr) {
        unlockBlock(data);
    }
    Handle parameters = getParameters(*host.record);
    if (parameters != nullptr) {
        unlockBlock(parameters);
    }
    host.settings = nullptr;
    host.state = nullptr;
}

Result obtainBlocks() {
    HostContext& host = currentHost();
    if (host.record == nullptr || host.dataSlot == nullptr) {
        return failWith(filterBadParameters);
    }
    bool freshSettings = false;
    bool freshState = false;
    if (getParameters(*host.record) == nullptr) {
        Handle parameters = newBlock(kParametersBytes);
        if (parameters == nullptr) {
            return failWith(memFullErr);
        }
        setParameters(*host.record, parameters);
        freshSettings = true;
    }
    if (dataHandle() == nullptr) {
        Handle state = newBlock(kStateBytes);
        if (state == nullptr) {
            return failWith(memFullErr);
        }
        *host.dataSlot = reinterpret_cast<intptr_t>(state);
        freshState = true;
    }
    const Result locked = lockBlocks();
    if (locked != noErr) {
        return locked;
    }
    if (freshSettings) {
        settingsFresh(host.settings);
    }
    if (freshState) {
        // A new block's contents are undefined.
        std::memset(static_cast<void*>(host.state), 0, sizeof(PluginState));
    }
    resetState(host.state);
    return noErr;
}

} // namespace lakra
