#include "support/fakeDescriptors.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace lakra::testing {

// *handle is master, so a Handle is &master. Descriptor handles carry no
// bytes: to the plug-in they are opaque.
struct FakeDescriptorHost::HandleBody {
    char* master = nullptr;
    std::vector<char> bytes;
    Descriptor items;
};

// The worst of a reader's or writer's calls: the first error, else whether a
// value had to be coerced.
struct FakeDescriptorHost::Outcome {
    OSErr error = noErr;
    bool coerced = false;

    OSErr note(OSErr code) {
        if (code < 0 && error == noErr) {
            error = code;
        } else if (code > 0) {
            coerced = true;
        }
        return code;
    }
};

struct FakeDescriptorHost::Reader {
    Descriptor items; // a copy: the plug-in may dispose of the handle first
    DescriptorKeyID* keys = nullptr;
    size_t next = 0;
    const DescriptorItem* current = nullptr;
    Outcome outcome;
};

struct FakeDescriptorHost::Writer {
    Descriptor items;
    Outcome outcome;
};

namespace {

FakeDescriptorHost* gCurrent = nullptr;

FakeDescriptorHost& host() {
    if (gCurrent == nullptr) {
        std::abort(); // a procedure called after its host went away
    }
    return *gCurrent;
}

// ------------------------------------------------------------ handles

Handle newHandleProc(int32_t size) {
    return host().newHandle(size);
}

void disposeHandleProc(Handle handle) {
    host().disposeHandle(handle);
}

int32_t getHandleSizeProc(Handle handle) {
    const FakeDescriptorHost::HandleBody* body = host().findHandle(handle);
    return body == nullptr ? 0 : static_cast<int32_t>(body->bytes.size());
}

OSErr setHandleSizeProc(Handle handle, int32_t size) {
    FakeDescriptorHost::HandleBody* body = host().findHandle(handle);
    if (body == nullptr || size < 0) {
        return nilHandleErr;
    }
    body->bytes.resize(static_cast<size_t>(size));
    body->master = body->bytes.data();
    return noErr;
}

Ptr lockHandleProc(Handle handle, Boolean /*moveHigh*/) {
    const FakeDescriptorHost::HandleBody* body = host().findHandle(handle);
    return body == nullptr ? nullptr : body->master;
}

void unlockHandleProc(Handle /*handle*/) {}

void recoverSpaceProc(int32_t /*size*/) {}

// ------------------------------------------------------------ reading

PIReadDescriptor openReadProc(PIDescriptorHandle descriptor, DescriptorKeyID* keys) {
    return host().openReader(descriptor, keys);
}

OSErr closeReadProc(PIReadDescriptor reader) {
    return host().closeReader(reader);
}

Boolean getKeyProc(PIReadDescriptor token, DescriptorKeyID* key, DescriptorTypeID* type,
                   int32_t* flags) {
    FakeDescriptorHost::Reader* reader = host().findReader(token);
    if (reader == nullptr || reader->next >= reader->items.size()) {
        return 0;
    }
    const DescriptorItem& item = reader->items[reader->next++];
    reader->current = &item;
    *key = item.key;
    *type = item.type;
    *flags = item.flags;
    // Returned keys are crossed off the caller's list; what is left at close
    // was missing.
    if (reader->keys != nullptr) {
        for (DescriptorKeyID* wanted = reader->keys; *wanted != 0; ++wanted) {
            if (*wanted == item.key) {
                *wanted = typeNull;
                break;
            }
        }
    }
    return 1;
}

// Runs get on the value of the key last returned and records its result.
template <typename Get>
OSErr withCurrentValue(PIReadDescriptor token, Get get) {
    FakeDescriptorHost::Reader* reader = host().findReader(token);
    if (reader == nullptr) {
        return paramErr;
    }
    if (reader->current == nullptr) {
        return reader->outcome.note(paramErr);
    }
    return reader->outcome.note(get(*reader->current));
}

OSErr refuseRead(PIReadDescriptor token) {
    return withCurrentValue(token, [](const DescriptorItem&) { return paramErr; });
}

// Doubles become integers by truncation, when they fit.
OSErr asInteger(const DescriptorItem& item, int32_t* value) {
    if (item.type == typeInteger) {
        *value = item.integer;
        return noErr;
    }
    if ((item.type == typeFloat || item.type == typeUnitFloat) && item.real >= INT32_MIN &&
        item.real <= INT32_MAX) {
        *value = static_cast<int32_t>(item.real);
        return coercedParamErr;
    }
    return paramErr;
}

OSErr asDouble(const DescriptorItem& item, double* value) {
    if (item.type == typeFloat || item.type == typeUnitFloat) {
        *value = item.real;
        return noErr;
    }
    if (item.type == typeInteger) {
        *value = item.integer;
        return coercedParamErr;
    }
    return paramErr;
}

OSErr getIntegerProc(PIReadDescriptor token, int32_t* value) {
    return withCurrentValue(token,
                            [&](const DescriptorItem& item) { return asInteger(item, value); });
}

OSErr getFloatProc(PIReadDescriptor token, double* value) {
    return withCurrentValue(token,
                            [&](const DescriptorItem& item) { return asDouble(item, value); });
}

OSErr getUnitFloatProc(PIReadDescriptor token, DescriptorUnitID* unit, double* value) {
    return withCurrentValue(token, [&](const DescriptorItem& item) {
        *unit = item.unit;
        return asDouble(item, value);
    });
}

OSErr getBooleanProc(PIReadDescriptor token, Boolean* value) {
    return withCurrentValue(token, [&](const DescriptorItem& item) {
        if (item.type != typeBoolean) {
            return paramErr;
        }
        *value = item.integer != 0 ? 1 : 0;
        return noErr;
    });
}

OSErr getEnumeratedProc(PIReadDescriptor token, DescriptorEnumID* value) {
    return withCurrentValue(token, [&](const DescriptorItem& item) {
        if (item.type != typeEnumerated) {
            return paramErr;
        }
        *value = item.enumValue;
        return noErr;
    });
}

OSErr getPinnedIntegerProc(PIReadDescriptor token, int32_t min, int32_t max, int32_t* value) {
    return withCurrentValue(token, [&](const DescriptorItem& item) {
        OSErr code = asInteger(item, value);
        if (code >= 0 && min <= max && (*value < min || *value > max)) {
            *value = std::clamp(*value, min, max);
            code = coercedParamErr;
        }
        return code;
    });
}

OSErr pinDouble(const DescriptorItem& item, const double* min, const double* max, double* value) {
    OSErr code = asDouble(item, value);
    if (code >= 0 && min != nullptr && *value < *min) {
        *value = *min;
        code = coercedParamErr;
    }
    if (code >= 0 && max != nullptr && *value > *max) {
        *value = *max;
        code = coercedParamErr;
    }
    return code;
}

OSErr getPinnedFloatProc(PIReadDescriptor token, const double* min, const double* max,
                         double* value) {
    return withCurrentValue(
        token, [&](const DescriptorItem& item) { return pinDouble(item, min, max, value); });
}

OSErr getPinnedUnitFloatProc(PIReadDescriptor token, const double* min, const double* max,
                             DescriptorUnitID* unit, double* value) {
    return withCurrentValue(token, [&](const DescriptorItem& item) {
        *unit = item.unit;
        return pinDouble(item, min, max, value);
    });
}

// Value kinds this host does not keep.
OSErr getHandleProc(PIReadDescriptor token, Handle* /*value*/) {
    return refuseRead(token);
}

OSErr getCodeProc(PIReadDescriptor token, uint32_t* /*value*/) {
    return refuseRead(token);
}

OSErr getSimpleReferenceProc(PIReadDescriptor token, PIDescriptorSimpleReference* /*value*/) {
    return refuseRead(token);
}

OSErr getObjectProc(PIReadDescriptor token, DescriptorTypeID* /*type*/, Handle* /*value*/) {
    return refuseRead(token);
}

OSErr getStringProc(PIReadDescriptor token, Str255* /*value*/) {
    return refuseRead(token);
}

// ------------------------------------------------------------ writing

PIWriteDescriptor openWriteProc() {
    return host().openWriter();
}

OSErr closeWriteProc(PIWriteDescriptor writer, PIDescriptorHandle* out) {
    return host().closeWriter(writer, out);
}

// A key written twice keeps its first place and its last value.
OSErr put(PIWriteDescriptor token, const DescriptorItem& item) {
    FakeDescriptorHost::Writer* writer = host().findWriter(token);
    if (writer == nullptr) {
        return paramErr;
    }
    auto same = [&](const DescriptorItem& held) { return held.key == item.key; };
    const auto found = std::find_if(writer->items.begin(), writer->items.end(), same);
    if (found != writer->items.end()) {
        *found = item;
    } else {
        writer->items.push_back(item);
    }
    return noErr;
}

OSErr refuseWrite(PIWriteDescriptor token) {
    FakeDescriptorHost::Writer* writer = host().findWriter(token);
    return writer == nullptr ? paramErr : writer->outcome.note(paramErr);
}

OSErr putIntegerProc(PIWriteDescriptor token, DescriptorKeyID key, int32_t value) {
    return put(token, integerItem(key, value));
}

OSErr putFloatProc(PIWriteDescriptor token, DescriptorKeyID key, const double* value) {
    if (value == nullptr) {
        return refuseWrite(token);
    }
    return put(token, floatItem(key, *value));
}

OSErr putUnitFloatProc(PIWriteDescriptor token, DescriptorKeyID key, DescriptorUnitID unit,
                       const double* value) {
    if (value == nullptr) {
        return refuseWrite(token);
    }
    DescriptorItem item = floatItem(key, *value);
    item.type = typeUnitFloat;
    item.unit = unit;
    return put(token, item);
}

OSErr putBooleanProc(PIWriteDescriptor token, DescriptorKeyID key, Boolean value) {
    DescriptorItem item = integerItem(key, value != 0 ? 1 : 0);
    item.type = typeBoolean;
    return put(token, item);
}

OSErr putEnumeratedProc(PIWriteDescriptor token, DescriptorKeyID key, DescriptorTypeID enumType,
                        DescriptorEnumID value) {
    return put(token, enumItem(key, enumType, value));
}

OSErr putHandleProc(PIWriteDescriptor token, DescriptorKeyID /*key*/, Handle /*value*/) {
    return refuseWrite(token);
}

OSErr putCodeProc(PIWriteDescriptor token, DescriptorKeyID /*key*/, uint32_t /*value*/) {
    return refuseWrite(token);
}

OSErr putSimpleReferenceProc(PIWriteDescriptor token, DescriptorKeyID /*key*/,
                             const PIDescriptorSimpleReference* /*value*/) {
    return refuseWrite(token);
}

OSErr putObjectProc(PIWriteDescriptor token, DescriptorKeyID /*key*/, DescriptorTypeID /*type*/,
                    Handle /*value*/) {
    return refuseWrite(token);
}

OSErr putStringProc(PIWriteDescriptor token, DescriptorKeyID /*key*/,
                    const unsigned char* /*text*/) {
    return refuseWrite(token);
}

} // namespace

