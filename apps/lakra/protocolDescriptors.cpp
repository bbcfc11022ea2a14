// The descriptor read and write procedures behave as a large host's do:
//
// - Numbers coerce among themselves. An integer read as a float, or a float
//   read as an integer (truncated toward zero), is served with
//   coercedParamErr; a float and a unit float read as each other are the same
//   value (a plain float reads with the unit "#Nne"). A float that no 32-bit
//   integer holds (beyond the range, infinite, not a number) is refused.
// - Nothing else coerces: a boolean, enumeration, class or text read as
//   another type is refused with paramErr, and a boolean is not an integer.
// - The pinned reads clamp a value outside [min, max] to the nearer end and
//   answer coercedParamErr; a missing bound, or min above max for integers,
//   pins nothing.
// - Text is kept: typeChar values read back through getText (a new handle the
//   plug-in disposes of) and getString (cut to 255 bytes).
// - Aliases, references, objects and counts are beyond this host: their reads
//   are refused with paramErr, their writes with errPlugInHostInsufficient.
// - A reader's close answers the most serious outcome of its reads: the first
//   error, else errMissingParameter when a key of the plug-in's list never
//   came, else coercedParamErr when a value was coerced, else noErr. A
//   writer's close answers the first error of its puts, and still hands back
//   what was written.
// - Reading before the first getKey is refused with paramErr.

#include "apps/lakra/protocolDescriptors.h"

#include "apps/lakra/protocolHost.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace lakra {

namespace {

// Bytes of a descriptor handle: the tag, the count, then each value as its key,
// its type and the type's payload, all in the machine's own byte order. Only
// this host reads them back.
constexpr uint32_t kDescriptorTag = fourCharCode("LKDS");
constexpr DescriptorUnitID kUnitNone = fourCharCode("#Nne");

struct ReaderBody {
    Descriptor values;
    size_t next = 0;
    const DescriptorValue* current = nullptr; // what the last getKey returned
    DescriptorKeyID* keys = nullptr;          // the plug-in's key list, marked as keys come
    Result worst = noErr;                     // the first error
    bool coerced = false;
};

struct WriterBody {
    Descriptor values;
    Result worst = noErr;
};

std::vector<ReaderBody*> gReaders;
std::vector<WriterBody*> gWriters;

ReaderBody* findReader(PIReadDescriptor reader) {
    const auto it =
        std::find(gReaders.begin(), gReaders.end(), reinterpret_cast<ReaderBody*>(reader));
    return it == gReaders.end() ? nullptr : *it;
}

WriterBody* findWriter(PIWriteDescriptor writer) {
    const auto it =
        std::find(gWriters.begin(), gWriters.end(), reinterpret_cast<WriterBody*>(writer));
    return it == gWriters.end() ? nullptr : *it;
}

bool storable(DescriptorTypeID type) {
    return type == typeInteger || type == typeBoolean || type == typeFloat ||
           type == typeUnitFloat || type == typeEnumerated || type == typeClass || type == typeChar;
}

void appendBytes(std::vector<char>* bytes, const void* data, size_t size) {
    const auto* from = static_cast<const char*>(data);
    bytes->insert(bytes->end(), from, from + size);
}

template <typename T>
void appendPlain(std::vector<char>* bytes, T value) {
    appendBytes(bytes, &value, sizeof(T));
}

struct ByteReader {
    const char* data;
    size_t size;
    size_t at = 0;

