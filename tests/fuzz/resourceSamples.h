#pragma once

// A property list and a terminology with one of everything their readers
// decode, for the resource tests and as the resource fuzz target's seeds.

#include "support/resourceBytes.h"

#include <cstddef>

namespace lakra::testing {

// Every property the reader decodes, one of a key it skips and one of another
// vendor, which would not decode as ours; the last has no padding. The length
// words count the padding when `roundedLength` is set.
inline ResourceBytes samplePipl(bool roundedLength) {
    using Bytes = ResourceBytes;
    Bytes pipl;
    pipl.u16(1).u32(0).u32(12);
    const auto property = [&](const char(&key)[5], const Bytes& value) {
        addProperty(&pipl, key, value, roundedLength);
    };
    property("kind", Bytes().code("8BFM"));
    property("vers", Bytes().u32(0x00040000));
    property("name", Bytes().pascalString("Lakra..."));
    property("catg", Bytes().pascalString("Kestrovane"));
    property("8664", Bytes().text("PluginMain").u8(0));
    property("hstm", Bytes().u32(0).code("Zrvq").code("Abcd").u16(16000).text("scope").u8(0));
    property("mode", Bytes().u8(0x50).u8(0x00).u8(0x80));
    property("enbl", Bytes().text("true").u8(0));
    property("enbl", Bytes().text("in (PSHOP_ImageMode, RGBMode)").u8(0));
    property("wx86", Bytes().text("unused"));
    addProperty(&pipl, "name", Bytes().u8(200), roundedLength, "ABCD");
    property("fici", Bytes().u32(0x00010101).u32(0x00010203));
    return pipl;
}

// One suite with one of everything: an event with a parameter, a class, a
// comparison operator and an enumeration of two. `enumeratorCountAt`
// receives where the enumerator count sits.
inline ResourceBytes sampleAete(size_t* enumeratorCountAt = nullptr) {
    ResourceBytes aete;
    aete.u16(1).u8(1).u8(0).u16(0).u16(0).u16(1);
    aete.pascalString("Vendor").pascalString("Suite").code("Abcd").u16(1).u16(1).u16(1);
    aete.pascalString("Ev").pascalString("Event").code("Abcd").code("Efgh");
    aete.code("null").pascalString("").u16(0).code("#ImR").pascalString("").u16(0xB000);
    aete.u16(1).pascalString("size").code("0001").code("long").pascalString("the size").u16(0x8000);
    aete.u16(1).pascalString("thing").code("Thng").pascalString("a thing");
    aete.u16(1).pascalString("hue").code("Hue ").code("long").pascalString("").u16(0);
    aete.u16(1).code("Thng").u16(2).code("indx").code("name");
    aete.u16(1).pascalString("equals").code("=   ").code("long").pascalString("");
    aete.u16(1).code("GLty");
    if (enumeratorCountAt != nullptr) {
        *enumeratorCountAt = aete.data.size();
    }
    aete.u16(2);
    aete.pascalString("normal").code("GL01").pascalString("");
    aete.pascalString("add").code("GL07").pascalString("adds");
    return aete;
}

} // namespace lakra::testing
