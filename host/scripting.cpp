#include "host/scripting.h"

#include "blend/glueModes.h"

#include <cfloat>
#include <cmath>

namespace lakra {

namespace {

enum class Kind : uint8_t {
    Color,   // the high byte of a 16-bit channel
    Integer, // as is
    Glue,    // enumeration GLty, "GL01" .. "GL63"
    Real,    // double in the descriptor, float in Settings
};

struct Parameter {
    DescriptorKeyID key;
    Kind kind;
    uint16_t Settings::*color;
    int32_t Settings::*integer;
    float Settings::*real;
};

constexpr Parameter colorKey(const char (&key)[5], uint16_t Settings::*field) {
    return {fourCharCode(key), Kind::Color, field, nullptr, nullptr};
}

constexpr Parameter integerKey(const char (&key)[5], int32_t Settings::*field) {
    return {fourCharCode(key), Kind::Integer, nullptr, field, nullptr};
}

constexpr Parameter realKey(const char (&key)[5], float Settings::*field) {
    return {fourCharCode(key), Kind::Real, nullptr, nullptr, field};
}

// The order of the terminology, of the key list handed to the reader and of
// the values written after "Vers".
constexpr Parameter kParameters[kScriptKeyCount] = {
    colorKey("0001", &Settings::waterRed),
    colorKey("0002", &Settings::waterGreen),
    colorKey("0003", &Settings::waterBlue),
    integerKey("0004", &Settings::rippleHeight),
    integerKey("0005", &Settings::horizon),
    integerKey("0006", &Settings::perspective),
    integerKey("0007", &Settings::undulation),
    integerKey("0008", &Settings::rippleSize),
    integerKey("0009", &Settings::offset),
    integerKey("0010", &Settings::waviness),
    integerKey("0011", &Settings::blur),
    integerKey("0012", &Settings::complexity),
    integerKey("0013", &Settings::altitude),
    {kScriptKeyGlue, Kind::Glue, nullptr, &Settings::glue, nullptr},
    integerKey("0015", &Settings::brilliance),
    integerKey("0016", &Settings::randomSeed),
    realKey("0017", &Settings::xCenter),
    realKey("0018", &Settings::yCenter),
    realKey("0019", &Settings::horizonFloat),
    realKey("0020", &Settings::offsetFloat),
};

// A host that never reports the last key would otherwise hold the run
// forever; a recorded descriptor of ours carries 21 keys.
constexpr int kMaxKeysRead = 1024;

// Zero-terminated and writable: the host marks each key it returns in place.
struct KeyList {
    DescriptorKeyID keys[kScriptKeyCount + 1];
};

KeyList makeKeyList() {
    KeyList list{};
    for (int32_t i = 0; i < kScriptKeyCount; ++i) {
        list.keys[i] = kParameters[i].key;
    }
    list.keys[kScriptKeyCount] = 0;
    return list;
}

const Parameter* findParameter(DescriptorKeyID key) {
    for (const Parameter& parameter : kParameters) {
        if (parameter.key == key) {
            return &parameter;
        }
    }
    return nullptr;
}

bool readTableUsable(const ReadDescriptorProcs* procs) {
    if (procs == nullptr || procs->readDescriptorProcsVersion != 0 ||
        procs->numReadDescriptorProcs < kCurrentReadDescriptorProcsCount) {
        return false;
    }
    // Every procedure, not only those called here: a host that fills the
    // table only in part is not trusted with the rest of it either.
    return procs->openReadDescriptorProc != nullptr && procs->closeReadDescriptorProc != nullptr &&
           procs->getKeyProc != nullptr && procs->getIntegerProc != nullptr &&
           procs->getFloatProc != nullptr && procs->getUnitFloatProc != nullptr &&
           procs->getBooleanProc != nullptr && procs->getTextProc != nullptr &&
           procs->getAliasProc != nullptr && procs->getEnumeratedProc != nullptr &&
           procs->getClassProc != nullptr && procs->getSimpleReferenceProc != nullptr &&
           procs->getObjectProc != nullptr && procs->getCountProc != nullptr &&
           procs->getStringProc != nullptr && procs->getPinnedIntegerProc != nullptr &&
           procs->getPinnedFloatProc != nullptr && procs->getPinnedUnitFloatProc != nullptr;
}

bool writeTableUsable(const WriteDescriptorProcs* procs) {
    return procs != nullptr && procs->writeDescriptorProcsVersion == 0 &&
           procs->numWriteDescriptorProcs >= kCurrentWriteDescriptorProcsCount;
}

// The write table passes with null entries; these are the ones called.
bool writerComplete(const WriteDescriptorProcs& procs) {
    return procs.openWriteDescriptorProc != nullptr && procs.closeWriteDescriptorProc != nullptr &&
           procs.putIntegerProc != nullptr && procs.putFloatProc != nullptr &&
           procs.putEnumeratedProc != nullptr;
}

bool hostIgnoresDescriptors(const FilterRecord& record) {
    return record.hostSig == kHostPaintShopPro8 || record.hostSig == kHostPaintShopPro9;
}

// Only when scriptingAvailable holds. A missing descriptor means nothing was
// recorded; it is never handed to the host.
PIReadDescriptor openReader(const PIDescriptorParameters& parameters, KeyList* keyList) {
    if (parameters.descriptor == nullptr) {
        return nullptr;
    }
    return parameters.readDescriptorProcs->openReadDescriptorProc(parameters.descriptor,
                                                                  keyList->keys);
}

// The plug-in owns the descriptor handle once it has read it. A host without
// a dispose procedure keeps it; the field is cleared either way.
void disposeDescriptor(const FilterRecord& record, PIDescriptorParameters* parameters) {
    if (parameters->descriptor == nullptr) {
        return;
    }
    const HandleProcs* handleProcs = getHandleProcs(record);
    if (handleProcs != nullptr && handleProcs->numHandleProcs >= 2 &&
        handleProcs->disposeProc != nullptr) {
        handleProcs->disposeProc(parameters->descriptor);
    }
    parameters->descriptor = nullptr;
}

// Non-finite values and those beyond float's range keep the field's value:
// they would reach the renderer as infinities or not-a-number.
bool narrowToFloat(double value, float* out) {
    if (!(std::fabs(value) <= static_cast<double>(FLT_MAX))) {
        return false;
    }
    *out = static_cast<float>(value);
    return true;
}

void readParameter(const ReadDescriptorProcs& procs, PIReadDescriptor reader,
                   const Parameter& parameter, Settings* settings) {
    switch (parameter.kind) {
    case Kind::Color: {
        int32_t value = 0;
        if (procs.getIntegerProc(reader, &value) >= 0) {
            // 0..255 becomes 0..65280; larger values keep their low byte.
            const uint32_t low16 = static_cast<uint32_t>(value) & 0xFFFFu;
            settings->*parameter.color = static_cast<uint16_t>(low16 * 256u);
        }
        break;
    }
    case Kind::Integer: {
        int32_t value = settings->*parameter.integer;
        if (procs.getIntegerProc(reader, &value) >= 0) {
            settings->*parameter.integer = value;
        }
        break;
    }
    case Kind::Glue: {
        DescriptorEnumID code = 0;
        if (procs.getEnumeratedProc(reader, &code) >= 0) {
            settings->*parameter.integer = glueFromCode(code);
        }
        break;
    }
    case Kind::Real: {
        double value = static_cast<double>(settings->*parameter.real);
        float narrowed = 0.0f;
        if (procs.getFloatProc(reader, &value) >= 0 && narrowToFloat(value, &narrowed)) {
            settings->*parameter.real = narrowed;
        }
        break;
    }
    }
}

void readVersion(const ReadDescriptorProcs& procs, PIReadDescriptor reader, Settings* settings) {
    int32_t version = settings->formatVersion;
    if (procs.getIntegerProc(reader, &version) >= 0) {
        settings->formatVersion = version;
    }
}

void writeParameter(const WriteDescriptorProcs& procs, PIWriteDescriptor writer,
                    const Parameter& parameter, const Settings& settings) {
    // Failures are not checked here: the writer's close reports the worst.
    switch (parameter.kind) {
    case Kind::Color:
        procs.putIntegerProc(writer, parameter.key, settings.*parameter.color >> 8);
        break;
    case Kind::Integer:
        procs.putIntegerProc(writer, parameter.key, settings.*parameter.integer);
        break;
    case Kind::Glue:
        procs.putEnumeratedProc(writer, parameter.key, kGlueEnumType,
                                glueCode(settings.*parameter.integer));
        break;
    case Kind::Real: {
        const double value = static_cast<double>(settings.*parameter.real);
        procs.putFloatProc(writer, parameter.key, &value);
        break;
    }
    }
}

} // namespace

DescriptorKeyID scriptKey(int32_t number) {
    if (number < 1 || number > kScriptKeyCount) {
        return 0;
    }
    return kParameters[number - 1].key;
}

bool scriptingAvailable(const FilterRecord& record) {
    const PIDescriptorParameters* parameters = getDescriptorParameters(record);
    if (parameters == nullptr ||
        parameters->descriptorParametersVersion != kCurrentDescriptorParametersVersion) {
        return false;
    }
    return readTableUsable(parameters->readDescriptorProcs) &&
           writeTableUsable(parameters->writeDescriptorProcs);
}

bool descriptorPresent(const FilterRecord& record) {
    if (!scriptingAvailable(record) || hostIgnoresDescriptors(record)) {
        return false;
    }
    const PIDescriptorParameters& parameters = *getDescriptorParameters(record);
    KeyList keyList = makeKeyList();
    PIReadDescriptor reader = openReader(parameters, &keyList);
    if (reader == nullptr) {
        return false;
    }
    // Only a probe: the values are read later, from the same handle.
    static_cast<void>(parameters.readDescriptorProcs->closeReadDescriptorProc(reader));
    return true;
}

Result readScriptParameters(FilterRecord& record, Settings* settings, bool* showDialog) {
    if (hostIgnoresDescriptors(record) || !scriptingAvailable(record)) {
        return noErr;
    }
    PIDescriptorParameters* parameters = getDescriptorParameters(record);
    const ReadDescriptorProcs& procs = *parameters->readDescriptorProcs;
    Result result = noErr;

    KeyList keyList = makeKeyList();
    PIReadDescriptor reader = openReader(*parameters, &keyList);
    if (reader != nullptr) {
        // A recorded run starts from the defaults, not from the last look.
        settingsReset(settings);
        DescriptorKeyID key = 0;
        DescriptorTypeID type = 0;
        int32_t flags = 0;
        for (int keysRead = 0;
             keysRead < kMaxKeysRead && procs.getKeyProc(reader, &key, &type, &flags) != 0;
             ++keysRead) {
            if (key == kScriptKeyVersion) {
                readVersion(procs, reader, settings);
            } else if (const Parameter* parameter = findParameter(key)) {
                readParameter(procs, reader, *parameter, settings);
            }
        }
        const Result closed = procs.closeReadDescriptorProc(reader);
        // Keys the descriptor lacks keep their defaults.
        if (closed != errMissingParameter) {
            result = closed;
        }
        disposeDescriptor(record, parameters);
    }

    // Records from before the exact horizon and offset existed carry only
    // the whole percentages.
    if (settings->formatVersion < kSettingsFormatVersion) {
        settings->horizonFloat = static_cast<float>(settings->horizon);
        settings->offsetFloat = static_cast<float>(settings->offset);
    }
    *showDialog = parameters->playInfo == plugInDialogDisplay;
    return result;
}

Result writeScriptParameters(FilterRecord& record, Settings* settings) {
    if (!scriptingAvailable(record)) {
        return noErr;
    }
    PIDescriptorParameters* parameters = getDescriptorParameters(record);
    const WriteDescriptorProcs& procs = *parameters->writeDescriptorProcs;
    if (!writerComplete(procs)) {
        return noErr;
    }
    PIWriteDescriptor writer = procs.openWriteDescriptorProc();
    if (writer == nullptr) {
        return noErr;
    }
    settings->formatVersion = kSettingsFormatVersion;
    procs.putIntegerProc(writer, kScriptKeyVersion, kSettingsFormatVersion);
    for (const Parameter& parameter : kParameters) {
        writeParameter(procs, writer, parameter, *settings);
    }

    disposeDescriptor(record, parameters);
    PIDescriptorHandle written = nullptr;
    const Result result = procs.closeWriteDescriptorProc(writer, &written);
    parameters->descriptor = written;
    parameters->recordInfo = plugInDialogOptional;
    return result;
}

} // namespace lakra