    template <typename T>
    bool take(T* value) {
        if (size - at < sizeof(T)) {
            return false;
        }
        std::memcpy(value, data + at, sizeof(T));
        at += sizeof(T);
        return true;
    }
};

// What a read met, kept for the close.
Result noteRead(ReaderBody* reader, Result result) {
    if (result < 0 && reader->worst == noErr) {
        reader->worst = result;
    }
    reader->coerced = reader->coerced || result == coercedParamErr;
    return result;
}

// The value the plug-in last asked the key of, or null (reported as paramErr).
ReaderBody* currentOf(PIReadDescriptor reader) {
    ReaderBody* body = findReader(reader);
    if (body != nullptr && body->current == nullptr) {
        noteRead(body, paramErr);
        return nullptr;
    }
    return body;
}

Result readNumber(ReaderBody* body, double* value) {
    const DescriptorValue& v = *body->current;
    if (v.type == typeFloat || v.type == typeUnitFloat) {
        *value = v.number;
        return noErr;
    }
    if (v.type == typeInteger) {
        *value = v.integer;
        return noteRead(body, coercedParamErr);
    }
    return noteRead(body, paramErr);
}

Result readInteger(ReaderBody* body, int32_t* value) {
    const DescriptorValue& v = *body->current;
    if (v.type == typeInteger) {
        *value = v.integer;
        return noErr;
    }
    // The comparisons are false for not-a-number.
    if ((v.type == typeFloat || v.type == typeUnitFloat) && v.number > -2147483649.0 &&
        v.number < 2147483648.0) {
        *value = static_cast<int32_t>(v.number);
        return noteRead(body, coercedParamErr);
    }
    return noteRead(body, paramErr);
}

// ------------------------------------------------------------- read procedures

PIReadDescriptor openRead(PIDescriptorHandle descriptor, DescriptorKeyID* keys) noexcept {
    if (!hostDescriptorOpenAllowed()) {
        return nullptr;
    }
    auto* body = new (std::nothrow) ReaderBody;
    if (body == nullptr) {
        return nullptr;
    }
    if (!descriptorFromHandle(descriptor, &body->values)) {
        delete body;
        return nullptr;
    }
    body->keys = keys;
    gReaders.push_back(body);
    return reinterpret_cast<PIReadDescriptor>(body);
}

OSErr closeRead(PIReadDescriptor reader) noexcept {
    ReaderBody* body = findReader(reader);
    if (body == nullptr) {
        return paramErr;
    }
    ++hostCounters().descriptorCloses;
    Result result = body->worst;
    for (DescriptorKeyID* key = body->keys; result == noErr && key != nullptr && *key != 0; ++key) {
        if (*key != typeNull) {
            result = errMissingParameter;
        }
    }
    if (result == noErr && body->coerced) {
        result = coercedParamErr;
    }
    gReaders.erase(std::find(gReaders.begin(), gReaders.end(), body));
    delete body;
    return result;
}

Boolean getKey(PIReadDescriptor reader, DescriptorKeyID* key, DescriptorTypeID* type,
               int32_t* flags) noexcept {
    ReaderBody* body = findReader(reader);
    if (body == nullptr || body->next >= body->values.size()) {
        return 0;
    }
    const DescriptorValue& value = body->values[body->next++];
    body->current = &value;
    if (key != nullptr) {
        *key = value.key;
    }
    if (type != nullptr) {
        *type = value.type;
    }
    if (flags != nullptr) {
        *flags = kKeyFlagOptional | (value.type == typeEnumerated ? kKeyFlagEnumerated : 0);
    }
    // Marked with typeNull rather than 0, so the list keeps its terminator.
    for (DescriptorKeyID* k = body->keys; k != nullptr && *k != 0; ++k) {
        if (*k == value.key) {
            *k = typeNull;
            break;
        }
    }
    return 1;
}

OSErr getInteger(PIReadDescriptor reader, int32_t* value) noexcept {
    ReaderBody* body = currentOf(reader);
    if (body == nullptr || value == nullptr) {
        return paramErr;
    }
    return readInteger(body, value);
}

OSErr getFloat(PIReadDescriptor reader, double* value) noexcept {
    ReaderBody* body = currentOf(reader);
    if (body == nullptr || value == nullptr) {
        return paramErr;
    }
    return readNumber(body, value);
}

OSErr getUnitFloat(PIReadDescriptor reader, DescriptorUnitID* unit, double* value) noexcept {
    ReaderBody* body = currentOf(reader);
    if (body == nullptr || value == nullptr) {
        return paramErr;
    }
    if (unit != nullptr) {
        *unit = body->current->type == typeUnitFloat ? body->current->unit : kUnitNone;
    }
    return readNumber(body, value);
}

OSErr getBoolean(PIReadDescriptor reader, Boolean* value) noexcept {
    ReaderBody* body = currentOf(reader);
    if (body == nullptr || value == nullptr) {
        return paramErr;
    }
    if (body->current->type != typeBoolean) {
        return noteRead(body, paramErr);
    }
    *value = body->current->integer != 0 ? 1 : 0;
    return noErr;
}

OSErr getText(PIReadDescriptor reader, Handle* value) noexcept {
    ReaderBody* body = currentOf(reader);
    if (body == nullptr || value == nullptr) {
        return paramErr;
    }
    if (body->current->type != typeChar) {
        return noteRead(body, paramErr);
    }
    const std::string& text = body->current->text;
    Handle handle = hostHandleNew(static_cast<int32_t>(text.size()));
    if (handle == nullptr) {
        return noteRead(body, memFullErr);
    }
    if (!text.empty()) {
        std::memcpy(*handle, text.data(), text.size());
    }
    *value = handle;
    return noErr;
}

// Aliases, references, objects and lists are never stored by this host.
OSErr getUnsupported(PIReadDescriptor reader) {
    ReaderBody* body = currentOf(reader);
    return body == nullptr ? paramErr : noteRead(body, paramErr);
}

OSErr getAlias(PIReadDescriptor reader, Handle* /*value*/) noexcept {
    return getUnsupported(reader);
}

OSErr getSimpleReference(PIReadDescriptor reader, PIDescriptorSimpleReference* /*v*/) noexcept {
    return getUnsupported(reader);
}

OSErr getObject(PIReadDescriptor reader, DescriptorTypeID* /*type*/, Handle* /*value*/) noexcept {
    return getUnsupported(reader);
}

OSErr getCount(PIReadDescriptor reader, uint32_t* /*value*/) noexcept {
    return getUnsupported(reader);
}

OSErr getEnumerated(PIReadDescriptor reader, DescriptorEnumID* value) noexcept {
    ReaderBody* body = currentOf(reader);
    if (body == nullptr || value == nullptr) {
        return paramErr;
    }
    if (body->current->type != typeEnumerated) {
        return noteRead(body, paramErr);
    }
    *value = body->current->enumValue;
    return noErr;
}

OSErr getClass(PIReadDescriptor reader, DescriptorTypeID* value) noexcept {
    ReaderBody* body = currentOf(reader);
    if (body == nullptr || value == nullptr) {
        return paramErr;
    }
    if (body->current->type != typeClass) {
        return noteRead(body, paramErr);
    }
    *value = body->current->enumValue;
    return noErr;
}

OSErr getString(PIReadDescriptor reader, Str255* value) noexcept {
    ReaderBody* body = currentOf(reader);
    if (body == nullptr || value == nullptr) {
        return paramErr;
    }
    if (body->current->type != typeChar) {
        return noteRead(body, paramErr);
    }
    const std::string& text = body->current->text;
    const size_t length = std::min<size_t>(text.size(), 255);
    (*value)[0] = static_cast<unsigned char>(length);
    std::memcpy(*value + 1, text.data(), length);
    return noErr;
}

OSErr getPinnedInteger(PIReadDescriptor reader, int32_t min, int32_t max, int32_t* value) noexcept {
    ReaderBody* body = currentOf(reader);
    if (body == nullptr || value == nullptr) {
        return paramErr;
    }
    int32_t read = 0;
    Result result = readInteger(body, &read);
    if (result < 0) {
        return result;
    }
    if (min <= max && (read < min || read > max)) {
        read = std::clamp(read, min, max);
        result = noteRead(body, coercedParamErr);
    }
    *value = read;
    return result;
}

Result pinNumber(ReaderBody* body, const double* min, const double* max, double* value) {
    Result result = noErr;
    if (min != nullptr && *value < *min) {
        *value = *min;
        result = coercedParamErr;
    }
    if (max != nullptr && *value > *max) {
        *value = *max;
        result = coercedParamErr;
    }
    return noteRead(body, result);
}

OSErr getPinnedFloat(PIReadDescriptor reader, const double* min, const double* max,
                     double* value) noexcept {
    const OSErr read = getFloat(reader, value);
    if (read < 0) {
        return read;
    }
    const Result pinned = pinNumber(findReader(reader), min, max, value);
    return pinned != noErr ? pinned : read;
}

OSErr getPinnedUnitFloat(PIReadDescriptor reader, const double* min, const double* max,
                         DescriptorUnitID* unit, double* value) noexcept {
    const OSErr read = getUnitFloat(reader, unit, value);
    if (read < 0) {
        return read;
    }
    const Result pinned = pinNumber(findReader(reader), min, max, value);
    return pinned != noErr ? pinned : read;
}

// ------------------------------------------------------------ write procedures

PIWriteDescriptor openWrite() noexcept {
    if (!hostDescriptorOpenAllowed()) {
        return nullptr;
    }
    auto* body = new (std::nothrow) WriterBody;
    if (body == nullptr) {
        return nullptr;
    }
    gWriters.push_back(body);
    return reinterpret_cast<PIWriteDescriptor>(body);
}

OSErr closeWrite(PIWriteDescriptor writer, PIDescriptorHandle* out) noexcept {
    WriterBody* body = findWriter(writer);
    if (body == nullptr) {
        return paramErr;
    }
    ++hostCounters().descriptorCloses;
    const Result worst = body->worst;
    Handle handle = descriptorToHandle(body->values);
    gWriters.erase(std::find(gWriters.begin(), gWriters.end(), body));
    delete body;
    if (handle == nullptr) {
        return memFullErr;
    }
    if (out == nullptr) {
        hostHandleDispose(handle);
        return paramErr;
    }
    *out = handle;
    return worst;
}

// A refused put, kept for the writer's close.
OSErr refusePut(PIWriteDescriptor writer, Result result) {
    WriterBody* body = findWriter(writer);
    if (body == nullptr) {
        return paramErr;
    }
    if (body->worst == noErr) {
        body->worst = result;
    }
    return result;
}

// A key written twice keeps its first place and its last value.
OSErr put(PIWriteDescriptor writer, DescriptorValue value) {
    WriterBody* body = findWriter(writer);
    if (body == nullptr) {
        return paramErr;
    }
    for (DescriptorValue& existing : body->values) {
        if (existing.key == value.key) {
            existing = std::move(value);
            return noErr;
        }
    }
    body->values.push_back(std::move(value));
    return noErr;
}

OSErr putInteger(PIWriteDescriptor writer, DescriptorKeyID key, int32_t value) noexcept {
    return put(writer, integerValue(key, value));
}

OSErr putFloat(PIWriteDescriptor writer, DescriptorKeyID key, const double* value) noexcept {
    return value == nullptr ? refusePut(writer, paramErr) : put(writer, floatValue(key, *value));
}

OSErr putUnitFloat(PIWriteDescriptor writer, DescriptorKeyID key, DescriptorUnitID unit,
                   const double* value) noexcept {
    if (value == nullptr) {
        return refusePut(writer, paramErr);
    }
    DescriptorValue v = floatValue(key, *value);
    v.type = typeUnitFloat;
    v.unit = unit;
    return put(writer, std::move(v));
}

OSErr putBoolean(PIWriteDescriptor writer, DescriptorKeyID key, Boolean value) noexcept {
    DescriptorValue v = integerValue(key, value != 0 ? 1 : 0);
    v.type = typeBoolean;
    return put(writer, std::move(v));
}

OSErr putTextBytes(PIWriteDescriptor writer, DescriptorKeyID key, const char* text, size_t length) {
    DescriptorValue v;
    v.key = key;
    v.type = typeChar;
    v.text.assign(text, length);
    return put(writer, std::move(v));
}

OSErr putText(PIWriteDescriptor writer, DescriptorKeyID key, Handle value) noexcept {
    const char* bytes = hostHandleBytes(value);
    const int32_t size = hostHandleSize(value);
    if (bytes == nullptr || size < 0) {
        return refusePut(writer, paramErr);
    }
    return putTextBytes(writer, key, bytes, static_cast<size_t>(size));
}

OSErr putEnumerated(PIWriteDescriptor writer, DescriptorKeyID key, DescriptorTypeID type,
                    DescriptorEnumID value) noexcept {
    return put(writer, enumValue(key, type, value));
}

OSErr putClass(PIWriteDescriptor writer, DescriptorKeyID key, DescriptorTypeID type) noexcept {
    DescriptorValue v;
    v.key = key;
    v.type = typeClass;
    v.enumValue = type;
    return put(writer, std::move(v));
}

OSErr putString(PIWriteDescriptor writer, DescriptorKeyID key,
                const unsigned char* pascal) noexcept {
    if (pascal == nullptr) {
        return refusePut(writer, paramErr);
    }
    return putTextBytes(writer, key, reinterpret_cast<const char*>(pascal + 1), pascal[0]);
}

// Aliases, references, objects and lists are beyond this host.
OSErr putAlias(PIWriteDescriptor writer, DescriptorKeyID /*key*/, Handle /*value*/) noexcept {
    return refusePut(writer, errPlugInHostInsufficient);
}

OSErr putSimpleReference(PIWriteDescriptor writer, DescriptorKeyID /*key*/,
                         const PIDescriptorSimpleReference* /*value*/) noexcept {
    return refusePut(writer, errPlugInHostInsufficient);
}

OSErr putObject(PIWriteDescriptor writer, DescriptorKeyID /*key*/, DescriptorTypeID /*type*/,
                Handle /*value*/) noexcept {
    return refusePut(writer, errPlugInHostInsufficient);
}

OSErr putCount(PIWriteDescriptor writer, DescriptorKeyID /*key*/, uint32_t /*c*/) noexcept {
    return refusePut(writer, errPlugInHostInsufficient);
}

OSErr putScopedClass(PIWriteDescriptor writer, DescriptorKeyID /*key*/,
                     DescriptorTypeID /*type*/) noexcept {
    return refusePut(writer, errPlugInHostInsufficient);
}

OSErr putScopedObject(PIWriteDescriptor writer, DescriptorKeyID /*key*/, DescriptorTypeID /*type*/,
                      Handle /*value*/) noexcept {
    return refusePut(writer, errPlugInHostInsufficient);
}

} // namespace

