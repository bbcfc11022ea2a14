#include "host/scripting.h"

#include "blend/glueModes.h"

#include <cfloat>
#include <cmath>

namespace lakra {

namespace {

// A host that never reports the last key would otherwise hold the run
// forever; a recorded descriptor of ours carries 24 keys.
constexpr int kMaxKeysRead = 1024;

// Zero-terminated and writable: the host marks each key it returns in place.
struct KeyList {
    DescriptorKeyID keys[kLookFieldCount + 1];
};

KeyList makeKeyList() {
    KeyList list{};
    for (int32_t i = 0; i < kLookFieldCount; ++i) {
        list.keys[i] = lookKey(lookFields()[i]);
    }
    list.keys[kLookFieldCount] = 0;
    return list;
}

// The exact water colour read so far, per channel, and which channels the
// 8-bit keys carried.
struct ColorRead {
    bool highByteRead[3] = {};
    bool exactRead[3] = {};
    uint16_t exact[3] = {};
};

int32_t colorChannel(const LookField& field) {
    if (field.color == &Settings::waterRed) {
        return 0;
    }
    return field.color == &Settings::waterGreen ? 1 : 2;
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
                   const LookField& field, Settings* settings, ColorRead* colorRead) {
    switch (field.script) {
    case ScriptKind::Color: {
        int32_t value = 0;
        if (procs.getIntegerProc(reader, &value) >= 0) {
            // 0..255 becomes 0..65280; larger values keep their low byte.
            const uint32_t low16 = static_cast<uint32_t>(value) & 0xFFFFu;
            settings->*field.color = static_cast<uint16_t>(low16 * 256u);
            colorRead->highByteRead[colorChannel(field)] = true;
        }
        break;
    }
    case ScriptKind::ExactColor: {
        int32_t value = 0;
        if (procs.getIntegerProc(reader, &value) >= 0 && value >= 0 && value <= 0xFFFF) {
            const int32_t channel = colorChannel(field);
            colorRead->exactRead[channel] = true;
            colorRead->exact[channel] = static_cast<uint16_t>(value);
        }
        break;
    }
    case ScriptKind::Integer: {
        int32_t value = settings->*field.integer;
        if (procs.getIntegerProc(reader, &value) >= 0) {
            settings->*field.integer = value;
        }
        break;
    }
    case ScriptKind::Glue: {
        DescriptorEnumID code = 0;
        if (procs.getEnumeratedProc(reader, &code) >= 0) {
            settings->*field.integer = glueFromCode(code);
        }
        break;
    }
    case ScriptKind::Real: {
        double value = static_cast<double>(settings->*field.real);
        float narrowed = 0.0f;
        if (procs.getFloatProc(reader, &value) >= 0 && narrowToFloat(value, &narrowed)) {
            settings->*field.real = narrowed;
        }
        break;
    }
    }
}

// The exact channel counts only where it agrees with the 8-bit one beside
// it, or stands alone: a script that changes "0001" and leaves the exact
// key as it was gets the colour it asked for.
void applyExactColor(const ColorRead& colorRead, Settings* settings) {
    uint16_t* const channels[3] = {&settings->waterRed, &settings->waterGreen,
                                   &settings->waterBlue};
    for (int32_t c = 0; c < 3; ++c) {
        const bool agrees =
            !colorRead.highByteRead[c] || (*channels[c] >> 8) == (colorRead.exact[c] >> 8);
        if (colorRead.exactRead[c] && agrees) {
            *channels[c] = colorRead.exact[c];
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
                    const LookField& field, const Settings& settings) {
    // Failures are not checked here: the writer's close reports the worst.
    const DescriptorKeyID key = lookKey(field);
    switch (field.script) {
    case ScriptKind::Color:
        procs.putIntegerProc(writer, key, settings.*field.color >> 8);
        break;
    case ScriptKind::ExactColor:
        procs.putIntegerProc(writer, key, settings.*field.color);
        break;
    case ScriptKind::Integer:
        procs.putIntegerProc(writer, key, settings.*field.integer);
        break;
    case ScriptKind::Glue:
        procs.putEnumeratedProc(writer, key, kGlueEnumType, glueCode(settings.*field.integer));
        break;
    case ScriptKind::Real: {
        const double value = static_cast<double>(settings.*field.real);
        procs.putFloatProc(writer, key, &value);
        break;
    }
    }
}

} // namespace

DescriptorKeyID scriptKey(int32_t number) {
    if (number < 1 || number > kScriptKeyCount) {
        return 0;
    }
    return lookKey(lookFields()[number - 1]);
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
        ColorRead colorRead;
        DescriptorKeyID key = 0;
        DescriptorTypeID type = 0;
        int32_t flags = 0;
        for (int keysRead = 0;
             keysRead < kMaxKeysRead && procs.getKeyProc(reader, &key, &type, &flags) != 0;
             ++keysRead) {
            if (key == kScriptKeyVersion) {
                readVersion(procs, reader, settings);
            } else if (const LookField* field = lookFieldOfKey(key)) {
                readParameter(procs, reader, *field, settings, &colorRead);
            }
        }
        applyExactColor(colorRead, settings);
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
    for (int32_t i = 0; i < kLookFieldCount; ++i) {
        writeParameter(procs, writer, lookFields()[i], *settings);
    }

    disposeDescriptor(record, parameters);
    PIDescriptorHandle written = nullptr;
    const Result result = procs.closeWriteDescriptorProc(writer, &written);
    parameters->descriptor = written;
    parameters->recordInfo = plugInDialogOptional;
    return result;
}

} // namespace lakra