DescriptorItem integerItem(DescriptorKeyID key, int32_t value) {
    DescriptorItem item;
    item.key = key;
    item.type = typeInteger;
    item.integer = value;
    return item;
}

DescriptorItem floatItem(DescriptorKeyID key, double value) {
    DescriptorItem item;
    item.key = key;
    item.type = typeFloat;
    item.real = value;
    return item;
}

DescriptorItem enumItem(DescriptorKeyID key, DescriptorTypeID enumType, DescriptorEnumID value) {
    DescriptorItem item;
    item.key = key;
    item.type = typeEnumerated;
    item.flags = kKeyFlagEnumerated;
    item.enumType = enumType;
    item.enumValue = value;
    return item;
}

FakeDescriptorHost::FakeDescriptorHost() {
    gCurrent = this;

    handleProcs.handleProcsVersion = kCurrentHandleProcsVersion;
    handleProcs.numHandleProcs = kCurrentHandleProcsCount;
    handleProcs.newProc = newHandleProc;
    handleProcs.disposeProc = disposeHandleProc;
    handleProcs.getSizeProc = getHandleSizeProc;
    handleProcs.setSizeProc = setHandleSizeProc;
    handleProcs.lockProc = lockHandleProc;
    handleProcs.unlockProc = unlockHandleProc;
    handleProcs.recoverSpaceProc = recoverSpaceProc;
    handleProcs.disposeRegularHandleProc = disposeHandleProc;

    ReadDescriptorProcs& r = readProcs;
    r.readDescriptorProcsVersion = kCurrentReadDescriptorProcsVersion;
    r.numReadDescriptorProcs = kCurrentReadDescriptorProcsCount;
    r.openReadDescriptorProc = openReadProc;
    r.closeReadDescriptorProc = closeReadProc;
    r.getKeyProc = getKeyProc;
    r.getIntegerProc = getIntegerProc;
    r.getFloatProc = getFloatProc;
    r.getUnitFloatProc = getUnitFloatProc;
    r.getBooleanProc = getBooleanProc;
    r.getTextProc = getHandleProc;
    r.getAliasProc = getHandleProc;
    r.getEnumeratedProc = getEnumeratedProc;
    r.getClassProc = getCodeProc;
    r.getSimpleReferenceProc = getSimpleReferenceProc;
    r.getObjectProc = getObjectProc;
    r.getCountProc = getCodeProc;
    r.getStringProc = getStringProc;
    r.getPinnedIntegerProc = getPinnedIntegerProc;
    r.getPinnedFloatProc = getPinnedFloatProc;
    r.getPinnedUnitFloatProc = getPinnedUnitFloatProc;

    WriteDescriptorProcs& w = writeProcs;
    w.writeDescriptorProcsVersion = kCurrentWriteDescriptorProcsVersion;
    w.numWriteDescriptorProcs = kCurrentWriteDescriptorProcsCount;
    w.openWriteDescriptorProc = openWriteProc;
    w.closeWriteDescriptorProc = closeWriteProc;
    w.putIntegerProc = putIntegerProc;
    w.putFloatProc = putFloatProc;
    w.putUnitFloatProc = putUnitFloatProc;
    w.putBooleanProc = putBooleanProc;
    w.putTextProc = putHandleProc;
    w.putAliasProc = putHandleProc;
    w.putEnumeratedProc = putEnumeratedProc;
    w.putClassProc = putCodeProc;
    w.putSimpleReferenceProc = putSimpleReferenceProc;
    w.putObjectProc = putObjectProc;
    w.putCountProc = putCodeProc;
    w.putStringProc = putStringProc;
    w.putScopedClassProc = putCodeProc;
    w.putScopedObjectProc = putObjectProc;

    parameters.descriptorParametersVersion = kCurrentDescriptorParametersVersion;
    parameters.playInfo = plugInDialogDontDisplay;
    parameters.recordInfo = plugInDialogOptional;
    parameters.descriptor = nullptr;
    parameters.writeDescriptorProcs = &writeProcs;
    parameters.readDescriptorProcs = &readProcs;
}