DescriptorValue integerValue(DescriptorKeyID key, int32_t value) {
    DescriptorValue v;
    v.key = key;
    v.type = typeInteger;
    v.integer = value;
    return v;
}

DescriptorValue floatValue(DescriptorKeyID key, double value) {
    DescriptorValue v;
    v.key = key;
    v.type = typeFloat;
    v.number = value;
    return v;
}

DescriptorValue enumValue(DescriptorKeyID key, DescriptorTypeID type, DescriptorEnumID value) {
    DescriptorValue v;
    v.key = key;
    v.type = typeEnumerated;
    v.enumType = type;
    v.enumValue = value;
    return v;
}

void descriptorProcsFill(ReadDescriptorProcs* read, WriteDescriptorProcs* write) {
    // clang-format off
    *read = ReadDescriptorProcs{
        kCurrentReadDescriptorProcsVersion, kCurrentReadDescriptorProcsCount,
        openRead, closeRead, getKey, getInteger, getFloat, getUnitFloat, getBoolean, getText,
        getAlias, getEnumerated, getClass, getSimpleReference, getObject, getCount, getString,
        getPinnedInteger, getPinnedFloat, getPinnedUnitFloat};
    *write = WriteDescriptorProcs{
        kCurrentWriteDescriptorProcsVersion, kCurrentWriteDescriptorProcsCount,
        openWrite, closeWrite, putInteger, putFloat, putUnitFloat, putBoolean, putText, putAlias,
        putEnumerated, putClass, putSimpleReference, putObject, putCount, putString,
        putScopedClass, putScopedObject};
    // clang-format on
}

