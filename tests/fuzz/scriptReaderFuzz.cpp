// The plug-in's reading of recorded scripting values against hostile
// descriptors, served by the command-line host's descriptor procedures. The
// bytes become a descriptor (keys, types, values); the plug-in reads it into a
// look, which must hold no value the renderer cannot take and must survive a
// write and a second read unchanged. fuzzDriver.h tells how the target runs
// under libFuzzer and in ctest.

#include "apps/lakra/protocolDescriptors.h"
#include "apps/lakra/protocolHost.h"
#include "fuzzDriver.h"
#include "host/abi.h"
#include "host/scripting.h"
#include "render/settings.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

namespace {

using namespace lakra;

// Takes the input front to back; past the end every read gives zeros.
struct Input {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;

    [[nodiscard]] bool more() const { return at < size; }

    uint8_t byte() { return at < size ? data[at++] : 0; }

    uint32_t word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            value = value << 8 | byte();
        }
        return value;
    }

    double number() {
        const uint64_t high = word();
        const uint64_t bits = high << 32 | word();
        double value = 0.0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
};

// The plug-in's own keys, so that most values land on one of them.
DescriptorKeyID pickKey(Input* in) {
    const uint8_t choice = in->byte();
    if (choice >= 0xF0) {
        return in->word(); // any key at all
    }
    const int32_t pick = choice % (kLookFieldCount + 2);
    if (pick == kLookFieldCount) {
        return kScriptKeyVersion;
    }
    if (pick == kLookFieldCount + 1) {
        return 0;
    }
    return lookKey(lookFields()[pick]);
}

DescriptorValue pickValue(Input* in) {
    static constexpr DescriptorTypeID kTypes[] = {typeInteger, typeFloat,      typeUnitFloat,
                                                  typeBoolean, typeEnumerated, typeClass,
                                                  typeChar,    typeNull};
    DescriptorValue value;
    value.key = pickKey(in);
    value.type = kTypes[in->byte() % std::size(kTypes)];
    if (value.type == typeInteger || value.type == typeBoolean) {
        value.integer = static_cast<int32_t>(in->word());
    } else if (value.type == typeFloat || value.type == typeUnitFloat) {
        value.unit = in->word();
        value.number = in->number();
    } else if (value.type == typeEnumerated || value.type == typeClass) {
        value.enumType = in->word();
        value.enumValue = in->word();
    } else {
        for (uint8_t length = in->byte(); length > 0; --length) {
            value.text.push_back(static_cast<char>(in->byte()));
        }
    }
    return value;
}

using fuzz::fail;

bool finite(float value) {
    return std::isfinite(value);
}

// What the renderer and the dialog rely on after a recorded run: a blend mode
// or none, finite positions, and the whole percentages of older records.
void checkLook(const Settings& s) {
    if (s.glue < 0 || s.glue > kGlueCount) {
        fail("a blend mode outside the catalogue");
    }
    if (!finite(s.xCenter) || !finite(s.yCenter) || !finite(s.horizonFloat) ||
        !finite(s.offsetFloat)) {
        fail("a position that is not a finite number");
    }
    if (s.formatVersion < kSettingsFormatVersion &&
        (s.horizonFloat != static_cast<float>(s.horizon) ||
         s.offsetFloat != static_cast<float>(s.offset))) {
        fail("an older record without its whole percentages");
    }
}

// The look runs from the first field up to the view state.
bool sameLook(const Settings& a, const Settings& b) {
    return std::memcmp(&a, &b, offsetof(Settings, renderTarget)) == 0;
}

} // namespace

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer names the entry
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size, 0};
    // The command-line host plays the descriptor as a recorded action.
    HostRunOptions options;
    options.playInfo = static_cast<int16_t>(in.byte() % 4);
    Descriptor descriptor;
    while (in.more() && descriptor.size() < 256) {
        descriptor.push_back(pickValue(&in));
    }
    options.look = &descriptor;
    uint8_t pixel = 0;
    HostRun* run = nullptr;
    if (hostRunCreate(&run, HostPixels{1, 1, 1, false, 8, &pixel}, nullptr, options) != noErr) {
        fail("no host run");
    }
    FilterRecord& record = *hostRunRecord(run);
    record.hostSig = kHostPhotoshop;

    Settings first{};
    settingsFresh(&first);
    bool showDialog = false;
    (void)readScriptParameters(record, &first, &showDialog);
    checkLook(first);
    if (getDescriptorParameters(record)->descriptor != nullptr) {
        fail("the descriptor was not consumed");
    }

    // What the plug-in records of that look reads back as the same look, the
    // whole water colour included.
    Settings recorded = first;
    (void)writeScriptParameters(record, &recorded);
    Settings second{};
    settingsFresh(&second);
    (void)readScriptParameters(record, &second, &showDialog);
    if (!sameLook(recorded, second)) {
        fail("a recorded look reads back differently");
    }
    if (descriptorOpenCount() != 0 || hostHandleCount() != 0) {
        fail("a reader, writer or handle was left open");
    }
    hostRunDestroy(run);
    return 0;
}

#ifndef LAKRA_LIBFUZZER

namespace {

using lakra::fuzz::Bytes;

void putWord(Bytes* bytes, uint64_t value, int byteCount = 4) {
    for (int shift = 8 * byteCount - 8; shift >= 0; shift -= 8) {
        bytes->push_back(static_cast<uint8_t>(value >> shift));
    }
}

// Inputs that make the descriptors a recording of ours holds: the version,
// then every look key with the type scripting carries it in, and the same
// with an older version.
std::vector<Bytes> seeds() {
    std::vector<Bytes> all;
    for (const uint32_t version : {static_cast<uint32_t>(kSettingsFormatVersion), 40u}) {
        Bytes bytes{1, kLookFieldCount, 0}; // a play mode, then the version as an integer
        putWord(&bytes, version);
        for (uint8_t pick = 0; pick < kLookFieldCount; ++pick) {
            bytes.push_back(pick);
            const ScriptKind kind = lookFields()[pick].script;
            if (kind == ScriptKind::Glue) {
                bytes.push_back(4); // enumerated
                putWord(&bytes, fourCharCode("GLty"));
                putWord(&bytes, fourCharCode("GL42"));
            } else if (kind == ScriptKind::Real) {
                bytes.push_back(1); // float, without a unit
                putWord(&bytes, 0);
                const double number = 12.5 + pick;
                uint64_t bits = 0;
                std::memcpy(&bits, &number, sizeof bits);
                putWord(&bytes, bits, 8);
            } else {
                bytes.push_back(0); // integer
                putWord(&bytes, 30u + pick);
            }
        }
        all.push_back(bytes);
    }
    return all;
}

} // namespace

int main(int argc, char** argv) {
    return lakra::fuzz::fuzzStandaloneMain(argc, argv, {"descriptors", ".bin", seeds});
}

#endif