FakeDescriptorHost::~FakeDescriptorHost() {
    if (gCurrent == this) {
        gCurrent = nullptr;
    }
}

void FakeDescriptorHost::attach(FilterRecord& record) {
    setDescriptorParameters(record, &parameters);
    setHandleProcs(record, &handleProcs);
}

Handle FakeDescriptorHost::makeDescriptor(const Descriptor& items) {
    auto body = std::make_unique<HandleBody>();
    body->items = items;
    handles.push_back(std::move(body));
    return &handles.back()->master;
}

const Descriptor* FakeDescriptorHost::contents(Handle handle) const {
    const HandleBody* body = findHandle(handle);
    return body == nullptr ? nullptr : &body->items;
}

FakeDescriptorHost::HandleBody* FakeDescriptorHost::findHandle(Handle handle) const {
    for (const auto& body : handles) {
        if (&body->master == handle) {
            return body.get();
        }
    }
    return nullptr;
}

Handle FakeDescriptorHost::newHandle(int32_t bytes) {
    if (bytes < 0) {
        return nullptr;
    }
    auto body = std::make_unique<HandleBody>();
    body->bytes.resize(static_cast<size_t>(bytes));
    body->master = body->bytes.data();
    handles.push_back(std::move(body));
    return &handles.back()->master;
}

