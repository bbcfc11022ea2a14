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
using fuzz::fail;

// Takes the input front to back, big-endian; past the end every byte is zero.
struct Input {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;

    uint64_t take(int bytes) {
        uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) {
            value = value << 8 | (at < size ? data[at++] : 0);
        }
        return value;
    }
};

// One value, mostly under one of the plug-in's own keys: a key pick (the look
// keys, the version, 0, or from 0xF0 any key), a type pick, then its payload.
DescriptorValue pickValue(Input* in) {
    static constexpr DescriptorTypeID kTypes[] = {typeInteger, typeFloat,      typeUnitFloat,
                                                  typeBoolean, typeEnumerated, typeClass,
                                                  typeChar,    typeNull};
    DescriptorValue value;
    const auto pick = static_cast<int32_t>(in->take(1));
    const int32_t field = pick % (kLookFieldCount + 2);
    if (pick >= 0xF0) {
        value.key = static_cast<uint32_t>(in->take(4));
    } else {
        value.key = field < kLookFieldCount    ? lookKey(lookFields()[field])
                    : field == kLookFieldCount ? kScriptKeyVersion
                                               : 0;
    }
    value.type = kTypes[in->take(1) % std::size(kTypes)];
    if (value.type == typeInteger || value.type == typeBoolean) {
        value.integer = static_cast<int32_t>(in->take(4));
    } else if (value.type == typeFloat || value.type == typeUnitFloat) {
        value.unit = static_cast<uint32_t>(in->take(4));
        const uint64_t bits = in->take(8);
        std::memcpy(&value.number, &bits, sizeof bits);
    } else if (value.type == typeEnumerated || value.type == typeClass) {
        value.enumType = static_cast<uint32_t>(in->take(4));
        value.enumValue = static_cast<uint32_t>(in->take(4));
    } else {
        for (auto length = in->take(1); length > 0; --length) {
            value.text.push_back(static_cast<char>(in->take(1)));
        }
    }
    return value;
}

// What the renderer and the dialog rely on after a recorded run: a blend mode
// or none, finite positions, and the whole percentages of older records.
void checkLook(const Settings& s) {
    if (s.glue < 0 || s.glue > kGlueCount) {
        fail("a blend mode outside the catalogue");
    }
    for (const float position : {s.xCenter, s.yCenter, s.horizonFloat, s.offsetFloat}) {
        if (!std::isfinite(position)) {
            fail("a position that is not a finite number");
        }
    }
    if (s.formatVersion < kSettingsFormatVersion &&
        (s.horizonFloat != static_cast<float>(s.horizon) ||
         s.offsetFloat != static_cast<float>(s.offset))) {
        fail("an older record without its whole percentages");
    }
}

} // namespace

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer names the entry
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size, 0};
    // The command-line host plays the descriptor as a recorded action.
    HostRunOptions options;
    options.playInfo = static_cast<int16_t>(in.take(1) % 4);
    Descriptor descriptor;
    while (in.at < size && descriptor.size() < 256) {
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

    // What the plug-in records of that look reads back as the same look (up
    // to the view state), the whole water colour included.
    Settings recorded = first;
    (void)writeScriptParameters(record, &recorded);
    Settings second{};
    settingsFresh(&second);
    (void)readScriptParameters(record, &second, &showDialog);
    if (std::memcmp(&recorded, &second, offsetof(Settings, renderTarget)) != 0) {
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

void putWord(lakra::fuzz::Bytes* bytes, uint64_t value, int byteCount = 4) {
    for (int shift = 8 * byteCount - 8; shift >= 0; shift -= 8) {
        bytes->push_back(static_cast<uint8_t>(value >> shift));
    }
}

// Inputs that make the descriptors a recording of ours holds: a play mode, the
// version as an integer, then every look key with the type scripting carries
// it in (integer 0, float 1, enumerated 4); the same with an older version.
std::vector<lakra::fuzz::Bytes> seeds() {
    std::vector<lakra::fuzz::Bytes> all;
    for (const uint32_t version : {static_cast<uint32_t>(kSettingsFormatVersion), 40u}) {
        lakra::fuzz::Bytes bytes{1, kLookFieldCount, 0};
        putWord(&bytes, version);
        for (uint8_t pick = 0; pick < kLookFieldCount; ++pick) {
            const ScriptKind kind = lookFields()[pick].script;
            const double number = 12.5 + pick;
            uint64_t bits = 0;
            std::memcpy(&bits, &number, sizeof bits);
            bytes.push_back(pick);
            bytes.push_back(kind == ScriptKind::Glue ? 4 : kind == ScriptKind::Real ? 1 : 0);
            putWord(&bytes, kind == ScriptKind::Glue   ? fourCharCode("GLty")
                            : kind == ScriptKind::Real ? 0
                                                       : 30u + pick);
            if (kind == ScriptKind::Glue) {
                putWord(&bytes, fourCharCode("GL42"));
            } else if (kind == ScriptKind::Real) {
                putWord(&bytes, bits, 8);
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