Handle descriptorToHandle(const Descriptor& descriptor) {
    std::vector<char> bytes;
    appendPlain(&bytes, kDescriptorTag);
    uint32_t count = 0;
    for (const DescriptorValue& v : descriptor) {
        count += storable(v.type) ? 1 : 0;
    }
    appendPlain(&bytes, count);
    for (const DescriptorValue& v : descriptor) {
        if (!storable(v.type)) {
            continue;
        }
        appendPlain(&bytes, v.key);
        appendPlain(&bytes, v.type);
        if (v.type == typeInteger || v.type == typeBoolean) {
            appendPlain(&bytes, v.integer);
        } else if (v.type == typeFloat) {
            appendPlain(&bytes, v.number);
        } else if (v.type == typeUnitFloat) {
            appendPlain(&bytes, v.unit);
            appendPlain(&bytes, v.number);
        } else if (v.type == typeEnumerated) {
            appendPlain(&bytes, v.enumType);
            appendPlain(&bytes, v.enumValue);
        } else if (v.type == typeClass) {
            appendPlain(&bytes, v.enumValue);
        } else {
            appendPlain(&bytes, static_cast<uint32_t>(v.text.size()));
            appendBytes(&bytes, v.text.data(), v.text.size());
        }
    }
    Handle handle = hostHandleNew(static_cast<int32_t>(bytes.size()));
    if (handle != nullptr) {
        std::memcpy(*handle, bytes.data(), bytes.size());
    }
    return handle;
}