void FakeDescriptorHost::disposeHandle(Handle handle) {
    if (handle == nullptr) {
        return;
    }
    const auto found = std::find_if(handles.begin(), handles.end(),
                                    [&](const auto& body) { return &body->master == handle; });
    if (found == handles.end()) {
        ++foreignDisposals;
        return;
    }
    handles.erase(found);
    ++handlesDisposed;
}

FakeDescriptorHost::Reader* FakeDescriptorHost::findReader(PIReadDescriptor token) const {
    for (const auto& reader : readers) {
        if (reinterpret_cast<PIReadDescriptor>(reader.get()) == token) {
            return reader.get();
        }
    }
    return nullptr;
}

PIReadDescriptor FakeDescriptorHost::openReader(Handle descriptor, DescriptorKeyID* keys) {
    lastKeyList.clear();
    for (const DescriptorKeyID* key = keys; key != nullptr && *key != 0; ++key) {
        lastKeyList.push_back(*key);
    }
    const HandleBody* body = findHandle(descriptor);
    if (failOpenRead || body == nullptr) {
        return nullptr;
    }
    auto reader = std::make_unique<Reader>();
    reader->items = body->items;
    reader->keys = keys;
    readers.push_back(std::move(reader));
    ++readersOpened;
    return reinterpret_cast<PIReadDescriptor>(readers.back().get());
}

