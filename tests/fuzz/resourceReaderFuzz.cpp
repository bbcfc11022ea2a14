// The readers of the plug-in's property list (PiPL) and scripting terminology
// (AETE) against hostile bytes: every input goes to both. fuzzDriver.h tells
// how the target runs under libFuzzer and in ctest.

#include "apps/lakra/pluginResources.h"
#include "fuzzDriver.h"
#include "host/abi.h"
#include "support/resourceBytes.h"

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

using Writer = lakra::testing::ResourceBytes;

// A property of the host's vendor, its length word counting the padding.
void property(Writer* pipl, const char (&key)[5], const Writer& value) {
    lakra::testing::addProperty(pipl, key, value, true);
}

// Every property the reader decodes, and one it skips.
Bytes pipl() {
    Writer pipl;
    pipl.u16(1).u32(0).u32(11);
    property(&pipl, "kind", Writer().code("8BFM"));
    property(&pipl, "vers", Writer().u32(0x00040000));
    property(&pipl, "name", Writer().pascalString("Lakra..."));
    property(&pipl, "catg", Writer().pascalString("Kestrovane"));
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
    aete.pascalString("Kestrovane").pascalString("Lakra").code("Zrvq").u16(1).u16(1).u16(1);
    aete.pascalString("Lakra").pascalString("Draws lying water").code("Zrvq").code("Zrvq");
    aete.code("null").pascalString("").u16(0).code("#ImR").pascalString("").u16(0xB000);
    aete.u16(3);
    aete.pascalString("water red").code("0001").code("long").pascalString("water red").u16(0x8000);
    aete.pascalString("glue").code("GLUE").code("GLty").pascalString("glue").u16(0xA000);
    aete.pascalString("X center").code("0017").code("doub").pascalString("X center").u16(0x8000);
    aete.u16(1).pascalString("thing").code("Thng").pascalString("a thing");
    aete.u16(1).pascalString("hue").code("Hue ").code("long").pascalString("").u16(0);
    aete.u16(1).code("Thng").u16(2).code("indx").code("name");
    aete.u16(1).pascalString("equals").code("=   ").code("long").pascalString("");
    aete.u16(1).code("GLty").u16(2);
    aete.pascalString("normal").code("GL01").pascalString("normal");
    aete.pascalString("starbright").code("GL63").pascalString("starbright");
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