bool descriptorFromHandle(Handle handle, Descriptor* descriptor) {
    const char* data = hostHandleBytes(handle);
    const int32_t size = hostHandleSize(handle);
    if (data == nullptr || size < 0) {
        return false;
    }
    ByteReader in{data, static_cast<size_t>(size)};
    uint32_t tag = 0;
    uint32_t count = 0;
    if (!in.take(&tag) || tag != kDescriptorTag || !in.take(&count)) {
        return false;
    }
    Descriptor values;
    for (uint32_t i = 0; i < count; ++i) {
        DescriptorValue v;
        if (!in.take(&v.key) || !in.take(&v.type)) {
            return false;
        }
        bool ok = true;
        if (v.type == typeInteger || v.type == typeBoolean) {
            ok = in.take(&v.integer);
        } else if (v.type == typeFloat) {
            ok = in.take(&v.number);
        } else if (v.type == typeUnitFloat) {
            ok = in.take(&v.unit) && in.take(&v.number);
        } else if (v.type == typeEnumerated) {
            ok = in.take(&v.enumType) && in.take(&v.enumValue);
        } else if (v.type == typeClass) {
            ok = in.take(&v.enumValue);
        } else if (v.type == typeChar) {
            uint32_t length = 0;
            ok = in.take(&length) && length <= in.size - in.at;
            if (ok) {
                v.text.assign(in.data + in.at, length);
                in.at += length;
            }
        } else {
            ok = false;
        }
        if (!ok) {
            return false;
        }
        values.push_back(std::move(v));
    }
    *descriptor = std::move(values);
    return true;
}

int descriptorOpenCount() {
    return static_cast<int>(gReaders.size() + gWriters.size());
}

void descriptorReleaseAll() {
    for (ReaderBody* reader : gReaders) {
        delete reader;
    }
    for (WriterBody* writer : gWriters) {
        delete writer;
    }
    gReaders.clear();
    gWriters.clear();
}

} // namespace lakra
