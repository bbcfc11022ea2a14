// The readers of the plug-in's property list (PiPL) and scripting terminology
// (AETE) against hostile bytes: every input goes to both. fuzzDriver.h tells
// how the target runs under libFuzzer and in ctest.

#include "apps/lakra/pluginResources.h"
#include "fuzzDriver.h"
#include "host/abi.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

using namespace lakra;

void fail(const char* what) {
    (void)std::fprintf(stderr, "resource reader: %s\n", what);
    std::abort();
}

} // namespace

// NOLINTNEXTLINE(readability-identifier-naming): libFuzzer names the entry
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A heap copy of exactly `size` bytes, so a read past the end shows.
    const std::vector<uint8_t> bytes(data, data + size);
    PiplInfo pipl;
    if (parsePipl(bytes.data(), bytes.size(), &pipl)) {
        for (const PiplProperty& property : pipl.properties) {
            if (property.dataOffset > bytes.size() || property.length < 0) {
                fail("a property outside the resource");
            }
        }
        for (int mode = -1; mode < 40; ++mode) {
            (void)piplSupportsMode(pipl, mode);
        }
    }
    AeteInfo aete;
    if (parseAete(bytes.data(), bytes.size(), &aete) && aete.bytesRead > bytes.size()) {
        fail("a terminology that ends past the resource");
    }
    return 0;
}

#ifndef LAKRA_LIBFUZZER

namespace {

using lakra::fuzz::Bytes;

// Little-endian numbers and Pascal strings, as the Windows forms store them.
struct Writer {
    Bytes data;

    Writer& u8(uint32_t value) {
        data.push_back(static_cast<uint8_t>(value));
        return *this;
    }

    Writer& u16(uint32_t value) { return u8(value & 0xFF).u8(value >> 8); }

    Writer& u32(uint32_t value) { return u16(value & 0xFFFF).u16(value >> 16); }

    Writer& code(const char (&chars)[5]) { return u32(fourCharCode(chars)); }

    Writer& text(std::string_view chars) {
        data.insert(data.end(), chars.begin(), chars.end());
        return *this;
    }

    Writer& pascal(std::string_view chars) {
        return u8(static_cast<uint32_t>(chars.size())).text(chars);
    }
};

// A property of the host's vendor, its length word counting the padding.
void property(Writer* pipl, const char (&key)[5], const Writer& value) {
    const size_t padded = (value.data.size() + 3) & ~size_t{3};
    pipl->code("8BIM").code(key).u32(0).u32(static_cast<uint32_t>(padded));
    pipl->data.insert(pipl->data.end(), value.data.begin(), value.data.end());
    pipl->data.resize(pipl->data.size() + padded - value.data.size(), 0);
}

// Every property the reader decodes, and one it skips.
Bytes pipl() {
    Writer pipl;
    pipl.u16(1).u32(0).u32(11);
    property(&pipl, "kind", Writer().code("8BFM"));
    property(&pipl, "vers", Writer().u32(0x00040000));
    property(&pipl, "name", Writer().pascal("Lakra..."));
    property(&pipl, "catg", Writer().pascal("Kestrovane"));
    property(&pipl, "8664", Writer().text("PluginMain").u8(0));
    property(&pipl, "hstm",
             Writer().u32(0).code("Zrvq").code("Zrvq").u16(16000).text("Kestrovane Lakra").u8(0));
    property(&pipl, "mode", Writer().u8(0x50).u8(0x00));
    property(&pipl, "enbl", Writer().text("true").u8(0));
    property(&pipl, "enbl", Writer().text("in (PSHOP_ImageMode, RGBMode)").u8(0));
    property(&pipl, "fici", Writer().u32(0x00010101).u32(0x00010203).u32(0x02020000));
    property(&pipl, "wx86", Writer().text("unused"));
    return pipl.data;
}

// One suite with an event of three parameters, a class, a comparison
// operator and an enumeration.
Bytes aete() {
    Writer aete;
    aete.u16(1).u8(1).u8(0).u16(0).u16(0).u16(1);
    aete.pascal("Kestrovane").pascal("Lakra").code("Zrvq").u16(1).u16(1).u16(1);
    aete.pascal("Lakra").pascal("Draws lying water").code("Zrvq").code("Zrvq");
    aete.code("null").pascal("").u16(0).code("#ImR").pascal("").u16(0xB000);
    aete.u16(3);
    aete.pascal("water red").code("0001").code("long").pascal("water red").u16(0x8000);
    aete.pascal("glue").code("GLUE").code("GLty").pascal("glue").u16(0xA000);
    aete.pascal("X center").code("0017").code("doub").pascal("X center").u16(0x8000);
    aete.u16(1).pascal("thing").code("Thng").pascal("a thing");
    aete.u16(1).pascal("hue").code("Hue ").code("long").pascal("").u16(0);
    aete.u16(1).code("Thng").u16(2).code("indx").code("name");
    aete.u16(1).pascal("equals").code("=   ").code("long").pascal("");
    aete.u16(1).code("GLty").u16(2);
    aete.pascal("normal").code("GL01").pascal("normal");
    aete.pascal("starbright").code("GL63").pascal("starbright");
    return aete.data;
}

std::vector<Bytes> seeds() {
    Bytes aeteWithTail = aete();
    aeteWithTail.resize(aeteWithTail.size() + 4, 0); // one writer appends four zero bytes
    return {pipl(), aete(), aeteWithTail};
}

} // namespace

int main(int argc, char** argv) {
    return lakra::fuzz::fuzzStandaloneMain(
        argc, argv, {"resources", ".bin", seeds, lakra::fuzz::WordOrder::LittleEndian});
}

#endif