OSErr FakeDescriptorHost::closeReader(PIReadDescriptor token) {
    const auto found = std::find_if(readers.begin(), readers.end(), [&](const auto& reader) {
        return reinterpret_cast<PIReadDescriptor>(reader.get()) == token;
    });
    if (found == readers.end()) {
        return paramErr;
    }
    const Reader& reader = **found;
    bool missing = false;
    for (const DescriptorKeyID* key = reader.keys; key != nullptr && *key != 0; ++key) {
        missing = missing || *key != typeNull;
    }
    OSErr result = noErr;
    if (reader.outcome.error != noErr) {
        result = reader.outcome.error;
    } else if (missing) {
        result = errMissingParameter;
    } else if (reader.outcome.coerced) {
        result = coercedParamErr;
    }
    readers.erase(found);
    ++readersClosed;
    return result;
}

FakeDescriptorHost::Writer* FakeDescriptorHost::findWriter(PIWriteDescriptor token) const {
    for (const auto& writer : writers) {
        if (reinterpret_cast<PIWriteDescriptor>(writer.get()) == token) {
            return writer.get();
        }
    }
    return nullptr;
}

PIWriteDescriptor FakeDescriptorHost::openWriter() {
    if (failOpenWrite) {
        return nullptr;
    }
    writers.push_back(std::make_unique<Writer>());
    ++writersOpened;
    return reinterpret_cast<PIWriteDescriptor>(writers.back().get());
}

OSErr FakeDescriptorHost::closeWriter(PIWriteDescriptor token, Handle* out) {
    const auto found = std::find_if(writers.begin(), writers.end(), [&](const auto& writer) {
        return reinterpret_cast<PIWriteDescriptor>(writer.get()) == token;
    });
    if (found == writers.end()) {
        return paramErr;
    }
    const OSErr result = (*found)->outcome.error;
    if (out != nullptr) {
        *out = makeDescriptor((*found)->items);
    }
    writers.erase(found);
    ++writersClosed;
    return result;
}

} // namespace lakra::testing
